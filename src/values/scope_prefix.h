// Scope prefixes of a variable name given as text.
//
// "l."/"local.", "g."/"global.", "s."/"system.", "d."/"database." select a
// scope (case-insensitive); alias + ".d." or alias + ".database." selects the
// database opened under that alias. Any other text, including one letter
// other than l, g, s, d followed by ".", has no prefix and is a name as a
// whole. The fixed prefixes are tried before the alias form, so "l.d.x" is
// the local variable "d.x".
#ifndef PEXO_VALUES_SCOPE_PREFIX_H_
#define PEXO_VALUES_SCOPE_PREFIX_H_

#include <cstdint>

namespace pexo {

enum class ScopeKind {
  kNone,           // no prefix: searched in the default order
  kLocal,
  kGlobal,
  kSystem,
  kDatabase,       // every open database, first match
  kDatabaseAlias,  // the database opened under `alias`
};

struct ScopePrefix {
  ScopeKind kind = ScopeKind::kNone;
  const char* alias = nullptr;  // kDatabaseAlias only, not terminated
  int32_t alias_length = 0;
  const char* rest = nullptr;   // the name after the prefix (whole text for kNone)
  int32_t rest_length = 0;
};

// Splits `text` (length -1: up to a zero byte). Never fails.
ScopePrefix ParseScopePrefix(const char* text, int32_t length);

}  // namespace pexo

#endif  // PEXO_VALUES_SCOPE_PREFIX_H_
