// XBaseDatabase and XBaseDatabaseView: the database engine of type
// "xbase3". A database is one table (and its memo file) with one view that
// carries the database's name and shows the current record through one
// variable per field plus "totrec", "recno", "deleted" and "eof".
//
// Navigation runs in the primary index's order when the database has open
// indexes (the first of its list), else in record order. Adds and updates
// keep every open index current; a key that a UNIQUE index already holds is
// refused before the table or any index is written. Moving past either end is
// no error: it sets "eof" and stays on the last record reached. A filter is
// an expression compiled in the running program with the database's name as
// its "d." alias, evaluated against the current record; the filtered forms
// count only records for which it is true.
#ifndef PEXO_DB_XBASE_XBASE_DATABASE_H_
#define PEXO_DB_XBASE_XBASE_DATABASE_H_

#include <cstdint>
#include <memory>

#include <string>
#include <vector>

#include "db/database.h"
#include "db/xbase/xbase_index.h"
#include "db/xbase/xbase_table.h"

namespace pexo {

class ExternalFunctionResolver;
class XBaseEOFVariable;
class XBaseVariable;

using XBaseIndexList = std::vector<std::unique_ptr<XBaseIndex>>;

class XBaseDatabaseView : public DatabaseView {
 public:
  XBaseDatabaseView(Database* database, XBaseTable* table, XBaseIndexList* indexes);
  // Detaches the variables: a script may still hold some of them.
  ~XBaseDatabaseView() override;

  bool Skip(int32_t count) override;
  bool SkipFiltered(int32_t count) override;
  bool Go(int32_t record) override;
  bool GoFiltered(int32_t record) override;
  bool Find(const String& key, bool exact) override;
  bool FindFiltered(const String& key, bool exact) override;
  bool Add() override;
  bool Delete() override;
  bool Undelete() override;
  bool Update() override;
  bool SetFilter(const String& expression) override;
  bool RevealStructureToFile(const String& file) override;
  bool RevealStructureToVariable(Variable* target) override;

  bool eof() const;
  // Every variable forgets its value (the table's record changed under it).
  void Invalidate() { Refresh(); }
  // Binds the field variables to the fields of the reopened table.
  void Rebind();
  // Functions of libraries a filter may call (may be null; not owned).
  void SetExternals(ExternalFunctionResolver* externals) { externals_ = externals; }

 private:
  // The order of the primary index, else record order: 0 when there is no
  // such record; false with the error set when the index fails.
  bool First(uint32_t* record);
  bool Last(uint32_t* record);
  // From `current`, the current record or, in index order, the record the
  // index cursor is on. Past the known end it looks again: another writer
  // may have appended.
  bool Next(uint32_t current, uint32_t* record);
  bool Previous(uint32_t current, uint32_t* record);
  XBaseIndex* primary() const { return indexes_->empty() ? nullptr : indexes_->front().get(); }
  // Places the primary index's cursor on the entry of the current record
  // unless it is already on `from` (0: always).
  bool PlaceCursor(uint32_t from);
  // Every index's key of the current field values; false with the error.
  bool EvaluateKeys(std::vector<std::string>* keys);
  // Fails with the UNIQUE message when a UNIQUE index holds `keys[i]` for
  // another record than `record` (for indexes where `check[i]`).
  bool CheckUnique(const std::vector<std::string>& keys, const std::vector<bool>& check,
                   uint32_t record);
  bool IndexError(XBaseIndex* index);

  // Makes `record` current and shows it.
  bool Read(uint32_t record);
  void SetEOF(bool eof);
  // Every variable forgets its value.
  void Refresh();
  // Whether the current record passes the filter; false with the error set
  // when the filter could not be evaluated.
  bool Passes(bool* passes);
  // Walks from `record` in one direction to the first passing record.
  bool SeekPassing(uint32_t record, bool forward);
  // Copies pending assignments into the fields before a write; Restore
  // puts them back when the write fails.
  void StoreVariables();
  void RestoreVariables();
  bool TableError();
  // Whether `record` is none or past the table's end (read again first).
  bool Beyond(uint32_t record);

  XBaseTable* table_;
  XBaseIndexList* indexes_;
  XBaseEOFVariable* eof_ = nullptr;
  ExternalFunctionResolver* externals_ = nullptr;
};

class XBaseDatabase : public Database {
 public:
  XBaseDatabase(PexoVM* vm, DatabaseFileManager* files, const String& name,
                ExternalFunctionResolver* externals);
  ~XBaseDatabase() override;

  bool Open(const DatabaseOpenTexts& texts) override;
  bool Close() override;
  bool Create(const String& fields, const String& file, const String& text) override;
  bool SetIndexes(const String& indexes) override;
  bool SetPrimaryIndex(const String& index) override;
  bool MakeIndex(const String& file, const String& expression, const String& flags) override;
  bool Pack() override;
  bool Reindex() override;
  bool OpenView(const String& name, const String& query, const String& text,
                VariableList* fields) override;
  bool CloseView(const String& name) override;
  bool Query(const String& text, VariableList* fields) override;
  bool Commit() override { return true; }
  bool Rollback() override { return true; }
  bool Transact() override { return true; }
  bool DBCommand(const String& command, const String& text) override;

 private:
  void MakeView();
  bool Unsupported(const char* tag);
  bool GoTop();
  std::unique_ptr<XBaseIndex> NewIndex();
  // Fills each index of `targets` from every record of the table, keyed
  // through the view's variables. With `copy` (pack), deleted records are
  // skipped and the others appended to `copy`, keyed by their new numbers.
  bool FillIndexes(const XBaseIndexList& targets, XBaseTable* copy);
  bool IndexFailure(XBaseIndex* index);
  bool ReopenIndexes(const std::vector<String>& names);

  XBaseTable table_;
  XBaseIndexList indexes_;
  String file_;
  ExternalFunctionResolver* externals_;
};

}  // namespace pexo

#endif  // PEXO_DB_XBASE_XBASE_DATABASE_H_
