// MachineScopes: a machine's scopes as the name resolver sees them: the
// current call's locals, the globals, the system scope and the fields of
// the databases the machine has open (none when it opened none). Every
// layer that resolves names given as text (field lists of tags, "recno",
// the machine's own named instructions) goes through this one view.
#ifndef PEXO_VM_MACHINE_SCOPES_H_
#define PEXO_VM_MACHINE_SCOPES_H_

#include <cstdint>

#include "values/scope_resolver.h"
#include "values/string.h"

namespace pexo {

class PexoVM;
class Variable;
class VariableHash;
class VariableList;

class MachineScopes : public ScopeContext {
 public:
  explicit MachineScopes(const PexoVM* vm) : vm_(vm) {}
  VariableHash* LocalScope() override;
  VariableHash* GlobalScope() override;
  VariableHash* SystemScope() override;
  Variable* DatabaseField(const char* alias, int32_t alias_length, const char* name,
                          int32_t length) override;

 private:
  const PexoVM* vm_;
};

// The field-text rule in the machine's current scopes: the number of
// entries, or -1 with the message in `error`.
int32_t BuildMachineFieldList(PexoVM* vm, const char* fields, int32_t length, VariableList* list,
                              String* error);
inline int32_t BuildMachineFieldList(PexoVM* vm, const String& fields, VariableList* list,
                                     String* error) {
  return BuildMachineFieldList(vm, fields.data(), fields.length(), list, error);
}

}  // namespace pexo

#endif  // PEXO_VM_MACHINE_SCOPES_H_
