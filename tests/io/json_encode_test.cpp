#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "io/json_encode.h"
#include "io/json_variable.h"
#include "values/aggregate_index.h"
#include "values/conversions.h"
#include "values/decimal.h"
#include "values/variable.h"

namespace pexo {
namespace {

std::string Encode(Variable* v, int flags, bool utf8 = true) {
  int32_t length = -1, capacity = -1;
  char* out = JsonEncode(v, flags, utf8, &length, &capacity);
  EXPECT_NE(out, nullptr);
  if (!out) return "<null>";
  EXPECT_EQ(out[length], 0);
  EXPECT_GT(capacity, length);
  std::string s(out, static_cast<size_t>(length));
  std::free(out);
  return s;
}

std::string EncodeText(const std::string& text, int flags) {
  Variable v;
  v.SetValue(text.data(), static_cast<int32_t>(text.size()));
  return Encode(&v, flags);
}

Variable* Member(Variable* v, const char* name) { return v->Element(AggregateIndex(name, -1), 1); }
Variable* Item(Variable* v, int32_t i) { return v->Element(AggregateIndex(i), 1); }

TEST(JsonEncodeTest, TextsBecomeNumbersOnlyWhenTheyReadBackUnchanged) {
  struct Case {
    const char* text;
    int flags;
    const char* json;
  } cases[] = {
      {"", 0, "\"\""},
      {"12", 0, "12"},
      {"-7", 0, "-7"},
      {"1.50", 0, "1.5"},
      {"1e3", 0, "1000"},
      {"+5", 0, "5"},
      {".5", 0, "0.5"},
      {"0", 0, "0"},
      {"0.25", 0, "0.25"},
      {"0.", 0, "\"0.\""},
      {"01", 0, "\"01\""},
      {"00", 0, "\"00\""},
      {"0x1F", 0, "\"0x1F\""},
      {"9999999999999999", 0, "9999999999999999"},
      {"10000000000000000", 0, "\"10000000000000000\""},
      {"-9999999999999999", 0, "-9999999999999999"},
      {"1e16", 0, "\"1e16\""},
      {"NaN", 0, "\"NaN\""},
      {"Infinity", 0, "\"Infinity\""},
      {" 5", 0, "\" 5\""},
      {"5 ", 0, "\"5 \""},
      {"abc", 0, "\"abc\""},
      {"true", 0, "\"true\""},
      {"true", kJsonBooleans, "true"},
      {"false", kJsonBooleans, "false"},
      {"True", kJsonBooleans, "\"True\""},
      {"a\"b\\c/d\n", 0, "\"a\\\"b\\\\c\\/d\\n\""},
      {"caf\xC3\xA9", 0, "\"caf\\u00E9\""},
  };
  for (const Case& c : cases) EXPECT_EQ(EncodeText(c.text, c.flags), c.json) << c.text;
}

TEST(JsonEncodeTest, IntegersDecimalsAndEmptyValues) {
  Variable v;
  EXPECT_EQ(Encode(&v, 0), "\"\"");  // no value at all
  v.SetValue_Integer(-2147483647 - 1);
  EXPECT_EQ(Encode(&v, 0), "-2147483648");
  mpd_t* d = mpd_qnew();
  uint32_t status = 0;
  mpd_qset_string(d, "2.500", DecimalContext(), &status);
  v.SetValue_Decimal(d);
  EXPECT_EQ(Encode(&v, 0), "2.5");
  mpd_qset_string(d, "-Inf", DecimalContext(), &status);
  v.SetValue_Decimal(d);
  EXPECT_EQ(Encode(&v, 0), "\"-Infinity\"");
  mpd_qset_string(d, "NaN", DecimalContext(), &status);
  v.SetValue_Decimal(d);
  EXPECT_EQ(Encode(&v, 0), "\"NaN\"");
  mpd_del(d);
}

TEST(JsonEncodeTest, AggregatesInKeyOrder) {
  Variable v;
  Member(&v, "b")->SetValue("x");
  Member(&v, "A")->SetValue_Integer(1);
  Variable* list = Member(&v, "c");
  Item(list, 5)->SetValue("2");
  Item(list, 1)->SetValue("one");
  Item(list, 3)->MakeAggregate(kKindStructure);
  Member(&v, "q\"")->MakeAggregate(kKindArray);
  EXPECT_EQ(Encode(&v, 0), "{\"A\":1,\"b\":\"x\",\"c\":[\"one\",{},2],\"q\\\"\":[]}");
}

TEST(JsonEncodeTest, PrettyLayoutIndentsWithTabs) {
  Variable v;
  Member(&v, "a")->SetValue("1");
  Variable* list = Member(&v, "b");
  Item(list, 1)->SetValue("x");
  Item(list, 2)->SetValue("true");
  EXPECT_EQ(Encode(&v, kJsonPretty | kJsonBooleans),
            "{\n\t\"a\": 1,\n\t\"b\": [\n\t\t\"x\",\n\t\ttrue\n\t]\n}");
  Variable empty;
  empty.MakeAggregate(kKindArray);
  EXPECT_EQ(Encode(&empty, kJsonPretty), "[\n\t\n]");
}

TEST(JsonEncodeTest, ReferencesAreFollowedAndCyclesCut) {
  Variable target;
  target.SetValue("7");
  Variable v;
  Variable* ref = new ReferenceVariable(&target, "r");
  v.Set_Element(AggregateIndex(1), ref);
  ref->Release();
  // Storing an alias of the array inside it would close a cycle, so the
  // array's value at that moment is stored instead.
  Variable* inner = Item(&v, 2);
  Variable* self = new ReferenceVariable(&v, "self");
  inner->Set_Element(AggregateIndex(1), self);
  EXPECT_EQ(Encode(&v, 0), "[7,[[7,\"\"]]]");
  inner->Clear();
  self->Release();
}

TEST(JsonEncodeTest, DeepNestingDoesNotRecurse) {
  const int depth = static_cast<int>(kMaxJsonDepth);
  std::string text(depth, '[');
  text += std::string(depth, ']');
  Variable v;
  String error;
  ASSERT_TRUE(JsonDecodeVariable(text.data(), static_cast<int32_t>(text.size()), &v, &error));
  EXPECT_EQ(Encode(&v, 0), text);
  text = "[" + text + "]";
  EXPECT_FALSE(JsonDecodeVariable(text.data(), static_cast<int32_t>(text.size()), &v, &error));
  EXPECT_STREQ(error.c_str(), "Line #1 - Syntax error: Nesting too deep");
  EXPECT_TRUE(v.IsNULL());
}

TEST(JsonEncodeTest, DecodeThenEncodeKeepsTheDocument) {
  const char* docs[] = {
      "[1,\"x\",{\"a\":true,\"b\":null,\"c\":[],\"d\":{}}]",
      "{\"k\":[1.5,-2,\"007\",\"a b\"],\"z\":false}",
  };
  const char* expected[] = {
      "[1,\"x\",{\"a\":true,\"b\":\"\",\"c\":[],\"d\":{}}]",
      "{\"k\":[1.5,-2,\"007\",\"a b\"],\"z\":false}",
  };
  for (int i = 0; i < 2; i++) {
    Variable v;
    String error;
    ASSERT_TRUE(JsonDecodeVariable(docs[i], -1, &v, &error)) << error.c_str();
    EXPECT_EQ(Encode(&v, kJsonBooleans), expected[i]);
  }
}

TEST(JsonVariableTest, BuildsStructuresArraysAndScalars) {
  Variable v;
  String error;
  ASSERT_TRUE(JsonDecodeVariable("[1,\"x\",{\"a\":true,\"n\":null}]", -1, &v, &error));
  EXPECT_EQ(v.AggregateKind(), kKindArray);
  EXPECT_EQ(v.ElementsUsed(), 3);
  EXPECT_STREQ(Item(&v, 1)->Value().c_str(), "1");
  EXPECT_STREQ(Item(&v, 2)->Value().c_str(), "x");
  Variable* s = Item(&v, 3);
  EXPECT_EQ(s->AggregateKind(), kKindStructure);
  EXPECT_STREQ(Member(s, "A")->Value().c_str(), "true");
  EXPECT_TRUE(Member(s, "n")->IsNULL());
}

TEST(JsonVariableTest, RepeatedKeyReplacesTheMemberWholly) {
  Variable v;
  String error;
  ASSERT_TRUE(JsonDecodeVariable("{\"a\":{\"x\":1},\"A\":{\"y\":2},\"b\":[1],\"b\":5}", -1, &v, &error));
  EXPECT_EQ(v.ElementsUsed(), 2);
  Variable* a = Member(&v, "a");
  EXPECT_EQ(a->ElementsUsed(), 1);
  EXPECT_EQ(a->Element(AggregateIndex("x", -1), 0), nullptr);
  EXPECT_EQ(Member(&v, "b")->AggregateKind(), kKindScalar);
  EXPECT_STREQ(Member(&v, "b")->Value().c_str(), "5");
}

TEST(JsonVariableTest, EmptyContainersAndFailures) {
  Variable v;
  String error;
  ASSERT_TRUE(JsonDecodeVariable("{}", -1, &v, &error));
  EXPECT_EQ(v.AggregateKind(), kKindStructure);
  ASSERT_TRUE(JsonDecodeVariable("[]", -1, &v, &error));
  EXPECT_EQ(v.AggregateKind(), kKindArray);
  EXPECT_FALSE(JsonDecodeVariable("[1,{\"a\":[01]}]", -1, &v, &error));
  EXPECT_STREQ(error.c_str(), "Line #1 - Syntax error: Expected COMMA or ]");
  EXPECT_EQ(v.AggregateKind(), kKindScalar);
  EXPECT_TRUE(v.IsNULL());
  EXPECT_FALSE(JsonDecodeVariable("5", -1, &v, &error));
  EXPECT_STREQ(error.c_str(), "Line #1 - Syntax error: Expected { or [");
}

}  // namespace
}  // namespace pexo
