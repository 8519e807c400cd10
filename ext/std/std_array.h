// Helpers for functions that read or build arrays and structures through
// the API: the elements of an aggregate as borrowed variables, and result
// arrays numbered from 1.
#ifndef PEXO_STD_STD_ARRAY_H_
#define PEXO_STD_STD_ARRAY_H_

#include <cstdint>
#include <string_view>
#include <vector>

#include "pexo/pexo.h"

namespace pexo {
namespace stdlib {

// The elements of an aggregate in element order, each an alias named by its
// member name or index. The aliases live as long as this object.
class ElementList {
 public:
  explicit ElementList(PexoVariable* aggregate);
  ~ElementList();
  ElementList(const ElementList&) = delete;
  ElementList& operator=(const ElementList&) = delete;

  const std::vector<PexoVariable*>& elements() const { return elements_; }
  size_t size() const { return elements_.size(); }

 private:
  PexoVariableList* list_;
  std::vector<PexoVariable*> elements_;
};

// Turns `variable` into an array without elements.
void MakeEmptyArray(PexoVariable* variable);
// Stores a new text element at `index`; false when out of memory.
bool SetTextElement(PexoVariable* array, int32_t index, std::string_view text);
// Stores a deep copy of `source`'s value at `index`.
bool SetCopiedElement(PexoVariable* array, int32_t index, PexoVariable* source);

}  // namespace stdlib
}  // namespace pexo

#endif  // PEXO_STD_STD_ARRAY_H_
