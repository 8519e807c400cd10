// XBaseField: one column of an xBase table and its value in the current
// record. The field keeps two texts: the current value (what the next write
// stores) and the value as read (so an update can be undone by swapping
// them). XBaseMemoField keeps a memo text beside its block-number text; the
// memo is read from the memo file on first use after each record read and
// appended to it when a changed memo is stored.
//
// Record texts: C left-aligned, blank-padded, read without trailing blanks;
// N right-aligned, read without leading blanks; D and L left-aligned, read as
// stored; M the memo's first block number right-aligned (blank when empty),
// read without leading blanks.
#ifndef PEXO_DB_XBASE_XBASE_FIELD_H_
#define PEXO_DB_XBASE_XBASE_FIELD_H_

#include <cstdint>

#include "values/string.h"

namespace pexo {

class XBaseTable;

// Type codes.
enum : int32_t {
  kXBaseCharacter = 0,
  kXBaseNumeric = 1,
  kXBaseDate = 2,
  kXBaseLogical = 3,
  kXBaseMemo = 4,
};

// The type code of a descriptor letter, or -1.
int32_t XBaseTypeCode(char letter);
// The descriptor letter of a type code.
char XBaseTypeLetter(int32_t type);

class XBaseField {
 public:
  XBaseField(XBaseTable* table, const char* name, int32_t name_length, int32_t type,
             int32_t length, int32_t decimals);
  XBaseField(const XBaseField&) = delete;
  XBaseField& operator=(const XBaseField&) = delete;
  virtual ~XBaseField();

  // Takes the value from its `length()` bytes of a record.
  virtual void Parse(const char* bytes);
  // Writes its `length()` bytes into a record; false (message in the
  // table's error text) when a memo cannot be stored.
  virtual bool Store(char* bytes);
  // Replaces the current value (a plain field keeps at most `length()` bytes).
  virtual void SetValue(const char* text, int32_t length);
  const String& Name() const { return name_; }
  int32_t Type() const { return type_; }
  int32_t Length() const { return length_; }
  int32_t Decimals() const { return decimals_; }
  // The current value (for a memo its text; empty when it cannot be read,
  // the table's error text telling why).
  virtual const String& Value();
  // Swaps the current and the read value.
  virtual void RestoreReadValue();
  // Makes the current value the read value.
  virtual void SaveReadValue();

 protected:
  XBaseTable* table_;
  String name_;
  int32_t type_;
  int32_t length_;
  int32_t decimals_;
  String value_;
  String read_value_;
};

class XBaseMemoField : public XBaseField {
 public:
  XBaseMemoField(XBaseTable* table, const char* name, int32_t name_length, int32_t length);

  void Parse(const char* bytes) override;
  bool Store(char* bytes) override;
  void SetValue(const char* text, int32_t length) override;
  const String& Value() override;
  void RestoreReadValue() override;
  void SaveReadValue() override;

  // The block number in the field text; 0 for an empty memo.
  int32_t Block() const;
  bool changed() const { return changed_; }

 private:
  bool Load();

  bool loaded_ = false;
  bool changed_ = false;
  String memo_;
  String saved_memo_;
};

}  // namespace pexo

#endif  // PEXO_DB_XBASE_XBASE_FIELD_H_
