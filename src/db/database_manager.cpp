#include "db/database_manager.h"

#include <algorithm>

#include "db/database_file.h"
#include "db/database_libraries.h"
#include "db/external_database.h"
#include "db/xbase/xbase_database.h"
#include "expr/external_function_resolver.h"
#include "values/variable.h"
#include "values/variable_hash.h"
#include "values/variable_list.h"
#include "vm/machine_scopes.h"
#include "vm/pexo_vm.h"

namespace pexo {

namespace {

const char kDefaultDatabaseVariable[] = "pexo_defaultdatabase";

bool IsXBaseType(const String& type) {
  return type.length() == 6 && type.equals_nocase("xbase3", 6);
}

}  // namespace

void UnsupportedDatabaseTypeMessage(const char* type, int32_t length, String* error) {
  error->assign("Database type '");
  error->append(type, length);
  error->append("' is unsupported or not configured");
}

DatabaseManager::DatabaseManager(PexoVM* vm, DatabaseServices services)
    : vm_(vm), services_(std::move(services)) {}

DatabaseManager::~DatabaseManager() {
  // Most recently opened first; each closes its files as it goes.
  for (auto& database : order_) database->Close();
  order_.clear();
}

Database* DatabaseManager::Find(const char* name, int32_t length) const {
  for (const auto& database : order_)
    if (equals_nocase(database->Name().data(), database->Name().length(), name, length))
      return database.get();
  return nullptr;
}

Variable* DatabaseManager::Field(const char* alias, int32_t alias_length, const char* name,
                                 int32_t length) {
  if (!alias) {
    for (const auto& database : order_)
      if (Variable* variable = database->FindVariable(name, length)) return variable;
    return nullptr;
  }
  Database* database = alias_length == 0 ? primary() : Find(alias, alias_length);
  return database ? database->FindVariable(name, length) : nullptr;
}

bool DatabaseManager::NotOpenError(const String& name) {
  error_.assign("Database '");
  error_.append(name);
  error_.append("' is not open");
  return false;
}

Database* DatabaseManager::Resolve(const String& name) {
  if (name.empty()) {
    if (!primary()) error_.assign("There is no primary database, and no database was specified");
    return primary();
  }
  Database* database = Find(name.data(), name.length());
  if (!database) NotOpenError(name);
  return database;
}

DatabaseView* DatabaseManager::ResolveView(Database* database, const String& view) {
  if (view.empty()) {
    DatabaseView* primary_view = database->PrimaryView();
    if (!primary_view) {
      error_.assign("Database '");
      error_.append(database->Name());
      error_.append("' has no primary view");
    }
    return primary_view;
  }
  DatabaseView* found = database->FindView(view.data(), view.length());
  if (!found) {
    error_.assign("Database '");
    error_.append(database->Name());
    error_.append("' has no view named '");
    error_.append(view);
    error_.append("'");
  }
  return found;
}

bool DatabaseManager::AlreadyOpen(const String& name) {
  if (!Find(name.data(), name.length())) return false;
  error_.assign("A database with the name '");
  error_.append(name);
  error_.append("' is already open");
  return true;
}

std::unique_ptr<Database> DatabaseManager::Make(const String& name, const String& given) {
  String type(given);
  if (type.empty()) {
    // The setting variable lives in the system scope; a program without it
    // may still declare a global of that name.
    VariableHash* scopes[] = {vm_->context().system, vm_->globals()};
    for (VariableHash* scope : scopes) {
      Variable* fallback = nullptr;
      if (scope && scope->Find(kDefaultDatabaseVariable, -1, false, &fallback) && fallback) {
        type.assign(fallback->Value());
        break;
      }
    }
  }
  if (type.empty() || IsXBaseType(type)) {
    if (!services_.files) {
      error_.assign("No file access for databases");
      return nullptr;
    }
    return std::make_unique<XBaseDatabase>(vm_, services_.files.get(), name,
                                           services_.externals.get());
  }
  const PxDatabaseLibrary* library = nullptr;
  if (services_.libraries)
    library = services_.libraries->Find(type.data(), type.length(), &error_);
  else
    UnsupportedDatabaseTypeMessage(type.data(), type.length(), &error_);
  if (!library) return nullptr;
  return std::make_unique<ExternalDatabase>(vm_, services_.files.get(), name, library);
}

bool DatabaseManager::Open(const String& name, const String& type, const String& indexes,
                           const DatabaseOpenTexts& texts) {
  if (AlreadyOpen(name)) return false;
  std::unique_ptr<Database> database = Make(name, type);
  if (!database) return false;
  if (!database->Open(texts)) {
    error_ = database->ErrorText();
    return false;
  }
  if (!indexes.empty()) {
    auto* external = dynamic_cast<ExternalDatabase*>(database.get());
    bool ok = external ? external->SetOpenIndexes(indexes) : database->SetIndexes(indexes);
    if (!ok) {
      error_ = database->ErrorText();
      database->Close();
      return false;
    }
  }
  order_.insert(order_.begin(), std::move(database));
  return true;
}

bool DatabaseManager::Create(const String& name, const String& file, const String& type,
                             const String& fields, const String& text) {
  if (AlreadyOpen(name)) return false;
  std::unique_ptr<Database> database = Make(name, type);
  if (!database) return false;
  if (!database->Create(fields, file, text)) {
    error_ = database->ErrorText();
    return false;
  }
  order_.insert(order_.begin(), std::move(database));
  return true;
}

bool DatabaseManager::Close(const String& name) {
  Database* database = Resolve(name);
  if (!database) return false;
  auto it = std::find_if(order_.begin(), order_.end(),
                         [database](const std::unique_ptr<Database>& d) { return d.get() == database; });
  std::unique_ptr<Database> closing = std::move(*it);
  order_.erase(it);
  if (!closing->Close()) {
    error_ = closing->ErrorText();
    return false;
  }
  return true;
}

bool DatabaseManager::Primary(const String& name, const String& view, const String& index) {
  Database* database = Find(name.data(), name.length());
  if (!database) return NotOpenError(name);
  auto it = std::find_if(order_.begin(), order_.end(),
                         [database](const std::unique_ptr<Database>& d) { return d.get() == database; });
  std::rotate(order_.begin(), it, it + 1);
  if (!view.empty()) {
    DatabaseView* found = ResolveView(database, view);
    if (!found) return false;
    database->SetPrimaryView(found);
  }
  if (!index.empty() && !database->SetPrimaryIndex(index)) {
    error_ = database->ErrorText();
    return false;
  }
  return true;
}

bool DatabaseManager::BuildList(const String& fields, VariableList* list) {
  String error;
  if (BuildMachineFieldList(vm_, fields, list, &error) < 0) {
    error_ = error;
    return false;
  }
  return true;
}

bool DatabaseManager::OpenView(const String& name, const String& view, const String& query,
                               const String& fields) {
  Database* database = Resolve(name);
  if (!database) return false;
  if (database->FindView(view.data(), view.length())) {
    error_.assign("Database '");
    error_.append(database->Name());
    error_.append("' already has a view named '");
    error_.append(view);
    error_.append("'");
    return false;
  }
  VariableList list;
  if (!BuildList(fields, &list)) return false;
  if (!database->OpenView(view, query, fields, &list)) {
    error_ = database->ErrorText();
    return false;
  }
  return true;
}

bool DatabaseManager::Query(const String& name, const String& query, const String& fields) {
  Database* database = Resolve(name);
  if (!database) return false;
  VariableList list;
  if (!BuildList(fields, &list)) return false;
  if (!database->Query(query, &list)) {
    error_ = database->ErrorText();
    return false;
  }
  return true;
}

}  // namespace pexo
