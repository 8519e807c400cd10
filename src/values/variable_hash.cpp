#include "values/variable_hash.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "values/dictionary.h"
#include "values/name_table.h"
#include "values/lookup2.h"
#include "values/variable.h"
#include "values/variable_list.h"
#include "values/variable_path.h"
#include "values/aggregate_index.h"

namespace pexo {

namespace {

// Reallocates an array to `count` items; null on failure (old array kept).
template <typename T>
T* ResizeArray(T* array, int32_t count) {
  size_t bytes = sizeof(T) * static_cast<size_t>(count > 0 ? count : 1);
  return static_cast<T*>(std::realloc(array, bytes));
}

// A new alias (count 1) of `target`; the alias takes its own unit on the
// target.
Variable* NewReference(Variable* target, const char* name, int32_t length) {
  return new (std::nothrow) ReferenceVariable(target, name, length);
}

// Adds `value` to a variable that may already hold values: a null scalar
// takes it, a scalar with a value becomes an array of the old and the new
// value, an aggregate gets it as its next array element.
int AccumulateValue(Variable* v, const char* value, int32_t length) {
  if (v->IsNULL() && v->AggregateKind() != kKindArray) return v->SetValue(value, length);
  if (v->AggregateKind() == kKindScalar) {
    Variable* old = v->Copy();
    if (!old) return 0;
    v->MakeAggregate(kKindArray);
    v->Set_Element(AggregateIndex(1), old);
    old->Release();
    Variable* added = v->Element(AggregateIndex(2), 1);
    return added ? added->SetValue(value, length) : 0;
  }
  Variable* added = v->Element(AggregateIndex(v->ElementsUsed() + 1), 1);
  return added ? added->SetValue(value, length) : 0;
}

int32_t SlotCount(int32_t bits) { return int32_t{1} << (bits % 32); }

// Every head and link in range, and no entry reached twice (no loops, no
// shared tails), so that walking a chain always ends.
bool NameTableChainsValid(const NameTable& table) {
  int32_t count = table.count();
  std::vector<bool> seen(static_cast<size_t>(count), false);
  for (int32_t head : table.buckets) {
    for (int32_t at = head; at != -1; at = table.next[static_cast<size_t>(at)]) {
      if (at < -1 || at >= count || seen[static_cast<size_t>(at)]) return false;
      seen[static_cast<size_t>(at)] = true;
    }
  }
  for (int32_t link : table.next)
    if (link < -1 || link >= count) return false;
  return true;
}

}  // namespace

VariableHash::VariableHash(int bits, int32_t capacity, Dictionary* names, bool owns_names)
    : names_(names), owns_names_(owns_names) {
  bits_ = bits;
  bucket_count_ = SlotCount(bits);
  buckets_ = ResizeArray<int32_t>(nullptr, bucket_count_);
  next_ = ResizeArray<int32_t>(nullptr, capacity);
  entries_ = ResizeArray<Entry>(nullptr, capacity);
  if (!buckets_ || !next_ || !entries_) {
    FreeArrays();
    ok_ = false;
    return;
  }
  for (int32_t i = 0; i < bucket_count_; ++i) buckets_[i] = -1;
  for (int32_t i = 0; i < capacity; ++i) next_[i] = -1;
  std::memset(static_cast<void*>(entries_), 0, sizeof(Entry) * static_cast<size_t>(capacity));
  capacity_ = capacity;
}

VariableHash::VariableHash(Dictionary* names) : names_(names) {}

VariableHash::VariableHash(const VariableHash& source, Dictionary* names, bool owns_names,
                           bool copy_variables)
    : bits_(source.bits_),
      bucket_count_(source.bucket_count_),
      used_buckets_(source.used_buckets_),
      names_(names),
      owns_names_(owns_names) {
  int32_t capacity = source.capacity_;
  // No chains to keep: start small (see GrowBuckets).
  bool fresh = source.count_ == 0 && bucket_count_ > kStartBuckets;
  if (fresh) bucket_count_ = kStartBuckets;
  buckets_ = ResizeArray<int32_t>(nullptr, bucket_count_);
  next_ = ResizeArray<int32_t>(nullptr, capacity);
  entries_ = ResizeArray<Entry>(nullptr, capacity);
  if (!buckets_ || !next_ || !entries_) {
    FreeArrays();
    used_buckets_ = bucket_count_ = 0;
    ok_ = false;
    return;
  }
  if (fresh) {
    for (int32_t i = 0; i < bucket_count_; ++i) buckets_[i] = -1;
  } else if (bucket_count_) {
    std::memcpy(buckets_, source.buckets_, sizeof(int32_t) * static_cast<size_t>(bucket_count_));
  }
  if (capacity) {
    std::memcpy(next_, source.next_, sizeof(int32_t) * static_cast<size_t>(capacity));
    std::memcpy(static_cast<void*>(entries_), source.entries_,
                sizeof(Entry) * static_cast<size_t>(capacity));
  }
  capacity_ = capacity;
  count_ = source.count_;
  for (int32_t i = 0; i < count_; ++i) {
    Variable* v = entries_[i].variable;
    entries_[i].variable = copy_variables && v ? v->Copy() : nullptr;
  }
}

VariableHash::~VariableHash() {
  ReleaseVariables();
  FreeArrays();
  if (owns_names_) delete names_;
}

void VariableHash::FreeArrays() {
  std::free(buckets_);
  std::free(next_);
  std::free(entries_);
  buckets_ = nullptr;
  next_ = nullptr;
  entries_ = nullptr;
  capacity_ = 0;
  count_ = 0;
}

void VariableHash::ReleaseVariables() {
  for (int32_t i = 0; i < count_; ++i) {
    Variable* v = entries_[i].variable;
    entries_[i].variable = nullptr;
    if (v) v->Release();
  }
}

void VariableHash::EmptyVariables() {
  for (int32_t i = 0; i < count_; ++i) {
    Variable* v = entries_[i].variable;
    if (!v) continue;
    if (v->ClearIfSoleOrdinary()) continue;
    entries_[i].variable = nullptr;
    v->Release();
  }
}

// ---- table mechanics -------------------------------------------------------

const char* VariableHash::EntryName(int32_t index, int32_t* length) const {
  const char* text = names_ ? names_->get(entries_[index].name, length) : nullptr;
  if (!text) {
    *length = 0;
    return "";
  }
  return text;
}

uint32_t VariableHash::NameHash(const char* name, int32_t length) {
  return lookup2_nocase(name, static_cast<uint32_t>(length), 0);
}

// Chain order of `name` against an entry: <0 before it, 0 same name, >0 after.
int VariableHash::CompareToEntry(const char* name, int32_t length, int32_t index) const {
  int32_t entry_length;
  const char* entry_name = EntryName(index, &entry_length);
  if (length != entry_length) return length < entry_length ? -1 : 1;
  return compare_nocase(name, length, entry_name, entry_length);
}

int32_t VariableHash::LocalFind(const char* name, int32_t length) const {
  if (!bucket_count_) return -1;
  return LocalFindHashed(name, length, NameHash(name, length));
}

int32_t VariableHash::LocalFindHashed(const char* name, int32_t length, uint32_t hash) const {
  if (!bucket_count_) return -1;
  for (int32_t at = buckets_[Slot(hash)]; at >= 0; at = next_[at]) {
    int order = CompareToEntry(name, length, at);
    if (order == 0) return at;
    if (order < 0) return -1;
  }
  return -1;
}

bool VariableHash::Grow() {
  int64_t wanted = int64_t{capacity_} + kGrowth;
  if (wanted > INT32_MAX) return false;
  int32_t capacity = static_cast<int32_t>(wanted);
  int32_t* next = ResizeArray(next_, capacity);
  if (!next) return false;
  next_ = next;
  Entry* entries = ResizeArray(entries_, capacity);
  if (!entries) return false;  // next_ is only larger; the table is unchanged
  entries_ = entries;
  for (int32_t i = capacity_; i < capacity; ++i) {
    next_[i] = -1;
    entries_[i] = Entry{0, 0, nullptr};
  }
  capacity_ = capacity;
  return true;
}

bool VariableHash::GrowBuckets() {
  int32_t declared = SlotCount(bits_);
  if (bucket_count_ >= declared || count_ < bucket_count_) return true;
  int64_t wanted = std::min<int64_t>(int64_t{bucket_count_} * 8, declared);
  int32_t* buckets = ResizeArray(buckets_, static_cast<int32_t>(wanted));
  if (!buckets) return false;
  buckets_ = buckets;
  bucket_count_ = static_cast<int32_t>(wanted);
  used_buckets_ = 0;
  for (int32_t i = 0; i < bucket_count_; ++i) buckets_[i] = -1;
  // In entry order, so that equal names keep their order in a chain.
  for (int32_t i = 0; i < count_; ++i) {
    int32_t length;
    const char* name = EntryName(i, &length);
    Link(i, name, length, NameHash(name, length));
  }
  return true;
}

void VariableHash::Link(int32_t index, const char* name, int32_t length, uint32_t hash) {
  int32_t* link = &buckets_[Slot(hash)];
  if (*link < 0) ++used_buckets_;
  while (*link >= 0 && CompareToEntry(name, length, *link) >= 0) link = &next_[*link];
  next_[index] = *link;
  *link = index;
}

int32_t VariableHash::LocalInsert(int32_t name_index, const char* name, int32_t length,
                                  Variable* variable, int32_t marker) {
  return InsertEntry(name_index, name, length, nullptr, variable, marker);
}

int32_t VariableHash::LocalInsertHashed(const char* name, int32_t length, uint32_t hash,
                                        Variable* variable, int32_t marker) {
  return InsertEntry(-1, name, length, &hash, variable, marker);
}

int32_t VariableHash::InsertEntry(int32_t name_index, const char* name, int32_t length,
                                  const uint32_t* hash, Variable* variable, int32_t marker) {
  if (!bucket_count_ || !names_) return -1;
  if (count_ == capacity_ && !Grow()) return -1;
  if (!GrowBuckets()) return -1;
  if (name_index < 0) {
    length = text_length(name, length);
    name_index = names_->append(name ? name : "", length);
  }
  const char* stored = names_->get(name_index, &length);
  if (!stored) stored = "";
  int32_t index = count_;
  entries_[index] = Entry{name_index, marker, variable};
  Link(index, stored, length, hash ? *hash : NameHash(stored, length));
  ++count_;
  if (variable) variable->Retain();
  return index;
}

void VariableHash::StoreVariable(int32_t index, Variable* variable) {
  Entry& e = entries_[index];
  Variable* old = e.variable;
  bool saved = SaveEntry(index);
  e.variable = variable;
  e.marker = Level();
  if (old && !saved) old->Release();
}

bool VariableHash::SaveEntry(int32_t) { return false; }

Variable* VariableHash::MakeEntryVariable(int32_t index) {
  int32_t length;
  const char* name = EntryName(index, &length);
  Variable* v = new (std::nothrow) Variable(name, length);
  if (v) StoreVariable(index, v);
  return v;
}

bool VariableHash::InitFromTable(const NameTable& table, int32_t marker, String* error) {
  int32_t slots = table.slot_count();
  int32_t count = table.count();
  if (table.bucket_bits < 0 || table.bucket_bits > 32 || slots != SlotCount(table.bucket_bits) ||
      static_cast<int32_t>(table.next.size()) != count) {
    error->assign("Invalid variable table");
    return false;
  }
  if (!NameTableChainsValid(table)) {
    error->assign("Invalid variable table chain");
    return false;
  }
  if (slots > bucket_count_) {
    int32_t* buckets = ResizeArray(buckets_, slots);
    if (!buckets) return error->assign("Allocation failed"), false;
    buckets_ = buckets;
  }
  if (count > capacity_) {
    int32_t* next = ResizeArray(next_, count);
    if (!next) return error->assign("Allocation failed"), false;
    next_ = next;
    Entry* entries = ResizeArray(entries_, count);
    if (!entries) return error->assign("Allocation failed"), false;
    entries_ = entries;
    capacity_ = count;
  }
  ReleaseVariables();
  bits_ = table.bucket_bits;
  bucket_count_ = slots;
  used_buckets_ = 0;
  for (int32_t i = 0; i < slots; ++i) {
    buckets_[i] = table.buckets[static_cast<size_t>(i)];
    if (buckets_[i] >= 0) ++used_buckets_;
  }
  for (int32_t i = 0; i < count; ++i) {
    next_[i] = table.next[static_cast<size_t>(i)];
    entries_[i] = Entry{table.names[static_cast<size_t>(i)], marker, nullptr};
  }
  for (int32_t i = count; i < capacity_; ++i) {
    next_[i] = -1;
    entries_[i] = Entry{0, 0, nullptr};
  }
  count_ = count;
  return true;
}

// ---- operations ------------------------------------------------------------

int32_t VariableHash::Insert(int32_t name_index, const char* name, int32_t length,
                             Variable* variable) {
  return LocalInsert(name_index, name, length, variable, Level());
}

int32_t VariableHash::InsertIndex(int32_t name_index) {
  return Insert(name_index, nullptr, 0, nullptr);
}

int32_t VariableHash::InsertName(const char* name, int32_t length) {
  return Insert(-1, name, length, nullptr);
}

int32_t VariableHash::InsertVariable(Variable* variable) {
  const String& name = variable->Name();
  return Insert(-1, name.data(), name.length(), variable);
}

int32_t VariableHash::ReplaceVariable(Variable* variable) {
  const String& name = variable->Name();
  int32_t index = FindEntry(name.data(), name.length());
  if (index < 0) return Insert(-1, name.data(), name.length(), variable);
  if (entries_[index].variable == variable) return index;
  variable->Retain();
  StoreVariable(index, variable);
  return index;
}

int VariableHash::SetVariable(const char* name, int32_t length, const char* value,
                              int32_t value_length) {
  length = text_length(name, length);
  Variable* v = nullptr;
  if (!Find(name, length, true, &v)) {
    int32_t index = InsertName(name, length);
    v = VariableAt(index, true);
  }
  if (!v) return 0;
  return v->SetValue(value, value_length);
}

void VariableHash::ReferenceEntry(int32_t index, Variable* target) {
  if (index < 0 || index >= count_ || !target) return;
  if (entries_[index].variable == target) return;
  int32_t length;
  const char* name = EntryName(index, &length);
  Variable* ref = NewReference(target, name, length);
  if (ref) StoreVariable(index, ref);
}

int VariableHash::SetVariablePath(const char* path, int32_t length, const char* value,
                                  int32_t value_length, bool accumulate) {
  Variable* v = nullptr;
  if (!Lookup(path, length, true, &v)) return 0;
  if (!v) return 0;
  if (!accumulate) return v->SetValue(value, value_length);
  return AccumulateValue(v, value, value_length);
}

int32_t VariableHash::FindEntry(const char* name, int32_t length, Entry** entry) {
  int32_t index = LocalFind(name, text_length(name, length));
  if (entry) *entry = index >= 0 ? &entries_[index] : nullptr;
  return index;
}

int32_t VariableHash::FindEntryIndex(int32_t name_index, Entry** entry) {
  int32_t length = 0;
  const char* name = names_ ? names_->get(name_index, &length) : nullptr;
  if (!name) {
    if (entry) *entry = nullptr;
    return -1;
  }
  return FindEntry(name, length, entry);
}

int32_t VariableHash::Level() const { return 0; }

int VariableHash::ClearVariable(const char* name, int32_t length) {
  int32_t index = FindEntry(name, length);
  if (index < 0) return 0;
  Variable* v = VariableAt(index, false);
  if (v) v->Clear();
  return 1;
}

bool VariableHash::Find(const char* name, int32_t length, bool create, Variable** variable) {
  int32_t index = FindEntry(name, length);
  *variable = index >= 0 ? VariableAt(index, create) : nullptr;
  return index >= 0;
}

bool VariableHash::Lookup(const char* path, int32_t length, bool create, Variable** variable) {
  PathReader reader(path, length);
  Variable* v = nullptr;
  if (!Find(reader.base(), reader.base_length(), create, &v) && create) {
    Variable* made = new (std::nothrow) Variable(reader.base(), reader.base_length());
    if (made) {
      InsertVariable(made);
      made->Release();  // the table holds it now
      v = made;
    }
  }
  return WalkPath(&reader, v, create, variable);
}

bool VariableHash::WalkPath(PathReader* reader, Variable* start, bool create,
                            Variable** variable) {
  Variable* v = start;
  for (;;) {
    if (!v) {
      *variable = nullptr;
      return true;
    }
    const char* name = nullptr;
    int32_t name_length = 0, number = 0;
    switch (reader->Next(&name, &name_length, &number)) {
      case PathReader::kEnd:
        *variable = v;
        return true;
      case PathReader::kMember:
        v = v->Element(AggregateIndex(name, name_length), create);
        break;
      case PathReader::kIndex:
        v = v->Element(AggregateIndex(number), create);
        break;
      case PathReader::kMalformed:
        SetError(kBadArrayIndex, -1);
        *variable = nullptr;
        return false;
    }
  }
}

Variable* VariableHash::VariableAt(int32_t index, bool create) {
  if (index < 0 || index >= count_) return nullptr;
  Variable* v = entries_[index].variable;
  if (!v && create) v = MakeEntryVariable(index);
  return v;
}

int32_t VariableHash::Capacity() const { return capacity_; }
int32_t VariableHash::Entries() const { return count_; }

void VariableHash::ForEach(VariableList* list) {
  for (int32_t i = 0; i < count_; ++i)
    if (entries_[i].variable) list->Insert(entries_[i].variable);
}

const String& VariableHash::Error() const { return error_; }
void VariableHash::SetError(const char* text, int32_t length) { error_.assign(text, length); }
void VariableHash::PushLevel() {}
int VariableHash::PopLevel() { return 0; }
VariableHash* VariableHash::Underlying() { return this; }

// ---- user tables and prepared tables ---------------------------------------

UserVariableHash::UserVariableHash() : VariableHash(12, kGrowth, new Dictionary(), true) {}

VariableHash* NewVariableHashFromTable(const NameTable& table, Dictionary* names, String* error) {
  VariableHash* hash = new VariableHash(names);
  if (!hash->InitFromTable(table, 0, error)) {
    delete hash;
    return nullptr;
  }
  return hash;
}

}  // namespace pexo
