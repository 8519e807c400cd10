// Number functions: exact decimal rounding, NaN and infinities, values that
// are not numbers, and the random generator's range.
#include <set>
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

class NumberFunctionsTest : public StdLibraryTest {
 protected:
  void RunAll(std::vector<Case> cases) {
    for (Case& c : cases) EXPECT_EQ(Run(c.function, c.arguments), c.expected) << c.function;
  }
};

TEST_F(NumberFunctionsTest, AbsIntFloorCeil) {
  RunAll({
      {"abs", {Decimal("-2.50")}, "2.5"},
      {"abs", {Integer(7)}, "7"},
      {"abs", {Text("-Infinity")}, "Infinity"},
      {"abs", {Text("abc")}, "0"},
      {"int", {Decimal("-2.7")}, "-2"},
      {"int", {Text("-0.5")}, "0"},
      {"int", {Text("1e3")}, "1000"},
      {"floor", {Decimal("-2.1")}, "-3"},
      {"floor", {Decimal("2.9")}, "2"},
      {"floor", {Integer(-4)}, "-4"},
      {"ceil", {Decimal("2.1")}, "3"},
      {"ceil", {Decimal("-2.9")}, "-2"},
      {"ceil", {Decimal("9.99")}, "10"},
      {"ceil", {Text("NaN")}, "NaN"},
  });
}

TEST_F(NumberFunctionsTest, RoundIsDecimalExact) {
  RunAll({
      {"round", {Text("1.005"), Integer(2)}, "1.01"},  // binary doubles would give 1.00
      {"round", {Text("2.5"), Integer(0)}, "3"},
      {"round", {Text("-2.5"), Integer(0)}, "-3"},
      {"round", {Text("-0.004"), Integer(2)}, "0"},
      {"round", {Text("9.995"), Integer(2)}, "10"},
      {"round", {Text("12.3"), Integer(5)}, "12.3"},
      {"round", {Text("Infinity"), Integer(2)}, "Infinity"},
      {"round", {Text("1.5"), Integer(-1)}, "ERROR: round(): decimals must be between 0 and 32"},
      {"round", {Text("1.5"), Integer(33)}, "ERROR: round(): decimals must be between 0 and 32"},
  });
}

TEST_F(NumberFunctionsTest, MinMaxUseTheLanguageComparison) {
  RunAll({
      {"min", {Text("10"), Text("9")}, "9"},
      {"max", {Text("10"), Text("9")}, "10"},
      {"max", {Text("abc"), Text("abd")}, "abd"},
      {"min", {Text("1.0"), Integer(1)}, "1.0"},  // equal: the first wins
      {"max", {Text("NaN"), Integer(1)}, "NaN"},
      {"min", {Integer(1), Text("NaN")}, "NaN"},
  });
}

TEST_F(NumberFunctionsTest, IsNumberAcceptsOnlyFiniteNumbers) {
  RunAll({
      {"isnumber", {Text("42")}, "1"},
      {"isnumber", {Text("-1.5e3")}, "1"},
      {"isnumber", {Text("0x1F")}, "1"},
      {"isnumber", {Integer(0)}, "1"},
      {"isnumber", {Text("")}, "0"},
      {"isnumber", {Text("12abc")}, "0"},
      {"isnumber", {Text(" 1")}, "0"},
      {"isnumber", {Text("NaN")}, "0"},
      {"isnumber", {Text("Infinity")}, "0"},
      {"isnumber", {Array({"1"})}, "0"},
  });
}

TEST_F(NumberFunctionsTest, NumberFormat) {
  RunAll({
      {"numberformat", {Text("1234567.891"), Integer(2), Text("."), Text(",")}, "1,234,567.89"},
      {"numberformat", {Text("1234.5"), Integer(2), Text(","), Text(".")}, "1.234,50"},
      {"numberformat", {Text("-999.995"), Integer(2), Text("."), Text(" ")}, "-1 000.00"},
      {"numberformat", {Text("-0.001"), Integer(2), Text("."), Text(",")}, "0.00"},
      {"numberformat", {Text("123"), Integer(0), Text("."), Text("")}, "123"},
      {"numberformat", {Text("0.5"), Integer(0), Text("."), Text(",")}, "1"},
      {"numberformat", {Text("abc"), Integer(1), Text("."), Text(",")}, "0.0"},
      {"numberformat", {Text("-Infinity"), Integer(2), Text("."), Text(",")}, "-Infinity"},
      {"numberformat", {Text("NaN"), Integer(2), Text("."), Text(",")}, "NaN"},
  });
}

TEST_F(NumberFunctionsTest, RandomStaysInItsRangeAndVaries) {
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    std::string drawn = Run("random", {Integer(3), Integer(-2)});  // bounds in either order
    int value = std::stoi(drawn);
    ASSERT_GE(value, -2);
    ASSERT_LE(value, 3);
    seen.insert(drawn);
  }
  EXPECT_EQ(seen.size(), 6u);
  EXPECT_EQ(Run("random", {Integer(5), Integer(5)}), "5");
}

}  // namespace
}  // namespace pexo
