#include "values/reference_variable_hash.h"

#include <new>

#include "values/dictionary.h"
#include "values/variable.h"

namespace pexo {

ReferenceVariableHash::ReferenceVariableHash(Dictionary* names, VariableHash* target)
    : VariableHash(names), target_(target->Underlying()) {}

ReferenceVariableHash::ReferenceVariableHash(const VariableHash& source, Dictionary* names,
                                             VariableHash* target)
    : VariableHash(source, names, false, false), target_(target->Underlying()) {}

int32_t ReferenceVariableHash::TargetIndex(int32_t index, bool create) {
  Entry* e = EntryAt(index);
  if (!e) return -1;
  if (e->marker >= 0 && e->marker < target_->Entries()) return e->marker;
  int32_t length;
  const char* name = EntryName(index, &length);
  int32_t found = target_->FindEntry(name, length);
  if (found < 0 && create) {
    Variable* made = new (std::nothrow) Variable(name, length);
    if (!made) return -1;
    found = target_->InsertVariable(made);
    made->Release();
  }
  if (found >= 0) e->marker = found;
  return found;
}

int32_t ReferenceVariableHash::Insert(int32_t name_index, const char* name, int32_t length,
                                      Variable* variable) {
  if (name_index >= 0) {
    name = names() ? names()->get(name_index, &length) : nullptr;
    if (!name) return -1;
  }
  return target_->Insert(-1, name, length, variable);
}

int32_t ReferenceVariableHash::ReplaceVariable(Variable* variable) {
  return target_->ReplaceVariable(variable);
}

int ReferenceVariableHash::SetVariable(const char* name, int32_t length, const char* value,
                                       int32_t value_length) {
  return target_->SetVariable(name, length, value, value_length);
}

void ReferenceVariableHash::ReferenceEntry(int32_t index, Variable* target) {
  int32_t at = TargetIndex(index, true);
  if (at >= 0) target_->ReferenceEntry(at, target);
}

int ReferenceVariableHash::SetVariablePath(const char* path, int32_t length, const char* value,
                                           int32_t value_length, bool accumulate) {
  return target_->SetVariablePath(path, length, value, value_length, accumulate);
}

int32_t ReferenceVariableHash::FindEntry(const char* name, int32_t length, Entry** entry) {
  return target_->FindEntry(name, length, entry);
}

int32_t ReferenceVariableHash::Level() const { return target_->Level(); }

int ReferenceVariableHash::ClearVariable(const char* name, int32_t length) {
  return target_->ClearVariable(name, length);
}

bool ReferenceVariableHash::Find(const char* name, int32_t length, bool create,
                                 Variable** variable) {
  return target_->Find(name, length, create, variable);
}

bool ReferenceVariableHash::Lookup(const char* path, int32_t length, bool create,
                                   Variable** variable) {
  return target_->Lookup(path, length, create, variable);
}

Variable* ReferenceVariableHash::VariableAt(int32_t index, bool create) {
  int32_t at = TargetIndex(index, create);
  return at >= 0 ? target_->VariableAt(at, create) : nullptr;
}

void ReferenceVariableHash::ForEach(VariableList* list) { target_->ForEach(list); }
const String& ReferenceVariableHash::Error() const { return target_->Error(); }
void ReferenceVariableHash::SetError(const char* text, int32_t length) {
  target_->SetError(text, length);
}
void ReferenceVariableHash::PushLevel() { target_->PushLevel(); }
int ReferenceVariableHash::PopLevel() { return target_->PopLevel(); }
VariableHash* ReferenceVariableHash::Underlying() { return target_->Underlying(); }

ReferenceVariableHash* NewReferenceVariableHashFromTable(const NameTable& table, Dictionary* names,
                                                         VariableHash* target, String* error) {
  auto* hash = new ReferenceVariableHash(names, target);
  if (!hash->InitFromTable(table, -1, error)) {
    delete hash;
    return nullptr;
  }
  return hash;
}

}  // namespace pexo
