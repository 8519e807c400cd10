// VariableList: an ordered list of variables (parameter lists, field lists,
// aggregate listings). The list holds one reference on each variable it
// contains: Insert retains, Remove and destruction release.
#ifndef PEXO_VALUES_VARIABLE_LIST_H_
#define PEXO_VALUES_VARIABLE_LIST_H_

#include <cstdint>

#include "values/list.h"

namespace pexo {

class Variable;

class VariableList {
 public:
  VariableList() = default;
  VariableList(const VariableList&) = delete;
  VariableList& operator=(const VariableList&) = delete;
  ~VariableList();

  // Appends `variable` (retained).
  void Insert(Variable* variable);
  // Removes the first occurrence of `variable` and releases it; false when
  // it was not in the list.
  bool Remove(Variable* variable);
  // Releases every variable and empties the list.
  void Clear();

  Variable* First() { return items_.first(); }
  Variable* Next() { return items_.next(); }
  Variable* Current() const { return items_.current(); }
  int32_t Count() const { return items_.count(); }
  // The variable at a position in list order, or null.
  Variable* At(int32_t position) const;

  // The first variable whose name equals `name` (length -1: up to a zero
  // byte) case-insensitively, or null.
  Variable* Find(const char* name, int32_t length) const;
  // Assigns a text to the first variable of that name, or appends a new
  // variable with that name and value. Returns 1, or 0 when out of memory.
  int SetVariable(const char* name, int32_t length, const char* value, int32_t value_length);

 private:
  List<Variable> items_;
};

}  // namespace pexo

#endif  // PEXO_VALUES_VARIABLE_LIST_H_
