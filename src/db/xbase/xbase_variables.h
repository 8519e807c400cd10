// The variables through which scripts see a table's current record: one per
// field, named after it, plus the record-state variables "totrec", "recno",
// "deleted" and "eof".
//
// A field variable is lazy: Invalidate (called whenever the current record
// changes) drops its value, and the next read takes the field's text. An
// assignment is checked by the field's rules; a refused one returns 0 and
// leaves the value as it was; an accepted one marks the variable dirty, and
// StoreIntoField later copies it into the field before a record is written.
// The record-state variables are read-only and always current. Field
// variables stay scalars: element operations fail.
#ifndef PEXO_DB_XBASE_XBASE_VARIABLES_H_
#define PEXO_DB_XBASE_XBASE_VARIABLES_H_

#include <cstdint>

#include "db/xbase/xbase_field.h"
#include "values/variable.h"

namespace pexo {

class XBaseTable;

class XBaseVariable : public Variable {
 public:
  explicit XBaseVariable(const char* name, int32_t name_length = -1);

  // The current record changed: forget the value and any pending assignment.
  void Invalidate();
  // The table is going away while something may still hold the variable:
  // from now on it keeps what it showed (or nothing) and refuses every
  // assignment, touching neither field nor table again.
  void Detach() { detached_ = true; }
  bool dirty() const { return dirty_; }
  // Copies a pending assignment into the field; nothing for the others.
  virtual void StoreIntoField();
  // Keep and put back the shown value and its pending state, so that a
  // write that fails after StoreIntoField loses no assignment.
  void SaveValue();
  void RestoreValue();

  Variable* Copy() override;
  const String& Value() override;
  int32_t Value_Integer() override;
  const mpd_t* Value_Decimal() override;
  const mpd_t* Value_Decimal_Checked(int* error) override;
  int32_t Type() override;
  int IsTrue() override;
  int IsNULL() override;
  void Clear() override;
  int SetValue_Variable(Variable* source) override;
  int SetValue(const char* text, int32_t length = -1) override;
  int SetValue_Nocopy(char* text, int32_t length, int32_t size) override;
  int SetValue_Integer(int32_t value) override;
  int SetValue_Decimal(const mpd_t* value) override;
  int SetValue_Decimal_Nocopy(mpd_t* value) override;
  Variable* Element(const AggregateIndex& index, int create) override;
  int Set_Element(const AggregateIndex& index, Variable* value) override;
  int Insert_Array_Element(int32_t position, Variable* value) override;
  void MakeAggregate(int32_t kind) override;
  void AppendText(String* out) override;
  int Make_Reference(Variable* target) override;
  int Make_CallbackStruct(CallbackVariableCallback* callback, void* creator_data) override;
  void CopyRepresentationsTo(Variable* destination) override;

 protected:
  // Stores the value to show (with the Store* helpers).
  virtual void Load() = 0;
  // Checks and stores an assigned text; 0 when refused.
  virtual int Accept(const char* text, int32_t length) = 0;
  // Whether every read recomputes the value (record state).
  virtual bool Computed() const { return false; }
  // Stores an accepted text and marks the variable dirty.
  int Assigned(const char* text, int32_t length);
  // Accept, unless detached.
  int Take(const char* text, int32_t length) { return detached_ ? 0 : Accept(text, length); }
  void Update() {
    if (detached_) return;
    if (!loaded_ || Computed()) {
      Load();
      loaded_ = true;
    }
  }

  bool loaded_ = false;
  bool dirty_ = false;
  bool detached_ = false;
  bool saved_loaded_ = false;
  bool saved_dirty_ = false;
  String saved_text_;
};

// A variable that shows one field of the current record.
class XBaseFieldVariable : public XBaseVariable {
 public:
  explicit XBaseFieldVariable(XBaseField* field);
  XBaseField* field() const { return field_; }
  // Shows another field (the table was reopened); drops the value.
  void Rebind(XBaseField* field);
  // The shown text becomes the field's value.
  void StoreIntoField() override;

 protected:
  XBaseField* field_;
};

// Character and memo fields: text; a character field's text is cut to the
// field length and loses its trailing white space.
class XBaseStringVariable : public XBaseFieldVariable {
 public:
  explicit XBaseStringVariable(XBaseField* field);

 protected:
  void Load() override;
  int Accept(const char* text, int32_t length) override;
};

// Numeric fields: optional "-", digits, at most one "."; stored with exactly
// the field's decimal places (cut, not rounded); refused when the integer
// part does not fit beside them.
class XBaseNumberVariable : public XBaseFieldVariable {
 public:
  explicit XBaseNumberVariable(XBaseField* field);

  // The stored text of `text` for a field of `length` and `decimals`, or
  // false when the text is refused.
  static bool Normalize(const char* text, int32_t length, int32_t field_length,
                        int32_t decimals, String* out);

 protected:
  void Load() override;
  int Accept(const char* text, int32_t length) override;
};

// Date fields: exactly eight digits, month below 13, day below 32.
class XBaseDateVariable : public XBaseFieldVariable {
 public:
  explicit XBaseDateVariable(XBaseField* field);

 protected:
  void Load() override;
  int Accept(const char* text, int32_t length) override;
};

// Logical fields: "1" when the field starts with T, t, Y or y, else "0";
// any value is accepted and stored as "T" when true, else "F".
class XBaseBooleanVariable : public XBaseFieldVariable {
 public:
  explicit XBaseBooleanVariable(XBaseField* field);
  void StoreIntoField() override;
  int SetValue_Variable(Variable* source) override;
  int SetValue_Integer(int32_t value) override;
  int SetValue_Decimal(const mpd_t* value) override;

 protected:
  void Load() override;
  int Accept(const char* text, int32_t length) override;

 private:
  int AcceptTruth(bool truth);
};

// The variable of a field by its type (count 1), or null.
XBaseFieldVariable* MakeXBaseFieldVariable(XBaseField* field);

// Read-only record state of a table: computed from the table on each read,
// every assignment refused.
class XBaseRecordStateVariable : public XBaseVariable {
 protected:
  XBaseRecordStateVariable(const char* name, const XBaseTable* table)
      : XBaseVariable(name), table_(table) {}
  int Accept(const char*, int32_t) override { return 0; }
  bool Computed() const override { return true; }

  const XBaseTable* table_;
};

class XBaseTotalRecordsVariable : public XBaseRecordStateVariable {
 public:
  explicit XBaseTotalRecordsVariable(const XBaseTable* table)
      : XBaseRecordStateVariable("totrec", table) {}

 protected:
  void Load() override;
};

class XBaseRecordNumberVariable : public XBaseRecordStateVariable {
 public:
  explicit XBaseRecordNumberVariable(const XBaseTable* table)
      : XBaseRecordStateVariable("recno", table) {}

 protected:
  void Load() override;
};

class XBaseDeletedVariable : public XBaseRecordStateVariable {
 public:
  explicit XBaseDeletedVariable(const XBaseTable* table)
      : XBaseRecordStateVariable("deleted", table) {}

 protected:
  void Load() override;
};

// "eof": set only by navigation through SetEOF.
class XBaseEOFVariable : public XBaseVariable {
 public:
  XBaseEOFVariable();
  void SetEOF(bool eof) { eof_ = eof; }
  bool eof() const { return eof_; }

 protected:
  void Load() override;
  int Accept(const char*, int32_t) override { return 0; }
  bool Computed() const override { return true; }

 private:
  bool eof_ = false;
};

}  // namespace pexo

#endif  // PEXO_DB_XBASE_XBASE_VARIABLES_H_
