#include "vm/vm_frame.h"

#include "values/variable_hash.h"
#include "vm/vm_stack.h"

namespace pexo {

PexoVM_Frame::~PexoVM_Frame() {
  if (owns_stack_) delete stack_;
  if (owns_scope_) delete scope_;
}

void PexoVM_Frame::set_scope(VariableHash* scope, bool owned) {
  if (owns_scope_ && scope_ != scope) delete scope_;
  scope_ = scope;
  owns_scope_ = owned;
}

void PexoVM_Frame::set_stack(PexoVM_Stack* stack, bool owned) {
  if (owns_stack_ && stack_ != stack) delete stack_;
  stack_ = stack;
  owns_stack_ = owned;
}

VariableHash* PexoVM_Frame::detach_scope() {
  VariableHash* scope = owns_scope_ ? scope_ : nullptr;
  owns_scope_ = false;
  return scope;
}

PexoVM_Stack* PexoVM_Frame::detach_stack() {
  PexoVM_Stack* stack = owns_stack_ ? stack_ : nullptr;
  owns_stack_ = false;
  return stack;
}

PexoVM_FunctionFrame::~PexoVM_FunctionFrame() = default;
PexoVM_AsyncFrame::~PexoVM_AsyncFrame() = default;

}  // namespace pexo
