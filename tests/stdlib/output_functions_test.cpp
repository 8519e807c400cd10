// header(): what reaches the response and what is refused.
#include <string>
#include <utility>
#include <vector>

#include "std_fixture.h"

namespace pexo {
namespace {

class OutputFunctionsTest : public StdLibraryTest {};

TEST_F(OutputFunctionsTest, HeaderReachesTheApplication) {
  EXPECT_EQ(Run("header", {Text("Content-Type"), Text("application/json")}), "1");
  EXPECT_EQ(Run("HEADER", {Text("X-Count"), Integer(42)}), "1");
  EXPECT_EQ(Run("header", {Text("X-Empty"), Text("")}), "1");
  std::vector<std::pair<std::string, std::string>> expected = {
      {"Content-Type", "application/json"}, {"X-Count", "42"}, {"X-Empty", ""}};
  EXPECT_EQ(app_.headers, expected);
}

TEST_F(OutputFunctionsTest, HeaderRefusesWhatWouldSplitTheResponse) {
  struct Case {
    const char* name;
    std::string value;
    const char* error;
  } cases[] = {
      {"", "x", "name must be a non-empty token"},
      {"X A", "x", "name must be a non-empty token"},
      {"X:A", "x", "name must be a non-empty token"},
      {"X-\x01", "x", "name must be a non-empty token"},
      {"X-\xc3\xa9", "x", "name must be a non-empty token"},
      {"X-A", "a\r\nSet-Cookie: evil=1", "value must not contain line breaks"},
      {"X-A", "a\nb", "value must not contain line breaks"},
      {"X-A", std::string("a\0b", 3), "value must not contain line breaks or zero bytes"},
  };
  for (const Case& c : cases) {
    app_.fatal.clear();
    Variable* value = new Variable();
    value->SetValue(c.value.data(), static_cast<int32_t>(c.value.size()));
    std::string got = Run("header", {Text(c.name), value});
    EXPECT_EQ(got.rfind("ERROR: header(): the header ", 0), 0u) << c.name << ": " << got;
    EXPECT_NE(got.find(c.error), std::string::npos) << c.name << ": " << got;
  }
  EXPECT_TRUE(app_.headers.empty());
}

}  // namespace
}  // namespace pexo
