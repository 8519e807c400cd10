#include "values/variable_path.h"

#include <gtest/gtest.h>

#include <string>

namespace pexo {
namespace {

// Renders what the reader yields: "base", then ":name" / "[n]" per selector,
// then "!" for a malformed path.
std::string Render(const char* path) {
  PathReader r(path, -1);
  std::string out(r.base(), static_cast<size_t>(r.base_length()));
  for (;;) {
    const char* name = nullptr;
    int32_t length = 0, number = -1;
    switch (r.Next(&name, &length, &number)) {
      case PathReader::kEnd:
        return out;
      case PathReader::kMember:
        out += ":" + std::string(name, static_cast<size_t>(length));
        break;
      case PathReader::kIndex:
        out += "[" + std::to_string(number) + "]";
        break;
      case PathReader::kMalformed:
        return out + "!";
    }
  }
}

TEST(PathReaderTest, Selectors) {
  const struct {
    const char* path;
    const char* rendered;
  } cases[] = {
      {"a", "a"},
      {"order:items[3]:price", "order:items[3]:price"},
      {"a[ 2 ]", "a[2]"},
      {"a[0]", "a[0]"},
      {"a[]", "a[0]"},
      {"a[007]", "a[7]"},
      {"a[1 2]", "a[1]"},
      {"a[2][3]", "a[2][3]"},
      {"a:", "a:"},
      {"a::b", "a::b"},
      {"[1]", "[1]"},
      {"a[2147483647]", "a[2147483647]"},
      {"a[x]", "a!"},
      {"a[-1]", "a!"},
      {"a[2]x", "a[2]!"},
      {"a[2", "a!"},
      {"a[", "a!"},
      {"a[2]:b[c]", "a[2]:b!"},
      {"a[2147483648]", "a!"},
      {"a[99999999999999999999]", "a!"},
  };
  for (const auto& c : cases) EXPECT_EQ(Render(c.path), c.rendered) << c.path;
}

TEST(PathReaderTest, MalformedIsStickyAndSimpleIsBare) {
  PathReader r("a[x]:b", -1);
  const char* name;
  int32_t length, number;
  EXPECT_FALSE(r.simple());
  EXPECT_EQ(r.Next(&name, &length, &number), PathReader::kMalformed);
  EXPECT_EQ(r.Next(&name, &length, &number), PathReader::kMalformed);
  EXPECT_TRUE(PathReader("abc", -1).simple());
  PathReader cut("ab[1]", 2);  // the length hides the selector
  EXPECT_TRUE(cut.simple());
  EXPECT_EQ(cut.Next(&name, &length, &number), PathReader::kEnd);
}

}  // namespace
}  // namespace pexo
