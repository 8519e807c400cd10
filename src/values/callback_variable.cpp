// CallbackVariable, CallbackStructVariable and their callback object.
#include "values/aggregate_index.h"
#include "values/variable.h"

namespace pexo {

CallbackVariableCallback::~CallbackVariableCallback() {
  // A bound variable may outlive us: cut its link so it never calls back.
  if (bound_) bound_->callback_ = nullptr;
}

void CallbackVariableCallback::Attached(Variable* variable, void*) { bound_ = variable; }

void CallbackVariableCallback::Detached(Variable* variable) {
  if (bound_ == variable) bound_ = nullptr;
}

Variable* CallbackVariableCallback::SupplyMember(Variable*, const AggregateIndex&) { return nullptr; }

CallbackVariable::CallbackVariable(CallbackVariableCallback* callback, void* creator_data)
    : Variable(kOverriding) {
  Bind(callback, creator_data);
}

CallbackVariable::~CallbackVariable() {
  CallbackVariableCallback* callback = callback_;
  callback_ = nullptr;
  if (callback) callback->Detached(this);
}

void CallbackVariable::Bind(CallbackVariableCallback* callback, void* creator_data) {
  callback_ = callback;
  if (callback_) callback_->Attached(this, creator_data);
}

CallbackStructVariable::CallbackStructVariable(CallbackVariableCallback* callback,
                                               void* creator_data)
    : CallbackVariable(callback, creator_data) {
  MakeAggregate(kKindStructure);
}

Variable* CallbackStructVariable::Element(const AggregateIndex& index, int create) {
  Variable* found = Variable::Element(index, 0);
  if (found) return found;
  if (index.borrowed()) {
    AggregateIndex copy(index);  // the callback may free the name's bytes
    return Element(copy, create);
  }
  if (!index.IsNumber() && callback_) {
    if (Variable* supplied = callback_->SupplyMember(this, index)) {
      Set_Element(index, supplied);
      supplied->Release();  // the structure holds it now
      return Variable::Element(index, 0);
    }
  }
  return create ? Variable::Element(index, 1) : nullptr;
}

}  // namespace pexo
