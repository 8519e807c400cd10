#include "values/conversions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "values/decimal.h"
#include "values/variable.h"

namespace pexo {
namespace {

struct Decimal {
  mpd_t* value = mpd_qnew();
  ~Decimal() { mpd_del(value); }
};

std::string DecimalText(const mpd_t* value) {
  String out;
  EXPECT_EQ(1, DecimalToString(value, &out));
  return std::string(out.data(), static_cast<size_t>(out.length()));
}

std::string ParseAndPrint(const char* text, int* ok) {
  Decimal d;
  *ok = TextToDecimal(text, -1, d.value);
  return DecimalText(d.value);
}

TEST(IntegerText, SpellingAndAllocation) {
  const struct {
    int32_t value;
    const char* text;
  } cases[] = {{0, "0"}, {7, "7"}, {-7, "-7"}, {2147483647, "2147483647"},
               {INT32_MIN, "-2147483648"}, {-10, "-10"}, {100, "100"}};
  for (const auto& c : cases) {
    int32_t length = -1;
    char* text = IntegerToText(c.value, &length);
    ASSERT_NE(nullptr, text);
    EXPECT_STREQ(c.text, text);
    EXPECT_EQ(static_cast<int32_t>(strlen(c.text)), length);
    std::free(text);
  }
}

TEST(TextToInteger, StrictParse) {
  const struct {
    const char* text;
    int32_t value;
    int error;
  } cases[] = {
      {"42", 42, 0},          {"-42", -42, 0},         {"0x1F", 31, 0},      {"0X1f", 31, 0},
      {"0", 0, 0},            {"+5", 0, 1},            {" 5", 0, 1},         {"12abc", 0, 1},
      {"abc", 0, 1},          {"", 0, 1},              {"-0x10", 0, 1},      {"0x", 0, 1},
      {"0xG", 0, 1},          {"1.5", 0, 1},           {"2147483648", INT32_MIN, 0},
      {"-2147483648", INT32_MIN, 0},                   {"4294967297", 1, 0}, {"0x0g", 0, 1},
  };
  for (const auto& c : cases) {
    int error = -1;
    EXPECT_EQ(c.value, TextToInteger(c.text, -1, &error)) << c.text;
    EXPECT_EQ(c.error, error) << c.text;
  }
  // Counted: bytes past the length are not read.
  int error = 0;
  EXPECT_EQ(12, TextToInteger("12abc", 2, &error));
  EXPECT_EQ(0, error);
}

TEST(TextToDecimal, ParsesRoundsAndRejects) {
  const struct {
    const char* text;
    const char* printed;
    int ok;
  } cases[] = {
      {"1.50", "1.5", 1},
      {"100", "100", 1},
      {"1E+2", "100", 1},
      {"2.5E-3", "0.0025", 1},
      {"-0", "-0", 1},
      {"+5", "5", 1},
      {"1e10", "10000000000", 1},
      // Whole numbers print as their digits, whatever their exponent.
      {"2.000", "2", 1},
      {"-5E+3", "-5000", 1},
      {"-0.00", "-0", 1},
      {"1E+18", "1000000000000000000", 1},
      {"-9.223372036854775E+18", "-9223372036854775000", 1},
      {"1E+19", "10000000000000000000", 1},
      {"12345678901234567", "12345678901234570", 1},  // 16 digits, half-even
      {"12345678901234565", "12345678901234560", 1},
      {"0x1F", "31", 1},
      {"0xFFFFFFFFFFFFFFFF", "18446744073709550000", 1},
      {"0x10000000000000000", "0", 0},  // does not fit 64 bits
      {"nan", "NaN", 1},
      {"-Infinity", "-Infinity", 1},
      {"inf", "Infinity", 1},
      {"1e400", "Infinity", 1},
      {"", "0", 1},
      {" 1", "0", 0},
      {"1 ", "0", 0},
      {"12abc", "0", 0},
      {"abc", "0", 0},
      {"0.0.0", "0", 0},
  };
  for (const auto& c : cases) {
    int ok = -1;
    EXPECT_EQ(c.printed, ParseAndPrint(c.text, &ok)) << c.text;
    EXPECT_EQ(c.ok, ok) << c.text;
  }
}

TEST(TextToDecimal, ZeroByteInsideIsAnError) {
  Decimal d;
  EXPECT_EQ(0, TextToDecimal("1\0" "2", 3, d.value));
  EXPECT_EQ("0", DecimalText(d.value));
}

TEST(TextToDecimal, LongTextsUseTheHeapPath) {
  std::string zeros(200, '0');
  std::string text = zeros + "123.25";
  Decimal d;
  EXPECT_EQ(1, TextToDecimal(text.data(), static_cast<int32_t>(text.size()), d.value));
  EXPECT_EQ("123.25", DecimalText(d.value));
  std::string bad = zeros + "x";
  EXPECT_EQ(0, TextToDecimal(bad.data(), static_cast<int32_t>(bad.size()), d.value));
}

TEST(DecimalToInteger, TruncatesAndSaturates) {
  const struct {
    const char* text;
    int32_t value;
  } cases[] = {
      {"1.50", 1},       {"-2.7", -2},          {"-0.5", 0},          {"1e3", 1000},
      {"1e10", 2147483647},                      {"-1e10", 2147483647},
      {"2147483647", 2147483647},                {"-2147483648", INT32_MIN},
      {"2147483647.9", 2147483647},              {"NaN", 0},
      {"Infinity", 2147483647},                  {"-Infinity", -2147483647},
  };
  for (const auto& c : cases) {
    Decimal d;
    ASSERT_EQ(1, TextToDecimal(c.text, -1, d.value)) << c.text;
    EXPECT_EQ(c.value, DecimalToInteger(d.value)) << c.text;
  }
}

TEST(DoubleText, ShortestPositional) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {0.0, "0"},
      {-0.0, "0"},
      {0.1, "0.1"},
      {-1.5, "-1.5"},
      {100.0, "100"},
      {1e21, "1000000000000000000000"},
      {1.25e-5, "0.0000125"},
      {123456.789, "123456.789"},
      {1.0 / 3.0, "0.3333333333333333"},
      {std::nan(""), "NaN"},
      {HUGE_VAL, "Infinity"},
      {-HUGE_VAL, "-Infinity"},
  };
  for (const auto& c : cases) {
    char buffer[kDoubleTextSize];
    int32_t n = FormatDouble(c.value, buffer);
    EXPECT_STREQ(c.text, buffer);
    EXPECT_EQ(static_cast<int32_t>(strlen(c.text)), n);
  }
}

TEST(DoubleText, ExtremesFitAndRoundTrip) {
  const double values[] = {1.7976931348623157e308, 4.9406564584124654e-324, -2.2250738585072014e-308,
                           123.456e200};
  for (double v : values) {
    char buffer[kDoubleTextSize];
    int32_t n = FormatDouble(v, buffer);
    ASSERT_LT(n, kDoubleTextSize);
    EXPECT_EQ(nullptr, strchr(buffer, 'e'));
    double back = 0;
    ASSERT_EQ(1, TextToDouble(buffer, n, &back)) << buffer;
    EXPECT_EQ(v, back);
  }
}

TEST(DoubleReader, AcceptsAndRejects) {
  const struct {
    const char* text;
    int ok;
    double value;
  } cases[] = {
      {"1.5", 1, 1.5},   {"-2", 1, -2},     {"0x10", 1, 16},  {"-0x10", 1, -16},
      {"INF", 1, HUGE_VAL}, {"-infinity", 1, -HUGE_VAL},      {"1e999", 0, 0},
      {"1.5x", 0, 0},    {"", 0, 0},        {" 1", 0, 0},
  };
  for (const auto& c : cases) {
    double value = 42;
    EXPECT_EQ(c.ok, TextToDouble(c.text, -1, &value)) << c.text;
    EXPECT_EQ(c.value, value) << c.text;
  }
  double value = 0;
  EXPECT_EQ(1, TextToDouble("nan", -1, &value));
  EXPECT_TRUE(std::isnan(value));
}

TEST(DecimalDouble, BothWays) {
  Decimal d;
  DoubleToDecimal(0.1, d.value);
  EXPECT_EQ("0.1", DecimalText(d.value));
  DoubleToDecimal(1.0 / 3.0, d.value);  // 16 significant digits
  EXPECT_EQ("0.3333333333333333", DecimalText(d.value));
  TextToDecimal("2.5E-3", -1, d.value);
  EXPECT_EQ(0.0025, DecimalToDouble(d.value));
  TextToDecimal("-Infinity", -1, d.value);
  EXPECT_EQ(-HUGE_VAL, DecimalToDouble(d.value));
  TextToDecimal("NaN", -1, d.value);
  EXPECT_TRUE(std::isnan(DecimalToDouble(d.value)));
}

TEST(Truth, RawText) {
  const char* false_texts[] = {"", "0", "000", "0.0", ".", "0.", ".0"};
  const char* true_texts[] = {"0..0", " 0", "-0", "0e1", "false", "1", "0.0.0", "a"};
  for (const char* t : false_texts) EXPECT_FALSE(TextIsTrue(t, -1)) << '"' << t << '"';
  for (const char* t : true_texts) EXPECT_TRUE(TextIsTrue(t, -1)) << '"' << t << '"';
}

int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

TEST(Compare, TwoValues) {
  const struct {
    const char* a;
    const char* b;
    int sign;
  } cases[] = {
      {"", "0", 0},      {"a", "", 1},        {"10", "9", 1},     {"abc", "ABC", 1},
      {"ABC", "abc", -1}, {"abc", "abd", -1}, {"1.0", "1", 0},    {"0x10", "16", 0},
      {"ab", "abc", -1}, {"-1", "1", -1},     {"1e2", "100", 0},  {"9", "10a", 1},
  };
  for (const auto& c : cases) {
    Variable a, b;
    a.SetValue(c.a);
    b.SetValue(c.b);
    EXPECT_EQ(c.sign, Sign(CompareVariables(&a, &b))) << c.a << " vs " << c.b;
    EXPECT_EQ(-c.sign, Sign(CompareVariables(&b, &a))) << c.b << " vs " << c.a;
  }
}

TEST(Compare, NaNAndMixedRepresentations) {
  Variable a, b;
  a.SetValue("NaN");
  b.SetValue_Integer(1);
  EXPECT_EQ(2147483647, CompareVariables(&a, &b));
  a.SetValue("2.5");
  EXPECT_EQ(1, CompareVariables(&a, &b));
  b.SetValue("abc");  // text comparison: "2.5" < "abc"
  EXPECT_EQ(-1, Sign(CompareVariables(&a, &b)));
}

TEST(Compare, ValueWithInteger) {
  Variable v;
  v.SetValue("10");
  EXPECT_EQ(1, CompareVariableInteger(&v, 9));
  EXPECT_EQ(0, CompareVariableInteger(&v, 10));
  v.SetValue("1x");  // not a number: "1x" against "2" bytewise
  EXPECT_EQ(-1, Sign(CompareVariableInteger(&v, 2)));
  v.SetValue("10x");  // "10x" against "10": equal prefix, longer is greater
  EXPECT_EQ(1, Sign(CompareVariableInteger(&v, 10)));
}

}  // namespace
}  // namespace pexo
