// SystemVariableHash: the system scope, with save levels so that it can be
// overridden for a while (an included program, an asynchronous task) and put
// back exactly.
//
// PushLevel starts a record list. While the level is above 0 every change of
// an entry's variable is recorded (entry index, old marker, old variable,
// whose reference moves into the record): inserting a name that already has
// an entry reuses that entry, inserting a new name records it with no old
// variable, making a variable for a declared entry and ReplaceVariable are
// recorded the same way. PopLevel undoes the records newest first, so an
// entry changed twice ends with its oldest saved variable.
//
// Deferred entries: Defer declares an entry whose variable a source makes
// on first use, so a request pays only for the system variables it reads.
// Every way to reach an entry's variable (VariableAt and so Find and Lookup,
// ForEach, replacing or saving the entry) makes it first, so nothing can
// tell a deferred entry from one filled at once. The source must outlive the
// table's deferred entries.
#ifndef PEXO_VALUES_SYSTEM_VARIABLE_HASH_H_
#define PEXO_VALUES_SYSTEM_VARIABLE_HASH_H_

#include "values/list.h"
#include "values/variable_hash.h"

namespace pexo {

// Makes the variables of deferred entries.
class SystemVariableSource {
 public:
  virtual ~SystemVariableSource() = default;
  // A new variable (count 1) of a kind the source gave to Defer, for the
  // entry named `name`, or null when out of memory.
  virtual Variable* Make(int32_t kind, const char* name, int32_t length) = 0;
};

// What a save level remembers of one system variable slot it changed.
struct SavedSystemEntry {
  int32_t index;
  int32_t marker;
  Variable* variable;  // may be null
};

class SystemVariableHash : public VariableHash {
 public:
  // An empty table with 2^bits buckets over `names`.
  SystemVariableHash(int bits, Dictionary* names, bool owns_names);
  // An empty table to be filled by InitFromTable.
  explicit SystemVariableHash(Dictionary* names);
  // A copy of another table (see VariableHash), starting at level 0.
  SystemVariableHash(const VariableHash& source, Dictionary* names, bool owns_names,
                     bool copy_variables);
  ~SystemVariableHash() override;

  int32_t Insert(int32_t name_index, const char* name, int32_t length, Variable* variable) override;
  int32_t Level() const override;
  void PushLevel() override;
  int PopLevel() override;
  Variable* VariableAt(int32_t index, bool create) override;
  void ForEach(VariableList* list) override;

  // Declares `name` as `source`'s variable of `kind`: a new entry, or the
  // entry of that name, whose variable is dropped with `replace`. The entry
  // number, or -1 with nothing done: the table refused the name, the entry
  // holds a variable and `replace` is false, or the entry number is
  // kDeferredSpan or more. The caller then makes the variable at once.
  int32_t Defer(const char* name, int32_t length, SystemVariableSource* source, int32_t kind,
                bool replace) {
    length = text_length(name, length);
    return Defer(name, length, NameHash(name, length), source, kind, replace);
  }
  // The same for a name whose NameHash was computed before.
  int32_t Defer(const char* name, int32_t length, uint32_t hash, SystemVariableSource* source,
                int32_t kind, bool replace);
  // Makes every deferred variable (before the table is copied).
  void MakeDeferredVariables();

  static constexpr int32_t kDeferredSpan = 192;

 protected:
  bool SaveEntry(int32_t index) override;

 private:
  struct Deferred {
    SystemVariableSource* source;  // null: not deferred
    int32_t kind;
  };

  void Record(int32_t index, int32_t marker, Variable* variable);
  static void DiscardRecords(List<SavedSystemEntry>* records);
  // Drops the deferral of an entry; makes its variable first with `make`.
  void TakeDeferred(int32_t index, bool make);

  int32_t level_ = 0;
  Stack<List<SavedSystemEntry>> saved_;
  // By entry number; only the first deferred_end_ are initialised.
  Deferred deferred_[kDeferredSpan];
  int32_t deferred_end_ = 0;
  int32_t deferred_count_ = 0;  // pending
};

// A system table built from a prepared name table, or null with `error`.
SystemVariableHash* NewSystemVariableHashFromTable(const NameTable& table, Dictionary* names,
                                                   String* error);

}  // namespace pexo

#endif  // PEXO_VALUES_SYSTEM_VARIABLE_HASH_H_
