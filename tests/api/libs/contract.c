/* Contract check of the public extension header: built only against
 * pexo/pexo.h, loaded by the api suite, and run against a live program.
 * Each check that fails appends a line to the report. */
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "pexo/pexo.h"

static char *report_;
static int report_size_;
static int failures_;

static void fail(int line, const char *what) {
  size_t used = strlen(report_);
  ++failures_;
  if (used + 1 < (size_t)report_size_)
    snprintf(report_ + used, (size_t)report_size_ - used, "line %d: %s\n", line, what);
}

#define CHECK(cond) \
  do { \
    if (!(cond)) fail(__LINE__, #cond); \
  } while (0)
#define CHECK_TEXT(got, want) CHECK((got) != NULL && strcmp((got), (want)) == 0)

static void *engine_;
static int registered_;

PEXO_API void pexo_register_library(void *engine_module) {
  engine_ = engine_module;
  ++registered_;
}

/* The engine's functions resolve through the handle it passed. */
static void check_registration(void) {
  CHECK(registered_ == 1);
  CHECK(engine_ != NULL);
  if (engine_) {
    CHECK(dlsym(engine_, "pxVariable_Allocate") == (void *)&pxVariable_Allocate);
    CHECK(dlsym(engine_, "pexo_variabletree_new") == (void *)&pexo_variabletree_new);
  }
}

static void check_variables(void) {
  int32_t n = -1, size = -1, precision = -1, scale = -1;
  char *text;
  PexoVariable *v = pxVariable_Allocate("Name", -1, "12.50", -1);
  CHECK_TEXT(pxVariable_Name(v, &n), "Name");
  CHECK(n == 4);
  CHECK_TEXT(pxVariable_Value(v, NULL), "12.50");
  CHECK(pxVariable_Type(v) == PX_TYPE_TEXT);
  CHECK(pxVariable_Value_Integer(v) == 12);
  CHECK(pxVariable_Value_Double(v) == 12.5);
  text = pxVariable_Value_Decimal_String(v, &n, &size);
  CHECK_TEXT(text, "12.5");
  CHECK(n == 4 && size >= 5);
  pxProgram_Free(NULL, text);
  CHECK(pxVariable_Value_Decimal_Size(v, &precision, &scale) == 1);
  CHECK(precision == 3 && scale == 1);
  CHECK(pxVariable_IsTrue(v) == 1 && pxVariable_IsNULL(v) == 0);

  /* The integer's text is made once and kept until the value changes. */
  CHECK(pxVariable_SetValue_Integer(v, 42) == 1);
  CHECK(pxVariable_Type(v) == PX_TYPE_INTEGER);
  {
    const char *first = pxVariable_Value(v, &n);
    CHECK_TEXT(first, "42");
    CHECK(pxVariable_Value(v, NULL) == first);
  }
  CHECK(pxVariable_SetValue_Double(v, 0.25) == 1);
  CHECK(pxVariable_Type(v) == PX_TYPE_DECIMAL);
  CHECK_TEXT(pxVariable_Value(v, NULL), "0.25");
  CHECK(pxVariable_SetValue_Decimal_String(v, "1E+2", -1) == 1);
  CHECK(pxVariable_Value_Integer(v) == 100);
  CHECK(pxVariable_SetValue_Decimal_String(v, "abc", -1) == 0);
  CHECK(pxVariable_SetValue(v, "a\0b\0c", 5) == 1);
  text = pxVariable_Value_NS(v, &n);
  CHECK_TEXT(text, "abc");
  CHECK(n == 3);
  pxProgram_Free(NULL, text);
  CHECK(pxVariable_Value_Decimal_Size(v, &precision, &scale) == 0);
  text = malloc(8);
  memcpy(text, "owned", 6);
  CHECK(pxVariable_SetValue_Nocopy(v, text, 5, 8) == 1);
  CHECK_TEXT(pxVariable_Value(v, NULL), "owned");

  {
    PexoVariable *copy = pxVariable_Allocate_Copy(v);
    CHECK(copy != v);
    CHECK_TEXT(pxVariable_Name(copy, NULL), "Name");
    CHECK_TEXT(pxVariable_Value(copy, NULL), "owned");
    CHECK(pxVariable_SetValue(copy, "changed", -1) == 1);
    CHECK_TEXT(pxVariable_Value(v, NULL), "owned");
    CHECK(pxVariable_SetValue_Variable(v, copy) == 1);
    CHECK_TEXT(pxVariable_Value(v, NULL), "changed");
    CHECK(pxProgram_Compare(NULL, v, copy) == 0);
    pxVariable_Free(copy);
  }
  {
    PexoVariable *empty = pxVariable_Allocate("e", 1, NULL, 0);
    CHECK(pxVariable_Type(empty) == PX_TYPE_NONE);
    CHECK(pxVariable_IsTrue(empty) == 0);
    pxVariable_Free(empty);
  }
  pxVariable_Free(v);
}

static void check_aggregates(void) {
  PexoVariable *array = pxVariable_Allocate("a", -1, NULL, 0);
  PexoVariable *structure = pxVariable_Allocate("s", -1, NULL, 0);
  PexoVariable *item = pxVariable_Allocate("x", -1, "one", -1);
  PexoVariable *e;
  PexoVariableList *list = pxVariableList_Allocate();

  CHECK(pxVariable_Array_Element(1, array, 0) == NULL);
  e = pxVariable_Array_Element(2, array, 1);
  CHECK(e != NULL);
  pxVariable_SetValue(e, "two", -1);
  CHECK(pxVariable_Aggregate_Type(array) == PX_AGGREGATE_ARRAY);
  CHECK(pxVariable_Type(array) == PX_TYPE_ARRAY);
  CHECK(pxVariable_Set_Array_Element(1, item, array) == 1);
  CHECK(pxVariable_Array_Element(1, array, 0) == item);
  CHECK(pxVariable_ElementsUsed(array) == 2);
  CHECK(pxVariable_Array_Min(array) == 1 && pxVariable_Array_Max(array) == 2);
  CHECK(pxVariable_Array_Next(array, 1) == 2);
  CHECK(pxVariable_Array_Previous(array, 2) == 1);
  CHECK(pxVariable_Insert_Array_Element(1, item, array) == 1);
  CHECK(pxVariable_ElementsUsed(array) == 3);
  CHECK(pxVariable_Delete_Array_Elements(1, 1, 1, array) == 1);
  CHECK(pxVariable_ElementsUsed(array) == 2);
  CHECK_TEXT(pxVariable_Value(pxVariable_Array_Element(2, array, 0), NULL), "two");

  /* Listing: references named by index, in order. */
  CHECK(pxVariable_Aggregate_List(array, list) == 2);
  e = pxVariableList_First(list);
  CHECK(e != NULL && strcmp(pxVariable_Name(e, NULL), "1") == 0);
  CHECK(e != NULL && pxVariable_RealIdentity(e) == item);
  CHECK(e != NULL && pxVariable_NextIdentity(e) == item);
  e = pxVariableList_Next(list);
  CHECK(e != NULL && strcmp(pxVariable_Name(e, NULL), "2") == 0);
  CHECK(pxVariableList_Next(list) == NULL);

  CHECK(pxVariable_Set_Struct_Member("Key", -1, item, structure) == 1);
  CHECK(pxVariable_Aggregate_Type(structure) == PX_AGGREGATE_STRUCTURE);
  CHECK(pxVariable_Struct_Member("KEY", 3, structure, 0) == item);
  CHECK(pxVariable_Struct_Member("none", -1, structure, 0) == NULL);
  CHECK(pxVariable_Struct_Member("made", -1, structure, 1) != NULL);
  CHECK(pxVariable_Aggregate_List(structure, list) == 2); /* emptied first */
  CHECK(pxVariableList_Entries(list) == 2);
  CHECK_TEXT(pxVariable_Name(pxVariableList_First(list), NULL), "Key");
  CHECK(pxVariable_Delete_Struct_Member("key", -1, structure) == 1);
  CHECK(pxVariable_Struct_Member("Key", -1, structure, 0) == NULL);

  {
    PexoVariable *target = pxVariable_Allocate("t", -1, NULL, 0);
    CHECK(pxVariable_Array_Copy(array, 1, 2, target, 5, 1) == 1);
    CHECK(pxVariable_Array_Min(target) == 5);
    CHECK(pxVariable_Array_Merge(array, 1, 2, target, 1, 1) == 1);
    CHECK(pxVariable_ElementsUsed(target) == 4);
    CHECK(pxVariable_Array_Collapse(target) == 4);
    CHECK(pxVariable_Array_Max(target) == 4);
    pxVariable_Free(target);
  }
  {
    PexoVariable *alias = pxVariable_Allocate("alias", -1, NULL, 0);
    CHECK(pxVariable_Make_Reference(alias, item) == 1);
    CHECK(pxVariable_RealIdentity(alias) == item);
    pxVariable_SetValue(alias, "via alias", -1);
    CHECK_TEXT(pxVariable_Value(item, NULL), "via alias");
    pxVariable_Free(alias);
  }
  pxVariableList_Free(list);
  pxVariable_Free(item);
  pxVariable_Free(structure);
  pxVariable_Free(array);
}

static void check_hashes_and_lists(void) {
  PexoVariableHash *hash = pxVariableHash_Allocate();
  PexoVariableList *list = pxVariableList_Allocate();
  PexoVariable *v = pxVariable_Allocate("Alpha", -1, "1", -1);

  CHECK(pxVariableHash_Insert(hash, v) == 1); /* reference handed over */
  CHECK(pxVariableHash_Entries(hash) == 1);
  CHECK(pxVariableHash_Find(hash, "ALPHA", -1) == v);
  CHECK(pxVariableHash_Find(hash, "beta", -1) == NULL);
  CHECK(pxVariableHash_Index(hash, 0) == v);
  CHECK(pxVariableHash_Index(hash, 7) == NULL);
  CHECK(pxVariableHash_SetVariable(hash, "beta", -1, "b", -1) == 1);
  CHECK_TEXT(pxVariable_Value(pxVariableHash_Find(hash, "beta", 4), NULL), "b");
  {
    PexoVariable *other = pxVariable_Allocate("alpha", -1, "2", -1);
    CHECK(pxVariableHash_ReplaceVariable(hash, other) == 1);
    CHECK(pxVariableHash_Find(hash, "alpha", -1) == other);
  }
  pxVariableHash_Dump(hash);
  CHECK(pxVariableHash_Index(hash, 0) == NULL);
  pxVariableHash_Free(hash);

  v = pxVariable_Allocate("p", -1, "1", -1);
  CHECK(pxVariableList_Insert(list, v) == 1);
  pxVariable_Free(v); /* the list kept its own reference */
  CHECK(pxVariableList_SetVariable(list, "P", -1, "3", -1) == 1);
  CHECK(pxVariableList_SetVariable(list, "q", -1, "4", -1) == 1);
  CHECK(pxVariableList_Entries(list) == 2);
  CHECK_TEXT(pxVariable_Value(pxVariableList_Find(list, "p", -1), NULL), "3");
  CHECK(pxVariableList_First(list) != NULL);
  CHECK(pxVariableList_Current(list) == pxVariableList_Find(list, "p", 1));
  pxVariableList_Dump(list);
  CHECK(pxVariableList_Entries(list) == 0);
  CHECK(pxVariableList_First(list) == NULL);
  pxVariableList_Free(list);
}

static void check_link_buffer(void) {
  int32_t n = -1, size = -1;
  char *text;
  PexoLinkBuffer *b = pxLinkBuffer_Allocate(4, 4);
  PexoVariable *v = pxVariable_Allocate("v", -1, "[var]", -1);
  CHECK(pxLinkBuffer_Concat_Char(b, 'x') == 1);
  CHECK(pxLinkBuffer_Concat_HexChar(b, 10) == 1);
  CHECK(pxLinkBuffer_Concat_Int(b, -7) == 1);
  CHECK(pxLinkBuffer_Concat_Double(b, 0.5) == 1);
  CHECK(pxLinkBuffer_Concat_String(b, "abcdef", 3) == 1);
  text = malloc(4);
  memcpy(text, "NC", 3);
  CHECK(pxLinkBuffer_Concat_String_Nocopy(b, text, 2, 4) == 1);
  CHECK(pxLinkBuffer_Concat_Variable(b, v) == 1);
  CHECK_TEXT(pxLinkBuffer_Data(b, &n), "x0A-70.5abcNC[var]");
  CHECK(n == 18);
  text = pxLinkBuffer_Release(b, &n, &size, 8);
  CHECK(text != NULL && n == 18 && size >= 26 && memcmp(text, "x0A-70.5abcNC[var]", 18) == 0);
  pxProgram_Free(NULL, text);
  text = pxLinkBuffer_Release(b, &n, &size, 0);
  CHECK(text != NULL && n == 0 && size == 1);
  pxProgram_Free(NULL, text);
  pxVariable_Free(v);
  pxLinkBuffer_Free(b);
}

/* Sets a destructor count through the data pointer. */
static int destroyed_;
static void count_destroy(PexoProgram *program, void *data) {
  (void)program;
  ++destroyed_;
  free(data);
}

static void check_program(PexoProgram *p) {
  int32_t n = -1, size = -1;
  char *text;
  char *error = NULL;
  void *block = pxProgram_Allocate(p, 16);
  CHECK(block != NULL);
  pxProgram_Free(p, block);

  CHECK(pxProgram_Output(p, "Hello ", -1) == 1);
  CHECK(pxProgram_Output(p, "World!!", 5) == 1);
  CHECK(pxProgram_Output_Header(p, "X-Test", "1") == 1);
  pxProgram_Output_Flush(p);

  text = pxProgram_Entity_Encode(p, "a<b&\"c\"(d)", -1, &n, &size);
  CHECK_TEXT(text, "a&lt;b&amp;&quot;c&quot;&#40;d&#41;");
  pxProgram_Free(p, text);
  text = pxProgram_Entity_Decode(p, "&AMP;&nbsp;", -1, &n, &size);
  CHECK_TEXT(text, "&&nbsp;");
  pxProgram_Free(p, text);
  text = pxProgram_Attribute_Encode(p, "a b/c", -1, &n, &size);
  CHECK_TEXT(text, "a+b%2Fc");
  CHECK(n == 7 && size > n);
  pxProgram_Free(p, text);
  text = pxProgram_Attribute_Decode(p, "a+b%2fc", -1, &n, NULL);
  CHECK_TEXT(text, "a b/c");
  pxProgram_Free(p, text);
  CHECK(pxProgram_SetCharacterSet(p, "UTF-8", -1) == 1);
  CHECK_TEXT(pxProgram_GetCharacterSet(p, &n), "UTF-8");
  CHECK(pxProgram_CharacterSetIsUTF8(p) == 1);
  text = pxProgram_JavaScriptString_Encode(p, "\xC3\xA9/", -1, &n, NULL);
  CHECK_TEXT(text, "\\u00E9\\/");
  pxProgram_Free(p, text);
  CHECK(pxProgram_SetCharacterSet(p, "iso-8859-1", -1) == 1);
  CHECK(pxProgram_CharacterSetIsUTF8(p) == 0);
  text = pxProgram_JavaScriptString_Encode(p, "\xC3\xA9", -1, &n, NULL);
  CHECK_TEXT(text, "\\u00C3\\u00A9");
  pxProgram_Free(p, text);

  {
    PexoVariable *json = pxVariable_Allocate("j", -1, NULL, 0);
    CHECK(pxProgram_JSON_Decode(p, "[1,\"x\",{\"a\":true}]", -1, json, &error, &n, &size) == 1);
    CHECK(pxVariable_ElementsUsed(json) == 3);
    CHECK_TEXT(pxVariable_Value(pxVariable_Array_Element(2, json, 0), NULL), "x");
    CHECK_TEXT(pxVariable_Value(pxVariable_Struct_Member(
                   "a", -1, pxVariable_Array_Element(3, json, 0), 0), NULL), "true");
    CHECK(pxProgram_JSON_Decode(p, "[01]", -1, json, &error, &n, &size) == 0);
    CHECK_TEXT(error, "Line #1 - Syntax error: Expected COMMA or ]");
    pxProgram_Free(p, error);
    CHECK(pxVariable_ElementsUsed(json) == 0);
    CHECK(pxProgram_JSON_Decode(p, "{\"k\":[\"true\",\"12\",\"x\"]}", -1, json, &error, &n,
                                &size) == 1);
    text = pxProgram_JSON_Encode(p, json, 2, &n, &size);
    CHECK_TEXT(text, "{\"k\":[true,12,\"x\"]}");
    CHECK(text != NULL && n == (int32_t)strlen(text) && size > n);
    pxProgram_Free(p, text);
    pxVariable_Free(json);
  }

  {
    PexoVariable *g = pxProgram_Lookup_Variable(p, "g.counter", -1);
    CHECK(g != NULL);
    if (g) pxVariable_SetValue_Integer(g, 5);
    CHECK(pxProgram_Lookup_Variable(p, "counter", -1) == g);
    CHECK(pxVariableHash_Find(pxProgram_Global_VariableHash(p), "counter", -1) == g);
    CHECK(pxVariableHash_Find(pxProgram_System_VariableHash(p), "server_name", -1) != NULL);
    CHECK(pxProgram_Lookup_Variable(p, "s.nothing_here", -1) == NULL);
  }
  {
    PexoVariableList *list = pxVariableList_Allocate();
    CHECK(pxProgram_Global_Variables(p, list) == 1);
    CHECK(pxVariableList_Find(list, "counter", -1) != NULL);
    CHECK(pxProgram_System_Variables(p, list) == 1);
    CHECK(pxVariableList_Find(list, "server_name", -1) != NULL);
    CHECK(pxProgram_Local_Variables(p, list) == 0); /* no call running */
    pxVariableList_Free(list);
  }

  /* Run-local data: replacement destroys the old entry at once. */
  destroyed_ = 0;
  CHECK(pxProgram_Register_Local_Persistent(p, "Slot", -1, malloc(4), count_destroy) == 1);
  CHECK(pxProgram_Lookup_Local_Persistent(p, "slot", -1) != NULL);
  CHECK(pxProgram_Register_Local_Persistent(p, "SLOT", -1, malloc(4), count_destroy) == 1);
  CHECK(destroyed_ == 1);
  CHECK(pxProgram_Lookup_Local_Persistent(p, "other", -1) == NULL);
  /* Without a destructor the data is freed with free(). */
  CHECK(pxProgram_Register_Persistent(p, "shared", -1, malloc(8), NULL) == 1);
  CHECK(pxProgram_Lookup_Persistent(p, "SHARED", -1) != NULL);
  CHECK(pxProgram_Register_Persistent(p, "shared", -1, malloc(8), NULL) == 1);

  CHECK(pxProgram_Compile_Dynamic_Expression(p, "(1", -1, &error, &n) == NULL);
  CHECK(error != NULL && n > 0);
  pxProgram_Free(p, error);
  CHECK(pxProgram_Execute_Dynamic_Expression(p, NULL, NULL, NULL) == 0);
  {
    int truth = 7;
    CHECK(pxProgram_Execute_Dynamic_Expression_Boolean(p, NULL, NULL, &truth) == 0);
  }
  CHECK(pxProgram_Lookup_ExternalFunction(p, "nosuchfunction", -1) == NULL);
  {
    PexoVariable *r = pxVariable_Allocate("r", -1, NULL, 0);
    CHECK(pxProgram_RunFunction(p, "twice", -1, NULL, r) == 1);
    CHECK_TEXT(pxVariable_Value(r, NULL), "ran twice");
    pxVariable_Free(r);
  }
  CHECK(pxProgram_SystemLibrary(p, "nolib") == NULL);
  CHECK_TEXT(pxSystemLibrary_Error(p, NULL, &n), "System library 'nolib' is not configured");
  CHECK(pxSystemLibrary_GetFunction(NULL, "f") == NULL);
  CHECK(pxProgram_SystemLibrary_IsRegistered(p, "nolib") == 0);
  pxProgram_SetLanguage(p, "en", -1);
  pxProgram_SetDefaultLanguage(p, "en", -1);
  pxProgram_SetDefaultDatabase(p, "db", -1);
  pxProgram_SetProcessName(p, "proc", -1);
  pxProgram_ResetGlobalTimeout(p);
  CHECK(pxProgram_Sleep(p, 1) == 1);
  CHECK(pxProgram_Asynchronous_Sleep(p, 0) == 1);
  CHECK(pxProgram_Deprecated_Enabled(p, "nothing", -1) == 0);
  CHECK(pxProgram_SSL_Function(p, "SSL_new") == NULL);
  text = pxProgram_MakeSessionID(p, &n);
  CHECK(text != NULL && n == 32 && strlen(text) == 32);
  pxProgram_Free(p, text);
  {
    PexoVariable *s = pxVariable_Allocate("cb", -1, NULL, 0);
    CHECK(pxVariable_Make_CallbackStruct(s, p, "supply", -1, NULL) == 1);
    CHECK(pxVariable_Struct_Member("color", -1, s, 0) != NULL);
    CHECK_TEXT(pxVariable_Value(pxVariable_Struct_Member("color", -1, s, 0), NULL),
               "supplied color");
    CHECK(pxVariable_Struct_Member("unknown", -1, s, 0) == NULL);
    pxVariable_Free(s);
  }
  pxProgram_FatalError(p, "stop here", -1);
}

static void check_files(PexoProgram *p) {
  int32_t n = -1;
  char buffer[16];
  char *text;
  PexoVariableList *list = pxVariableList_Allocate();
  PexoFile *f = pxFile_Open(p, PX_LOCATION_DATA, "api.txt", -1,
                            PX_FILE_READ | PX_FILE_WRITE | PX_FILE_CREATE | PX_FILE_TRUNCATE);
  CHECK(f != NULL);
  if (f) {
    CHECK(pxFile_Write(f, "hello world", 11) == 11);
    CHECK(pxFile_Length(f) == 11);
    CHECK(pxFile_Seek(f, 6) == 0);
    CHECK(pxFile_Tell(f) == 6);
    CHECK(pxFile_Read(f, buffer, 5) == 5 && memcmp(buffer, "world", 5) == 0);
    CHECK(pxFile_Lock(f, 0, 4, 1) == 0);
    CHECK(pxFile_Release(f, 0, 4) == 0);
    pxFile_Error(p, f, &n);
    CHECK(pxFile_Close(f) == 0);
  }
  CHECK(pxFile_Exists(p, PX_LOCATION_DATA, "api.txt", -1) == 1);
  CHECK(pxFile_Exists(p, PX_LOCATION_DATA, "missing.txt", -1) == 0);
  CHECK(pxFile_Size(p, PX_LOCATION_DATA, "api.txt", -1) == 11);
  CHECK(pxFile_Mode(p, PX_LOCATION_DATA, "api.txt", -1) > 0);
  CHECK(pxFile_Change_Mode(p, PX_LOCATION_DATA, "api.txt", -1, 0600) == 0);
  CHECK(pxFile_Mode(p, PX_LOCATION_DATA, "api.txt", -1) == 0600);
  CHECK(pxFile_SetTime(p, PX_LOCATION_DATA, "api.txt", -1, 1000000000) == 1);
  CHECK(pxFile_Time(p, PX_LOCATION_DATA, "api.txt", -1) == 1000000000);
  CHECK(pxFile_OwnerID(p, PX_LOCATION_DATA, "api.txt", -1) >= 0);
  CHECK(pxFile_GroupID(p, PX_LOCATION_DATA, "api.txt", -1) >= 0);
  CHECK(pxFile_Size(p, PX_LOCATION_DATA, "missing.txt", -1) == -1);
  CHECK(pxFile_Copy(p, 0, "api.txt", -1, 0, "copy.txt", -1) == 0);
  CHECK(pxFile_Rename(p, 0, "copy.txt", -1, 0, "moved.txt", -1) == 0);
  CHECK(pxFile_Exists(p, 0, "copy.txt", -1) == 0 && pxFile_Exists(p, 0, "moved.txt", -1) == 1);
  CHECK(pxFile_MakeDirectory(p, 0, "sub", -1) == 0);
  CHECK(pxFile_IsDirectory(p, 0, "sub", -1) == 1);
  CHECK(pxFile_TouchFile(p, 0, "sub/t", -1) == 0);
  CHECK(pxDirectory_Listing(p, 0, "", 0, PX_LIST_FILES, list) == 2);
  CHECK(pxVariableList_Find(list, "moved.txt", -1) != NULL);
  pxVariableList_Dump(list);
  CHECK(pxDirectory_Listing(p, 0, ".", -1, PX_LIST_DIRECTORIES, list) == 1);
  CHECK_TEXT(pxVariable_Value(pxVariableList_First(list), NULL), "sub");
  CHECK(pxDirectory_Listing(p, 0, "nodir", -1, PX_LIST_ALL, list) == -1);
  CHECK(pxFile_Delete(p, 0, "sub/t", -1) == 0);
  CHECK(pxFile_RemoveDirectory(p, 0, "sub", -1) == 0);
  CHECK(pxFile_Delete(p, 0, "moved.txt", -1) == 0);
  CHECK(pxFile_Delete(p, 0, "moved.txt", -1) == -1);
  /* The sandbox holds for the data location. */
  CHECK(pxFile_Open(p, PX_LOCATION_DATA, "../outside", -1, PX_FILE_READ) == NULL);
  CHECK(pxFile_MakeSymbolicLink(p, 0, "api.txt", -1, "link", -1) == -1);
  /* Script location: relative to the script's directory; root location. */
  CHECK(pxFile_Exists(p, PX_LOCATION_SCRIPT, "page.pxc", -1) == 1);
  CHECK(pxFile_Exists(p, PX_LOCATION_ROOT, "page.pxc", -1) == 1);
  text = pxFile_NormalizePath(p, PX_LOCATION_SCRIPT, "/abs/path", -1, &n);
  CHECK_TEXT(text, "/abs/path");
  pxProgram_Free(p, text);
  text = pxFile_MakeTemporary(p, PX_LOCATION_DATA, "", 0, "tmp", &n);
  CHECK(text != NULL && n > 0);
  if (text) {
    CHECK(pxFile_Exists(p, PX_LOCATION_SCRIPT, text, n) == 1);
    CHECK(pxFile_Delete(p, PX_LOCATION_SCRIPT, text, n) == 0);
  }
  pxProgram_Free(p, text);
  CHECK(pxFile_LockFile(p, 0, "api.lock", -1) == 0);
  CHECK(pxFile_LockFile_Valid(p, 0, "api.lock", -1) == 3);
  CHECK(pxFile_Path_Separator() == '/');
  CHECK(pxFile_Resolve(p, 0, "x", -1) == NULL);
  CHECK_TEXT(pxFile_Error(p, NULL, &n), "pxFile_Resolve is no longer supported");
  pxVariableList_Free(list);
}

static void check_network(PexoProgram *p) {
  char buffer[64];
  int32_t n = -1;
  /* Nothing listens on port 1. */
  CHECK(pxNetwork_Connect(p, "127.0.0.1", 1) == NULL);
  CHECK(pxNetwork_Connect_SSL(p, "127.0.0.1", 1) == NULL);
  CHECK(pxNetwork_Error(p, NULL, &n) != NULL && n > 0);
  CHECK(pxNetwork_Close(NULL) == 0);
  CHECK(pxNetwork_Read(NULL, buffer, 4, 1) == -1);
  CHECK(pxNetwork_Write(NULL, "x", 1) == -1);
  CHECK(pxNetwork_Read_Line(NULL, buffer, 4, 1) == -1 && buffer[0] == 0);
  CHECK(pxNetwork_Get_Host_Address(p, "localhost", buffer, 64) == 1 &&
        pxNetwork_Is_IP_Address(buffer) == 1);
  CHECK(pxNetwork_Get_Host_Address(p, "localhost", buffer, 2) == 0);
  CHECK(pxNetwork_Normalize_IP_Address(p, "::0:1", buffer, 64) == 1);
  CHECK_TEXT(buffer, "::1");
  CHECK(pxNetwork_Normalize_IP_Address(p, "::1", buffer, 3) == 0);
  CHECK(pxNetwork_Is_IP_Address("10.0.0.1") == 1 && pxNetwork_Is_IP_Address("host") == 0);
  CHECK(pxNetwork_Is_IPv4_Address("1.2.3.4") == 1 && pxNetwork_Is_IPv4_Address("::1") == 0);
  CHECK(pxNetwork_Is_IPv6_Address("::1") == 1);
  CHECK(pxNetwork_Open_URL(p, "http://127.0.0.1:1/") == NULL);
  CHECK(pxNetwork_HTTP_Request(p, "GET", "gopher://127.0.0.1/", "", "", 0) == NULL);
  CHECK_TEXT(pxHTTPResponse_Error(p, NULL, &n), "Unsupported protocol 'gopher'");
  CHECK(pxHTTPResponse_Read(NULL, buffer, 4) == -1);
  CHECK(pxHTTPResponse_Status_Code(NULL) == -1);
  CHECK(pxHTTPResponse_Content_Length(NULL) == -1);
  CHECK(pxHTTPResponse_Error(p, NULL, &n) != NULL && n > 0);
  CHECK(pxHTTPResponse_Close(NULL) == 0);

  CHECK(pxDatabase_AddView(NULL, "v", -1) == NULL);
  CHECK(pxDatabase_SetPrimaryView(NULL, NULL) == 0);
  CHECK(pxDatabase_Program(NULL) == NULL);
  pxDatabase_SetData(NULL, buffer);
  CHECK(pxDatabase_data(NULL) == NULL);
  CHECK(pxDatabaseView_AddVariable(NULL, "f", -1) == NULL);
  CHECK(pxDatabaseView_Clear(NULL) == 0 && pxDatabaseView_Commit(NULL) == 0);
  CHECK(pxDatabaseView_Database(NULL) == NULL && pxDatabaseView_Program(NULL) == NULL);
  pxDatabaseView_SetData(NULL, buffer);
  CHECK(pxDatabaseView_SetDirty(NULL, 1) == 0 && pxDatabaseView_data(NULL) == NULL);
  CHECK(pxDatabaseVariable_DatabaseView(NULL) == NULL);
  pxDatabaseVariable_SetData(NULL, buffer);
  CHECK(pxDatabaseVariable_SetDirty(NULL, 1) == 0 && pxDatabaseVariable_data(NULL) == NULL);
}

static void check_first_generation(PexoProgram *p) {
  char buffer[16];
  char *url;
  void *block = pexo_alloc(4);
  block = pexo_realloc(block, 64);
  CHECK(block != NULL);
  pexo_free(block);

  PexoVariable *v = pexo_variable_new("n", "v");
  CHECK_TEXT(pexo_variable_name(v), "n");
  CHECK(pexo_variable_setvalue(v, "w") == 1);
  CHECK_TEXT(pexo_variable_value(v), "w");
  CHECK(pexo_variable_aggregate_type(v) == 0);
  CHECK(pexo_variable_set_array_element_value(v, 3, "c") == 1);
  CHECK(pexo_variable_set_array_element_value(v, 1, "a") == 1);
  CHECK(pexo_variable_array_elements(v) == 2);
  CHECK(pexo_variable_array_min(v) == 1 && pexo_variable_array_max(v) == 3);
  CHECK_TEXT(pexo_variable_value(pexo_variable_array_element(v, 3)), "c");
  {
    PexoVariableList *items = pexo_variable_aggregate_list(v);
    CHECK(items != NULL && pxVariableList_Entries(items) == 2);
    pexo_variablelist_delete(items);
  }
  pexo_variable_delete(v);
  v = pexo_variable_new("s", "");
  CHECK(pexo_variable_set_structure_member_value(v, "k", "val") == 1);
  CHECK_TEXT(pexo_variable_value(pexo_variable_structure_member(v, "K")), "val");
  pexo_variable_delete(v);

  PexoVariableList *list = pexo_variablelist_new();
  CHECK(pexo_variablelist_setvariable(list, "a b", "x&y") == 1);
  CHECK(pexo_variablelist_setvariable(list, "c", "1") == 1);
  CHECK_TEXT(pexo_variable_value(pexo_variablelist_find(list, "C")), "1");
  CHECK(pexo_variablelist_first(list) != NULL);
  CHECK(pexo_variablelist_next(list) == pexo_variablelist_current(list));
  url = pexo_variablelist_to_url("http://h/p", list);
  CHECK_TEXT(url, "http://h/p?a+b=x%26y&c=1");
  pexo_free(url);
  url = pexo_variablelist_to_url("http://h/p?z=1", list);
  CHECK_TEXT(url, "http://h/p?z=1&a+b=x%26y&c=1");
  pexo_free(url);
  pexo_variablelist_dump(list);
  CHECK(pexo_variablelist_first(list) == NULL);
  pexo_variablelist_delete(list);

  PexoVariableHash *tree = pexo_variabletree_new();
  CHECK(pexo_variabletree_setvariable(tree, "k", "1") == 1);
  CHECK(pexo_variabletree_insert(tree, pexo_variable_new("j", "2")) == 1);
  CHECK_TEXT(pexo_variable_value(pexo_variabletree_find(tree, "J")), "2");
  pexo_variabletree_dump(tree);
  pexo_variabletree_delete(tree);

  PexoFile *f = pexo_file_open(p, 0, "old.txt", PX_FILE_WRITE | PX_FILE_CREATE);
  CHECK(f != NULL);
  if (f) {
    CHECK(pexo_file_write(f, "12345", 5) == 5);
    CHECK(pexo_file_seek(f, 1) == 0 && pexo_file_tell(f) == 1);
    CHECK(pexo_file_length(f) == 5);
    CHECK(pexo_file_lock(f, 0, 1) == 0 && pexo_file_release(f, 0, 1) == 0);
    pexo_file_error(p, f);
    CHECK(pexo_file_close(f) == 0);
  }
  f = pexo_file_open(p, 0, "old.txt", PX_FILE_READ);
  CHECK(f != NULL);
  if (f) {
    CHECK(pexo_file_read(f, buffer, 16) == 5);
    pexo_file_close(f);
  }
  CHECK(pexo_file_size(p, 0, "old.txt") == 5);
  CHECK(pexo_file_changemode(p, 0, "old.txt", 0644) == 0);
  CHECK(pexo_file_mode(p, 0, "old.txt") == 0644);
  CHECK(pexo_file_exists(p, 0, "old.txt") == 1);
  CHECK(pexo_file_rename(p, 0, "old.txt", "new.txt") == 0);
  CHECK(pexo_file_delete(p, 0, "new.txt") == 0);
  CHECK(pexo_file_makedirectory(p, 0, "d") == 0);
  CHECK(pexo_file_isdirectory(p, 0, "d") == 1);
  CHECK(pexo_file_removedirectory(p, 0, "d") == 0);
  CHECK(pexo_file_pathseparator() == '/');
  CHECK(pexo_file_resolve(p, 0, "x") == NULL);
  CHECK_TEXT(pexo_file_error(p, NULL), "pexo_file_resolve is no longer supported");

  CHECK(pexo_network_connect(p, "127.0.0.1", 1) == NULL);
  CHECK(pexo_network_close(NULL) == 0);
  CHECK(pexo_network_read(NULL, buffer, 4) == -1);
  CHECK(pexo_network_readline(NULL, buffer, 4) == -1);
  CHECK(pexo_network_write(NULL, "x", 1) == -1);
  CHECK(pexo_network_gethostaddress(p, "localhost", buffer, 16) == 1);
  CHECK(pexo_network_isipaddress("127.0.0.1") == 1);
  CHECK(pexo_network_openurl(p, "http://127.0.0.1:1/") == NULL);
  CHECK(pexo_network_error(p, NULL)[0] != 0);
}

static void check_config(PexoConfig *c) {
  CHECK(pxConfig_Register_Library_Builtin(c, "/lib/functions.so") == 1);
  CHECK(pxConfig_Register_Library_Builtin(c, "") == 0);
  CHECK(pxConfig_Register_Library_System(c, "crypto", "/lib/crypto.so") == 1);
  CHECK(pxConfig_Register_Library_Commerce(c, "pay", "/lib/pay.so") == 1);
  CHECK(pxConfig_Register_Library_Database(c, "sql", "/lib/sql.so") == 1);
  CHECK(pxConfig_SetValue(c, 0x2000006, "/tmp/debug.log") == 1);
  CHECK(pxConfig_SetValue(c, 0x1000005, "3") == 0); /* integer key */
  CHECK(pxConfig_SetValue_Integer(c, 0x1000005, 3) == 1);
  CHECK(pxConfig_SetValue_Integer(c, 0x2000006, 3) == 0);
  CHECK(pxConfig_SetVariable_Global(c, "site", -1, "main", -1) == 1);
  CHECK(pxConfig_SetVariable_System(c, "edition", 7, "pro", 3) == 1);
  CHECK(pxConfig_SetVariable_Global(c, "", -1, "x", -1) == 0);
  CHECK(pxConfig_Set_DefaultErrorSetting(c, "PxIF", -1, 1) == 1);
  CHECK(pxConfig_Set_DefaultErrorSetting(c, "PxNOTATAG", -1, 1) == 0);
}

/* Entry points the suite calls; each returns the number of failed checks. */
PEXO_API int contract_program(PexoProgram *program, char *report, int size) {
  report_ = report;
  report_size_ = size;
  failures_ = 0;
  report[0] = 0;
  check_registration();
  check_variables();
  check_aggregates();
  check_hashes_and_lists();
  check_link_buffer();
  check_program(program);
  check_files(program);
  check_network(program);
  check_first_generation(program);
  return failures_;
}

PEXO_API int contract_config(PexoConfig *config, char *report, int size) {
  report_ = report;
  report_size_ = size;
  failures_ = 0;
  report[0] = 0;
  check_config(config);
  return failures_;
}

/* A function table, so that the descriptor layout is checked from C too. */
static void twice(PexoProgram *program, PexoVariableHash *parameters, PexoVariable *result,
                  void **data) {
  (void)program;
  (void)data;
  PexoVariable *x = pxVariableHash_Index(parameters, 0);
  pxVariable_SetValue_Integer(result, x ? 2 * pxVariable_Value_Integer(x) : 0);
}
static const PxParameterDescriptor twice_parameters[] = {{"x", 1, 0}};
static const PxFunctionDescriptor functions[] = {{"Twice", 5, 1, twice_parameters, twice},
                                                 {NULL, 0, 0, NULL, NULL}};
static const PxFunctionTable table = {0, functions};

PEXO_API const PxFunctionTable *pexo_function_table(void) { return &table; }
