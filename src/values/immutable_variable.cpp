// ImmutableVariable, DynamicImmutableVariable and NULLVariable.
#include <cstdlib>
#include <new>

#include "values/aggregate_element.h"
#include "values/aggregate_index.h"
#include "values/aggregate_tree.h"
#include "values/aggregate_walk.h"
#include "values/variable.h"

namespace pexo {

namespace {

Variable* MakeImmutableMember() { return new (std::nothrow) ImmutableVariable(); }

mpd_uint_t null_word[1] = {0};
const mpd_t kNullDecimal = {MPD_STATIC | MPD_CONST_DATA, 0, 1, 1, 1, null_word};

}  // namespace

// ------------------------------------------------------- ImmutableVariable

ImmutableVariable::ImmutableVariable() : Variable(kOverriding) {}

ImmutableVariable::ImmutableVariable(const char* name, int32_t name_length)
    : Variable(kOverriding, name, name_length) {}

ImmutableVariable::~ImmutableVariable() {
  if (null_) null_->Release();
}

Variable* ImmutableVariable::Copy() {
  ImmutableVariable* copy = new (std::nothrow) ImmutableVariable(name_.data(), name_.length());
  if (copy) copy->CopyValueFrom(this);
  return copy;
}

Variable* ImmutableVariable::MakeCopyShell() {
  return new (std::nothrow) ImmutableVariable(name_.data(), name_.length());
}

void ImmutableVariable::Clear() {
  if (!immutable_) Variable::Clear();
}

int ImmutableVariable::SetValue_Variable(Variable* source) {
  return immutable_ ? 1 : Variable::SetValue_Variable(source);
}

int ImmutableVariable::SetValue(const char* text, int32_t length) {
  return immutable_ ? 1 : Variable::SetValue(text, length);
}

int ImmutableVariable::SetValue_Nocopy(char* text, int32_t length, int32_t size) {
  if (!immutable_) return Variable::SetValue_Nocopy(text, length, size);
  std::free(text);  // the caller gave it away either way
  return 1;
}

int ImmutableVariable::SetValue_Integer(int32_t value) {
  return immutable_ ? 1 : Variable::SetValue_Integer(value);
}

int ImmutableVariable::SetValue_Decimal(const mpd_t* value) {
  return immutable_ ? 1 : Variable::SetValue_Decimal(value);
}

int ImmutableVariable::SetValue_Decimal_Nocopy(mpd_t* value) {
  if (!immutable_) return Variable::SetValue_Decimal_Nocopy(value);
  if (value && value != decimal_) mpd_del(value);
  return 1;
}

Variable* ImmutableVariable::Element(const AggregateIndex& index, int create) {
  if (!immutable_) return ElementWith(index, create, MakeImmutableMember);
  Variable* found = ElementWith(index, 0, MakeImmutableMember);
  if (found || !create) return found;
  return Null();
}

int ImmutableVariable::Set_Element(const AggregateIndex& index, Variable* value) {
  if (immutable_) return 1;
  if (!value) return 0;
  if (dynamic_cast<ImmutableVariable*>(value)) return Variable::Set_Element(index, value);
  ImmutableVariable* wrapped =
      new (std::nothrow) ImmutableVariable(value->Name().data(), value->Name().length());
  if (!wrapped) return 0;
  wrapped->CopyValueFrom(value);
  int done = Variable::Set_Element(index, wrapped);
  wrapped->Release();
  return done;
}

int ImmutableVariable::Insert_Array_Element(int32_t position, Variable* value) {
  return immutable_ ? 1 : Variable::Insert_Array_Element(position, value);
}

int ImmutableVariable::Delete_Element(const AggregateIndex& index, int shift) {
  return immutable_ ? 1 : Variable::Delete_Element(index, shift);
}

int ImmutableVariable::Delete_Array_Elements(int32_t first, int32_t count, int shift) {
  return immutable_ ? 1 : Variable::Delete_Array_Elements(first, count, shift);
}

int ImmutableVariable::Array_Merge(Variable* source, int32_t first, int32_t count,
                                   int32_t destination, int copy) {
  return immutable_ ? 1 : Variable::Array_Merge(source, first, count, destination, copy);
}

int ImmutableVariable::Array_Copy(Variable* source, int32_t first, int32_t count,
                                  int32_t destination, int copy) {
  return immutable_ ? 1 : Variable::Array_Copy(source, first, count, destination, copy);
}

int32_t ImmutableVariable::Array_Collapse() {
  return immutable_ ? ElementsUsed() : Variable::Array_Collapse();
}

void ImmutableVariable::MakeAggregate(int32_t kind) {
  if (!immutable_) Variable::MakeAggregate(kind);
}

// An immutable variable has a larger layout than the alias classes, so it
// cannot be rebuilt in place.
int ImmutableVariable::Make_Reference(Variable*) { return 0; }
int ImmutableVariable::Make_CallbackStruct(CallbackVariableCallback*, void*) { return 0; }

void ImmutableVariable::MakeImmutable() { SetImmutableTree(true); }
void ImmutableVariable::MakeMutable() { SetImmutableTree(false); }
int ImmutableVariable::IsCurrent() { return 1; }
void ImmutableVariable::Refresh() {}

NULLVariable* ImmutableVariable::Null() {
  if (!null_) null_ = new (std::nothrow) NULLVariable();
  return null_;
}

// The flag spreads through elements that are immutable variables
// themselves, however deep; any other element (a plain variable, a
// reference) stops it. Null stays immutable.
void ImmutableVariable::SetImmutableTree(bool flag) {
  immutable_ = flag ? 1 : 0;
  if (!elements_) return;
  AggregateWalk walk(elements_, AggregateWalk::kOnce);
  while (walk.Next()) {
    auto* member = dynamic_cast<ImmutableVariable*>(walk.variable());
    if (!member || (!flag && dynamic_cast<NULLVariable*>(member))) {
      walk.Skip();
      continue;
    }
    member->immutable_ = flag ? 1 : 0;
  }
}

// ------------------------------------------------ DynamicImmutableVariable

DynamicImmutableVariable::DynamicImmutableVariable() = default;

DynamicImmutableVariable::DynamicImmutableVariable(const char* name, int32_t name_length)
    : ImmutableVariable(name, name_length) {}

const String& DynamicImmutableVariable::Value() {
  Update();
  return ImmutableVariable::Value();
}

int32_t DynamicImmutableVariable::Value_Integer() {
  Update();
  return ImmutableVariable::Value_Integer();
}

const mpd_t* DynamicImmutableVariable::Value_Decimal() {
  Update();
  return ImmutableVariable::Value_Decimal();
}

const mpd_t* DynamicImmutableVariable::Value_Decimal_Checked(int* error) {
  Update();
  return ImmutableVariable::Value_Decimal_Checked(error);
}

int32_t DynamicImmutableVariable::Type() {
  Update();
  return ImmutableVariable::Type();
}

int DynamicImmutableVariable::IsTrue() {
  Update();
  return ImmutableVariable::IsTrue();
}

int DynamicImmutableVariable::IsNULL() {
  Update();
  return ImmutableVariable::IsNULL();
}

Variable* DynamicImmutableVariable::Element(const AggregateIndex& index, int create) {
  if (index.borrowed()) {
    AggregateIndex copy(index);  // the update may change what the name's bytes are in
    return Element(copy, create);
  }
  Update();
  return ImmutableVariable::Element(index, create);
}

AggregateElementTree* DynamicImmutableVariable::Aggregate() {
  Update();
  return ImmutableVariable::Aggregate();
}

int32_t DynamicImmutableVariable::AggregateKind() {
  Update();
  return ImmutableVariable::AggregateKind();
}

void DynamicImmutableVariable::AppendText(String* out) {
  Update();
  ImmutableVariable::AppendText(out);
}

void DynamicImmutableVariable::CopyRepresentationsTo(Variable* destination) {
  Update();
  ImmutableVariable::CopyRepresentationsTo(destination);
}

// ------------------------------------------------------------ NULLVariable

NULLVariable::NULLVariable() { immutable_ = 1; }

NULLVariable::NULLVariable(const char* name, int32_t name_length)
    : ImmutableVariable(name, name_length) {
  immutable_ = 1;
}

const String& NULLVariable::Value() { return text_; }  // never assigned: empty
int32_t NULLVariable::Value_Integer() { return 0; }
const mpd_t* NULLVariable::Value_Decimal() { return &kNullDecimal; }

const mpd_t* NULLVariable::Value_Decimal_Checked(int* error) {
  if (error) *error = 0;
  return &kNullDecimal;
}

int32_t NULLVariable::ClassCode() { return kClassNull; }
int32_t NULLVariable::Type() { return kTypeNone; }
int NULLVariable::IsTrue() { return 0; }
int NULLVariable::IsNULL() { return 1; }

Variable* NULLVariable::Element(const AggregateIndex&, int create) {
  return create ? this : nullptr;
}

int32_t NULLVariable::Array_Collapse() { return 0; }

void NULLVariable::AppendText(String* out) {
  if (!out->empty()) out->append(',');
}

void NULLVariable::MakeMutable() {}  // null stays null

}  // namespace pexo
