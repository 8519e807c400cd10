#include "variable_functions.h"

namespace pexo {
namespace stdlib {

void Type(StdCall& call) {
  static const char* const kNames[] = {"none", "integer", "decimal", "text", "structure", "array"};
  int type = pxVariable_Type(call.Arg(0));
  call.ReturnText(type >= 0 && type <= 5 ? kNames[type] : "unknown");
}

void IsEmpty(StdCall& call) {
  PexoVariable* value = call.Arg(0);
  if (pxVariable_Aggregate_Type(value) > PX_AGGREGATE_SCALAR)
    call.ReturnBoolean(pxVariable_ElementsUsed(value) == 0);
  else
    call.ReturnBoolean(pxVariable_IsNULL(value) != 0);
}

void IsDefined(StdCall& call) {
  std::string_view name = call.Text(0);
  if (name.empty()) {
    call.ReturnBoolean(false);
    return;
  }
  PexoVariable* found =
      pxProgram_Lookup_Variable(call.program(), name.data(), static_cast<int32_t>(name.size()));
  call.ReturnBoolean(found != nullptr);
}

}  // namespace stdlib
}  // namespace pexo
