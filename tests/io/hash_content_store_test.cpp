#include <string>

#include <gtest/gtest.h>

#include "io/hash_content_store.h"
#include "io/json_content_parser.h"
#include "io/urlencoded_parser.h"
#include "values/aggregate_index.h"
#include "values/variable.h"
#include "values/variable_hash.h"

namespace pexo {
namespace {

std::string Text(Variable* v) { return v ? std::string(v->Value().c_str()) : "<null>"; }

TEST(HashContentStoreTest, FormFieldsAccumulateInAScope) {
  UserVariableHash globals;
  HashContentStore store(&globals);
  URLEncodedParser parser(&store, 0);
  std::string body = "a=1&A=2&b&s:x=3&bad[x]=4";
  ASSERT_TRUE(parser.Feed(body.data(), static_cast<int32_t>(body.size())));
  ASSERT_TRUE(parser.Finish());
  Variable* a = nullptr;
  ASSERT_TRUE(globals.Find("a", -1, false, &a));
  EXPECT_EQ(a->AggregateKind(), kKindArray);
  EXPECT_EQ(Text(a->Element(AggregateIndex(1), 0)), "1");
  EXPECT_EQ(Text(a->Element(AggregateIndex(2), 0)), "2");
  Variable* b = nullptr;
  ASSERT_TRUE(globals.Find("b", -1, false, &b));
  EXPECT_TRUE(b->IsNULL());
  // Field names are variable paths.
  Variable* x = nullptr;
  ASSERT_TRUE(globals.Lookup("s:x", -1, false, &x));
  EXPECT_EQ(Text(x), "3");
}

TEST(HashContentStoreTest, RawBodiesBecomeVariables) {
  UserVariableHash system;
  HashContentStore store(&system);
  JSONContentParser parser(&store, 7);
  ASSERT_TRUE(parser.Feed("{\"k\":1}", 7));
  ASSERT_TRUE(parser.Finish());
  Variable* json = nullptr;
  ASSERT_TRUE(system.Find("json_data", -1, false, &json));
  EXPECT_EQ(Text(json->Element(AggregateIndex("k", -1), 0)), "1");
  Variable* content = nullptr;
  ASSERT_TRUE(system.Find("CONTENT_DATA", -1, false, &content));
  EXPECT_EQ(Text(content), "{\"k\":1}");
}

}  // namespace
}  // namespace pexo
