#include <string>

#include <gtest/gtest.h>

#include "io/json_decode.h"

namespace pexo {
namespace {

// Writes the events as a compact trace: {k=v,...} [v,...], s:"..", n:.., b:1.
class TraceSink : public JsonSink {
 public:
  void BeginObject() override { trace += "{"; }
  void BeginArray() override { trace += "["; }
  void EndContainer() override { trace += "}"; }
  void Key(const char* name, int32_t length) override { trace += "k:" + std::string(name, static_cast<size_t>(length)) + "="; }
  void StringValue(const char* text, int32_t length) override {
    trace += "s:" + std::string(text, static_cast<size_t>(length)) + ";";
  }
  void NumberValue(const char* text, int32_t length) override {
    trace += "n:" + std::string(text, static_cast<size_t>(length)) + ";";
  }
  void BooleanValue(bool value) override { trace += value ? "b:1;" : "b:0;"; }
  void NullValue() override { trace += "null;"; }
  void Reset() override {
    trace.clear();
    resets++;
  }
  std::string trace;
  int resets = 0;
};

struct Good {
  std::string json;
  std::string trace;
};

TEST(JsonDecode, ValidDocuments) {
  const Good cases[] = {
      {"[1,\"x\",{\"a\":true}]", "[n:1;s:x;{k:a=b:1;}}"},
      {"{}", "{}"},
      {" [ ] ", "[}"},
      {"{\"a\":[[],{}],\"b\":null,\"a\":false}", "{k:a=[[}{}}k:b=null;k:a=b:0;}"},
      {"[-0,0.5,-12.25e+3,1E9,3e-2]", "[n:-0;n:0.5;n:-12.25e+3;n:1E9;n:3e-2;}"},
      {"[\"\\\"\\/\\\\\\b\\f\\n\\r\\t\"]", "[s:\"/\\\b\f\n\r\t;}"},
      {"[\"\\u0041\\u00e9\\u20AC\\u0000\"]", std::string("[s:A\xC3\xA9\xE2\x82\xAC\0;}", 12)},
      {"[\"\\uD83D\\uDE00\"]", "[s:\xF0\x9F\x98\x80;}"},
      {"[\"\\uDE00\\u0041\"]", "[s:\xF2\x90\x81\x81;}"},  // any second unit is taken
      {"[\"tab\there\x01\"]", "[s:tab\there\x01;}"},
      {"[[[[[[[[[[1]]]]]]]]]]", "[[[[[[[[[[n:1;}}}}}}}}}}"},
  };
  for (const Good& c : cases) {
    TraceSink sink;
    String error;
    EXPECT_TRUE(JsonDecode(c.json.data(), static_cast<int32_t>(c.json.size()), &sink, &error)) << c.json << " " << error.c_str();
    EXPECT_EQ(sink.trace, c.trace) << c.json;
    EXPECT_TRUE(error.empty());
  }
}

struct Bad {
  std::string json;
  std::string message;
};

TEST(JsonDecode, EveryErrorMessageWithItsLine) {
  const Bad cases[] = {
      {"[#]", "Line #1 - Syntax error: Unexpected character '#'"},
      {"[\n\n tru]", "Line #3 - Syntax error: Expected TRUE, FALSE, or NULL"},
      {"[True]", "Line #1 - Syntax error: Expected TRUE, FALSE, or NULL"},
      {"[-a]", "Line #1 - Syntax error: Expected 0-9 after the negative sign"},
      {"[1.]", "Line #1 - Syntax error: Expected a number after the period"},
      {"[1e]", "Line #1 - Syntax error: Expected +/- or 0-9 after the exponent"},
      {"[1e+]", "Line #1 - Syntax error: Expected 0-9 after the exponent"},
      {"[\"\\x\"]", "Line #1 - Syntax error: Unexpected escape character 'x'"},
      {"[\"\\u12", "Line #1 - Syntax error: Invalid hex sequence"},
      {"[\"\\u12G4\"]", "Line #1 - Syntax error: Invalid hex sequence '12G4'"},
      {"[\"\\uD800\"]", "Line #1 - Syntax error: Invalid multi-byte hex sequence"},
      {"[\"\\uD800\\u12", "Line #1 - Syntax error: Invalid multi-byte hex sequence"},
      {"[\"\\uD800\\u12\"]", "Line #1 - Syntax error: Invalid multi-byte hex sequence '12\"]'"},
      {"[\"\\uD800\\uXYZW\"]", "Line #1 - Syntax error: Invalid multi-byte hex sequence 'XYZW'"},
      {"{\"a\":1,2}", "Line #1 - Syntax error: Expected STRING"},
      {"[\"open", "Line #1 - Syntax error: Expected STRING"},
      {"{\"a\" 1}", "Line #1 - Syntax error: Expected COLON"},
      {"{\"a\":1]", "Line #1 - Syntax error: Expected COMMA or }"},
      {"{1:2}", "Line #1 - Syntax error: Expected }"},
      {"[01]", "Line #1 - Syntax error: Expected COMMA or ]"},
      {"[1}", "Line #1 - Syntax error: Expected COMMA or ]"},
      {"[}", "Line #1 - Syntax error: Expected ]"},
      {"[1,]", "Line #1 - Syntax error: Expected STRING, NUMBER, {, [, TRUE, FALSE, or NULL"},
      {"{\"a\":}", "Line #1 - Syntax error: Expected STRING, NUMBER, {, [, TRUE, FALSE, or NULL"},
      {"5", "Line #1 - Syntax error: Expected { or ["},
      {"", "Line #1 - Syntax error: Expected { or ["},
      {"\"s\"", "Line #1 - Syntax error: Expected { or ["},
      {"[]\n[]", "Line #2 - Syntax error: Expected end of file"},
      {"{}\n\n #", "Line #3 - Syntax error: Unexpected character '#'"},
      {"[1x]", "Line #1 - Syntax error: Expected TRUE, FALSE, or NULL"},
      {"[\"a\nb\",\n#]", "Line #2 - Syntax error: Unexpected character '#'"},  // newlines in strings do not count
      {"[\n1,\n[2,\n", "Line #4 - Syntax error: Expected STRING, NUMBER, {, [, TRUE, FALSE, or NULL"},
      {std::string("[\0]", 3), std::string("Line #1 - Syntax error: Unexpected character '\0'", 48)},
  };
  for (const Bad& c : cases) {
    TraceSink sink;
    String error;
    EXPECT_FALSE(JsonDecode(c.json.data(), static_cast<int32_t>(c.json.size()), &sink, &error)) << c.json;
    EXPECT_EQ(std::string(error.data(), static_cast<size_t>(error.length())), c.message) << c.json;
    EXPECT_EQ(sink.trace, "") << c.json;
    EXPECT_EQ(sink.resets, 1) << c.json;
  }
}

TEST(JsonDecode, NestingIsLimited) {
  const size_t depth = kMaxJsonDepth;
  std::string deep(depth, '[');
  deep += std::string(depth, ']');
  TraceSink sink;
  String error;
  EXPECT_TRUE(JsonDecode(deep.data(), static_cast<int32_t>(deep.size()), &sink, &error));
  EXPECT_EQ(sink.trace.size(), deep.size());
  deep.pop_back();
  EXPECT_FALSE(JsonDecode(deep.data(), static_cast<int32_t>(deep.size()), &sink, &error));
  std::string deeper(200000, '[');
  EXPECT_FALSE(JsonDecode(deeper.data(), static_cast<int32_t>(deeper.size()), &sink, &error));
  EXPECT_STREQ(error.c_str(), "Line #1 - Syntax error: Nesting too deep");
}

}  // namespace
}  // namespace pexo
