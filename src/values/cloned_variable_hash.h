// Copies of scopes for a cloned machine, which must never touch its parent's
// tables.
//
// CloneVariableHash(source, names, copy_variables):
// - source's Underlying is a SystemVariableHash: a new SystemVariableHash
//   copy of it becomes the target of a ClonedVariableHash with the source's
//   entries (the copy gets its own Dictionary copy unless the source is the
//   system table itself, in which case it uses `names`);
// - source is its own underlying table: a plain copy of it over `names`;
// - otherwise: a VariableHash copy of the underlying table, with its own
//   Dictionary copy, becomes the target of a ClonedVariableHash.
// With copy_variables each variable is deep-copied, else entries start empty.
// A clone owns its target and the target's Dictionary copy; `names` stays the
// caller's.
#ifndef PEXO_VALUES_CLONED_VARIABLE_HASH_H_
#define PEXO_VALUES_CLONED_VARIABLE_HASH_H_

#include "values/reference_variable_hash.h"

namespace pexo {

class ClonedVariableHash : public ReferenceVariableHash {
 public:
  // Takes ownership of `target`. With `same_layout` the source's entries are
  // the target's own, so every entry resolves to its own number at once.
  ClonedVariableHash(const VariableHash& source, Dictionary* names, VariableHash* target,
                     bool same_layout);
  ~ClonedVariableHash() override;
};

// Null when a copy could not be allocated.
VariableHash* CloneVariableHash(VariableHash* source, Dictionary* names, bool copy_variables);

}  // namespace pexo

#endif  // PEXO_VALUES_CLONED_VARIABLE_HASH_H_
