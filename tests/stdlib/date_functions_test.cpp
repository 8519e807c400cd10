// Date functions: formats, parsing, calendar arithmetic across month ends
// and leap years, invalid dates.
#include <regex>
#include <string>
#include <vector>

#include "std_fixture.h"

namespace pexo {
namespace {

struct Case {
  const char* function;
  std::vector<Variable*> arguments;
  std::string expected;
};

class DateFunctionsTest : public StdLibraryTest {
 protected:
  void RunAll(std::vector<Case> cases) {
    for (Case& c : cases) EXPECT_EQ(Run(c.function, c.arguments), c.expected) << c.function;
  }
};

TEST_F(DateFunctionsTest, NowIsACanonicalDate) {
  std::string now = Run("now", {});
  EXPECT_TRUE(std::regex_match(now, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)"))) << now;
  // And it reads back as a date.
  EXPECT_EQ(Run("dateformat", {Text(now.c_str()), Text("%Y-%m-%d %H:%M:%S")}), now);
}

TEST_F(DateFunctionsTest, Format) {
  RunAll({
      {"dateformat", {Text("2024-02-29 13:05:09"), Text("%d/%m/%Y %H:%M:%S")},
       "29/02/2024 13:05:09"},
      {"dateformat", {Text("2024-02-29 13:05:09"), Text("%a %A %b %B %y %j")},
       "Thu Thursday Feb February 24 060"},
      {"dateformat", {Text("2024-03-03 00:30:00"), Text("%I:%M %p|%e|%u|%w|%%|%q")},
       "12:30 AM| 3|7|0|%|%q"},
      {"dateformat", {Text("0001-01-01"), Text("%Y-%m-%d %A")}, "0001-01-01 Monday"},
      {"dateformat", {Text("2024-01-01T08:15"), Text("%H:%M:%S")}, "08:15:00"},
      {"dateformat", {Text("2023-02-29"), Text("%Y")},
       "ERROR: dateformat(): '2023-02-29' is not a valid date"},
      {"dateformat", {Text(""), Text("%Y")}, "ERROR: dateformat(): '' is not a valid date"},
      {"dateformat", {Text("2024-13-01"), Text("%Y")},
       "ERROR: dateformat(): '2024-13-01' is not a valid date"},
  });
}

TEST_F(DateFunctionsTest, Parse) {
  RunAll({
      {"dateparse", {Text("29/02/2024"), Text("%d/%m/%Y")}, "2024-02-29 00:00:00"},
      {"dateparse", {Text("Mar 5, 99 7:08 pm"), Text("%b %d, %y %I:%M %p")},
       "1999-03-05 19:08:00"},
      {"dateparse", {Text("december 31 2030"), Text("%B %d %Y")}, "2030-12-31 00:00:00"},
      {"dateparse", {Text("12:00 AM 2024-01-01"), Text("%I:%M %p %Y-%m-%d")},
       "2024-01-01 00:00:00"},
      {"dateparse", {Text("100%"), Text("%d%%")}, ""},  // day 100 does not exist
      {"dateparse", {Text("31/04/2024"), Text("%d/%m/%Y")}, ""},
      {"dateparse", {Text("2024-01-01x"), Text("%Y-%m-%d")}, ""},
      {"dateparse", {Text("13:00 PM"), Text("%I:%M %p")}, ""},
      {"dateparse", {Text(""), Text("%Y")}, ""},
  });
}

TEST_F(DateFunctionsTest, AddIntervals) {
  RunAll({
      {"dateadd", {Text("2024-01-31"), Integer(1), Text("month")}, "2024-02-29 00:00:00"},
      {"dateadd", {Text("2023-01-31"), Integer(1), Text("months")}, "2023-02-28 00:00:00"},
      {"dateadd", {Text("2024-02-29"), Integer(1), Text("YEAR")}, "2025-02-28 00:00:00"},
      {"dateadd", {Text("2024-03-01"), Integer(-1), Text("day")}, "2024-02-29 00:00:00"},
      {"dateadd", {Text("2024-12-31 23:59:59"), Integer(1), Text("second")},
       "2025-01-01 00:00:00"},
      {"dateadd", {Text("2024-01-01"), Integer(-13), Text("month")}, "2022-12-01 00:00:00"},
      {"dateadd", {Text("2024-01-01"), Integer(2), Text("weeks")}, "2024-01-15 00:00:00"},
      {"dateadd", {Text("2024-01-01 10:00"), Integer(-90), Text("minute")},
       "2024-01-01 08:30:00"},
      {"dateadd", {Text("9999-12-31"), Integer(1), Text("day")},
       "ERROR: dateadd(): cannot add 1 'day': unknown unit or a date outside the years 1 to 9999"},
      {"dateadd", {Text("2024-01-01"), Integer(1), Text("fortnight")},
       "ERROR: dateadd(): cannot add 1 'fortnight': unknown unit or a date outside the years 1 "
       "to 9999"},
  });
}

TEST_F(DateFunctionsTest, Differences) {
  RunAll({
      {"datediff", {Text("2024-01-01"), Text("2024-03-01"), Text("day")}, "60"},
      {"datediff", {Text("2024-03-01"), Text("2024-01-01"), Text("days")}, "-60"},
      {"datediff", {Text("2024-01-31"), Text("2024-02-29"), Text("month")}, "0"},
      {"datediff", {Text("2024-01-15"), Text("2024-03-15"), Text("month")}, "2"},
      {"datediff", {Text("2024-03-15"), Text("2024-01-16"), Text("month")}, "-1"},
      {"datediff", {Text("2000-02-29"), Text("2024-02-28"), Text("year")}, "23"},
      {"datediff", {Text("2024-01-01 00:00"), Text("2024-01-01 01:30"), Text("minute")}, "90"},
      {"datediff", {Text("0001-01-01"), Text("9999-12-31"), Text("second")}, "315537811200"},
      {"datediff", {Text("2024-01-01"), Text("2024-01-02"), Text("eon")},
       "ERROR: datediff(): unknown unit 'eon'"},
      {"datediff", {Text("2024-01-01"), Text("yesterday"), Text("day")},
       "ERROR: datediff(): 'yesterday' is not a valid date"},
  });
}

TEST_F(DateFunctionsTest, DayOfWeek) {
  RunAll({
      {"dayofweek", {Text("1970-01-01")}, "4"},
      {"dayofweek", {Text("2024-03-03")}, "7"},
      {"dayofweek", {Text("2000-01-03 12:00:00")}, "1"},
      {"dayofweek", {Text("1600-02-29")}, "2"},
      {"dayofweek", {Text("1900-02-29")}, "ERROR: dayofweek(): '1900-02-29' is not a valid date"},
  });
}

}  // namespace
}  // namespace pexo
