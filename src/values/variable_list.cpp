#include "values/variable_list.h"

#include <new>

#include "values/string.h"
#include "values/variable.h"

namespace pexo {

VariableList::~VariableList() { Clear(); }

void VariableList::Insert(Variable* variable) {
  if (!variable) return;
  variable->Retain();
  items_.append(variable);
}

bool VariableList::Remove(Variable* variable) {
  if (!items_.remove(variable)) return false;
  variable->Release();
  return true;
}

void VariableList::Clear() {
  for (Variable* v : items_) v->Release();
  items_.clear();
}

Variable* VariableList::At(int32_t position) const {
  if (position < 0) return nullptr;
  for (Variable* v : items_)
    if (position-- == 0) return v;
  return nullptr;
}

Variable* VariableList::Find(const char* name, int32_t length) const {
  length = text_length(name, length);
  for (Variable* v : items_) {
    const String& n = v->Name();
    if (n.length() == length && equals_nocase(n.data(), n.length(), name, length)) return v;
  }
  return nullptr;
}

int VariableList::SetVariable(const char* name, int32_t length, const char* value,
                              int32_t value_length) {
  Variable* v = Find(name, length);
  if (v) return v->SetValue(value, value_length);
  v = new (std::nothrow) Variable(name, text_length(name, length));
  if (!v) return 0;
  v->SetValue(value, value_length);
  items_.append(v);  // the list takes the new variable's only reference
  return 1;
}

}  // namespace pexo
