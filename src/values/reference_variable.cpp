// ReferenceVariable: an alias that forwards every value, aggregate and
// assignment operation to its target.
#include <new>

#include "values/variable.h"

namespace pexo {

ReferenceVariable::ReferenceVariable(Variable* target, const char* name, int32_t name_length)
    : Variable(name, name_length) {
  if (target) {
    target->Retain();
  } else {
    target = new (std::nothrow) NULLVariable();  // count 1: ours
  }
  target_ = target;
}

// By the time the last count is gone every unit on the target has been
// given back by Release.
ReferenceVariable::~ReferenceVariable() = default;

Variable* ReferenceVariable::NextIdentity() { return target_ ? target_ : this; }
Variable* ReferenceVariable::RealIdentity() { return target_ ? target_->RealIdentity() : this; }

// A reference always has a target: both ways of making one insist on it.
const String& ReferenceVariable::Value() { return target_->Value(); }
int32_t ReferenceVariable::Value_Integer() { return target_->Value_Integer(); }
const mpd_t* ReferenceVariable::Value_Decimal() { return target_->Value_Decimal(); }
const mpd_t* ReferenceVariable::Value_Decimal_Checked(int* error) {
  return target_->Value_Decimal_Checked(error);
}
int32_t ReferenceVariable::ClassCode() { return kClassReference; }
int32_t ReferenceVariable::Type() { return target_->Type(); }
int32_t ReferenceVariable::PreferredType() { return target_->PreferredType(); }
int ReferenceVariable::IsTrue() { return target_->IsTrue(); }
int ReferenceVariable::IsNULL() { return target_->IsNULL(); }
void ReferenceVariable::Clear() { target_->Clear(); }
AggregateElementTree* ReferenceVariable::Aggregate() { return target_->Aggregate(); }
int32_t ReferenceVariable::AggregateKind() { return target_->AggregateKind(); }
int ReferenceVariable::SetValue_Variable(Variable* source) { return target_->SetValue_Variable(source); }
int ReferenceVariable::SetValue(const char* text, int32_t length) { return target_->SetValue(text, length); }
int ReferenceVariable::SetValue_Nocopy(char* text, int32_t length, int32_t size) {
  return target_->SetValue_Nocopy(text, length, size);
}
int ReferenceVariable::SetValue_Integer(int32_t value) { return target_->SetValue_Integer(value); }
int ReferenceVariable::SetValue_Decimal(const mpd_t* value) { return target_->SetValue_Decimal(value); }
int ReferenceVariable::SetValue_Decimal_Nocopy(mpd_t* value) {
  return target_->SetValue_Decimal_Nocopy(value);
}
Variable* ReferenceVariable::Element(const AggregateIndex& index, int create) {
  return target_->Element(index, create);
}
int ReferenceVariable::Set_Element(const AggregateIndex& index, Variable* value) {
  return target_->Set_Element(index, value);
}
int ReferenceVariable::Insert_Array_Element(int32_t position, Variable* value) {
  return target_->Insert_Array_Element(position, value);
}
int ReferenceVariable::Delete_Element(const AggregateIndex& index, int shift) {
  return target_->Delete_Element(index, shift);
}
int ReferenceVariable::Delete_Array_Elements(int32_t first, int32_t count, int shift) {
  return target_->Delete_Array_Elements(first, count, shift);
}
int ReferenceVariable::Array_Merge(Variable* source, int32_t first, int32_t count,
                                   int32_t destination, int copy) {
  return target_->Array_Merge(source, first, count, destination, copy);
}
int ReferenceVariable::Array_Copy(Variable* source, int32_t first, int32_t count,
                                  int32_t destination, int copy) {
  return target_->Array_Copy(source, first, count, destination, copy);
}
int32_t ReferenceVariable::Array_Collapse() { return target_->Array_Collapse(); }
int32_t ReferenceVariable::Array_Max() { return target_->Array_Max(); }
int32_t ReferenceVariable::Array_Min() { return target_->Array_Min(); }
int32_t ReferenceVariable::Array_Next(int32_t index) { return target_->Array_Next(index); }
int32_t ReferenceVariable::Array_Previous(int32_t index) { return target_->Array_Previous(index); }
int32_t ReferenceVariable::ElementsUsed() { return target_->ElementsUsed(); }

void ReferenceVariable::Retain() {
  ++refcount_;
  target_->Retain();
}

void ReferenceVariable::Release() {
  Variable* target = target_;
  if (--refcount_ <= 0) delete this;
  target->Release();
}

void ReferenceVariable::MakeString() { target_->MakeString(); }
void ReferenceVariable::MakeInteger() { target_->MakeInteger(); }
void ReferenceVariable::MakeDecimal() { target_->MakeDecimal(); }
void ReferenceVariable::MakeAggregate(int32_t kind) { target_->MakeAggregate(kind); }
void ReferenceVariable::AppendText(String* out) { target_->AppendText(out); }

int ReferenceVariable::Make_Reference(Variable* target) {
  if (!target) return 0;
  if (target->RealIdentity() == RealIdentity()) return 1;
  if (target->RealIdentity() == this) return 0;
  // Every unit of our count moves from the old target to the new one.
  for (int32_t i = 0; i < refcount_; ++i) target->Retain();
  Variable* old = target_;
  target_ = target;
  for (int32_t i = 0; i < refcount_; ++i) old->Release();
  return 1;
}

int ReferenceVariable::Make_CallbackStruct(CallbackVariableCallback* callback, void* creator_data) {
  return target_->Make_CallbackStruct(callback, creator_data);
}

void ReferenceVariable::CopyRepresentationsTo(Variable* destination) {
  target_->CopyRepresentationsTo(destination);
}

}  // namespace pexo
