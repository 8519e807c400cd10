#include "vm/machine_scopes.h"

#include "values/variable.h"
#include "vm/machine_databases.h"
#include "vm/pexo_vm.h"

namespace pexo {

VariableHash* MachineScopes::LocalScope() { return vm_->local_scope(); }
VariableHash* MachineScopes::GlobalScope() { return vm_->globals(); }
VariableHash* MachineScopes::SystemScope() { return vm_->context().system; }

Variable* MachineScopes::DatabaseField(const char* alias, int32_t alias_length, const char* name,
                                       int32_t length) {
  // Only databases already open: resolving a name never makes the manager.
  MachineDatabases* databases = vm_->open_databases();
  return databases ? databases->Field(alias, alias_length, name, length) : nullptr;
}

int32_t BuildMachineFieldList(PexoVM* vm, const char* fields, int32_t length, VariableList* list,
                              String* error) {
  MachineScopes scopes(vm);
  return BuildFieldList(&scopes, fields, length, vm->null_variable(), list, error);
}

}  // namespace pexo
