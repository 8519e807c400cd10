// ReferenceVariableHash: a table whose entries stand for names in another
// table (the target, always an Underlying table), so that compiled code of
// one program can address the variables of another by its own entry numbers.
//
// Every operation by name goes to the target. An operation by entry index
// caches the target's entry index in the entry's marker (-1: not resolved
// yet); a name the target lacks is inserted there on a create. The target
// must outlive this table unless a subclass owns it.
#ifndef PEXO_VALUES_REFERENCE_VARIABLE_HASH_H_
#define PEXO_VALUES_REFERENCE_VARIABLE_HASH_H_

#include "values/variable_hash.h"

namespace pexo {

class ReferenceVariableHash : public VariableHash {
 public:
  // Entries to be filled by InitFromTable(table, -1, ...); `target` is
  // replaced by its Underlying().
  ReferenceVariableHash(Dictionary* names, VariableHash* target);
  // Entries copied from `source` (no variables, markers as in `source`).
  ReferenceVariableHash(const VariableHash& source, Dictionary* names, VariableHash* target);

  int32_t Insert(int32_t name_index, const char* name, int32_t length, Variable* variable) override;
  int32_t ReplaceVariable(Variable* variable) override;
  int SetVariable(const char* name, int32_t length, const char* value,
                  int32_t value_length) override;
  void ReferenceEntry(int32_t index, Variable* target) override;
  int SetVariablePath(const char* path, int32_t length, const char* value, int32_t value_length,
                      bool accumulate) override;
  int32_t FindEntry(const char* name, int32_t length, Entry** entry = nullptr) override;
  int32_t Level() const override;
  int ClearVariable(const char* name, int32_t length) override;
  bool Find(const char* name, int32_t length, bool create, Variable** variable) override;
  bool Lookup(const char* path, int32_t length, bool create, Variable** variable) override;
  Variable* VariableAt(int32_t index, bool create) override;
  void ForEach(VariableList* list) override;
  const String& Error() const override;
  void SetError(const char* text, int32_t length) override;
  void PushLevel() override;
  int PopLevel() override;
  VariableHash* Underlying() override;

  VariableHash* target() const { return target_; }

 protected:
  // The target's entry index for one of ours, or -1.
  int32_t TargetIndex(int32_t index, bool create);

  VariableHash* target_;
};

// A forwarding table from a prepared name table, or null with `error`.
ReferenceVariableHash* NewReferenceVariableHashFromTable(const NameTable& table, Dictionary* names,
                                                         VariableHash* target, String* error);

}  // namespace pexo

#endif  // PEXO_VALUES_REFERENCE_VARIABLE_HASH_H_
