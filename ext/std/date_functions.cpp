#include "date_functions.h"

#include <ctime>

#include "date_time.h"

namespace pexo {
namespace stdlib {
namespace {

bool ReadDate(StdCall& call, int32_t index, DateTime* when) {
  std::string_view text = call.Text(index);
  if (ParseDateTime(text, when)) return true;
  return call.Fail("'" + std::string(text) + "' is not a valid date");
}

}  // namespace

void Now(StdCall& call) {
  std::time_t seconds = std::time(nullptr);
  std::tm local;
  if (!localtime_r(&seconds, &local)) {
    call.Fail("the system clock cannot be read");
    return;
  }
  DateTime when;
  when.year = local.tm_year + 1900;
  when.month = local.tm_mon + 1;
  when.day = local.tm_mday;
  when.hour = local.tm_hour;
  when.minute = local.tm_min;
  when.second = local.tm_sec > 59 ? 59 : local.tm_sec;  // a leap second
  call.ReturnText(FormatDateTime(when));
}

void DateFormat(StdCall& call) {
  DateTime when;
  if (!ReadDate(call, 0, &when)) return;
  std::string_view pattern = call.Text(1);
  // The longest directive output is 9 bytes per 2 pattern bytes.
  if (!call.CheckSize(static_cast<int64_t>(pattern.size()) * 5)) return;
  call.ReturnText(FormatWithPattern(when, pattern));
}

void DateParse(StdCall& call) {
  DateTime when;
  if (ParseWithPattern(call.Text(0), call.Text(1), &when))
    call.ReturnText(FormatDateTime(when));
  else
    call.ReturnText(std::string_view());
}

void DateAdd(StdCall& call) {
  DateTime when;
  if (!ReadDate(call, 0, &when)) return;
  std::string_view unit = call.Text(2);
  if (!AddInterval(&when, call.Int(1), unit)) {
    call.Fail("cannot add " + std::to_string(call.Int(1)) + " '" + std::string(unit) +
              "': unknown unit or a date outside the years 1 to 9999");
    return;
  }
  call.ReturnText(FormatDateTime(when));
}

void DateDiff(StdCall& call) {
  DateTime from, to;
  if (!ReadDate(call, 0, &from) || !ReadDate(call, 1, &to)) return;
  int64_t difference = 0;
  if (!Difference(from, to, call.Text(2), &difference)) {
    call.Fail("unknown unit '" + std::string(call.Text(2)) + "'");
    return;
  }
  call.ReturnInteger(difference);
}

void DayOfWeek(StdCall& call) {
  DateTime when;
  if (ReadDate(call, 0, &when)) call.ReturnInteger(IsoWeekday(when));
}

}  // namespace stdlib
}  // namespace pexo
