// ExternalDatabase, ExternalDatabaseView, ExternalDatabaseVariable: a
// database whose operations a library carries out through its descriptor
// table (PxDatabaseLibrary). A null entry refuses the operation with
// "Px<TAG> is an Unsupported Operation"; an entry newer than the table's
// version is skipped and the operation succeeds; an entry that fails gives
// the library's error text. The library builds the views and their field
// variables through the extension API; an assignment by the script marks a
// variable dirty until the library clears it. External views have no
// filtered navigation.
#ifndef PEXO_DB_EXTERNAL_DATABASE_H_
#define PEXO_DB_EXTERNAL_DATABASE_H_

#include <cstdint>

#include "db/database.h"
#include "pexo/pexo.h"
#include "values/variable.h"

namespace pexo {

class ExternalDatabaseVariable : public Variable {
 public:
  ExternalDatabaseVariable(DatabaseView* view, const char* name, int32_t length);

  int SetValue(const char* text, int32_t length = -1) override;
  int SetValue_Integer(int32_t value) override;
  int SetValue_Decimal(const mpd_t* value) override;
  int SetValue_Variable(Variable* source) override;

  DatabaseView* view() const { return view_; }
  bool dirty() const { return dirty_; }
  void set_dirty(bool dirty) { dirty_ = dirty; }
  void* data = nullptr;

 private:
  DatabaseView* view_;
  bool dirty_ = false;
};

class ExternalDatabaseView : public DatabaseView {
 public:
  ExternalDatabaseView(Database* database, const String& name, const PxDatabaseLibrary* library);

  bool Close() override;
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

  PexoDatabaseView* handle() {
    return reinterpret_cast<PexoDatabaseView*>(static_cast<DatabaseView*>(this));
  }

 private:
  // The result of an entry: true, or false with the library's error text.
  bool Result(int result);
  bool Unsupported(const char* tag);

  const PxDatabaseLibrary* library_;
};

class ExternalDatabase : public Database {
 public:
  ExternalDatabase(PexoVM* vm, DatabaseFileManager* files, const String& name,
                   const PxDatabaseLibrary* library);
  ~ExternalDatabase() override;

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
  bool Commit() override;
  bool Rollback() override;
  bool Transact() override;
  bool DBCommand(const String& command, const String& text) override;

  // The indexes of PxOPEN (refused with its own message when unsupported).
  bool SetOpenIndexes(const String& indexes);
  // Adds a view for the library (the first becomes primary).
  ExternalDatabaseView* NewView(const char* name, int32_t length);

  const PxDatabaseLibrary* library() const { return library_; }
  PexoDatabase* handle() { return reinterpret_cast<PexoDatabase*>(static_cast<Database*>(this)); }
  // The library's error text after a failed entry.
  void TakeLibraryError(String* out);

 private:
  bool Result(int result);
  bool Unsupported(const char* message);

  const PxDatabaseLibrary* library_;
};

// The database and view behind the library's handles.
inline Database* DatabaseFromHandle(PexoDatabase* handle) {
  return reinterpret_cast<Database*>(handle);
}
inline DatabaseView* ViewFromHandle(PexoDatabaseView* handle) {
  return reinterpret_cast<DatabaseView*>(handle);
}

}  // namespace pexo

#endif  // PEXO_DB_EXTERNAL_DATABASE_H_
