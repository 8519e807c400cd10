// Database and DatabaseView: what every database engine provides to the
// database manager. A database owns its views; the first of its view list
// is the primary view. A view owns its field variables (one reference each,
// released with the view) and its filter (compiled code that belongs to the
// program's segment manager).
//
// Every operation returns true on success, or false with the reason in the
// ErrorText() of the object concerned. Texts arrive as the script gave them
// (an omitted attribute is empty).
#ifndef PEXO_DB_DATABASE_H_
#define PEXO_DB_DATABASE_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "values/hash_table.h"
#include "values/string.h"

namespace pexo {

class Database;
class DatabaseFileManager;
class PexoVM;
class Segment;
class Variable;
class VariableList;

// PxGO's "top" and "bottom".
constexpr int32_t kGoTop = -1;
constexpr int32_t kGoBottom = -2;

class DatabaseView {
 public:
  DatabaseView(Database* database, const String& name);
  DatabaseView(const DatabaseView&) = delete;
  DatabaseView& operator=(const DatabaseView&) = delete;
  virtual ~DatabaseView();

  virtual bool Close() { return true; }
  virtual bool Skip(int32_t count) = 0;
  virtual bool SkipFiltered(int32_t count) = 0;
  virtual bool Go(int32_t record) = 0;
  virtual bool GoFiltered(int32_t record) = 0;
  virtual bool Find(const String& key, bool exact) = 0;
  virtual bool FindFiltered(const String& key, bool exact) = 0;
  virtual bool Add() = 0;
  virtual bool Delete() = 0;
  virtual bool Undelete() = 0;
  virtual bool Update() = 0;
  virtual bool SetFilter(const String& expression) = 0;
  virtual bool RevealStructureToFile(const String& file) = 0;
  virtual bool RevealStructureToVariable(Variable* target) = 0;

  // The field variable of that name (case-insensitive, borrowed), or null.
  Variable* FindVariable(const char* name, int32_t length) const;
  // Adds a variable under its name; the view takes over one reference.
  void AddVariable(Variable* variable);
  // Releases every variable and forgets their names.
  void ClearVariables();
  const std::vector<Variable*>& variables() const { return variables_; }

  bool HasFilter() const { return filter_ != nullptr; }

  Database* database() const { return database_; }
  const String& Name() const { return name_; }
  const String& ErrorText() const { return error_; }
  // An empty text leaves the error as it was.
  void SetErrorText(const String& text);
  void SetErrorText(const char* text);
  // Per-view data of an external library.
  void* data = nullptr;

 protected:
  Database* database_;
  String name_;
  String error_;
  Segment* filter_ = nullptr;
  std::vector<Variable*> variables_;
  // Names to variables (not owning): name lookups hash instead of scanning.
  std::unique_ptr<HashTable<Variable>> by_name_;
};

struct DatabaseOpenTexts {
  String file;
  String text1;
  String text2;
  String text3;
  bool has_text3 = false;
};

class Database {
 public:
  Database(PexoVM* vm, DatabaseFileManager* files, const String& name);
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;
  virtual ~Database();

  virtual bool Open(const DatabaseOpenTexts& texts) = 0;
  virtual bool Close() = 0;
  virtual bool Create(const String& fields, const String& file, const String& text) = 0;
  virtual bool SetIndexes(const String& indexes) = 0;
  virtual bool SetPrimaryIndex(const String& index) = 0;
  virtual bool MakeIndex(const String& file, const String& expression, const String& flags) = 0;
  virtual bool Pack() = 0;
  virtual bool Reindex() = 0;
  virtual bool OpenView(const String& name, const String& query, const String& text,
                        VariableList* fields) = 0;
  virtual bool CloseView(const String& name) = 0;
  virtual bool Query(const String& text, VariableList* fields) = 0;
  virtual bool Commit() = 0;
  virtual bool Rollback() = 0;
  virtual bool Transact() = 0;
  virtual bool DBCommand(const String& command, const String& text) = 0;

  // Appends a view (the first becomes primary) and returns it.
  DatabaseView* AddView(std::unique_ptr<DatabaseView> view);
  // Destroys the view.
  void RemoveView(DatabaseView* view);
  DatabaseView* PrimaryView() const { return views_.empty() ? nullptr : views_.front().get(); }
  // Moves the view to the front of the list.
  void SetPrimaryView(DatabaseView* view);
  DatabaseView* FindView(const char* name, int32_t length) const;
  // The first view, in list order, with a field variable of that name.
  Variable* FindVariable(const char* name, int32_t length) const;

  PexoVM* vm() const { return vm_; }
  DatabaseFileManager* files() const { return files_; }
  const String& Name() const { return name_; }
  const String& ErrorText() const { return error_; }
  void SetErrorText(const String& text);
  void SetErrorText(const char* text);
  // Per-database data of an external library.
  void* data = nullptr;

 protected:
  PexoVM* vm_;
  DatabaseFileManager* files_;
  String name_;
  String error_;
  std::vector<std::unique_ptr<DatabaseView>> views_;
};

}  // namespace pexo

#endif  // PEXO_DB_DATABASE_H_
