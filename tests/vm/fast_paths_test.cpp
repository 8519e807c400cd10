// The integer shortcuts of the global-variable instructions must give what
// the general conversions give, at the edges of the integer range and on
// variables that hold texts, decimals or arrays.
#include <string>

#include "vm_harness.h"

namespace pexo {
namespace testing_vm {
namespace {

struct Case {
  const char* code;
  const char* expected;
};

TEST(GlobalShortcuts, MatchTheGeneralPath) {
  const Case cases[] = {
      // incg wraps around at the ends of the 32-bit range.
      {"storegi a, 2147483647\n incg a, 1\n pushg a\n out", "-2147483648"},
      {"storegi a, -2147483648\n incg a, -1\n pushg a\n out", "2147483647"},
      {"storegi a, -2147483647\n incg a, -1\n pushg a\n out", "-2147483648"},
      // A text or decimal value is converted, then becomes an integer.
      {"pushc \"41\"\n popg a\n incg a, 1\n pushg a\n out", "42"},
      {"pushf 2.5\n popg a\n incg a, 1\n pushg a\n out", "3"},
      {"incg a, 5\n pushg a\n out", "5"},
      // storegi replaces whatever was there, an array included.
      {"pushi 9\n pushg a\n pushi 1\n elem\n store\n storegi a, 3\n pushg a\n out", "3"},
      {"pushc \"x\"\n popg a\n storegi a, -2147483648\n pushg a\n out", "-2147483648"},
      // cmpgi: integers compare as numbers (-1, 0, 1); a text that is not a
      // number compares as bytes, giving the difference of the first pair.
      {"storegi a, -2147483648\n cmpgi a, -2147483648\n out", "0"},
      {"storegi a, -2147483648\n cmpgi a, 2147483647\n out", "-1"},
      {"storegi a, 2147483647\n cmpgi a, -1\n out", "1"},
      {"pushc \"10\"\n popg a\n cmpgi a, 9\n out", "1"},
      {"pushc \"abc\"\n popg a\n cmpgi a, 0\n out", "49"},
      {"pushf 2.5\n popg a\n cmpgi a, 2\n out", "1"},
      {"cmpgi a, 0\n out", "0"},
      // cmpgg: both integer, or mixed with a text.
      {"storegi a, 5\n storegi b, 7\n cmpgg a, b\n out", "-1"},
      {"storegi a, 2147483647\n storegi b, -2147483648\n cmpgg a, b\n out", "1"},
      {"storegi a, 10\n pushc \"9\"\n popg b\n cmpgg a, b\n out", "1"},
      {"storegi a, 10\n pushc \"10.0\"\n popg b\n cmpgg a, b\n out", "0"},
      {"storegi a, 10\n pushc \"abc\"\n popg b\n cmpgg a, b\n out", "-48"},
  };
  for (const Case& c : cases) {
    Machine m;
    std::string program = std::string(".global a, b\n.segment main start\n") + c.code + "\n";
    EXPECT_EQ(m.Run(program), 1) << c.code;
    EXPECT_EQ(m.app.output, c.expected) << c.code;
  }
}

TEST(GlobalShortcuts, ReferenceVariablesForwardToTheirTarget) {
  Machine m;
  ASSERT_EQ(m.Run(".global a, b\n.segment main start\n"
                  " storegi b, 2147483647\n"
                  " pushg b\n bindg a\n"
                  " incg a, 1\n storegi a, 7\n incg a, 1\n"
                  " pushg b\n out\n cmpgi a, 8\n out\n"),
            1);
  EXPECT_EQ(m.app.output, "80");
  EXPECT_EQ(m.Global("b"), "8");
}

}  // namespace
}  // namespace testing_vm
}  // namespace pexo
