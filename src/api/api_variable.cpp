// The variable family of the extension API.
#include <mpdecimal.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "api/api_context.h"
#include "values/aggregate_element.h"
#include "values/aggregate_index.h"
#include "values/aggregate_tree.h"
#include "values/conversions.h"
#include "values/decimal.h"
#include "values/variable.h"
#include "values/variable_list.h"

using namespace pexo;

namespace {

int32_t TextLength(const char* text, int32_t length) {
  if (!text) return 0;
  return length < 0 ? static_cast<int32_t>(strlen(text)) : length;
}

// Asks a program function for the members a callback structure lacks: the
// function gets the member name as its one argument; a result with a value
// becomes the member.
class ProgramMemberCallback : public CallbackVariableCallback {
 public:
  ProgramMemberCallback(ApiContext* context, const char* name, int32_t length)
      : context_(context), function_(name, length) {}

  Variable* SupplyMember(Variable*, const AggregateIndex& index) override {
    VariableList parameters;
    Variable* member = new Variable("member");
    member->SetValue(index.Name().data(), index.Name().length());
    parameters.Insert(member);
    member->Release();
    Variable* result = new Variable(index.Name().data(), index.Name().length());
    int ran = context_->RunFunction(function_.data(), function_.length(), &parameters, result);
    if (!ran || result->Type() == kTypeNone || result->IsNULL()) {
      result->Release();
      return nullptr;
    }
    return result;
  }

 private:
  ApiContext* context_;
  String function_;
};

}  // namespace

extern "C" {

PexoVariable* pxVariable_Allocate(const char* name, int32_t name_length, const char* value,
                                  int32_t value_length) {
  Variable* v = new (std::nothrow) Variable(name ? name : "", name ? name_length : 0);
  if (!v) return nullptr;
  if (value) v->SetValue(value, value_length);
  return AsHandle(v);
}

PexoVariable* pxVariable_Allocate_Copy(PexoVariable* variable) {
  return AsHandle(AsVariable(variable)->Copy());
}

void pxVariable_Free(PexoVariable* variable) {
  if (variable) AsVariable(variable)->Release();
}

const char* pxVariable_Name(PexoVariable* variable, int32_t* length) {
  const String& name = AsVariable(variable)->Name();
  if (length) *length = name.length();
  return name.data();
}

const char* pxVariable_Value(PexoVariable* variable, int32_t* length) {
  const String& value = AsVariable(variable)->Value();
  if (length) *length = value.length();
  return value.data();
}

char* pxVariable_Value_NS(PexoVariable* variable, int32_t* length) {
  const String& value = AsVariable(variable)->Value();
  char* out = static_cast<char*>(malloc(static_cast<size_t>(value.length()) + 1));
  if (!out) return nullptr;
  int32_t n = 0;
  for (int32_t i = 0; i < value.length(); ++i)
    if (value.data()[i] != 0) out[n++] = value.data()[i];
  out[n] = 0;
  if (length) *length = n;
  return out;
}

int32_t pxVariable_Value_Integer(PexoVariable* variable) {
  return AsVariable(variable)->Value_Integer();
}

double pxVariable_Value_Double(PexoVariable* variable) {
  return DecimalToDouble(AsVariable(variable)->Value_Decimal());
}

char* pxVariable_Value_Decimal_String(PexoVariable* variable, int32_t* length, int32_t* size) {
  int32_t n = 0;
  char* text = DecimalToText(AsVariable(variable)->Value_Decimal(), &n);
  if (!text) return nullptr;
  if (length) *length = n;
  if (size) *size = n + 1;
  return text;
}

int pxVariable_Value_Decimal_Size(PexoVariable* variable, int32_t* precision, int32_t* scale) {
  int error = 0;
  const mpd_t* value = AsVariable(variable)->Value_Decimal_Checked(&error);
  if (error || !value) return 0;
  int32_t p = 0, s = 0;
  if (!mpd_isspecial(value)) {
    mpd_t* reduced = mpd_qnew();
    if (!reduced) return 0;
    uint32_t status = 0;
    mpd_qreduce(reduced, value, DecimalContext(), &status);
    int64_t digits = reduced->digits;
    int64_t exponent = reduced->exp;
    if (exponent < 0) {
      p = static_cast<int32_t>(digits > -exponent ? digits : -exponent);
      s = static_cast<int32_t>(-exponent);
    } else {
      p = static_cast<int32_t>(digits + exponent);
    }
    mpd_del(reduced);
  }
  if (precision) *precision = p;
  if (scale) *scale = s;
  return 1;
}

int pxVariable_SetValue(PexoVariable* variable, const char* text, int32_t length) {
  return AsVariable(variable)->SetValue(text ? text : "", TextLength(text, length));
}

int pxVariable_SetValue_Nocopy(PexoVariable* variable, char* text, int32_t length,
                               int32_t size) {
  if (!text || length < 0 || size <= length) {
    // Not a usable allocation: take a copy and still free what was handed over.
    int done = AsVariable(variable)->SetValue(text ? text : "", TextLength(text, length));
    free(text);
    return done;
  }
  return AsVariable(variable)->SetValue_Nocopy(text, length, size);
}

int pxVariable_SetValue_Integer(PexoVariable* variable, int32_t value) {
  return AsVariable(variable)->SetValue_Integer(value);
}

int pxVariable_SetValue_Double(PexoVariable* variable, double value) {
  mpd_t* decimal = mpd_qnew();
  if (!decimal) return 0;
  DoubleToDecimal(value, decimal);
  return AsVariable(variable)->SetValue_Decimal_Nocopy(decimal);
}

int pxVariable_SetValue_Decimal_String(PexoVariable* variable, const char* text,
                                       int32_t length) {
  mpd_t* decimal = mpd_qnew();
  if (!decimal) return 0;
  if (!TextToDecimal(text ? text : "", TextLength(text, length), decimal)) {
    mpd_del(decimal);
    return 0;
  }
  return AsVariable(variable)->SetValue_Decimal_Nocopy(decimal);
}

int pxVariable_SetValue_Variable(PexoVariable* variable, PexoVariable* source) {
  return AsVariable(variable)->SetValue_Variable(AsVariable(source));
}

int pxVariable_Type(PexoVariable* variable) {
  Variable* v = AsVariable(variable);
  switch (v->AggregateKind()) {
    case kKindStructure:
      return PX_TYPE_STRUCTURE;
    case kKindArray:
      return PX_TYPE_ARRAY;
    case kKindScalar:
      break;
    default:
      return -1;
  }
  switch (v->Type()) {
    case kTypeNone:
      return PX_TYPE_NONE;
    case kTypeInteger:
      return PX_TYPE_INTEGER;
    case kTypeDecimal:
      return PX_TYPE_DECIMAL;
    case kTypeText:
      return PX_TYPE_TEXT;
    default:
      return -1;
  }
}

int pxVariable_Aggregate_Type(PexoVariable* variable) {
  switch (AsVariable(variable)->AggregateKind()) {
    case kKindScalar:
      return PX_AGGREGATE_SCALAR;
    case kKindArray:
      return PX_AGGREGATE_ARRAY;
    case kKindStructure:
      return PX_AGGREGATE_STRUCTURE;
    default:
      return -1;
  }
}

int pxVariable_IsTrue(PexoVariable* variable) { return AsVariable(variable)->IsTrue() ? 1 : 0; }

int pxVariable_IsNULL(PexoVariable* variable) { return AsVariable(variable)->IsNULL() ? 1 : 0; }

PexoVariable* pxVariable_Array_Element(int32_t index, PexoVariable* array, int create) {
  return AsHandle(AsVariable(array)->Element(AggregateIndex(index), create));
}

PexoVariable* pxVariable_Struct_Member(const char* name, int32_t length, PexoVariable* structure,
                                       int create) {
  if (!name) return nullptr;
  return AsHandle(AsVariable(structure)->Element(AggregateIndex(name, length), create));
}

int pxVariable_Set_Array_Element(int32_t index, PexoVariable* element, PexoVariable* array) {
  return AsVariable(array)->Set_Element(AggregateIndex(index), AsVariable(element));
}

int pxVariable_Set_Struct_Member(const char* name, int32_t length, PexoVariable* member,
                                 PexoVariable* structure) {
  if (!name) return 0;
  return AsVariable(structure)->Set_Element(AggregateIndex(name, length), AsVariable(member));
}

int pxVariable_Insert_Array_Element(int32_t position, PexoVariable* element,
                                    PexoVariable* array) {
  return AsVariable(array)->Insert_Array_Element(position, AsVariable(element));
}

int pxVariable_Delete_Array_Elements(int32_t first, int32_t count, int shift,
                                     PexoVariable* array) {
  return AsVariable(array)->Delete_Array_Elements(first, count, shift);
}

int pxVariable_Delete_Struct_Member(const char* name, int32_t length, PexoVariable* structure) {
  if (!name) return 0;
  return AsVariable(structure)->Delete_Element(AggregateIndex(name, length), 0);
}

int pxVariable_Array_Copy(PexoVariable* source, int32_t first, int32_t count,
                          PexoVariable* destination, int32_t position, int copy) {
  return AsVariable(destination)->Array_Copy(AsVariable(source), first, count, position, copy);
}

int pxVariable_Array_Merge(PexoVariable* source, int32_t first, int32_t count,
                           PexoVariable* destination, int32_t position, int copy) {
  return AsVariable(destination)->Array_Merge(AsVariable(source), first, count, position, copy);
}

int32_t pxVariable_Array_Collapse(PexoVariable* array) {
  return AsVariable(array)->Array_Collapse();
}

int32_t pxVariable_Array_Max(PexoVariable* array) { return AsVariable(array)->Array_Max(); }

int32_t pxVariable_Array_Min(PexoVariable* array) { return AsVariable(array)->Array_Min(); }

int32_t pxVariable_Array_Next(PexoVariable* array, int32_t index) {
  return AsVariable(array)->Array_Next(index);
}

int32_t pxVariable_Array_Previous(PexoVariable* array, int32_t index) {
  return AsVariable(array)->Array_Previous(index);
}

int32_t pxVariable_ElementsUsed(PexoVariable* variable) {
  return AsVariable(variable)->ElementsUsed();
}

int32_t pxVariable_Aggregate_List(PexoVariable* variable, PexoVariableList* list) {
  VariableList* out = AsList(list);
  out->Clear();
  AggregateElementTree* tree = AsVariable(variable)->Aggregate();
  if (!tree) return 0;
  tree->ForEach([out](AggregateElement* element) {
    const String& name = element->Index().Name();
    Variable* alias =
        new ReferenceVariable(element->GetVariable(), name.data(), name.length());
    out->Insert(alias);
    alias->Release();
    return true;
  });
  return out->Count();
}

int pxVariable_Make_Reference(PexoVariable* variable, PexoVariable* target) {
  return AsVariable(variable)->Make_Reference(AsVariable(target));
}

int pxVariable_Make_CallbackStruct(PexoVariable* variable, PexoProgram* program,
                                   const char* name, int32_t length, void* data) {
  if (!program || !name) return 0;
  ApiContext* context = AsContext(program);
  ProgramMemberCallback* callback =
      new (std::nothrow) ProgramMemberCallback(context, name, TextLength(name, length));
  if (!callback) return 0;
  context->Adopt(callback);
  return AsVariable(variable)->Make_CallbackStruct(callback, data);
}

PexoVariable* pxVariable_NextIdentity(PexoVariable* variable) {
  return AsHandle(AsVariable(variable)->NextIdentity());
}

PexoVariable* pxVariable_RealIdentity(PexoVariable* variable) {
  return AsHandle(AsVariable(variable)->RealIdentity());
}

}  // extern "C"
