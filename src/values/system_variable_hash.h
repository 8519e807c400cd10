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
#ifndef PEXO_VALUES_SYSTEM_VARIABLE_HASH_H_
#define PEXO_VALUES_SYSTEM_VARIABLE_HASH_H_

#include "values/list.h"
#include "values/variable_hash.h"

namespace pexo {

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

 protected:
  bool SaveEntry(int32_t index) override;

 private:
  void Record(int32_t index, int32_t marker, Variable* variable);
  static void DiscardRecords(List<SavedSystemEntry>* records);

  int32_t level_ = 0;
  Stack<List<SavedSystemEntry>> saved_;
};

// A system table built from a prepared name table, or null with `error`.
SystemVariableHash* NewSystemVariableHashFromTable(const NameTable& table, Dictionary* names,
                                                   String* error);

}  // namespace pexo

#endif  // PEXO_VALUES_SYSTEM_VARIABLE_HASH_H_
