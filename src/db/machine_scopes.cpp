#include "db/machine_scopes.h"

#include "values/variable.h"
#include "vm/pexo_vm.h"

namespace pexo {

VariableHash* MachineScopes::LocalScope() { return vm_->local_scope(); }
VariableHash* MachineScopes::GlobalScope() { return vm_->globals(); }
VariableHash* MachineScopes::SystemScope() { return vm_->context().system; }

int32_t BuildMachineFieldList(PexoVM* vm, const String& fields, VariableList* list,
                              String* error) {
  MachineScopes scopes(vm);
  return BuildFieldList(&scopes, fields.data(), fields.length(),
                        vm->null_variable(), list, error);
}

}  // namespace pexo
