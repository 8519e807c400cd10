// Tag error table, text search and password hash: the parts of the machine
// that stand on their own.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "vm/machine_host.h"
#include "vm/error_table.h"
#include "vm/text_search.h"

namespace pexo {
namespace {

TEST(TagErrorTable, DefaultFlagsByGroup) {
  TagErrorTable table;
  const int fatal_and_display[] = {0, 1, 3, 5, 6, 7, 9, 12, 13, 14, 15, 16, 17, 18, 19, 20,
                                   21, 22, 23, 24, 25, 26, 27, 32, 39, 48, 49, 50, 51, 62,
                                   63, 64, 65, 66, 67, 68, 69, 70, 71, 72, 73};
  const int display_only[] = {2, 4, 8, 10, 11, 28, 29, 30, 31, 33, 34, 35, 36, 37, 38, 40,
                              41, 42, 43, 44, 45, 46, 47, 52, 53, 55, 56, 57, 58, 59, 75};
  const int neither[] = {54, 60, 61, 74};
  int seen = 0;
  for (int n : fatal_and_display) {
    EXPECT_EQ(table.flags(n), 3) << n;
    ++seen;
  }
  for (int n : display_only) {
    EXPECT_EQ(table.flags(n), 1) << n;
    ++seen;
  }
  for (int n : neither) {
    EXPECT_EQ(table.flags(n), 0) << n;
    ++seen;
  }
  EXPECT_EQ(seen, kTagCount);
}

TEST(TagErrorTable, NamesAndErrorVariables) {
  TagErrorTable table;
  struct Case {
    int number;
    const char* name;
    const char* variable;
  } cases[] = {
      {0, "PxIF", "PxIF_Error"},
      {25, "PxLOCALIZED-TOKEN", "PxLOCALIZED-TOKEN_Error"},
      {28, "PxOPEN", "PxOPEN_Error"},
      {48, "PEXO", "PEXO_Error"},
      {62, "(in expression)", "PxEXPRESSION_Error"},
      {75, "PxASYNCHRONOUS", "PxASYNCHRONOUS_Error"},
  };
  for (const Case& c : cases) {
    ASSERT_NE(table.tag(c.number), nullptr);
    EXPECT_STREQ(table.tag(c.number)->name, c.name);
    EXPECT_STREQ(table.tag(c.number)->variable, c.variable);
  }
  EXPECT_EQ(table.tag(-1), nullptr);
  EXPECT_EQ(table.tag(76), nullptr);
  // Every name but entry 62 gives its variable by appending "_Error".
  for (int i = 0; i < kTagCount; ++i) {
    if (i == 62) continue;
    EXPECT_EQ(std::string(table.tag(i)->name) + "_Error", table.tag(i)->variable);
  }
}

TEST(TagErrorTable, OutOfRangeIsIgnoredAndCountsFatal) {
  TagErrorTable table;
  table.set_flags(200, 0);
  table.set_flags(-1, 0);
  EXPECT_EQ(table.flags(200), 3);
  table.set_flags(28, 3);
  EXPECT_EQ(table.flags(28), 3);
  TagErrorTable fresh;  // changes stay in their own copy
  EXPECT_EQ(fresh.flags(28), 1);
}

TEST(TagErrorTable, ConfiguredText) {
  TagErrorTable table;
  EXPECT_EQ(TagErrorTable::find("pxopen", -1), 28);
  EXPECT_EQ(TagErrorTable::find("PXASYNCHRONOUS", -1), 75);
  EXPECT_EQ(TagErrorTable::find("PxNOPE", -1), -1);
  EXPECT_EQ(table.set_from_text("pxOpen", -1, "fatal,display", -1), 1);
  EXPECT_EQ(table.flags(28), 3);
  EXPECT_EQ(table.set_from_text("PxIF", -1, "none", -1), 1);
  EXPECT_EQ(table.flags(0), 0);
  EXPECT_EQ(table.set_from_text("PxIF", -1, "display only", -1), 1);
  EXPECT_EQ(table.flags(0), 1);
  EXPECT_EQ(table.set_from_text("nothing", -1, "fatal", -1), 0);
}

struct SearchCase {
  const char* needle;
  const char* haystack;
  int in, cin, ein, ecin;
};

TEST(TextSearch, Positions) {
  const SearchCase cases[] = {
      {"abc", "xxabcxx", 3, 3, 5, 5},
      {"ABC", "xxabcxx", 0, 3, 0, 5},
      {"", "x", 1, 1, 0, 0},
      {"", "", 1, 1, 0, 0},
      {"xy", "x", 0, 0, 0, 0},
      {"a", "banana", 2, 2, 2, 2},
      {"na", "banana", 3, 3, 4, 4},
      {"banana", "banana", 1, 1, 6, 6},
      {"Nan", "baNANa", 0, 3, 0, 5},
  };
  for (const SearchCase& c : cases) {
    int32_t nl = static_cast<int32_t>(std::strlen(c.needle));
    int32_t hl = static_cast<int32_t>(std::strlen(c.haystack));
    EXPECT_EQ(TextPositionStart(c.needle, nl, c.haystack, hl, false), c.in) << c.needle;
    EXPECT_EQ(TextPositionStart(c.needle, nl, c.haystack, hl, true), c.cin) << c.needle;
    EXPECT_EQ(TextPositionEnd(c.needle, nl, c.haystack, hl, false), c.ein) << c.needle;
    EXPECT_EQ(TextPositionEnd(c.needle, nl, c.haystack, hl, true), c.ecin) << c.needle;
  }
}

TEST(TextSearch, LongAndShortPathsAgree) {
  // Around the 300-byte switch the shift search and the scan must agree,
  // including zero bytes inside the texts.
  for (int32_t length : {299, 300, 301, 1000}) {
    std::string hay(static_cast<size_t>(length), 'a');
    hay[static_cast<size_t>(length - 3)] = '\0';
    hay.replace(static_cast<size_t>(length - 7), 4, "AbXd");
    const std::string needle = "abxd";
    EXPECT_EQ(TextPositionStart(needle.data(), 4, hay.data(), length, false), 0);
    EXPECT_EQ(TextPositionStart(needle.data(), 4, hay.data(), length, true), length - 6);
    EXPECT_EQ(TextPositionEnd(needle.data(), 4, hay.data(), length, true), length - 3);
    const char zero_needle[] = {'d', '\0', 'a'};
    EXPECT_EQ(TextPositionStart(zero_needle, 3, hay.data(), length, false), length - 3);
  }
}

TEST(PasswordHash, TraditionalForm) {
  String out;
  const char salt[2] = {'a', 'b'};
  ASSERT_TRUE(SystemPasswordHash("password", 8, salt, &out));
  EXPECT_STREQ(out.c_str(), "abJnggxhB/yWI");
  // Only the first eight bytes count.
  String longer;
  ASSERT_TRUE(SystemPasswordHash("password123", 11, salt, &longer));
  EXPECT_EQ(longer, out);
  const char bad_salt[2] = {'a', '\x01'};
  EXPECT_FALSE(SystemPasswordHash("x", 1, bad_salt, &out));
}

}  // namespace
}  // namespace pexo
