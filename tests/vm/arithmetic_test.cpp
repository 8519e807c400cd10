// Arithmetic, conversions and text operators, each as a small program that
// writes its result.
#include <string>

#include "values/conversions.h"
#include "values/decimal.h"
#include "values/memory_account.h"
#include "vm_harness.h"

namespace pexo {
namespace testing_vm {
namespace {

struct Case {
  const char* code;  // leaves one value on the stack
  const char* expected;
};

std::string Program(const char* code) {
  return std::string(".segment main start\n") + code + "\n  out\n";
}

void RunTable(const Case* cases, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    Machine m;
    EXPECT_EQ(m.Run(Program(cases[i].code)), 1) << cases[i].code;
    EXPECT_EQ(m.app.output, cases[i].expected) << cases[i].code;
    EXPECT_TRUE(m.app.fatal.empty()) << cases[i].code << " " << m.LastError();
  }
}

TEST(Arithmetic, AddAndSubtractFallBackToDecimals) {
  const Case cases[] = {
      {"pushi 2\n pushi 3\n add", "5"},
      {"pushi 2147483647\n pushi 1\n add", "2147483648"},
      {"pushi -2147483647\n pushi -1\n add", "-2147483648"},
      {"pushi -2147483647\n pushi 2\n sub", "-2147483649"},
      {"pushi 2147483647\n pushi -1\n sub", "2147483648"},
      {"pushi 10\n pushi 4\n sub", "6"},
      {"pushc \"1.5\"\n pushi 1\n add", "2.5"},
      {"pushc \"abc\"\n pushi 1\n add", "1"},
      {"pushf 0.1\n pushf 0.2\n add", "0.3"},
      {"pushc \"0x10\"\n pushi 1\n add", "17"},
  };
  RunTable(cases, sizeof(cases) / sizeof(cases[0]));
}

TEST(Arithmetic, IntegerResultsStayIntegers) {
  Machine m;
  ASSERT_EQ(m.Run(".global x\n.segment main start\n pushi 40\n pushi 2\n add\n popg x\n"), 1);
  Variable* x = m.GlobalVariable("x");
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(x->Type(), kTypeInteger);
  EXPECT_EQ(x->Value_Integer(), 42);
}

TEST(Arithmetic, DecimalOperators) {
  const Case cases[] = {
      {"pushi 1\n pushi 3\n div", "0.3333333333333333"},
      {"pushi 0\n pushi 0\n div", "0"},
      {"pushi 0\n pushi 5\n div", "0"},
      {"pushi 1\n pushi 0\n div", "Infinity"},
      {"pushi -1\n pushi 0\n div", "-Infinity"},
      {"pushc \"1.5\"\n pushi 4\n mul", "6"},
      {"pushi 2\n pushi 10\n pow", "1024"},
      {"pushc \"3.14159\"\n pushi 2\n rounds", "3.14"},
      {"pushc \"3.14159\"\n pushi 0\n rounds", "3"},
      {"pushc \"3.14159\"\n pushi -1\n rounds", "3"},
      {"pushi 2\n pushi 3\n rounds", "2.000"},
      {"pushc \"2.5\"\n pushi 0\n roundf", "2"},
      {"pushc \"3.14159\"\n pushi 3\n roundf", "3.142"},
      {"pushf 1.25\n pushi 0\n add", "1.25"},
  };
  RunTable(cases, sizeof(cases) / sizeof(cases[0]));
}

// mul of two integers (bare or in variables) takes a shortcut past the
// decimal operands; its result must be the very decimal the general path
// makes: sign of a zero, rounding to 16 digits and the exponent that leaves.
TEST(Arithmetic, IntegerProductsAreTheDecimalProducts) {
  struct Product {
    int32_t left, right;
    const char* text;
  } products[] = {
      {0, -5, "-0"},
      {-5, 0, "-0"},
      {0, 0, "0"},
      {-3, -7, "21"},
      {3, -7, "-21"},
      {99999999, 100000001, "9999999999999999"},
      {-99999999, 100000001, "-9999999999999999"},
      {100000000, 100000000, "10000000000000000"},
      {2147483647, 2147483647, "4611686014132421000"},
      {-2147483647 - 1, -2147483647 - 1, "4611686018427388000"},
      {-2147483647 - 1, 2147483647, "-4611686016279904000"},
      {1, -2147483647 - 1, "-2147483648"},
  };
  // Operands as bare integers, as integer variables, and mixed.
  const char* forms[] = {
      "pushi %L\n pushi %R\n",
      "storegi a, %L\n storegi b, %R\n pushg a\n pushg b\n",
      "storegi a, %L\n pushg a\n pushi %R\n",
  };
  for (const Product& p : products) {
    ScratchDecimal l, r, expected;
    IntegerToDecimal(p.left, l.get());
    IntegerToDecimal(p.right, r.get());
    uint32_t status = 0;
    mpd_qmul(expected.get(), l.get(), r.get(), DecimalContext(), &status);
    for (const char* form : forms) {
      std::string code = form;
      code.replace(code.find("%L"), 2, std::to_string(p.left));
      code.replace(code.find("%R"), 2, std::to_string(p.right));
      code = ".global a, b, x\n.segment main start\n" + code + " mul\n popg x\n pushg x\n out\n";
      Machine m;
      ASSERT_EQ(m.Run(code), 1) << code;
      EXPECT_EQ(m.app.output, p.text) << code;
      Variable* x = m.GlobalVariable("x");
      ASSERT_NE(x, nullptr);
      EXPECT_EQ(x->Type(), kTypeDecimal) << code;
      EXPECT_EQ(mpd_cmp_total(x->Value_Decimal(), expected.get()), 0) << code;
    }
  }
}

// A digit count the request cannot hold stops it before the text is made:
// past the memory limit, or past the largest length a text can have.
TEST(Arithmetic, RoundsToMoreDigitsThanMemoryStops) {
  struct Limit {
    int64_t bytes;  // 0: no account
    const char* digits;
  } limits[] = {{64LL << 20, "100000000"}, {0, "2147483647"}};
  for (const Limit& limit : limits) {
    Machine m;
    MemoryAccount account;
    account.SetLimit(limit.bytes);
    account.SetStopFlag(&m.flags.timeout, kStopMemoryLimit);
    MemoryAccountScope counted(limit.bytes ? &account : nullptr);
    EXPECT_EQ(m.Run(Program((std::string("pushi 7\n pushi ") + limit.digits + "\n rounds").c_str())),
              0);
    EXPECT_NE(m.LastError().find(kMemoryLimitMessage), std::string::npos) << m.LastError();
    EXPECT_EQ(m.app.output, "") << limit.digits;
  }
}

TEST(Arithmetic, ModuloAndBits) {
  const Case cases[] = {
      {"pushi 7\n pushi -2\n mod", "1"},
      {"pushi -7\n pushi 2\n mod", "-1"},
      {"pushi 7\n pushi 0\n mod", "0"},
      {"pushi -2147483647\n pushi -1\n sub\n pushi -1\n mod", "0"},
      {"pushi 12\n pushi 10\n bitand", "8"},
      {"pushi 12\n pushi 3\n bitor", "15"},
      {"pushi 12\n pushi 10\n bitxor", "6"},
      {"pushi 0\n bitoc", "-1"},
      {"pushi 1\n pushi 32\n bitsl", "1"},
      {"pushi 1\n pushi 31\n bitsl", "-2147483648"},
      {"pushi -8\n pushi 1\n bitsr", "-4"},
      {"pushi 8\n pushi 33\n bitsr", "4"},
      {"pushc \"0x1F\"\n pushi 1\n bitand", "1"},
  };
  RunTable(cases, sizeof(cases) / sizeof(cases[0]));
}

TEST(TextOperators, ConcatenationAndSearch) {
  const Case cases[] = {
      {"pushc \"ab\"\n pushc \"cd\"\n cat", "abcd"},
      {"pushi 1\n pushi 2\n cat\n pushi 3\n cat\n pushc \"x\"\n cat", "123x"},
      {"pushc \"a\"\n pushc \"b\"\n cat\n pushc \"c\"\n pushc \"d\"\n cat\n cat", "abcd"},
      {"pushc \"abc\"\n pushc \"xxabcxx\"\n in", "3"},
      {"pushc \"abc\"\n pushc \"xxabcxx\"\n ein", "5"},
      {"pushc \"ABC\"\n pushc \"xxabcxx\"\n in", "0"},
      {"pushc \"ABC\"\n pushc \"xxabcxx\"\n cin", "3"},
      {"pushc \"ABC\"\n pushc \"xxabcxx\"\n ecin", "5"},
      {"pushc \"\"\n pushc \"x\"\n in", "1"},
      {"pushc \"\"\n pushc \"x\"\n ein", "0"},
      {"pushc \"password\"\n pushc \"ab\"\n crypt", "abJnggxhB/yWI"},
      {"pushc \"\"\n isnull", "1"},
      {"pushi 0\n isnull", "0"},
  };
  RunTable(cases, sizeof(cases) / sizeof(cases[0]));
}

// Numbers concatenated as texts, formatted without the general conversion
// where they can be: each must read as its own text would.
TEST(TextOperators, ConcatenatedNumbersReadAsTheirTexts) {
  const Case cases[] = {
      {"pushc \"<\"\n pushi -2147483648\n cat", "<-2147483648"},
      {"pushc \"<\"\n pushi 2147483647\n cat\n pushi 0\n cat", "<21474836470"},
      {"pushi -7\n pushc \">\"\n cat", "-7>"},
      // Decimals: -0, one past 16 digits, a fraction, and infinity.
      {"pushc \"<\"\n pushi 0\n pushi -1\n mul\n cat", "<-0"},
      {"pushc \"<\"\n pushi 100000000\n pushi -100000000\n mul\n cat", "<-10000000000000000"},
      {"pushc \"<\"\n pushi 2147483647\n pushi 2147483647\n mul\n cat", "<4611686014132421000"},
      {"pushc \"<\"\n pushi 1\n pushi 8\n div\n cat", "<0.125"},
      {"pushc \"<\"\n pushi 10\n pushi 4\n div\n pushi 2\n mul\n cat", "<5"},
      {"pushc \"<\"\n pushi -1\n pushi 0\n div\n cat", "<-Infinity"},
      {"pushc \"<\"\n pushf 1e300\n pushf 1e300\n mul\n cat", "<Infinity"},
      // Variables: an integer, a text that reads as one, a decimal.
      {"storegi a, -42\n pushc \"<\"\n pushg a\n cat\n pushg a\n cat", "<-42-42"},
      {"pushc \"007\"\n popg a\n pushc \"<\"\n pushg a\n cat", "<007"},
      {"pushf 2.50\n popg a\n pushc \"<\"\n pushg a\n cat", "<2.5"},
  };
  for (const Case& c : cases) {
    Machine m;
    std::string program = std::string(".global a\n.segment main start\n") + c.code + "\n out\n";
    EXPECT_EQ(m.Run(program), 1) << c.code;
    EXPECT_EQ(m.app.output, c.expected) << c.code;
  }
}

TEST(TextOperators, CryptSaltRules) {
  Machine one;
  ASSERT_EQ(one.Run(Program("pushc \"x\"\n pushc \"q\"\n crypt")), 1);
  ASSERT_EQ(one.app.salts.size(), 1u);
  EXPECT_EQ(one.app.salts[0], "qq");
  EXPECT_EQ(one.app.output.substr(0, 2), "qq");

  Machine random;
  ASSERT_EQ(random.Run(Program("pushc \"x\"\n pushc \"\"\n crypt")), 1);
  ASSERT_EQ(random.app.output.size(), 13u);
  const std::string alphabet =
      "./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  for (char c : random.app.output) EXPECT_NE(alphabet.find(c), std::string::npos) << c;

  Machine longer;
  ASSERT_EQ(longer.Run(Program("pushc \"password\"\n pushc \"abcdef\"\n crypt")), 1);
  EXPECT_EQ(longer.app.output, "abJnggxhB/yWI");
}

TEST(TextOperators, AppendInPlaceKeepsSemantics) {
  // s = s $ "x" three times, then s = s $ s, and a copy taken in between
  // must not change.
  Machine m;
  ASSERT_EQ(m.Run(".global s, t\n.segment main start\n"
                  " pushi 7\n popg s\n"
                  " pushg s\n pushc \"x\"\n cat\n popg s\n"
                  " pushg s\n popg t\n"
                  " pushg s\n pushc \"y\"\n cat\n popg s\n"
                  " pushg s\n pushg s\n cat\n popg s\n"),
            1);
  EXPECT_EQ(m.Global("s"), "7xy7xy");
  EXPECT_EQ(m.Global("t"), "7x");
  EXPECT_EQ(m.GlobalVariable("s")->Type(), kTypeText);
}

TEST(TextOperators, AppendInPlaceOfAnAliasOfItself) {
  // r refers to s, so s = s $ r reads the text that the append moves.
  Machine m;
  ASSERT_EQ(m.Run(".global s, r\n.segment main start\n"
                  " pushc \"0123456789abcdefghijklmnopqrstuvwxyz\"\n popg s\n"
                  " pushg s\n pushg r\n refer\n"
                  " pushg s\n pushg r\n cat\n popg s\n"
                  " pushg s\n pushg r\n cat\n popg s\n"
                  " pushg s\n pushg r\n cat\n popg s\n"),
            1);
  std::string want = "0123456789abcdefghijklmnopqrstuvwxyz";
  for (int i = 0; i < 3; ++i) want += want;
  EXPECT_EQ(m.Global("s"), want);
}

TEST(TextOperators, LongTextBuiltInLoopIsComplete) {
  // 20,000 appends through a loop; the result must hold every piece.
  Machine m;
  ASSERT_EQ(m.Run(".global s, i\n.segment main start\n"
                  " pushc \"\"\n popg s\n storegi i, 0\n"
                  "loop:\n"
                  " pushg s\n pushc \"0123456789\"\n cat\n popg s\n"
                  " incg i, 1\n cmpgi i, 20000\n jmp_lt loop\n"),
            1);
  std::string s = m.Global("s");
  ASSERT_EQ(s.size(), 200000u);
  EXPECT_EQ(s.substr(199990), "0123456789");
}

}  // namespace
}  // namespace testing_vm
}  // namespace pexo
