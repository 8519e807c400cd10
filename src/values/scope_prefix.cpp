#include "values/scope_prefix.h"

#include <cstring>

#include "values/string.h"

namespace pexo {

namespace {

struct FixedPrefix {
  const char* text;
  ScopeKind kind;
};

constexpr FixedPrefix kFixedPrefixes[] = {
    {"l.", ScopeKind::kLocal},     {"local.", ScopeKind::kLocal},
    {"g.", ScopeKind::kGlobal},    {"global.", ScopeKind::kGlobal},
    {"s.", ScopeKind::kSystem},    {"system.", ScopeKind::kSystem},
    {"d.", ScopeKind::kDatabase},  {"database.", ScopeKind::kDatabase},
};

// Length of `prefix` when `text` starts with it (case-insensitively), else 0.
int32_t MatchPrefix(const char* text, int32_t length, const char* prefix) {
  int32_t n = static_cast<int32_t>(std::strlen(prefix));
  if (length < n || !equals_nocase(text, n, prefix, n)) return 0;
  return n;
}

int32_t MatchDatabaseMarker(const char* text, int32_t length) {
  int32_t n = MatchPrefix(text, length, "d.");
  return n ? n : MatchPrefix(text, length, "database.");
}

}  // namespace

ScopePrefix ParseScopePrefix(const char* text, int32_t length) {
  length = text_length(text, length);
  ScopePrefix result;
  result.rest = text ? text : "";
  result.rest_length = length;
  if (!text) return result;

  for (const FixedPrefix& p : kFixedPrefixes) {
    int32_t n = MatchPrefix(text, length, p.text);
    if (n) {
      result.kind = p.kind;
      result.rest = text + n;
      result.rest_length = length - n;
      return result;
    }
  }

  const char* dot = static_cast<const char*>(std::memchr(text, '.', static_cast<size_t>(length)));
  if (!dot || dot == text) return result;
  int32_t alias_length = static_cast<int32_t>(dot - text);
  int32_t after = alias_length + 1;
  int32_t marker = MatchDatabaseMarker(text + after, length - after);
  if (!marker) return result;
  result.kind = ScopeKind::kDatabaseAlias;
  result.alias = text;
  result.alias_length = alias_length;
  result.rest = text + after + marker;
  result.rest_length = length - after - marker;
  return result;
}

}  // namespace pexo
