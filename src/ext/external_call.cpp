#include "ext/external_call.h"

#include "values/variable.h"

namespace pexo {

ExternalCall::~ExternalCall() {
  if (data_ && descriptor_->function) descriptor_->function(nullptr, nullptr, nullptr, &data_);
  for (auto& slot : slots_)
    if (slot->variable) slot->variable->Release();
}

int32_t ExternalCall::parameter_flags(int32_t index) const {
  if (!descriptor_->parameters || index < 0 || index >= descriptor_->parameter_count) return 0;
  return descriptor_->parameters[index].flags;
}

ExternalCall::ResultSlot* ExternalCall::SlotOfThisThread() {
  const std::thread::id self = std::this_thread::get_id();
  std::lock_guard<std::mutex> hold(slots_lock_);
  for (auto& slot : slots_)
    if (slot->thread == self) return slot.get();
  slots_.push_back(std::make_unique<ResultSlot>());
  slots_.back()->thread = self;
  return slots_.back().get();
}

Variable* ExternalCall::Invoke(void* program, VariableHash* parameters, ResultSlot* slot) {
  Variable* result = slot->variable;
  // An ordinary variable held only here is emptied without virtual calls.
  if (!result || !result->ClearIfSoleOrdinary()) {
    if (result && result->RefCount() < 2) {
      result->Clear();
    } else {
      if (result) result->Release();
      result = new Variable();
      slot->variable = result;
    }
  }
  if (descriptor_->function) descriptor_->function(program, parameters, result, &data_);
  result->Retain();
  return result;
}

}  // namespace pexo
