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
  // A deferred variable being replaced is made first only when a level has
  // to give it back later.
  if (deferred_count_ > 0) TakeDeferred(index, level_ > 0);
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
    if (deferred_count_ > 0) TakeDeferred(r->index, false);
    if (e->variable) e->variable->Release();
    e->variable = r->variable;
    e->marker = r->marker;
    r->variable = nullptr;
  }
  DiscardRecords(records);
  --level_;
  return 1;
}

Variable* SystemVariableHash::VariableAt(int32_t index, bool create) {
  if (deferred_count_ > 0) TakeDeferred(index, true);
  return VariableHash::VariableAt(index, create);
}

void SystemVariableHash::ForEach(VariableList* list) {
  MakeDeferredVariables();
  VariableHash::ForEach(list);
}

int32_t SystemVariableHash::Defer(const char* name, int32_t length, uint32_t hash,
                                  SystemVariableSource* source, int32_t kind, bool replace) {
  if (!source) return -1;
  int32_t index = LocalFindHashed(name, length, hash);
  if (index < 0) {
    if (Entries() >= kDeferredSpan) return -1;
    index = level_ > 0 ? Insert(-1, name, length, nullptr)
                       : LocalInsertHashed(name, length, hash, nullptr, 0);
    if (index < 0) return -1;
  } else if (index >= kDeferredSpan || (EntryAt(index)->variable && !replace)) {
    return -1;
  } else {
    StoreVariable(index, nullptr);
  }
  while (deferred_end_ <= index) deferred_[deferred_end_++] = Deferred{nullptr, 0};
  if (!deferred_[index].source) ++deferred_count_;
  deferred_[index] = Deferred{source, kind};
  return index;
}

void SystemVariableHash::MakeDeferredVariables() {
  for (int32_t i = 0; i < deferred_end_ && deferred_count_ > 0; ++i) TakeDeferred(i, true);
}

void SystemVariableHash::TakeDeferred(int32_t index, bool make) {
  if (static_cast<uint32_t>(index) >= static_cast<uint32_t>(deferred_end_)) return;
  Deferred taken = deferred_[index];
  if (!taken.source) return;
  deferred_[index].source = nullptr;
  --deferred_count_;
  Entry* e = EntryAt(index);
  if (!make || !e || e->variable) return;
  int32_t length;
  const char* name = EntryName(index, &length);
  e->variable = taken.source->Make(taken.kind, name, length);
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
