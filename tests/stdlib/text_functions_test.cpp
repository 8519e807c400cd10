// Text functions through the external call path: byte positions, UTF-8
// characters, empty texts, negative positions and the size cap.
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

class TextFunctionsTest : public StdLibraryTest {
 protected:
  void RunAll(std::vector<Case> cases) {
    for (Case& c : cases)
      EXPECT_EQ(Run(c.function, c.arguments), c.expected) << c.function;
  }
};

TEST_F(TextFunctionsTest, LengthAndSlicesCountBytes) {
  RunAll({
      {"length", {Text("")}, "0"},
      {"length", {Text("h\xC3\xA9llo")}, "6"},  // é is two bytes
      {"LENGTH", {Integer(-120)}, "4"},
      {"left", {Text("abcdef"), Integer(2)}, "ab"},
      {"left", {Text("abc"), Integer(10)}, "abc"},
      {"left", {Text("abc"), Integer(-1)}, ""},
      {"right", {Text("abcdef"), Integer(2)}, "ef"},
      {"right", {Text("abc"), Integer(99)}, "abc"},
      {"right", {Text(""), Integer(3)}, ""},
      {"mid", {Text("abcdef"), Integer(2), Integer(3)}, "bcd"},
      {"mid", {Text("abcdef"), Integer(-2), Integer(5)}, "ef"},
      {"mid", {Text("abcdef"), Integer(0), Integer(2)}, "ab"},
      {"mid", {Text("abcdef"), Integer(-100), Integer(2)}, "ab"},
      {"mid", {Text("abcdef"), Integer(7), Integer(2)}, ""},
      {"mid", {Text("abcdef"), Integer(3), Integer(-1)}, ""},
  });
}

TEST_F(TextFunctionsTest, CaseAndBlanks) {
  RunAll({
      {"upper", {Text("ab\xC3\xA9z!")}, "AB\xC3\xA9Z!"},  // UTF-8 bytes untouched
      {"lower", {Text("AbC\xC3\x89")}, "abc\xC3\x89"},
      {"trim", {Text(" \t x y \r\n")}, "x y"},
      {"trim", {Text("   ")}, ""},
      {"ltrim", {Text("  x  ")}, "x  "},
      {"rtrim", {Text("  x  ")}, "  x"},
  });
}

TEST_F(TextFunctionsTest, ReplaceSplitJoin) {
  RunAll({
      {"replace", {Text("a-b-c"), Text("-"), Text("--")}, "a--b--c"},
      {"replace", {Text("aaa"), Text("aa"), Text("b")}, "ba"},
      {"replace", {Text("abc"), Text(""), Text("x")}, "abc"},
      {"replace", {Text("abc"), Text("b"), Text("")}, "ac"},
      {"split", {Text("a,b,,c"), Text(",")}, "[1=a,2=b,3=,4=c]"},
      {"split", {Text("a::b"), Text("::")}, "[1=a,2=b]"},
      {"split", {Text(""), Text(",")}, "[]"},
      {"split", {Text("x\xC3\xA9y"), Text("")}, "[1=x,2=\xC3\xA9,3=y]"},
      {"join", {Array({"a", "b", "c"}), Text(", ")}, "a, b, c"},
      {"join", {Array({}), Text(",")}, ""},
      {"join", {Struct({{"b", "2"}, {"a", "1"}}), Text("+")}, "1+2"},
      {"join", {Text("plain"), Text(",")}, "plain"},
  });
}

TEST_F(TextFunctionsTest, PadRepeatReverse) {
  RunAll({
      {"pad", {Text("7"), Integer(3), Text("0")}, "700"},
      {"pad", {Text("7"), Integer(-3), Text("0")}, "007"},
      {"pad", {Text("ab"), Integer(7), Text("xyz")}, "abxyzxy"},
      {"pad", {Text("abcdef"), Integer(3), Text("-")}, "abcdef"},
      {"pad", {Text("a"), Integer(3), Text("")}, "a  "},
      {"repeat", {Text("ab"), Integer(3)}, "ababab"},
      {"repeat", {Text("ab"), Integer(0)}, ""},
      {"repeat", {Text("ab"), Integer(-5)}, ""},
      {"reverse", {Text("abc")}, "cba"},
      {"reverse", {Text("a\xC3\xA9\xE2\x82\xAC")}, "\xE2\x82\xAC\xC3\xA9" "a"},
      {"reverse", {Text("a\xFF" "b")}, "b\xFF" "a"},  // a stray byte is a character
      {"reverse", {Text("")}, ""},
  });
}

TEST_F(TextFunctionsTest, HugeResultsFailInsteadOfAllocating) {
  RunAll({
      {"repeat", {Text("abcdefgh"), Integer(2147483647)},
       "ERROR: repeat(): result would be longer than 16777216 bytes"},
      {"pad", {Text("x"), Integer(-2147483647), Text(" ")},
       "ERROR: pad(): result would be longer than 16777216 bytes"},
  });
}

TEST_F(TextFunctionsTest, PadUpToTheCapSucceeds) {
  Variable* result = Call("pad", {Text("x"), Integer(16777216), Text(".")});
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(app_.last_fatal(), "");
  EXPECT_EQ(result->Value().length(), 16777216);
  result->Release();
}

TEST_F(TextFunctionsTest, CharacterCodes) {
  RunAll({
      {"chr", {Integer(65)}, "A"},
      {"chr", {Integer(233)}, "\xC3\xA9"},
      {"chr", {Integer(0x1F600)}, "\xF0\x9F\x98\x80"},
      {"chr", {Integer(0xD800)}, "ERROR: chr(): character code 55296 is not a Unicode character"},
      {"chr", {Integer(-1)}, "ERROR: chr(): character code -1 is not a Unicode character"},
      {"ord", {Text("A")}, "65"},
      {"ord", {Text("\xE2\x82\xAC!")}, "8364"},
      {"ord", {Text("\xFF")}, "255"},
      {"ord", {Text("")}, "0"},
  });
}

TEST_F(TextFunctionsTest, CharacterCodesAreBytesOutsideUtf8) {
  context_.SetCharacterSet("ISO-8859-1", -1);
  RunAll({
      {"chr", {Integer(233)}, "\xE9"},
      {"chr", {Integer(256)}, "ERROR: chr(): character code 256 is outside 0 to 255"},
      {"ord", {Text("\xC3\xA9")}, "195"},
  });
}

}  // namespace
}  // namespace pexo
