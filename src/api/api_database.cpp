// The database families of the extension API, for external database
// libraries. This engine has no database manager yet, so no database, view
// or database variable handle can exist: every function refuses (null, 0)
// and the data accessors keep nothing.
#include "api/api_context.h"

extern "C" {

PexoDatabaseView* pxDatabase_AddView(PexoDatabase*, const char*, int32_t) { return nullptr; }
int pxDatabase_SetPrimaryView(PexoDatabase*, PexoDatabaseView*) { return 0; }
PexoProgram* pxDatabase_Program(PexoDatabase*) { return nullptr; }
void pxDatabase_SetData(PexoDatabase*, void*) {}
void* pxDatabase_data(PexoDatabase*) { return nullptr; }
PexoDatabaseVariable* pxDatabaseView_AddVariable(PexoDatabaseView*, const char*, int32_t) {
  return nullptr;
}
int pxDatabaseView_Clear(PexoDatabaseView*) { return 0; }
int pxDatabaseView_Commit(PexoDatabaseView*) { return 0; }
PexoDatabase* pxDatabaseView_Database(PexoDatabaseView*) { return nullptr; }
PexoProgram* pxDatabaseView_Program(PexoDatabaseView*) { return nullptr; }
void pxDatabaseView_SetData(PexoDatabaseView*, void*) {}
int pxDatabaseView_SetDirty(PexoDatabaseView*, int) { return 0; }
void* pxDatabaseView_data(PexoDatabaseView*) { return nullptr; }
PexoDatabaseView* pxDatabaseVariable_DatabaseView(PexoDatabaseVariable*) { return nullptr; }
void pxDatabaseVariable_SetData(PexoDatabaseVariable*, void*) {}
int pxDatabaseVariable_SetDirty(PexoDatabaseVariable*, int) { return 0; }
void* pxDatabaseVariable_data(PexoDatabaseVariable*) { return nullptr; }

}  // extern "C"
