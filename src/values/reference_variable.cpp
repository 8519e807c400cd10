// ReferenceVariable: an alias that forwards every value, aggregate and
// assignment operation to its target.
#include <new>

#include "values/aggregate_walk.h"
#include "values/release_queue.h"
#include "values/variable.h"

namespace pexo {

Variable* Variable::AliasTarget(Variable* target) {
  Variable* v = target;
  for (int32_t links = 0; links < kMaxAliasChain; ++links) {
    Variable* next = v->NextIdentity();
    if (next == v) return target;
    v = next;
  }
  return target->RealIdentity();
}

ReferenceVariable::ReferenceVariable(Variable* target, const char* name, int32_t name_length)
    : Variable(kOverriding, name, name_length) {
  if (target) {
    target = AliasTarget(target);
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
// Chains of aliases can be as long as a script makes them: follow them in
// a loop, and forward every operation straight to the end of the chain.
Variable* ReferenceVariable::RealIdentity() {
  Variable* v = this;
  for (;;) {
    Variable* next = v->NextIdentity();
    if (next == v) return v;
    v = next;
  }
}

// A reference always has a target: both ways of making one insist on it.
const String& ReferenceVariable::Value() { return RealIdentity()->Value(); }
int32_t ReferenceVariable::Value_Integer() { return RealIdentity()->Value_Integer(); }
const mpd_t* ReferenceVariable::Value_Decimal() { return RealIdentity()->Value_Decimal(); }
const mpd_t* ReferenceVariable::Value_Decimal_Checked(int* error) {
  return RealIdentity()->Value_Decimal_Checked(error);
}
int32_t ReferenceVariable::ClassCode() { return kClassReference; }
int32_t ReferenceVariable::Type() { return RealIdentity()->Type(); }
int32_t ReferenceVariable::PreferredType() { return RealIdentity()->PreferredType(); }
int ReferenceVariable::IsTrue() { return RealIdentity()->IsTrue(); }
int ReferenceVariable::IsNULL() { return RealIdentity()->IsNULL(); }
void ReferenceVariable::Clear() { RealIdentity()->Clear(); }
AggregateElementTree* ReferenceVariable::Aggregate() { return RealIdentity()->Aggregate(); }
int32_t ReferenceVariable::AggregateKind() { return RealIdentity()->AggregateKind(); }
int ReferenceVariable::SetValue_Variable(Variable* source) { return RealIdentity()->SetValue_Variable(source); }
int ReferenceVariable::SetValue(const char* text, int32_t length) { return RealIdentity()->SetValue(text, length); }
int ReferenceVariable::SetValue_Nocopy(char* text, int32_t length, int32_t size) {
  return RealIdentity()->SetValue_Nocopy(text, length, size);
}
int ReferenceVariable::SetValue_Integer(int32_t value) { return RealIdentity()->SetValue_Integer(value); }
int ReferenceVariable::SetValue_Decimal(const mpd_t* value) { return RealIdentity()->SetValue_Decimal(value); }
int ReferenceVariable::SetValue_Decimal_Nocopy(mpd_t* value) {
  return RealIdentity()->SetValue_Decimal_Nocopy(value);
}
Variable* ReferenceVariable::Element(const AggregateIndex& index, int create) {
  return RealIdentity()->Element(index, create);
}
int ReferenceVariable::Set_Element(const AggregateIndex& index, Variable* value) {
  return RealIdentity()->Set_Element(index, value);
}
int ReferenceVariable::Insert_Array_Element(int32_t position, Variable* value) {
  return RealIdentity()->Insert_Array_Element(position, value);
}
int ReferenceVariable::Delete_Element(const AggregateIndex& index, int shift) {
  return RealIdentity()->Delete_Element(index, shift);
}
int ReferenceVariable::Delete_Array_Elements(int32_t first, int32_t count, int shift) {
  return RealIdentity()->Delete_Array_Elements(first, count, shift);
}
int ReferenceVariable::Array_Merge(Variable* source, int32_t first, int32_t count,
                                   int32_t destination, int copy) {
  return RealIdentity()->Array_Merge(source, first, count, destination, copy);
}
int ReferenceVariable::Array_Copy(Variable* source, int32_t first, int32_t count,
                                  int32_t destination, int copy) {
  return RealIdentity()->Array_Copy(source, first, count, destination, copy);
}
int32_t ReferenceVariable::Array_Collapse() { return RealIdentity()->Array_Collapse(); }
int32_t ReferenceVariable::Array_Max() { return RealIdentity()->Array_Max(); }
int32_t ReferenceVariable::Array_Min() { return RealIdentity()->Array_Min(); }
int32_t ReferenceVariable::Array_Next(int32_t index) { return RealIdentity()->Array_Next(index); }
int32_t ReferenceVariable::Array_Previous(int32_t index) { return RealIdentity()->Array_Previous(index); }
int32_t ReferenceVariable::ElementsUsed() { return RealIdentity()->ElementsUsed(); }

// Each link of a chain counts every holder of the links before it.
void ReferenceVariable::Retain() {
  Variable* v = this;
  for (Variable* next = v->NextIdentity(); next != v; next = v->NextIdentity()) {
    ++v->refcount_;
    v = next;
  }
  v->Retain();
}

void ReferenceVariable::Release() {
  Variable* v = this;
  for (Variable* next = v->NextIdentity(); next != v; next = v->NextIdentity()) {
    if (--v->refcount_ <= 0) DestroyVariable(v);
    v = next;
  }
  v->Release();
}

void ReferenceVariable::MakeString() { RealIdentity()->MakeString(); }
void ReferenceVariable::MakeInteger() { RealIdentity()->MakeInteger(); }
void ReferenceVariable::MakeDecimal() { RealIdentity()->MakeDecimal(); }
void ReferenceVariable::MakeAggregate(int32_t kind) { RealIdentity()->MakeAggregate(kind); }
void ReferenceVariable::AppendText(String* out) { RealIdentity()->AppendText(out); }

int ReferenceVariable::Make_Reference(Variable* target) {
  if (!target) return 0;
  if (target->RealIdentity() == RealIdentity()) return 1;
  // Refused when this alias is reachable from the target: it would become
  // its own target, or an element nested inside its own value.
  if (VariableReaches(target, this)) return 0;
  target = AliasTarget(target);
  // Every unit of our count moves from the old target to the new one.
  for (int32_t i = 0; i < refcount_; ++i) target->Retain();
  Variable* old = target_;
  target_ = target;
  for (int32_t i = 0; i < refcount_; ++i) old->Release();
  return 1;
}

int ReferenceVariable::Make_CallbackStruct(CallbackVariableCallback* callback, void* creator_data) {
  return RealIdentity()->Make_CallbackStruct(callback, creator_data);
}

void ReferenceVariable::CopyRepresentationsTo(Variable* destination) {
  RealIdentity()->CopyRepresentationsTo(destination);
}

}  // namespace pexo
