#include "std_array.h"

namespace pexo {
namespace stdlib {

ElementList::ElementList(PexoVariable* aggregate) : list_(pxVariableList_Allocate()) {
  if (!list_ || !aggregate) return;
  pxVariable_Aggregate_List(aggregate, list_);
  for (PexoVariable* v = pxVariableList_First(list_); v; v = pxVariableList_Next(list_))
    elements_.push_back(v);
}

ElementList::~ElementList() {
  if (list_) pxVariableList_Free(list_);
}

void MakeEmptyArray(PexoVariable* variable) {
  // Storing an element turns any value into an array; removing it again
  // leaves the empty array.
  if (SetTextElement(variable, 1, std::string_view()))
    pxVariable_Delete_Array_Elements(1, 1, 0, variable);
}

bool SetTextElement(PexoVariable* array, int32_t index, std::string_view text) {
  PexoVariable* element =
      pxVariable_Allocate("", 0, text.data(), static_cast<int32_t>(text.size()));
  if (!element) return false;
  int stored = pxVariable_Set_Array_Element(index, element, array);
  pxVariable_Free(element);
  return stored == 1;
}

bool SetCopiedElement(PexoVariable* array, int32_t index, PexoVariable* source) {
  PexoVariable* element = pxVariable_Allocate("", 0, "", 0);
  if (!element) return false;
  pxVariable_SetValue_Variable(element, source);
  int stored = pxVariable_Set_Array_Element(index, element, array);
  pxVariable_Free(element);
  return stored == 1;
}

}  // namespace stdlib
}  // namespace pexo
