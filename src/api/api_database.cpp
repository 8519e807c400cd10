// The database families of the extension API, for external database
// libraries: the handles are the engine's ExternalDatabase, its views and
// their field variables. A library adds views and variables while it opens
// a database or a view, fills the variables with the current record, and
// reads back the ones the script assigned (dirty). A null handle is
// refused (null or 0) rather than followed.
#include "api/api_context.h"
#include "db/external_database.h"
#include "vm/pexo_vm.h"

using pexo::Database;
using pexo::DatabaseView;
using pexo::DatabaseFromHandle;
using pexo::ExternalDatabase;
using pexo::ExternalDatabaseVariable;
using pexo::ViewFromHandle;

namespace {

ExternalDatabaseVariable* AsVariable(PexoDatabaseVariable* handle) {
  return reinterpret_cast<ExternalDatabaseVariable*>(handle);
}

PexoProgram* ProgramOf(Database* database) {
  pexo::ApiContext* context = database->vm() ? database->vm()->api_context() : nullptr;
  return reinterpret_cast<PexoProgram*>(context);
}

void SetViewDirty(DatabaseView* view, bool dirty) {
  for (pexo::Variable* variable : view->variables())
    if (auto* field = dynamic_cast<ExternalDatabaseVariable*>(variable)) field->set_dirty(dirty);
}

}  // namespace

extern "C" {

PexoDatabaseView* pxDatabase_AddView(PexoDatabase* database, const char* name, int32_t length) {
  if (!database || !name) return nullptr;
  auto* external = dynamic_cast<ExternalDatabase*>(DatabaseFromHandle(database));
  if (!external) return nullptr;
  length = pexo::text_length(name, length);
  if (external->FindView(name, length)) return nullptr;
  return external->NewView(name, length)->handle();
}

int pxDatabase_SetPrimaryView(PexoDatabase* database, PexoDatabaseView* view) {
  Database* owner = DatabaseFromHandle(database);
  DatabaseView* target = ViewFromHandle(view);
  if (!owner || !target || target->database() != owner) return 0;
  owner->SetPrimaryView(target);
  return 1;
}

PexoProgram* pxDatabase_Program(PexoDatabase* database) {
  return database ? ProgramOf(DatabaseFromHandle(database)) : nullptr;
}
void pxDatabase_SetData(PexoDatabase* database, void* data) {
  if (database) DatabaseFromHandle(database)->data = data;
}
void* pxDatabase_data(PexoDatabase* database) {
  return database ? DatabaseFromHandle(database)->data : nullptr;
}

PexoDatabaseVariable* pxDatabaseView_AddVariable(PexoDatabaseView* view, const char* name,
                                                 int32_t length) {
  if (!view || !name) return nullptr;
  DatabaseView* owner = ViewFromHandle(view);
  length = pexo::text_length(name, length);
  if (owner->FindVariable(name, length)) return nullptr;
  auto* variable = new ExternalDatabaseVariable(owner, name, length);
  owner->AddVariable(variable);
  return reinterpret_cast<PexoDatabaseVariable*>(variable);
}

int pxDatabaseView_Clear(PexoDatabaseView* view) {
  if (!view) return 0;
  DatabaseView* owner = ViewFromHandle(view);
  for (pexo::Variable* variable : owner->variables()) {
    variable->Clear();
    if (auto* field = dynamic_cast<ExternalDatabaseVariable*>(variable)) field->set_dirty(false);
  }
  return 1;
}

int pxDatabaseView_Commit(PexoDatabaseView* view) {
  if (!view) return 0;
  SetViewDirty(ViewFromHandle(view), false);
  return 1;
}

PexoDatabase* pxDatabaseView_Database(PexoDatabaseView* view) {
  return view ? reinterpret_cast<PexoDatabase*>(ViewFromHandle(view)->database()) : nullptr;
}
PexoProgram* pxDatabaseView_Program(PexoDatabaseView* view) {
  return view ? ProgramOf(ViewFromHandle(view)->database()) : nullptr;
}
void pxDatabaseView_SetData(PexoDatabaseView* view, void* data) {
  if (view) ViewFromHandle(view)->data = data;
}
int pxDatabaseView_SetDirty(PexoDatabaseView* view, int dirty) {
  if (!view) return 0;
  SetViewDirty(ViewFromHandle(view), dirty != 0);
  return 1;
}
void* pxDatabaseView_data(PexoDatabaseView* view) {
  return view ? ViewFromHandle(view)->data : nullptr;
}

PexoDatabaseView* pxDatabaseVariable_DatabaseView(PexoDatabaseVariable* variable) {
  return variable ? reinterpret_cast<PexoDatabaseView*>(AsVariable(variable)->view()) : nullptr;
}
void pxDatabaseVariable_SetData(PexoDatabaseVariable* variable, void* data) {
  if (variable) AsVariable(variable)->data = data;
}
int pxDatabaseVariable_SetDirty(PexoDatabaseVariable* variable, int dirty) {
  if (!variable) return 0;
  AsVariable(variable)->set_dirty(dirty != 0);
  return 1;
}
void* pxDatabaseVariable_data(PexoDatabaseVariable* variable) {
  return variable ? AsVariable(variable)->data : nullptr;
}

}  // extern "C"
