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

// A constant concatenated onto a text being built is appended in place;
// the result must be what pushing it and concatenating gives, whoever owns
// the text below.
TEST(TextShortcuts, ConstantAppendedAsConcatenationWould) {
  const Case cases[] = {
      {"pushc \"a\"\n pushg b\n cat\n pushc \"x\"\n cat\n pushc \"\"\n cat\n out", "a1x"},
      // A borrowed copy of the text is not extended: both stay as they were.
      {"pushc \"a\"\n pushg b\n cat\n dup\n pushc \"x\"\n cat\n out\n out", "a1xa1"},
      // Constants and variables on the left are not texts being built.
      {"pushc \"a\"\n pushc \"b\"\n cat\n pushc \"c\"\n cat\n out", "abc"},
      {"storegi a, 5\n pushg a\n pushc \"x\"\n cat\n out\n pushg a\n out", "5x5"},
      {"storegi a, 5\n pushg a\n pushc \"x\"\n cat\n popg a\n pushg a\n out", "5x"},
  };
  for (const Case& c : cases) {
    Machine m;
    std::string program = std::string(".global a, b\n.segment main start\n storegi b, 1\n") + c.code + "\n";
    EXPECT_EQ(m.Run(program), 1) << c.code;
    EXPECT_EQ(m.app.output, c.expected) << c.code;
  }
}

// An integer product concatenated onto a text being built is appended as
// the text of the decimal mul makes: -0, and rounding past 16 digits.
TEST(TextShortcuts, ProductAppendedAsItsDecimalText) {
  const Case products[] = {
      {"pushi 0\n pushi -5", "-0"},
      {"pushi -5\n pushi 0", "-0"},
      {"pushi 0\n pushi 0", "0"},
      {"pushi -3\n pushi 7", "-21"},
      {"pushi 99999999\n pushi 100000001", "9999999999999999"},
      {"pushi -99999999\n pushi 100000001", "-9999999999999999"},
      {"pushi 100000000\n pushi -100000000", "-10000000000000000"},
      {"pushi 2147483647\n pushi 2147483647", "4611686014132421000"},
      {"pushi -2147483648\n pushi -2147483648", "4611686018427388000"},
      {"storegi a, -2147483648\n pushg a\n pushi 1", "-2147483648"},
      {"storegi a, 1000\n pushg a\n pushg a", "1000000"},
      // Not integers: the general path.
      {"pushf 2.5\n pushi 2", "5"},
      {"pushc \"3\"\n pushi 2", "6"},
  };
  for (const Case& c : products) {
    Machine m;
    std::string program =
        std::string(".global a, b\n.segment main start\n storegi b, 1\n pushc \"<\"\n pushg b\n cat\n") +
        c.code + "\n mul\n cat\n out\n";
    EXPECT_EQ(m.Run(program), 1) << c.code;
    EXPECT_EQ(m.app.output, std::string("<1") + c.expected) << c.code;
  }
  // Below a borrowed copy of the text, or a constant, nothing is extended.
  const Case others[] = {
      {"pushc \"<\"\n pushg b\n cat\n dup\n pushi 2\n pushi 3\n mul\n cat\n out\n out", "<16<1"},
      {"pushc \"<\"\n pushi 2\n pushi 3\n mul\n cat\n out", "<6"},
  };
  for (const Case& c : others) {
    Machine m;
    EXPECT_EQ(m.Run(std::string(".global b\n.segment main start\n storegi b, 1\n") + c.code + "\n"), 1)
        << c.code;
    EXPECT_EQ(m.app.output, c.expected) << c.code;
  }
}

// The constant and its cat stay two instructions for the instruction limit:
// it can stop the run between them (at the cat, offset 0x14).
TEST(TextShortcuts, ConstantAndItsConcatenationCountAsTwoSteps) {
  const char* program =
      ".global b\n.segment main start\n pushc \"a\"\n pushg b\n cat\n pushc \"x\"\n cat\n out\n";
  struct Limit {
    uint64_t steps;
    const char* stopped_at;  // null: the run ends by itself
  } limits[] = {{5, "[00000000:0000000e]"}, {6, "[00000000:00000014]"}, {8, nullptr}};
  for (const Limit& limit : limits) {
    Machine m;
    ASSERT_TRUE(m.Load(program));
    m.vm->set_step_limit(limit.steps);
    m.vm->run_program();
    if (!limit.stopped_at) {
      EXPECT_EQ(m.app.output, "ax");
      EXPECT_TRUE(m.app.fatal.empty()) << m.LastError();
      continue;
    }
    EXPECT_EQ(m.app.output, "") << limit.steps;
    ASSERT_EQ(m.app.fatal.size(), 1u) << limit.steps;
    EXPECT_NE(m.app.fatal[0].find(limit.stopped_at), std::string::npos) << m.app.fatal[0];
  }
}

}  // namespace
}  // namespace testing_vm
}  // namespace pexo
