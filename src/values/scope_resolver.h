// Resolution of a variable name given as text (with an optional scope
// prefix and a path), shared by the machine, the dynamic expression compiler
// and the extension API.
//
// Order: "l." local (create), "g." global (create), "s." system (no create),
// "d."/alias database fields (no create). Without a prefix: system (no
// create), then the current call's locals when it has any (no create), then
// the open databases, then the global scope with create, so an unqualified
// name found nowhere becomes a new global.
#ifndef PEXO_VALUES_SCOPE_RESOLVER_H_
#define PEXO_VALUES_SCOPE_RESOLVER_H_

#include <cstdint>

#include "values/string.h"

namespace pexo {

class Variable;
class VariableHash;
class VariableList;

// What the resolver needs to know about the running program.
class ScopeContext {
 public:
  virtual ~ScopeContext() = default;
  // The current call's local scope; null outside a function call.
  virtual VariableHash* LocalScope() = 0;
  virtual VariableHash* GlobalScope() = 0;
  virtual VariableHash* SystemScope() = 0;
  // A field of the database opened under `alias`, or with a null alias of the
  // first open database that has it; null when none. No databases by default.
  virtual Variable* DatabaseField(const char* alias, int32_t alias_length, const char* name,
                                  int32_t length);
};

// Finds (or creates, where the scope allows) the variable `text` names.
// *variable is null when the name resolves to nothing. Returns false for a
// malformed path, with the error text of the table concerned in `error`.
bool ResolveVariableName(ScopeContext* context, const char* text, int32_t length,
                         Variable** variable, String* error);

// Fills `list` from a comma-separated field text: items are trimmed (isspace),
// empty ones skipped, and each resolved as above. A resolved item enters as a
// reference to its variable, named by the item without its scope prefix; an
// unresolved one as a reference of that name to `null_variable` (skipped when
// that is null). The list is emptied first. Returns the number of entries, or
// -1 with `error` when an item is a malformed path.
int32_t BuildFieldList(ScopeContext* context, const char* text, int32_t length,
                       Variable* null_variable, VariableList* list, String* error);

}  // namespace pexo

#endif  // PEXO_VALUES_SCOPE_RESOLVER_H_
