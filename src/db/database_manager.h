// DatabaseManager: the databases one machine has open, by name (matched
// without regard to case) and in order: the first is the primary database,
// and a database opened or created goes to the front. It picks the engine
// from the type ("xbase3", the default, or an external library type),
// resolves the database and view a tag names, and closes everything still
// open when it is destroyed.
//
// Operations return true, or false with the message in error().
#ifndef PEXO_DB_DATABASE_MANAGER_H_
#define PEXO_DB_DATABASE_MANAGER_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "db/database.h"
#include "db/database_file.h"
#include "db/database_libraries.h"
#include "expr/external_function_resolver.h"
#include "values/string.h"
#include "vm/machine_databases.h"

namespace pexo {

class PexoVM;
class VariableList;

// What the manager works with; each may be null (the operations that need
// a missing one fail with a message, or filters call no library function).
struct DatabaseServices {
  std::unique_ptr<DatabaseFileManager> files;
  std::unique_ptr<DatabaseLibraries> libraries;
  std::unique_ptr<ExternalFunctionResolver> externals;
};

class DatabaseManager : public MachineDatabases {
 public:
  DatabaseManager(PexoVM* vm, DatabaseServices services);
  ~DatabaseManager() override;

  Variable* Field(const char* alias, int32_t alias_length, const char* name,
                  int32_t length) override;

  // PxOPEN: `texts` carries the file and the further texts.
  bool Open(const String& name, const String& type, const String& indexes,
            const DatabaseOpenTexts& texts);
  bool Create(const String& name, const String& file, const String& type, const String& fields,
              const String& text);
  bool Close(const String& name);
  bool Primary(const String& name, const String& view, const String& index);
  bool OpenView(const String& name, const String& view, const String& query,
                const String& fields);
  bool Query(const String& name, const String& query, const String& fields);

  // The database a tag names (empty: the primary one), or null.
  Database* Resolve(const String& name);
  // The view of `database` a tag names (empty: its primary view), or null.
  DatabaseView* ResolveView(Database* database, const String& view);

  Database* Find(const char* name, int32_t length) const;
  Database* primary() const { return order_.empty() ? nullptr : order_.front().get(); }
  int32_t count() const { return static_cast<int32_t>(order_.size()); }
  PexoVM* vm() const { return vm_; }
  const String& error() const { return error_; }

 private:
  // A new database of the type, or null with error_ set.
  std::unique_ptr<Database> Make(const String& name, const String& type);
  bool NotOpenError(const String& name);
  bool AlreadyOpen(const String& name);
  // The list of variables a field text names.
  bool BuildList(const String& fields, VariableList* list);

  PexoVM* vm_;
  DatabaseServices services_;
  std::vector<std::unique_ptr<Database>> order_;
  String error_;
};

}  // namespace pexo

#endif  // PEXO_DB_DATABASE_MANAGER_H_
