// Decimal addition and subtraction read their operands in place and reuse
// owned results; pushf constants are converted once and reused. Every
// mix of operand kinds must give what the plain conversions give.
#include <string>

#include "vm_harness.h"

namespace pexo {
namespace testing_vm {
namespace {

struct Case {
  const char* code;
  const char* expected;
};

TEST(DecimalOperands, EveryOperandKindMixes) {
  const Case cases[] = {
      {"pushf 0.1\n pushf 0.2\n add\n out", "0.3"},
      {"pushf 0.1\n pushi 2\n sub\n out", "-1.9"},
      {"pushi 2\n pushf 0.25\n sub\n out", "1.75"},
      {"pushc \"1.5\"\n pushf 0.5\n add\n out", "2"},
      {"pushf 0.5\n pushc \"abc\"\n add\n out", "0.5"},
      // Decimals print without trailing zeros.
  // A variable operand is read, never changed, and may stand on both sides.
      {"pushf 1.25\n popg a\n pushg a\n pushg a\n add\n out\n pushg a\n out", "2.51.25"},
      {"pushf 1.25\n popg a\n pushg a\n pushf 0.25\n sub\n popg a\n pushg a\n out", "1"},
      // Integer overflow falls over to decimals with both operands intact.
      {"pushi 2147483647\n pushi 1\n add\n out", "2147483648"},
      {"pushi -2147483647\n pushi 2\n sub\n out", "-2147483649"},
      // A result reused as the next operand.
      {"pushf 0.1\n pushf 0.1\n add\n pushf 0.1\n add\n pushf 0.1\n sub\n out", "0.2"},
      // An array variable counts as 0.
      {"pushi 5\n pushg b\n pushi 1\n elem\n store\n pushg b\n pushf 0.5\n add\n out", "0.5"},
  };
  for (const Case& c : cases) {
    Machine m;
    std::string program = std::string(".global a, b\n.segment main start\n") + c.code + "\n";
    EXPECT_EQ(m.Run(program), 1) << c.code;
    EXPECT_EQ(m.app.output, c.expected) << c.code;
  }
}

TEST(DecimalOperands, ManyDistinctConstantsStayDistinct) {
  // More constants than the conversion cache has slots: every one must
  // still print as itself, in a loop that meets each several times.
  std::string body;
  std::string expected;
  for (int i = 1; i <= 40; ++i) {
    std::string value = std::to_string(i) + ".5";
    body += " pushf " + value + "\n out\n";
    expected += value;
  }
  std::string program = ".global i\n.segment main start\n storegi i, 0\ntop: cmpgi i, 3\n jmp_ge done\n" +
                        body + " incg i, 1\n jmp top\ndone:\n";
  Machine m;
  ASSERT_EQ(m.Run(program), 1);
  EXPECT_EQ(m.app.output, expected + expected + expected);
}

TEST(DecimalOperands, ConstantsAreReusedAcrossRuns) {
  Machine m;
  const char* program =
      ".global s, i\n.segment main start\n storegi s, 0\n storegi i, 0\n"
      "top: cmpgi i, 1000\n jmp_ge done\n pushg s\n pushf 0.1\n add\n popg s\n incg i, 1\n jmp top\n"
      "done: pushg s\n out\n";
  ASSERT_EQ(m.Run(program), 1);
  EXPECT_EQ(m.app.output, "100");
  ASSERT_EQ(m.Run(program), 1);
  EXPECT_EQ(m.app.output, "100100");
}

}  // namespace
}  // namespace testing_vm
}  // namespace pexo
