#include "std_call.h"

#include <cstdlib>

namespace pexo {
namespace stdlib {

PexoVariable* StdCall::Arg(int32_t index) const {
  return pxVariableHash_Index(parameters_, index);
}

std::string_view StdCall::Text(int32_t index) const {
  PexoVariable* variable = Arg(index);
  if (!variable) return std::string_view();
  int32_t length = 0;
  const char* text = pxVariable_Value(variable, &length);
  if (!text || length <= 0) return std::string_view();
  return std::string_view(text, static_cast<size_t>(length));
}

int32_t StdCall::Int(int32_t index) const {
  PexoVariable* variable = Arg(index);
  return variable ? pxVariable_Value_Integer(variable) : 0;
}

double StdCall::Double(int32_t index) const {
  PexoVariable* variable = Arg(index);
  return variable ? pxVariable_Value_Double(variable) : 0.0;
}

std::string StdCall::DecimalText(int32_t index) const {
  PexoVariable* variable = Arg(index);
  if (!variable) return "0";
  int32_t length = 0, size = 0;
  char* text = pxVariable_Value_Decimal_String(variable, &length, &size);
  if (!text) return "0";
  std::string copy(text, static_cast<size_t>(length > 0 ? length : 0));
  pxProgram_Free(program_, text);
  return copy;
}

bool StdCall::IsNumber(int32_t index) const {
  PexoVariable* variable = Arg(index);
  if (!variable || pxVariable_Aggregate_Type(variable) != PX_AGGREGATE_SCALAR) return false;
  if (Text(index).empty()) return false;
  int32_t precision = 0, scale = 0;
  // NaN and the infinities parse as decimals but report no digits.
  return pxVariable_Value_Decimal_Size(variable, &precision, &scale) && precision > 0;
}

void StdCall::ReturnText(std::string_view text) {
  pxVariable_SetValue(result_, text.data(), static_cast<int32_t>(text.size()));
}

void StdCall::ReturnInteger(int64_t value) {
  if (value >= INT32_MIN && value <= INT32_MAX) {
    pxVariable_SetValue_Integer(result_, static_cast<int32_t>(value));
    return;
  }
  ReturnDecimal(std::to_string(value));
}

void StdCall::ReturnDecimal(const std::string& text) {
  pxVariable_SetValue_Decimal_String(result_, text.data(), static_cast<int32_t>(text.size()));
}

bool StdCall::Fail(std::string_view reason) const {
  std::string message(name_);
  message += "(): ";
  message += reason;
  pxProgram_FatalError(program_, message.data(), static_cast<int32_t>(message.size()));
  return false;
}

bool StdCall::CheckSize(int64_t bytes) const {
  if (bytes <= kMaxResultBytes) return true;
  return Fail("result would be longer than " + std::to_string(kMaxResultBytes) + " bytes");
}

}  // namespace stdlib
}  // namespace pexo
