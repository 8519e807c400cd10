#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "content_fakes.h"
#include "io/content_parser_factory.h"
#include "io/json_content_parser.h"
#include "io/unknown_content_handler.h"

namespace pexo {
namespace {

using testing_fakes::MemoryFiles;
using testing_fakes::ScriptedCallbacks;
using testing_fakes::StructStore;

bool FeedAll(HTTPContentParser* parser, const std::string& body, size_t piece) {
  for (size_t at = 0; at < body.size(); at += piece) {
    size_t n = std::min(piece, body.size() - at);
    if (!parser->Feed(body.data() + at, static_cast<int32_t>(n))) return false;
  }
  return parser->Finish();
}

TEST(JSONContentParserTest, DecodesAndKeepsTheRawBody) {
  std::string body = "{\"a\":[1,2],\"b\":\"x\"}";
  StructStore store;
  JSONContentParser parser(&store, static_cast<int64_t>(body.size()));
  ASSERT_TRUE(FeedAll(&parser, body, 3));
  EXPECT_EQ(store.Show("content_data"), body);
  Variable* json = store.Get("json_data");
  ASSERT_NE(json, nullptr);
  EXPECT_EQ(json->AggregateKind(), kKindStructure);
  EXPECT_EQ(json->ElementsUsed(), 2);
}

TEST(JSONContentParserTest, SyntaxErrorStillSetsBothVariables) {
  std::string body = "{\"a\":\n[01]}";
  StructStore store;
  JSONContentParser parser(&store, static_cast<int64_t>(body.size()));
  EXPECT_FALSE(FeedAll(&parser, body, 4));
  EXPECT_STREQ(parser.ErrorMessage().c_str(), "Line #2 - Syntax error: Expected COMMA or ]");
  EXPECT_EQ(store.Show("content_data"), body);
  ASSERT_NE(store.Get("json_data"), nullptr);
  EXPECT_TRUE(store.Get("json_data")->IsNULL());
}

TEST(JSONContentParserTest, BytesBeyondTheAnnouncedLengthAreIgnored) {
  StructStore store;
  JSONContentParser parser(&store, 3);
  EXPECT_TRUE(FeedAll(&parser, "[1]garbage", 2));
  EXPECT_EQ(store.Show("content_data"), "[1]");
}

TEST(UnknownContentHandlerTest, KeepsTheBodyWhole) {
  std::string body(30000, '\0');
  for (size_t i = 0; i < body.size(); i++) body[i] = static_cast<char>(i * 7);
  StructStore store;
  UnknownContentHandler handler(&store, static_cast<int64_t>(body.size()));
  ASSERT_TRUE(FeedAll(&handler, body, 8192));
  EXPECT_EQ(store.Show("content_data"), body);

  StructStore empty_store;
  UnknownContentHandler empty(&empty_store, 10);
  ASSERT_TRUE(empty.Finish());
  EXPECT_EQ(empty_store.Show("content_data"), "");
}

TEST(UnknownLengthTest, BodiesAreKeptWholeAndHeldToTheUnknownLimit) {
  std::string body(20000, 'b');
  StructStore json_store;
  JSONContentParser json(&json_store, kUnknownContentLength);
  ASSERT_TRUE(FeedAll(&json, "[\"" + body + "\"]", 8192)) << json.ErrorMessage().c_str();
  EXPECT_EQ(json_store.Show("content_data"), "[\"" + body + "\"]");

  StructStore globals, system;
  MemoryFiles files;
  ScriptedCallbacks callbacks(&files);
  ContentParserSetup setup;
  setup.globals = &globals;
  setup.system = &system;
  setup.callbacks = &callbacks;
  setup.files = &files;
  struct Case {
    int32_t limit;
    bool kept;
  } cases[] = {{0, true}, {20000, true}, {19999, false}};
  for (const Case& c : cases) {
    StructStore store;
    setup.system = &store;
    setup.max_unknown_content_length = c.limit;
    String error;
    // Nothing is known to refuse before the bytes arrive.
    std::unique_ptr<HTTPContentParser> parser(
        MakeContentParser(setup, "text/plain", -1, kUnknownContentLength, &error));
    ASSERT_NE(parser, nullptr) << c.limit;
    EXPECT_EQ(FeedAll(parser.get(), body, 8192), c.kept) << c.limit;
    if (c.kept) {
      EXPECT_EQ(store.Show("content_data"), body);
    } else {
      EXPECT_EQ(parser->failure(), kContentTooLarge);
      EXPECT_STREQ(parser->ErrorMessage().c_str(),
                   "POST content length exceeds configured maximum for unknown content types");
    }
  }
}

TEST(ContentParserFactoryTest, ChoosesByPrefixAndAppliesTheUnknownLimit) {
  StructStore globals, system;
  MemoryFiles files;
  ScriptedCallbacks callbacks(&files);
  ContentParserSetup setup;
  setup.globals = &globals;
  setup.system = &system;
  setup.callbacks = &callbacks;
  setup.files = &files;
  setup.max_post_vars = 1;
  struct Case {
    const char* type;
    int32_t unknown_limit;
    int64_t length;
    const char* body;
    const char* error;  // refused with this message
    const char* variable;  // set in globals ("g:") or system ("s:")
  } cases[] = {
      {"Application/X-WWW-Form-URLEncoded; charset=utf-8", 0, 3, "a=1", nullptr, "g:a"},
      {"application/json", -1, 2, "[]", nullptr, "s:json_data"},
      {"MULTIPART/form-data; boundary=b", -1, 0, "--b\r\nContent-Disposition: form-data; name=\"m\"\r\n\r\nv\r\n--b--",
       nullptr, "g:m"},
      {"text/plain", 0, 5, "hello", nullptr, "s:content_data"},
      {"text/plain", 5, 5, "hello", nullptr, "s:content_data"},
      {"text/plain", 4, 5, "hello", "POST content length exceeds configured maximum for unknown content types", nullptr},
      {"text/plain", -1, 5, "hello", "Unknown POST content type", nullptr},
      {"application/jso", -1, 5, "hello", "Unknown POST content type", nullptr},
  };
  for (const Case& c : cases) {
    setup.max_unknown_content_length = c.unknown_limit;
    String error;
    std::unique_ptr<HTTPContentParser> parser(MakeContentParser(setup, c.type, -1, c.length, &error));
    if (c.error) {
      EXPECT_EQ(parser, nullptr) << c.type;
      EXPECT_STREQ(error.c_str(), c.error) << c.type;
      continue;
    }
    ASSERT_NE(parser, nullptr) << c.type;
    ASSERT_TRUE(FeedAll(parser.get(), c.body, 4)) << c.type << parser->ErrorMessage().c_str();
    StructStore& store = c.variable[0] == 'g' ? globals : system;
    EXPECT_NE(store.Get(c.variable + 2), nullptr) << c.type;
  }
  // The variable limit reaches the form parsers.
  String error;
  std::unique_ptr<HTTPContentParser> parser(
      MakeContentParser(setup, "application/x-www-form-urlencoded", -1, 7, &error));
  EXPECT_FALSE(FeedAll(parser.get(), "x=1&y=2", 7));
  EXPECT_STREQ(parser->ErrorMessage().c_str(), "Maximum number of POST variables exceeded");
}

}  // namespace
}  // namespace pexo
