#include "values/system_variable_hash.h"

#include "values/variable.h"

namespace pexo {

SystemVariableHash::SystemVariableHash(int bits, Dictionary* names, bool owns_names)
    : VariableHash(bits, kGrowth, names, owns_names) {}

SystemVariableHash::SystemVariableHash(Dictionary* names) : VariableHash(names) {}

SystemVariableHash::SystemVariableHash(const VariableHash& source, Dictionary* names,
                                       bool owns_names, bool copy_variables)
    : VariableHash(source, names, owns_names, copy_variables) {}

SystemVariableHash::~SystemVariableHash() {
  while (List<SavedSystemEntry>* records = saved_.pop()) DiscardRecords(records);
}

void SystemVariableHash::DiscardRecords(List<SavedSystemEntry>* records) {
  for (SavedSystemEntry* r : *records) {
    if (r->variable) r->variable->Release();
    delete r;
  }
  delete records;
}

void SystemVariableHash::Record(int32_t index, int32_t marker, Variable* variable) {
  // Newest first, so that PopLevel undoes in reverse order of the changes.
  saved_.top()->prepend(new SavedSystemEntry{index, marker, variable});
}

bool SystemVariableHash::SaveEntry(int32_t index) {
  if (level_ <= 0) return false;
  Entry* e = EntryAt(index);
  Record(index, e->marker, e->variable);
  return true;
}

int32_t SystemVariableHash::Insert(int32_t name_index, const char* name, int32_t length,
                                   Variable* variable) {
  if (level_ <= 0) return VariableHash::Insert(name_index, name, length, variable);
  int32_t index = name_index >= 0 ? FindEntryIndex(name_index) : FindEntry(name, length);
  if (index >= 0) {
    if (variable) variable->Retain();
    StoreVariable(index, variable);
    return index;
  }
  index = LocalInsert(name_index, name, length, variable, level_);
  if (index >= 0) Record(index, 0, nullptr);
  return index;
}

int32_t SystemVariableHash::Level() const { return level_; }

void SystemVariableHash::PushLevel() {
  saved_.push(new List<SavedSystemEntry>());
  ++level_;
}

int SystemVariableHash::PopLevel() {
  if (level_ <= 0) return 0;
  List<SavedSystemEntry>* records = saved_.pop();
  for (SavedSystemEntry* r : *records) {
    Entry* e = EntryAt(r->index);
    if (!e) continue;  // the table was rebuilt under the level; the record just goes
    if (e->variable) e->variable->Release();
    e->variable = r->variable;
    e->marker = r->marker;
    r->variable = nullptr;
  }
  DiscardRecords(records);
  --level_;
  return 1;
}

SystemVariableHash* NewSystemVariableHashFromTable(const NameTable& table, Dictionary* names,
                                                   String* error) {
  auto* hash = new SystemVariableHash(names);
  if (!hash->InitFromTable(table, 0, error)) {
    delete hash;
    return nullptr;
  }
  return hash;
}

}  // namespace pexo
