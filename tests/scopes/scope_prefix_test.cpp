#include "values/scope_prefix.h"

#include <gtest/gtest.h>

#include <string>

namespace pexo {
namespace {

struct PrefixCase {
  const char* text;
  ScopeKind kind;
  const char* alias;
  const char* rest;
};

std::string Piece(const char* p, int32_t n) { return p ? std::string(p, static_cast<size_t>(n)) : ""; }

TEST(ScopePrefixTest, SplitsKindAliasAndRest) {
  const PrefixCase cases[] = {
      {"l.x", ScopeKind::kLocal, "", "x"},
      {"LOCAL.Count", ScopeKind::kLocal, "", "Count"},
      {"g.total:sum[2]", ScopeKind::kGlobal, "", "total:sum[2]"},
      {"Global.x", ScopeKind::kGlobal, "", "x"},
      {"s.path_info", ScopeKind::kSystem, "", "path_info"},
      {"SYSTEM.x", ScopeKind::kSystem, "", "x"},
      {"d.name", ScopeKind::kDatabase, "", "name"},
      {"Database.name", ScopeKind::kDatabase, "", "name"},
      {"orders.d.total", ScopeKind::kDatabaseAlias, "orders", "total"},
      {"orders.DATABASE.total", ScopeKind::kDatabaseAlias, "orders", "total"},
      {"a.d.name", ScopeKind::kDatabaseAlias, "a", "name"},
      {"x.name", ScopeKind::kNone, "", "x.name"},
      {"a.b", ScopeKind::kNone, "", "a.b"},
      {"foo.bar.d.x", ScopeKind::kNone, "", "foo.bar.d.x"},
      {"plain", ScopeKind::kNone, "", "plain"},
      {"local", ScopeKind::kNone, "", "local"},
      {"l", ScopeKind::kNone, "", "l"},
      {"lx.y", ScopeKind::kNone, "", "lx.y"},
      {".d.x", ScopeKind::kNone, "", ".d.x"},
      {"a.dx", ScopeKind::kNone, "", "a.dx"},
      {"l.d.x", ScopeKind::kLocal, "", "d.x"},
      {"s.", ScopeKind::kSystem, "", ""},
      {"", ScopeKind::kNone, "", ""},
  };
  for (const PrefixCase& c : cases) {
    ScopePrefix p = ParseScopePrefix(c.text, -1);
    EXPECT_EQ(p.kind, c.kind) << c.text;
    EXPECT_EQ(Piece(p.alias, p.alias_length), c.alias) << c.text;
    EXPECT_EQ(Piece(p.rest, p.rest_length), c.rest) << c.text;
  }
}

TEST(ScopePrefixTest, HonoursGivenLengthAndNull) {
  // "s.ab" cut to "s." must not see past the length.
  ScopePrefix p = ParseScopePrefix("s.ab", 2);
  EXPECT_EQ(p.kind, ScopeKind::kSystem);
  EXPECT_EQ(p.rest_length, 0);
  p = ParseScopePrefix("q.d.x", 3);  // "q.d" lacks the dot after d
  EXPECT_EQ(p.kind, ScopeKind::kNone);
  EXPECT_EQ(p.rest_length, 3);
  p = ParseScopePrefix(nullptr, -1);
  EXPECT_EQ(p.kind, ScopeKind::kNone);
  EXPECT_EQ(p.rest_length, 0);
}

}  // namespace
}  // namespace pexo
