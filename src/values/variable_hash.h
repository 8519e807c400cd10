// VariableHash: a scope of script variables, case-insensitive names to
// variables, with names kept in a Dictionary and entries addressable by
// number (compiled code uses the number, text lookups hash the name).
//
// Layout: 2^bits bucket heads (-1 empty), a next array and an entry array that
// grow together by 512 slots. Entries are numbered in insertion order and are
// never removed; only their variables change. Every chain is ordered by name
// length, then case-insensitively (tolower), so a lookup stops early.
// A copy of a table without entries starts with at most kStartBuckets heads
// and grows them, relinking every entry, as names are added, up to 2^bits:
// its chains are all made by inserts, so where a name lies follows from the
// name alone. Any other table keeps its bucket count (a prepared table's
// chains are taken as they are).
//
// Ownership: the table holds one reference on each variable in its entries.
// Operations that store a caller's variable retain it; the caller keeps its
// own reference. A table uses a Dictionary it does not own unless made with
// one of its own (UserVariableHash, clones).
//
// Errors: a malformed path makes Lookup return false with kBadArrayIndex in
// Error(). Nothing here throws.
#ifndef PEXO_VALUES_VARIABLE_HASH_H_
#define PEXO_VALUES_VARIABLE_HASH_H_

#include <cstdint>

#include "values/string.h"

namespace pexo {

class Dictionary;
class Variable;
class VariableList;
struct NameTable;

class VariableHash {
 public:
  struct Entry {
    int32_t name;        // dictionary index
    int32_t marker;      // save level, or cached target index (-1 unresolved)
    Variable* variable;  // may be null: declared, not made yet
  };

  static constexpr int32_t kGrowth = 512;
  static constexpr int32_t kStartBuckets = 256;

  // An empty table with 2^bits buckets and `capacity` entry slots. With
  // `owns_names` the table deletes `names` when destroyed.
  VariableHash(int bits, int32_t capacity, Dictionary* names, bool owns_names);
  // An empty table (no buckets, no entries) to be filled by InitFromTable.
  explicit VariableHash(Dictionary* names);
  // A copy of `source`'s buckets, chains and entries using `names`; each
  // variable is replaced by its deep copy with `copy_variables`, else left
  // empty. Check ok() afterwards.
  VariableHash(const VariableHash& source, Dictionary* names, bool owns_names,
               bool copy_variables);
  VariableHash(const VariableHash&) = delete;
  VariableHash& operator=(const VariableHash&) = delete;

  virtual ~VariableHash();

  virtual int32_t Insert(int32_t name_index, const char* name, int32_t length, Variable* variable);
  virtual int32_t InsertIndex(int32_t name_index);
  virtual int32_t InsertName(const char* name, int32_t length);
  virtual int32_t InsertVariable(Variable* variable);
  virtual int32_t ReplaceVariable(Variable* variable);
  virtual int SetVariable(const char* name, int32_t length, const char* value, int32_t value_length);
  virtual void ReferenceEntry(int32_t index, Variable* target);
  virtual int SetVariablePath(const char* path, int32_t length, const char* value,
                              int32_t value_length, bool accumulate);
  virtual int32_t FindEntry(const char* name, int32_t length, Entry** entry = nullptr);
  virtual int32_t Level() const;
  virtual int ClearVariable(const char* name, int32_t length);
  virtual bool Find(const char* name, int32_t length, bool create, Variable** variable);
  virtual bool Lookup(const char* path, int32_t length, bool create, Variable** variable);
  virtual Variable* VariableAt(int32_t index, bool create);
  virtual int32_t Capacity() const;
  virtual int32_t Entries() const;
  virtual void ForEach(VariableList* list);
  virtual const String& Error() const;
  virtual void SetError(const char* text, int32_t length);
  virtual void PushLevel();
  virtual int PopLevel();
  virtual VariableHash* Underlying();

  // What a name's slot comes from, so that a lookup followed by an insert
  // of the same new name hashes it once.
  static uint32_t NameHash(const char* name, int32_t length);

  // Entry number of a dictionary index's name, or -1.
  int32_t FindEntryIndex(int32_t name_index, Entry** entry = nullptr);

  // Replaces the table by a prepared name table (entries without variables,
  // markers set to `marker`). On a table that is out of range or has a
  // looping chain returns false with the reason in `error` and leaves this
  // table as it was. Variables held before are released on success. Reuses
  // the arrays when they are large enough, so a per-call local scope can be
  // recycled cheaply.
  bool InitFromTable(const NameTable& table, int32_t marker, String* error);
  // Releases every variable and leaves the entries declared but empty.
  void ReleaseVariables();
  // As ReleaseVariables, but an ordinary variable that only this table holds
  // is emptied and kept, as good as a new one, so that the next user of a
  // recycled scope does not make it again.
  void EmptyVariables();

  Dictionary* names() const { return names_; }
  int32_t bucket_bits() const { return bits_; }
  int32_t bucket_count() const { return bucket_count_; }
  int32_t used_buckets() const { return used_buckets_; }
  // False when construction could not allocate; such a table has no slots.
  bool ok() const { return ok_; }
  // The entry of an index, or null outside 0..count-1.
  Entry* EntryAt(int32_t index) {
    return index >= 0 && index < count_ ? &entries_[index] : nullptr;
  }
  // The dictionary text of an entry's name (never null).
  const char* EntryName(int32_t index, int32_t* length) const;

 protected:
  // Called before an entry's variable is replaced; returns true when the old
  // variable was kept elsewhere (save levels) and must not be released.
  virtual bool SaveEntry(int32_t index);
  // Puts `variable` (whose reference the table takes over) into an entry,
  // releasing or saving the old one, and stamps the marker with Level().
  void StoreVariable(int32_t index, Variable* variable);
  // A fresh variable named as the entry, stored in it.
  Variable* MakeEntryVariable(int32_t index);
  // Index of the named entry without virtual dispatch.
  int32_t LocalFind(const char* name, int32_t length) const;
  // Inserts without virtual dispatch; -1 when growing failed.
  int32_t LocalInsert(int32_t name_index, const char* name, int32_t length, Variable* variable,
                      int32_t marker);
  int32_t LocalFindHashed(const char* name, int32_t length, uint32_t hash) const;
  // LocalInsert of a new name (not a dictionary index) whose NameHash is known.
  int32_t LocalInsertHashed(const char* name, int32_t length, uint32_t hash, Variable* variable,
                            int32_t marker);
  // Walks a path from the variable the base name gave.
  bool WalkPath(class PathReader* reader, Variable* start, bool create, Variable** variable);

  void set_marker(int32_t index, int32_t marker) { entries_[index].marker = marker; }

 private:
  bool Grow();
  // Before an insert: more bucket heads for a table that started with few,
  // once it holds as many entries as heads. False when out of memory.
  bool GrowBuckets();
  // The body of both inserts: `name_index` < 0 appends `name`; a null
  // `hash` is computed from the stored name.
  int32_t InsertEntry(int32_t name_index, const char* name, int32_t length, const uint32_t* hash,
                      Variable* variable, int32_t marker);
  void Link(int32_t index, const char* name, int32_t length, uint32_t hash);
  int32_t Slot(uint32_t hash) const {
    return static_cast<int32_t>(hash & static_cast<uint32_t>(bucket_count_ - 1));
  }
  int CompareToEntry(const char* name, int32_t length, int32_t index) const;
  void FreeArrays();

  int32_t* buckets_ = nullptr;
  int32_t bits_ = 0;
  int32_t bucket_count_ = 0;
  int32_t used_buckets_ = 0;
  int32_t* next_ = nullptr;
  int32_t capacity_ = 0;
  Entry* entries_ = nullptr;
  int32_t count_ = 0;
  Dictionary* names_ = nullptr;
  String error_;
  bool owns_names_ = false;
  bool ok_ = true;
};

// A private table for extensions and internal uses: 12 bucket bits, 512 entry
// slots and a Dictionary of its own.
class UserVariableHash : public VariableHash {
 public:
  UserVariableHash();
};

// A table built from a prepared name table over the program's dictionary, or
// null with the reason in `error` when the table is out of range.
VariableHash* NewVariableHashFromTable(const NameTable& table, Dictionary* names, String* error);

}  // namespace pexo

#endif  // PEXO_VALUES_VARIABLE_HASH_H_
