#include "db/xbase/xbase_variables.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <new>

#include "db/xbase/xbase_table.h"
#include "values/conversions.h"

namespace pexo {

// ----------------------------------------------------------- XBaseVariable

XBaseVariable::XBaseVariable(const char* name, int32_t name_length)
    : Variable(kOverriding, name, name_length) {}

void XBaseVariable::Invalidate() {
  loaded_ = false;
  dirty_ = false;
  valid_ = 0;
  type_ = kTypeNone;
}

void XBaseVariable::StoreIntoField() {}

void XBaseVariable::SaveValue() {
  saved_loaded_ = loaded_;
  saved_dirty_ = dirty_;
  if (loaded_) saved_text_.assign(Variable::Value());
}

void XBaseVariable::RestoreValue() {
  if (saved_loaded_) {
    StoreText(saved_text_.data(), saved_text_.length());
  } else {
    valid_ = 0;
    type_ = kTypeNone;
  }
  loaded_ = saved_loaded_;
  dirty_ = saved_dirty_;
}

int XBaseVariable::Assigned(const char* text, int32_t length) {
  StoreText(text, length);
  loaded_ = true;
  dirty_ = true;
  return 1;
}

Variable* XBaseVariable::Copy() {
  Update();
  return Variable::Copy();
}

const String& XBaseVariable::Value() {
  Update();
  return Variable::Value();
}

int32_t XBaseVariable::Value_Integer() {
  Update();
  return Variable::Value_Integer();
}

const mpd_t* XBaseVariable::Value_Decimal() {
  Update();
  return Variable::Value_Decimal();
}

const mpd_t* XBaseVariable::Value_Decimal_Checked(int* error) {
  Update();
  return Variable::Value_Decimal_Checked(error);
}

int32_t XBaseVariable::Type() {
  Update();
  return Variable::Type();
}

int XBaseVariable::IsTrue() {
  Update();
  return Variable::IsTrue();
}

int XBaseVariable::IsNULL() {
  Update();
  return Variable::IsNULL();
}

void XBaseVariable::AppendText(String* out) {
  Update();
  Variable::AppendText(out);
}

void XBaseVariable::CopyRepresentationsTo(Variable* destination) {
  Update();
  Variable::CopyRepresentationsTo(destination);
}

void XBaseVariable::Clear() { Take("", 0); }

int XBaseVariable::SetValue(const char* text, int32_t length) {
  if (length < 0) length = text ? static_cast<int32_t>(std::strlen(text)) : 0;
  return Take(text ? text : "", length);
}

int XBaseVariable::SetValue_Nocopy(char* text, int32_t length, int32_t) {
  int ok = SetValue(text, length);
  std::free(text);
  return ok;
}

int XBaseVariable::SetValue_Variable(Variable* source) {
  if (!source) return 0;
  Variable* from = source->RealIdentity();
  if (from == this) return 1;
  from->Retain();
  String text(from->Value());
  from->Release();
  return Take(text.data(), text.length());
}

int XBaseVariable::SetValue_Integer(int32_t value) {
  int32_t length = 0;
  char* text = IntegerToText(value, &length);
  if (!text) return 0;
  int ok = Take(text, length);
  std::free(text);
  return ok;
}

int XBaseVariable::SetValue_Decimal(const mpd_t* value) {
  int32_t length = 0;
  char* text = value ? DecimalToText(value, &length) : nullptr;
  if (!text) return 0;
  int ok = Take(text, length);
  std::free(text);
  return ok;
}

int XBaseVariable::SetValue_Decimal_Nocopy(mpd_t* value) {
  int ok = SetValue_Decimal(value);
  if (value) mpd_del(value);
  return ok;
}

Variable* XBaseVariable::Element(const AggregateIndex&, int) { return nullptr; }
int XBaseVariable::Set_Element(const AggregateIndex&, Variable*) { return 0; }
int XBaseVariable::Insert_Array_Element(int32_t, Variable*) { return 0; }
void XBaseVariable::MakeAggregate(int32_t) {}
int XBaseVariable::Make_Reference(Variable*) { return 0; }
int XBaseVariable::Make_CallbackStruct(CallbackVariableCallback*, void*) { return 0; }

// ---------------------------------------------------------- field variables

XBaseFieldVariable::XBaseFieldVariable(XBaseField* field)
    : XBaseVariable(field->Name().data(), field->Name().length()), field_(field) {}

void XBaseFieldVariable::Rebind(XBaseField* field) {
  field_ = field;
  Invalidate();
}

void XBaseFieldVariable::StoreIntoField() {
  if (!dirty_ || detached_) return;
  const String& text = Variable::Value();
  field_->SetValue(text.data(), text.length());
  dirty_ = false;
}

XBaseStringVariable::XBaseStringVariable(XBaseField* field) : XBaseFieldVariable(field) {}

void XBaseStringVariable::Load() {
  const String& text = field_->Value();
  StoreText(text.data(), text.length());
}

int XBaseStringVariable::Accept(const char* text, int32_t length) {
  if (field_->Type() != kXBaseMemo) {
    if (length > field_->Length()) length = field_->Length();
    while (length > 0 && std::isspace(static_cast<unsigned char>(text[length - 1]))) --length;
  }
  return Assigned(text, length);
}

XBaseNumberVariable::XBaseNumberVariable(XBaseField* field) : XBaseFieldVariable(field) {}

bool XBaseNumberVariable::Normalize(const char* text, int32_t length, int32_t field_length,
                                    int32_t decimals, String* out) {
  int32_t at = 0;
  bool negative = length > 0 && text[0] == '-';
  if (negative) at = 1;
  int32_t int_start = at;
  while (at < length && text[at] >= '0' && text[at] <= '9') ++at;
  int32_t int_end = at;
  int32_t frac_start = at, frac_end = at;
  if (at < length && text[at] == '.') {
    frac_start = ++at;
    while (at < length && text[at] >= '0' && text[at] <= '9') ++at;
    frac_end = at;
  }
  if (at != length) return false;
  if (length > 0 && int_end == int_start && frac_end == frac_start) return false;  // no digit
  out->clear();
  if (length == 0) {
    out->append('0');
  } else {
    if (negative) out->append('-');
    out->append(text + int_start, int_end - int_start);
  }
  // The integer part, sign included, must fit beside the places.
  int32_t whole = out->length();
  if (whole > field_length || (decimals > 0 && whole > field_length - decimals - 1)) return false;
  if (decimals > 0) {
    out->append('.');
    int32_t have = frac_end - frac_start;
    out->append(text + frac_start, have < decimals ? have : decimals);
    for (int32_t i = have; i < decimals; ++i) out->append('0');
  }
  return true;
}

void XBaseNumberVariable::Load() {
  const String& text = field_->Value();
  StoreText(text.data(), text.length());
}

int XBaseNumberVariable::Accept(const char* text, int32_t length) {
  String stored;
  if (!Normalize(text, length, field_->Length(), field_->Decimals(), &stored)) return 0;
  return Assigned(stored.data(), stored.length());
}

XBaseDateVariable::XBaseDateVariable(XBaseField* field) : XBaseFieldVariable(field) {}

void XBaseDateVariable::Load() {
  const String& text = field_->Value();
  StoreText(text.data(), text.length());
}

int XBaseDateVariable::Accept(const char* text, int32_t length) {
  if (length != 8) return 0;
  for (int32_t i = 0; i < 8; ++i)
    if (text[i] < '0' || text[i] > '9') return 0;
  int month = (text[4] - '0') * 10 + (text[5] - '0');
  int day = (text[6] - '0') * 10 + (text[7] - '0');
  if (month >= 13 || day >= 32) return 0;
  return Assigned(text, length < field_->Length() ? length : field_->Length());
}

XBaseBooleanVariable::XBaseBooleanVariable(XBaseField* field) : XBaseFieldVariable(field) {}

void XBaseBooleanVariable::Load() {
  const String& text = field_->Value();
  char first = text.empty() ? ' ' : text.data()[0];
  bool truth = first == 'T' || first == 't' || first == 'Y' || first == 'y';
  StoreText(truth ? "1" : "0", 1);
}

int XBaseBooleanVariable::AcceptTruth(bool truth) {
  return detached_ ? 0 : Assigned(truth ? "1" : "0", 1);
}

int XBaseBooleanVariable::Accept(const char* text, int32_t length) {
  return AcceptTruth(TextIsTrue(text, length));
}

int XBaseBooleanVariable::SetValue_Variable(Variable* source) {
  if (!source) return 0;
  return AcceptTruth(source->RealIdentity()->IsTrue() != 0);
}

int XBaseBooleanVariable::SetValue_Integer(int32_t value) { return AcceptTruth(value != 0); }

int XBaseBooleanVariable::SetValue_Decimal(const mpd_t* value) {
  return value ? AcceptTruth(!mpd_iszero(value)) : 0;
}

void XBaseBooleanVariable::StoreIntoField() {
  if (!dirty_ || detached_) return;
  field_->SetValue(Variable::IsTrue() ? "T" : "F", 1);
  dirty_ = false;
}

XBaseFieldVariable* MakeXBaseFieldVariable(XBaseField* field) {
  switch (field->Type()) {
    case kXBaseCharacter:
    case kXBaseMemo:
      return new (std::nothrow) XBaseStringVariable(field);
    case kXBaseNumeric:
      return new (std::nothrow) XBaseNumberVariable(field);
    case kXBaseDate:
      return new (std::nothrow) XBaseDateVariable(field);
    case kXBaseLogical:
      return new (std::nothrow) XBaseBooleanVariable(field);
    default:
      return nullptr;
  }
}

// ---------------------------------------------------- record-state variables

void XBaseTotalRecordsVariable::Load() {
  StoreInteger(static_cast<int32_t>(table_->RecordCount()));
}

void XBaseRecordNumberVariable::Load() {
  StoreInteger(static_cast<int32_t>(table_->CurrentRecord()));
}

void XBaseDeletedVariable::Load() { StoreInteger(table_->Deleted() ? 1 : 0); }

XBaseEOFVariable::XBaseEOFVariable() : XBaseVariable("eof") {}

void XBaseEOFVariable::Load() { StoreInteger(eof_ ? 1 : 0); }

}  // namespace pexo
