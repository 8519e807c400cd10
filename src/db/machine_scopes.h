// The running machine's scopes as the name resolver sees them, for the tags
// of this layer that name variables in a text (field lists, "recno").
#ifndef PEXO_DB_MACHINE_SCOPES_H_
#define PEXO_DB_MACHINE_SCOPES_H_

#include <cstdint>

#include "values/scope_resolver.h"
#include "values/string.h"

namespace pexo {

class PexoVM;
class Variable;
class VariableList;

class MachineScopes : public ScopeContext {
 public:
  explicit MachineScopes(PexoVM* vm) : vm_(vm) {}
  VariableHash* LocalScope() override;
  VariableHash* GlobalScope() override;
  VariableHash* SystemScope() override;

 private:
  PexoVM* vm_;
};

// The field-text rule in the machine's current scopes: the number of
// entries, or -1 with the message in `error`.
int32_t BuildMachineFieldList(PexoVM* vm, const String& fields, VariableList* list,
                              String* error);

}  // namespace pexo

#endif  // PEXO_DB_MACHINE_SCOPES_H_
