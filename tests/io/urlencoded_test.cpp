#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "content_fakes.h"
#include "io/urlencoded_parser.h"

namespace pexo {
namespace {

using testing_fakes::StructStore;

// Feeds `body` cut at `cut` (and in one piece when cut is -1).
bool Parse(URLEncodedParser* parser, const std::string& body, int cut) {
  int32_t n = static_cast<int32_t>(body.size());
  if (cut < 0 || cut > n) cut = n;
  if (!parser->Feed(body.data(), cut)) return false;
  if (!parser->Feed(body.data() + cut, n - cut)) return false;
  return parser->Finish();
}

struct Expect {
  const char* name;
  const char* shown;
};

TEST(URLEncodedParserTest, PairsEscapesAndAccumulationAtEverySplit) {
  struct Case {
    std::string body;
    std::vector<Expect> expect;
  } cases[] = {
      {"a=1&a=2&b", {{"a", "[1|2]"}, {"b", ""}}},
      {"a=1&a=2&a=3", {{"a", "[1|2|3]"}}},
      {"x=a+b%20c&y%5Fz=%41%4a%4A", {{"x", "a b c"}, {"y_z", "AJJ"}}},
      // Z counts as digit 35: (35 * 16 + 35) & 0xFF is 0x53.
      {"v=%zz", {{"v", "S"}}},
      {"e=b=c&f==", {{"e", "b=c"}, {"f", "="}}},
      {"a&&b&", {{"a", ""}, {"b", ""}}},
      {"=x&c=1", {{"c", "1"}}},
      {"t=%4", {{"t", ""}}},
      {"n%41me", {{"nAme", ""}}},
      {"k=%26%3D&", {{"k", "&="}}},
      {"", {}},
  };
  for (const Case& c : cases) {
    for (int cut = -1; cut <= static_cast<int>(c.body.size()); cut++) {
      StructStore store;
      URLEncodedParser parser(&store, 0);
      ASSERT_TRUE(Parse(&parser, c.body, cut)) << c.body;
      EXPECT_EQ(store.Count(), static_cast<int32_t>(c.expect.size())) << c.body << " cut " << cut;
      for (const Expect& e : c.expect) {
        EXPECT_EQ(store.Show(e.name), e.shown) << c.body << " cut " << cut;
      }
    }
  }
}

TEST(URLEncodedParserTest, VariableLimit) {
  struct Case {
    std::string body;
    int32_t limit;
    bool ok;
    int32_t stored;
  } cases[] = {
      {"a=1&b=2&c=3", 2, false, 2},
      {"a=1&b=2", 2, true, 2},
      {"a=1&b", 1, false, 1},     // the pending name at the end counts too
      {"a=1&a=2&a=3", 2, false, 1},  // repeated names count each time
      {"a=1&b=2&c=3", 0, true, 3},
  };
  for (const Case& c : cases) {
    StructStore store;
    URLEncodedParser parser(&store, c.limit);
    EXPECT_EQ(Parse(&parser, c.body, -1), c.ok) << c.body;
    EXPECT_EQ(store.Count(), c.stored) << c.body;
    if (!c.ok) {
      EXPECT_STREQ(parser.ErrorMessage().c_str(), "Maximum number of POST variables exceeded");
      // A failed parser stays failed.
      EXPECT_FALSE(parser.Feed("z=1", 3));
      EXPECT_FALSE(parser.Finish());
      EXPECT_EQ(store.Get("z"), nullptr);
    }
  }
}

TEST(URLEncodedParserTest, ExactlyTheLimitIsAdmitted) {
  std::string body;
  for (int i = 0; i < 2000; i++) body += "v" + std::to_string(i) + "=" + std::to_string(i) + "&";
  StructStore store;
  URLEncodedParser parser(&store, 2000);
  EXPECT_TRUE(Parse(&parser, body, -1));
  EXPECT_EQ(store.Count(), 2000);
  EXPECT_FALSE(Parse(&parser, "one=more", -1));
}

TEST(URLEncodedParserTest, LongNamesAndValuesGrowTheBuffers) {
  std::string name(70000, 'n');
  std::string value(100000, 'v');
  StructStore store;
  URLEncodedParser parser(&store, 0);
  std::string body = name + "=" + value;
  for (size_t at = 0; at < body.size(); at += 8192) {
    size_t n = std::min<size_t>(8192, body.size() - at);
    ASSERT_TRUE(parser.Feed(body.data() + at, static_cast<int32_t>(n)));
  }
  ASSERT_TRUE(parser.Finish());
  EXPECT_EQ(store.Show(name), value);
}

}  // namespace
}  // namespace pexo
