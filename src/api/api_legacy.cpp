// The first generation of the extension API: zero-terminated texts, the
// empty text instead of a null one, 0/-1 results for file operations. Each
// function does what its current counterpart does.
#include <cstdlib>
#include <cstring>

#include "api/api_context.h"
#include "io/file_manager.h"
#include "io/attribute.h"
#include "values/link_buffer.h"
#include "values/variable.h"
#include "values/variable_list.h"

using namespace pexo;

namespace {
const char* Text(const char* text) { return text ? text : ""; }
}  // namespace

extern "C" {

void* pexo_alloc(size_t size) { return malloc(size ? size : 1); }
void* pexo_realloc(void* pointer, size_t size) { return realloc(pointer, size ? size : 1); }
void pexo_free(void* pointer) { free(pointer); }

PexoFile* pexo_file_open(PexoProgram* program, int32_t location, const char* path,
                         int32_t mode) {
  return pxFile_Open(program, location, path, -1, mode);
}
int pexo_file_close(PexoFile* file) { return pxFile_Close(file); }
int32_t pexo_file_read(PexoFile* file, void* buffer, int32_t count) {
  return pxFile_Read(file, buffer, count);
}
int32_t pexo_file_write(PexoFile* file, const void* buffer, int32_t count) {
  return pxFile_Write(file, buffer, count);
}
int pexo_file_seek(PexoFile* file, int64_t position) { return pxFile_Seek(file, position); }
int64_t pexo_file_tell(PexoFile* file) { return pxFile_Tell(file); }
int64_t pexo_file_length(PexoFile* file) { return pxFile_Length(file); }
int64_t pexo_file_size(PexoProgram* program, int32_t location, const char* path) {
  return pxFile_Size(program, location, path, -1);
}
int32_t pexo_file_mode(PexoProgram* program, int32_t location, const char* path) {
  return pxFile_Mode(program, location, path, -1);
}
int pexo_file_changemode(PexoProgram* program, int32_t location, const char* path,
                         int32_t mode) {
  return pxFile_Change_Mode(program, location, path, -1, mode);
}
int pexo_file_delete(PexoProgram* program, int32_t location, const char* path) {
  return pxFile_Delete(program, location, path, -1);
}
int pexo_file_rename(PexoProgram* program, int32_t location, const char* from, const char* to) {
  return pxFile_Rename(program, location, from, -1, location, to, -1);
}
int pexo_file_exists(PexoProgram* program, int32_t location, const char* path) {
  return pxFile_Exists(program, location, path, -1);
}
int pexo_file_isdirectory(PexoProgram* program, int32_t location, const char* path) {
  return pxFile_IsDirectory(program, location, path, -1);
}
int pexo_file_makedirectory(PexoProgram* program, int32_t location, const char* path) {
  return pxFile_MakeDirectory(program, location, path, -1);
}
int pexo_file_removedirectory(PexoProgram* program, int32_t location, const char* path) {
  return pxFile_RemoveDirectory(program, location, path, -1);
}
int pexo_file_lock(PexoFile* file, int64_t offset, int64_t length) {
  return pxFile_Lock(file, offset, length, 1);
}
int pexo_file_release(PexoFile* file, int64_t offset, int64_t length) {
  return pxFile_Release(file, offset, length);
}
char pexo_file_pathseparator(void) { return pxFile_Path_Separator(); }
const char* pexo_file_error(PexoProgram* program, PexoFile* file) {
  return Text(pxFile_Error(program, file, nullptr));
}
char* pexo_file_resolve(PexoProgram* program, int32_t, const char*) {
  ApiContext* context = AsContext(program);
  const char message[] = "pexo_file_resolve is no longer supported";
  if (context->files())
    context->files()->SetError(message);
  else
    context->SetError(message);
  return nullptr;
}

PexoNetwork* pexo_network_connect(PexoProgram* program, const char* host, int32_t port) {
  return pxNetwork_Connect(program, host, port);
}
int pexo_network_close(PexoNetwork* connection) { return pxNetwork_Close(connection); }
int32_t pexo_network_read(PexoNetwork* connection, void* buffer, int32_t size) {
  return pxNetwork_Read(connection, buffer, size, 0);
}
int32_t pexo_network_readline(PexoNetwork* connection, char* buffer, int32_t size) {
  return pxNetwork_Read_Line(connection, buffer, size, 0);
}
int32_t pexo_network_write(PexoNetwork* connection, const void* buffer, int32_t length) {
  return pxNetwork_Write(connection, buffer, length);
}
int pexo_network_gethostaddress(PexoProgram* program, const char* name, char* buffer,
                                int32_t size) {
  return pxNetwork_Get_Host_Address(program, name, buffer, size);
}
int pexo_network_isipaddress(const char* text) { return pxNetwork_Is_IP_Address(text); }
PexoHTTPResponse* pexo_network_openurl(PexoProgram* program, const char* url) {
  return pxNetwork_Open_URL(program, url);
}
const char* pexo_network_error(PexoProgram* program, PexoNetwork* connection) {
  return Text(pxNetwork_Error(program, connection, nullptr));
}

PexoVariable* pexo_variable_new(const char* name, const char* value) {
  return pxVariable_Allocate(Text(name), -1, Text(value), -1);
}
void pexo_variable_delete(PexoVariable* variable) { pxVariable_Free(variable); }
const char* pexo_variable_name(PexoVariable* variable) {
  return Text(pxVariable_Name(variable, nullptr));
}
const char* pexo_variable_value(PexoVariable* variable) {
  return Text(pxVariable_Value(variable, nullptr));
}
int pexo_variable_setvalue(PexoVariable* variable, const char* value) {
  return pxVariable_SetValue(variable, Text(value), -1);
}
int pexo_variable_aggregate_type(PexoVariable* variable) {
  return pxVariable_Aggregate_Type(variable);
}
PexoVariableList* pexo_variable_aggregate_list(PexoVariable* variable) {
  PexoVariableList* list = pxVariableList_Allocate();
  if (list) pxVariable_Aggregate_List(variable, list);
  return list;
}
PexoVariable* pexo_variable_array_element(PexoVariable* array, int32_t index) {
  return pxVariable_Array_Element(index, array, 0);
}
int32_t pexo_variable_array_elements(PexoVariable* array) {
  return pxVariable_ElementsUsed(array);
}
int32_t pexo_variable_array_max(PexoVariable* array) { return pxVariable_Array_Max(array); }
int32_t pexo_variable_array_min(PexoVariable* array) { return pxVariable_Array_Min(array); }
PexoVariable* pexo_variable_structure_member(PexoVariable* structure, const char* name) {
  return pxVariable_Struct_Member(Text(name), -1, structure, 0);
}
int pexo_variable_set_array_element_value(PexoVariable* array, int32_t index,
                                          const char* value) {
  PexoVariable* element = pxVariable_Array_Element(index, array, 1);
  return element ? pxVariable_SetValue(element, Text(value), -1) : 0;
}
int pexo_variable_set_structure_member_value(PexoVariable* structure, const char* name,
                                             const char* value) {
  PexoVariable* member = pxVariable_Struct_Member(Text(name), -1, structure, 1);
  return member ? pxVariable_SetValue(member, Text(value), -1) : 0;
}

PexoVariableList* pexo_variablelist_new(void) { return pxVariableList_Allocate(); }
void pexo_variablelist_delete(PexoVariableList* list) { pxVariableList_Free(list); }
void pexo_variablelist_dump(PexoVariableList* list) { pxVariableList_Dump(list); }
PexoVariable* pexo_variablelist_first(PexoVariableList* list) {
  return pxVariableList_First(list);
}
PexoVariable* pexo_variablelist_next(PexoVariableList* list) { return pxVariableList_Next(list); }
PexoVariable* pexo_variablelist_current(PexoVariableList* list) {
  return pxVariableList_Current(list);
}
PexoVariable* pexo_variablelist_find(PexoVariableList* list, const char* name) {
  return pxVariableList_Find(list, Text(name), -1);
}
int pexo_variablelist_setvariable(PexoVariableList* list, const char* name, const char* value) {
  return pxVariableList_SetVariable(list, Text(name), -1, Text(value), -1);
}

char* pexo_variablelist_to_url(const char* base, PexoVariableList* list) {
  base = Text(base);
  LinkBuffer out(256, 256);
  out.append(base, -1);
  // A base that already carries a query continues it.
  char separator = strchr(base, '?') ? '&' : '?';
  bool first = true;
  for (Variable* v = AsList(list)->First(); v; v = AsList(list)->Next()) {
    if (first && *base) out.append_char(separator);
    if (!first) out.append_char('&');
    first = false;
    int32_t n = 0, size = 0;
    const String& name = v->Name();
    char* encoded = AttributeEncode(name.data(), name.length(), &n, &size);
    if (encoded) out.append_nocopy(encoded, n, size);
    out.append_char('=');
    const String& value = v->Value();
    encoded = AttributeEncode(value.data(), value.length(), &n, &size);
    if (encoded) out.append_nocopy(encoded, n, size);
  }
  int32_t length = 0;
  const char* text = out.data(&length);
  return ApiCopyText(text, length, nullptr, nullptr);
}

PexoVariableHash* pexo_variabletree_new(void) { return pxVariableHash_Allocate(); }
void pexo_variabletree_delete(PexoVariableHash* tree) { pxVariableHash_Free(tree); }
void pexo_variabletree_dump(PexoVariableHash* tree) { pxVariableHash_Dump(tree); }
PexoVariable* pexo_variabletree_find(PexoVariableHash* tree, const char* name) {
  return pxVariableHash_Find(tree, Text(name), -1);
}
int pexo_variabletree_insert(PexoVariableHash* tree, PexoVariable* variable) {
  return pxVariableHash_Insert(tree, variable);
}
int pexo_variabletree_setvariable(PexoVariableHash* tree, const char* name, const char* value) {
  return pxVariableHash_SetVariable(tree, Text(name), -1, Text(value), -1);
}

}  // extern "C"
