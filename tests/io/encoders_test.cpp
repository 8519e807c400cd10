#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "io/attribute.h"
#include "io/base64.h"
#include "values/entity.h"
#include "io/javascript_string.h"

namespace pexo {
namespace {

typedef char* (*Encoder)(const char*, int32_t, int32_t*, int32_t*);

// Runs an encoder and checks the result contract: terminated, counted,
// capacity beyond the length.
std::string Encode(Encoder encoder, const std::string& input) {
  int32_t length = -5, capacity = -5;
  char* out = encoder(input.data(), static_cast<int32_t>(input.size()), &length, &capacity);
  EXPECT_NE(out, nullptr);
  if (!out) return "<null>";
  EXPECT_GE(length, 0);
  EXPECT_GT(capacity, length);
  EXPECT_EQ(out[length], 0);
  std::string s(out, static_cast<size_t>(length));
  std::free(out);
  return s;
}

std::string JS(const std::string& input, bool utf8) {
  int32_t length = 0, capacity = 0;
  char* out = JavaScriptStringEncode(input.data(), static_cast<int32_t>(input.size()), utf8, &length, &capacity);
  EXPECT_EQ(out[length], 0);
  std::string s(out, static_cast<size_t>(length));
  std::free(out);
  return s;
}

struct Case {
  std::string in;
  std::string out;
};

TEST(EntityEncode, EverySpecialCharacter) {
  const Case cases[] = {
      {"a<b&\"c\"(d)", "a&lt;b&amp;&quot;c&quot;&#40;d&#41;"},
      {">", "&gt;"},
      {"'plain' text; \xC3\xA9", "'plain' text; \xC3\xA9"},
      {"", ""},
      {std::string("a\0<", 3), std::string("a\0&lt;", 6)},
  };
  for (const Case& c : cases) EXPECT_EQ(Encode(EntityEncode, c.in), c.out) << c.in;
}

TEST(EntityDecode, KnownSequencesOnly) {
  const Case cases[] = {
      {"&lt;&gt;&amp;&quot;&#40;&#41;", "<>&\"()"},
      {"&AMP; &Lt; &QUOT;", "& < \""},
      {"&nbsp;", "&nbsp;"},
      {"a & b", "a & b"},
      {"a &lt b;", "a &lt b;"},  // whitespace before the ";"
      {"tail &amp", "tail &amp"},
      {"&", "&"},
      {"&&amp;", "&&amp;"},  // the sequence runs from the first "&"
      {"&#x28;&#040;", "&#x28;&#040;"},
      {"x&amp;y&lt;z", "x&y<z"},
      {"&;", "&;"},
  };
  for (const Case& c : cases) EXPECT_EQ(Encode(EntityDecode, c.in), c.out) << c.in;
}

TEST(EntityRoundTrip, EveryByte) {
  std::string all;
  for (int c = 0; c < 256; c++) all.push_back(static_cast<char>(c));
  EXPECT_EQ(Encode(EntityDecode, Encode(EntityEncode, all)), all);
}

TEST(AttributeEncode, Table) {
  const Case cases[] = {
      {"a b/c", "a+b%2Fc"},
      {"AZaz09*-.@_", "AZaz09*-.@_"},
      {"!\"#$%&'()+,/:;<=>?[\\]^`{|}~", "%21%22%23%24%25%26%27%28%29%2B%2C%2F%3A%3B%3C%3D%3E%3F%5B%5C%5D%5E%60%7B%7C%7D%7E"},
      {std::string("\0\x1f\x7f\x80\xff", 5), "%00%1F%7F%80%FF"},
  };
  for (const Case& c : cases) EXPECT_EQ(Encode(AttributeEncode, c.in), c.out) << c.in;
}

TEST(AttributeDecode, Table) {
  const Case cases[] = {
      {"a+b%2Fc", "a b/c"},
      {"%2f%2F%41", "//A"},
      {"%", "%"},
      {"%4", "%4"},
      {"%zz%4g", "%zz%4g"},
      {"100%", "100%"},
      {"%00x", std::string("\0x", 2)},
      {"%%41", "%A"},
  };
  for (const Case& c : cases) EXPECT_EQ(Encode(AttributeDecode, c.in), c.out) << c.in;
  std::string all;
  for (int c = 0; c < 256; c++) all.push_back(static_cast<char>(c));
  EXPECT_EQ(Encode(AttributeDecode, Encode(AttributeEncode, all)), all);
}

TEST(JavaScriptString, SpecialCharacters) {
  const Case cases[] = {
      {"\b\t\n\f\r", "\\b\\t\\n\\f\\r"},
      {"\"/\\", "\\\"\\/\\\\"},
      {"Az 09$+,-.:@_", "Az 09$+,-.:@_"},
      {"'<>&;=?!#%()*[]^`{|}~", "\\u0027\\u003C\\u003E\\u0026\\u003B\\u003D\\u003F\\u0021\\u0023\\u0025\\u0028\\u0029\\u002A\\u005B\\u005D\\u005E\\u0060\\u007B\\u007C\\u007D\\u007E"},
      {std::string("\0\x0b\x7f", 3), "\\u0000\\u000B\\u007F"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(JS(c.in, true), c.out) << c.in;
    EXPECT_EQ(JS(c.in, false), c.out) << c.in;
  }
}

TEST(JavaScriptString, Utf8Sequences) {
  const Case utf8[] = {
      {"\xC3\xA9", "\\u00E9"},
      {"\xC2\x80", "\\u0080"},
      {"\xDF\xBF", "\\u07FF"},
      {"\xE2\x82\xAC", "\\u20AC"},
      {"\xEF\xBF\xBF", "\\uFFFF"},
      {"\xF0\x9F\x98\x80", "\\uD83D\\uDE00"},
      {"\xF4\x8F\xBF\xBF", "\\uDBFF\\uDFFF"},
      {"\xC3", "\\u00C3"},                          // cut short by the end
      {"\xE2\x82", "\\u00E2\\u0082"},
      {"\xC3x", "\\u00C3x"},                        // bad continuation
      {"\xC0\xAF", "\\u00C0\\u00AF"},               // overlong
      {"\xE0\x80\xAF", "\\u00E0\\u0080\\u00AF"},    // overlong
      {"\xED\xA0\x80", "\\u00ED\\u00A0\\u0080"},    // surrogate
      {"\xF4\x90\x80\x80", "\\u00F4\\u0090\\u0080\\u0080"},  // above U+10FFFF
      {"\xF8\x80", "\\u00F8\\u0080"},
      {"\x80", "\\u0080"},
  };
  for (const Case& c : utf8) EXPECT_EQ(JS(c.in, true), c.out);
  EXPECT_EQ(JS("\xC3\xA9", false), "\\u00C3\\u00A9");
  EXPECT_TRUE(IsUTF8Charset("UTF-8", -1));
  EXPECT_TRUE(IsUTF8Charset("utf-8", 5));
  EXPECT_FALSE(IsUTF8Charset("utf8", -1));
  EXPECT_FALSE(IsUTF8Charset("iso-8859-1", -1));
  EXPECT_FALSE(IsUTF8Charset(nullptr, -1));
}

TEST(Base64, RoundTripAndKnownVectors) {
  const Case vectors[] = {{"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"},
                          {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
                          {std::string("\xff\xfe\x00", 3), "//4A"}};
  for (const Case& c : vectors) {
    EXPECT_EQ(Encode(Base64Encode, c.in), c.out);
    EXPECT_EQ(Encode(Base64Decode, c.out), c.in);
  }
  // Crosses the internal conversion chunks at every tail length.
  for (int n : {3071, 3072, 3073, 3074, 3075, 10000}) {
    std::string data;
    for (int i = 0; i < n; i++) data.push_back(static_cast<char>(i * 7 + i / 256));
    std::string encoded = Encode(Base64Encode, data);
    EXPECT_EQ(encoded.size(), static_cast<size_t>((n + 2) / 3 * 4));
    EXPECT_EQ(Encode(Base64Decode, encoded), data) << n;
  }
}

TEST(Base64, LenientDecoding) {
  const Case cases[] = {
      {"Zm8", "fo"},  // no padding
      {"Zg", "f"},
      {"Z", "\x64"},  // one leftover character: its six bits
      {"Zm9v===", std::string("foo\0", 4)},  // only two "=" are dropped
      {"Zm!v", "f`/"},  // "!" counts as zero bits
  };
  for (const Case& c : cases) EXPECT_EQ(Encode(Base64Decode, c.in), c.out) << c.in;
}

TEST(Encoders, NulTerminatedInput) {
  int32_t length = 0;
  char* out = EntityEncode("<x>", -1, &length, nullptr);
  EXPECT_STREQ(out, "&lt;x&gt;");
  EXPECT_EQ(length, 9);
  std::free(out);
}

}  // namespace
}  // namespace pexo
