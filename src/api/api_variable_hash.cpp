// The variable hash and variable list families of the extension API.
#include <cstring>
#include <new>

#include "api/api_context.h"
#include "values/variable.h"
#include "values/variable_hash.h"
#include "values/variable_list.h"

using namespace pexo;

extern "C" {

PexoVariableHash* pxVariableHash_Allocate(void) {
  UserVariableHash* hash = new (std::nothrow) UserVariableHash();
  if (hash && !hash->ok()) {
    delete hash;
    return nullptr;
  }
  return AsHandle(static_cast<VariableHash*>(hash));
}

void pxVariableHash_Free(PexoVariableHash* hash) { delete AsHash(hash); }

void pxVariableHash_Dump(PexoVariableHash* hash) { AsHash(hash)->ReleaseVariables(); }

int32_t pxVariableHash_Entries(PexoVariableHash* hash) { return AsHash(hash)->Entries(); }

PexoVariable* pxVariableHash_Find(PexoVariableHash* hash, const char* name, int32_t length) {
  if (!name) return nullptr;
  Variable* found = nullptr;
  // A declared entry without a variable gets one; unknown names stay absent.
  AsHash(hash)->Find(name, length, true, &found);
  return AsHandle(found);
}

PexoVariable* pxVariableHash_Index(PexoVariableHash* hash, int32_t index) {
  if (index < 0 || index >= AsHash(hash)->Entries()) return nullptr;
  return AsHandle(AsHash(hash)->VariableAt(index, false));
}

int pxVariableHash_Insert(PexoVariableHash* hash, PexoVariable* variable) {
  if (!variable) return 0;
  // The table retains what it stores; the caller's reference is handed over.
  int32_t index = AsHash(hash)->InsertVariable(AsVariable(variable));
  AsVariable(variable)->Release();
  return index >= 0 ? 1 : 0;
}

int pxVariableHash_ReplaceVariable(PexoVariableHash* hash, PexoVariable* variable) {
  if (!variable) return 0;
  int32_t index = AsHash(hash)->ReplaceVariable(AsVariable(variable));
  AsVariable(variable)->Release();
  return index >= 0 ? 1 : 0;
}

int pxVariableHash_SetVariable(PexoVariableHash* hash, const char* name, int32_t length,
                               const char* value, int32_t value_length) {
  if (!name) return 0;
  if (!value) value_length = 0;
  return AsHash(hash)->SetVariable(name, length, value ? value : "", value_length);
}

PexoVariableList* pxVariableList_Allocate(void) {
  return AsHandle(new (std::nothrow) VariableList());
}

void pxVariableList_Free(PexoVariableList* list) { delete AsList(list); }

void pxVariableList_Dump(PexoVariableList* list) { AsList(list)->Clear(); }

int32_t pxVariableList_Entries(PexoVariableList* list) { return AsList(list)->Count(); }

int pxVariableList_Insert(PexoVariableList* list, PexoVariable* variable) {
  if (!variable) return 0;
  AsList(list)->Insert(AsVariable(variable));
  return 1;
}

PexoVariable* pxVariableList_First(PexoVariableList* list) {
  return AsHandle(AsList(list)->First());
}

PexoVariable* pxVariableList_Next(PexoVariableList* list) {
  return AsHandle(AsList(list)->Next());
}

PexoVariable* pxVariableList_Current(PexoVariableList* list) {
  return AsHandle(AsList(list)->Current());
}

PexoVariable* pxVariableList_Find(PexoVariableList* list, const char* name, int32_t length) {
  if (!name) return nullptr;
  return AsHandle(AsList(list)->Find(name, length));
}

int pxVariableList_SetVariable(PexoVariableList* list, const char* name, int32_t length,
                               const char* value, int32_t value_length) {
  if (!name) return 0;
  if (!value) value_length = 0;
  return AsList(list)->SetVariable(name, length, value ? value : "", value_length);
}

}  // extern "C"
