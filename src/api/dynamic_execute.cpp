#include "api/dynamic_execute.h"

#include "vm/pexo_vm.h"
#include "vm/vm_stack.h"

namespace pexo {

namespace {

// Runs on a fresh stack so that nothing the caller left there is consumed.
bool RunOnFreshStack(PexoVM* vm, Segment* segment, VariableHash* scope, PexoVM_Stack* stack) {
  if (!vm || !segment) return false;
  return vm->run_segment(segment, stack, scope) == 1 && stack->depth() > 0 && !vm->fatal();
}

}  // namespace

bool ExecuteDynamicExpression(PexoVM* vm, Segment* segment, VariableHash* scope,
                              Variable* result) {
  PexoVM_Stack stack(vm);
  if (!result || !RunOnFreshStack(vm, segment, scope, &stack)) return false;
  return stack.pop_into(result);
}

bool ExecuteDynamicExpressionBoolean(PexoVM* vm, Segment* segment, VariableHash* scope,
                                     int* truth) {
  PexoVM_Stack stack(vm);
  if (!truth || !RunOnFreshStack(vm, segment, scope, &stack)) return false;
  *truth = stack.pop_truth();
  return true;
}

}  // namespace pexo
