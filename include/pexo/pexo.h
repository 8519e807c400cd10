/*
 * pexo.h: the engine's extension API, for libraries that the engine loads
 * (function, system, configuration, commerce and database libraries).
 *
 * Finding the functions. After loading a library the engine calls its
 * registration entry "pexo_register_library" (or "PexoRegisterLibrary"),
 * if it exports one, with the engine module handle. Resolve the functions
 * below through that handle with dlsym, or simply link against libpexo and
 * call them directly; every function here has C linkage.
 *
 * Handles. Every engine object is an opaque handle. Program-scoped handles
 * (the program, its variables, files and connections) are valid only during
 * the call from the engine that handed them out; do not keep them.
 *
 * Results. Operations that only succeed or fail return 1 or 0, except those
 * marked "0/-1" (0 success, -1 failure). Size, mode, time and owner queries
 * return the value or -1. Length arguments are signed 32-bit; where a
 * function says so, -1 means "up to the zero byte".
 *
 * Returned texts are one of:
 *   INTERNAL  - points into the engine object, valid until that object
 *               changes or dies; never freed by the caller;
 *   ALLOCATED - a fresh copy terminated with a zero byte (unless said
 *               otherwise), freed by the caller with pxProgram_Free (or
 *               pexo_free; both use the C library's allocator).
 * Returned variables are BORROWED (lookups: scopes, elements, members, list
 * cursors; neither free nor keep them) or OWNED (pxVariable_Allocate and
 * pxVariable_Allocate_Copy: release with pxVariable_Free unless handed to a
 * container that takes the reference).
 */
#ifndef PEXO_PEXO_H_
#define PEXO_PEXO_H_

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define PEXO_API __declspec(dllexport)
#else
#define PEXO_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Handles --------------------------------------------------------- */

typedef struct PexoProgram_ PexoProgram;           /* the running program */
typedef struct PexoVariable_ PexoVariable;
typedef struct PexoVariableHash_ PexoVariableHash; /* a scope */
typedef struct PexoVariableList_ PexoVariableList;
typedef struct PexoLinkBuffer_ PexoLinkBuffer;
typedef struct PexoFile_ PexoFile;
typedef struct PexoNetwork_ PexoNetwork;           /* a connection */
typedef struct PexoHTTPResponse_ PexoHTTPResponse;
typedef struct PexoDatabase_ PexoDatabase;
typedef struct PexoDatabaseView_ PexoDatabaseView;
typedef struct PexoDatabaseVariable_ PexoDatabaseVariable;
typedef struct PexoConfig_ PexoConfig;             /* configuration being loaded */
typedef struct PexoSystemLibrary_ PexoSystemLibrary;
typedef struct PexoCode_ PexoCode;                 /* a compiled expression */

/* ---- What libraries export ------------------------------------------- */

/* Entry names. */
#define PEXO_ENTRY_REGISTER "pexo_register_library"
#define PEXO_ENTRY_REGISTER_ALT "PexoRegisterLibrary"
#define PEXO_ENTRY_FUNCTION_TABLE "pexo_function_table"
#define PEXO_ENTRY_CONFIG_LIBRARY "pexo_config_library"
#define PEXO_ENTRY_COMMERCE_LIBRARY "pexo_commerce_library"
#define PEXO_ENTRY_DATABASE_LIBRARY "pexo_database_library"

/* void pexo_register_library(void *engine_module): called once after load. */
typedef void (*PxRegisterEntry)(void *engine_module);

/* A library function. program: the running program (null on the final
 * call); parameters: the call's parameter scope, entries in declaration
 * order; result: the variable to leave the value in; data: the address of
 * the function's private data pointer, shared by all requests. When *data is
 * not null at shutdown the function is called once more with program,
 * parameters and result all null so that it can free the data. */
typedef void (*PxFunction)(PexoProgram *program, PexoVariableHash *parameters,
                           PexoVariable *result, void **data);

/* Parameter flag: the argument is passed by reference. */
#define PX_PARAMETER_BY_REFERENCE 1

typedef struct PxParameterDescriptor { /* 16 bytes */
  const char *name;
  int32_t name_length;
  int32_t flags;
} PxParameterDescriptor;

typedef struct PxFunctionDescriptor { /* 32 bytes; a null name ends the array */
  const char *name;
  int32_t name_length;
  int32_t parameter_count;
  const PxParameterDescriptor *parameters;
  PxFunction function;
} PxFunctionDescriptor;

typedef struct PxFunctionTable { /* returned by pexo_function_table(void) */
  int64_t reserved;              /* ignored */
  const PxFunctionDescriptor *functions;
} PxFunctionTable;

typedef const PxFunctionTable *(*PxFunctionTableEntry)(void);

/* Configuration library: pexo_config_library(void) returns this table.
 * Every function but version may be null. Results: 0 success. */
typedef struct PxConfigLibrary {
  int32_t version; /* 1: first generation (its script loader is refused) */
  int32_t reserved;
  int (*initialize)(PexoConfig *config, void **data, void *host_arguments);
  int (*load_script_v1)(PexoConfig *config, void *data, void *host_arguments);
  int (*get_integer)(PexoConfig *config, void *data, int32_t setting, int32_t *value);
  /* *text is allocated with malloc; the engine frees it. */
  int (*get_text)(PexoConfig *config, void *data, int32_t setting, char **text,
                  int32_t *length, int32_t *size);
  const char *(*error_text)(PexoConfig *config, void *data);
  void (*shutdown)(PexoConfig *config, void *data);
  int (*load_script)(PexoConfig *config, void *data, void *host_arguments);
} PxConfigLibrary;

typedef const PxConfigLibrary *(*PxConfigLibraryEntry)(void);

/* Commerce library: pexo_commerce_library(void) returns this table, or the
 * library exports pexo_commerce_init, _loop, _cleanup and _error. */
typedef struct PxCommerceLibrary {
  int64_t reserved;
  int (*init)(PexoProgram *program, void **state, const char *method, const char *second,
              PexoVariableList *fields, PexoVariableHash *globals);
  int (*loop)(PexoProgram *program, void **state, const char *method, const char *second,
              PexoVariableList *fields, PexoVariableHash *globals, int32_t pass);
  void (*cleanup)(PexoProgram *program, void **state, const char *method, const char *second,
                  PexoVariableList *fields);
  const char *(*error)(PexoProgram *program, void **state, const char *method,
                       const char *second, PexoVariableList *fields);
} PxCommerceLibrary;

typedef const PxCommerceLibrary *(*PxCommerceLibraryEntry)(void);

/* Database library: pexo_database_library(void) returns this table. Every
 * entry but version may be null: the operation is then refused as
 * unsupported. Results: 1 success, 0 failure (the engine then asks
 * error_text). An entry newer than the table's version is not called: the
 * operation succeeds without it. Views and their field variables are made
 * with pxDatabase_AddView and pxDatabaseView_AddVariable; a library leaves
 * the current record in the variables (pxVariable_SetValue...) and reads
 * assignments back from them (pxDatabaseVariable_SetDirty tells which). */
#define PX_DATABASE_GO_TOP (-1)
#define PX_DATABASE_GO_BOTTOM (-2)
typedef struct PxDatabaseLibrary {
  int32_t version;
  int32_t reserved;
  int (*create)(PexoDatabase *db, const char *fields, const char *file, const char *text);
  /* Version 1 receives (db, file, text1, text2), version 2 also text3,
   * version 3 and later also the database name. */
  int (*open)(PexoDatabase *db, const char *file, const char *text1, const char *text2,
              const char *text3, const char *name);
  int (*close)(PexoDatabase *db);
  int (*open_view)(PexoDatabase *db, const char *name, const char *query, const char *text,
                   PexoVariableList *fields);
  int (*run_query)(PexoDatabase *db, const char *query, PexoVariableList *fields);
  int (*pack)(PexoDatabase *db);
  int (*set_primary_index)(PexoDatabase *db, const char *index);
  int (*make_index)(PexoDatabase *db, const char *file, const char *expression,
                    const char *flags);
  int (*set_indexes)(PexoDatabase *db, const char *indexes);
  int (*reindex)(PexoDatabase *db);
  const char *(*error_text)(PexoDatabase *db);
  int (*close_view)(PexoDatabaseView *view);
  int (*skip)(PexoDatabaseView *view, int32_t count);
  int (*go)(PexoDatabaseView *view, int32_t record); /* or PX_DATABASE_GO_TOP/BOTTOM */
  int (*add)(PexoDatabaseView *view);
  int (*delete_record)(PexoDatabaseView *view);
  int (*undelete)(PexoDatabaseView *view);
  int (*update)(PexoDatabaseView *view);
  int (*filter)(PexoDatabaseView *view, const char *expression);
  int (*find)(PexoDatabaseView *view, const char *key, int exact);
  int (*reveal_structure_file)(PexoDatabaseView *view, const char *file);
  int (*reveal_structure_variable)(PexoDatabaseView *view, PexoVariable *target);
  /* Field values: reserved; this engine keeps them in the variables. */
  int (*field_text)(PexoDatabaseVariable *variable, const char *text, int32_t length);
  int (*field_integer)(PexoDatabaseVariable *variable, int32_t value);
  int (*field_double)(PexoDatabaseVariable *variable, double value);
  int (*commit)(PexoDatabase *db);   /* version 2 */
  int (*rollback)(PexoDatabase *db); /* version 2 */
  void *variable_list;               /* version 4; reserved */
  int (*transact)(PexoDatabase *db); /* version 5 */
  int (*db_command)(PexoDatabase *db, const char *command, const char *text); /* version 5 */
  void (*release)(PexoDatabase *db); /* version 6: the database is going away */
  int (*field_decimal)(PexoDatabaseVariable *variable, const char *text, int32_t length);
} PxDatabaseLibrary;

typedef const PxDatabaseLibrary *(*PxDatabaseLibraryEntry)(void);

/* Destructor of persistent data: the registering program and the data. */
typedef void (*PxPersistentDestructor)(PexoProgram *program, void *data);

/* ---- Variables ------------------------------------------------------- */

/* Types of pxVariable_Type. */
#define PX_TYPE_NONE 0
#define PX_TYPE_INTEGER 1
#define PX_TYPE_DECIMAL 2
#define PX_TYPE_TEXT 3
#define PX_TYPE_STRUCTURE 4
#define PX_TYPE_ARRAY 5
/* Kinds of pxVariable_Aggregate_Type. */
#define PX_AGGREGATE_SCALAR 0
#define PX_AGGREGATE_ARRAY 1
#define PX_AGGREGATE_STRUCTURE 2

/* OWNED: a new variable (reference count 1). Lengths may be -1. */
PEXO_API PexoVariable *pxVariable_Allocate(const char *name, int32_t name_length,
                                           const char *value, int32_t value_length);
/* OWNED: same name, deep copy of the value. */
PEXO_API PexoVariable *pxVariable_Allocate_Copy(PexoVariable *variable);
/* Releases one reference. */
PEXO_API void pxVariable_Free(PexoVariable *variable);
/* INTERNAL texts; length may be null. */
PEXO_API const char *pxVariable_Name(PexoVariable *variable, int32_t *length);
PEXO_API const char *pxVariable_Value(PexoVariable *variable, int32_t *length);
/* ALLOCATED: the text without its zero bytes. */
PEXO_API char *pxVariable_Value_NS(PexoVariable *variable, int32_t *length);
PEXO_API int32_t pxVariable_Value_Integer(PexoVariable *variable);
PEXO_API double pxVariable_Value_Double(PexoVariable *variable);
/* ALLOCATED: the decimal's text. */
PEXO_API char *pxVariable_Value_Decimal_String(PexoVariable *variable, int32_t *length,
                                               int32_t *size);
/* 1, or 0 when the value is not a number. */
PEXO_API int pxVariable_Value_Decimal_Size(PexoVariable *variable, int32_t *precision,
                                           int32_t *scale);
PEXO_API int pxVariable_SetValue(PexoVariable *variable, const char *text, int32_t length);
/* Takes over a malloc'd text of `length` bytes in an allocation of `size`. */
PEXO_API int pxVariable_SetValue_Nocopy(PexoVariable *variable, char *text, int32_t length,
                                        int32_t size);
PEXO_API int pxVariable_SetValue_Integer(PexoVariable *variable, int32_t value);
PEXO_API int pxVariable_SetValue_Double(PexoVariable *variable, double value);
PEXO_API int pxVariable_SetValue_Decimal_String(PexoVariable *variable, const char *text,
                                                int32_t length);
PEXO_API int pxVariable_SetValue_Variable(PexoVariable *variable, PexoVariable *source);
PEXO_API int pxVariable_Type(PexoVariable *variable);
PEXO_API int pxVariable_Aggregate_Type(PexoVariable *variable);
PEXO_API int pxVariable_IsTrue(PexoVariable *variable);
PEXO_API int pxVariable_IsNULL(PexoVariable *variable);
/* BORROWED element or member, or null. */
PEXO_API PexoVariable *pxVariable_Array_Element(int32_t index, PexoVariable *array, int create);
PEXO_API PexoVariable *pxVariable_Struct_Member(const char *name, int32_t length,
                                                PexoVariable *structure, int create);
/* The container retains the element; the caller keeps its own reference. */
PEXO_API int pxVariable_Set_Array_Element(int32_t index, PexoVariable *element,
                                          PexoVariable *array);
PEXO_API int pxVariable_Set_Struct_Member(const char *name, int32_t length, PexoVariable *member,
                                          PexoVariable *structure);
PEXO_API int pxVariable_Insert_Array_Element(int32_t position, PexoVariable *element,
                                             PexoVariable *array);
PEXO_API int pxVariable_Delete_Array_Elements(int32_t first, int32_t count, int shift,
                                              PexoVariable *array);
PEXO_API int pxVariable_Delete_Struct_Member(const char *name, int32_t length,
                                             PexoVariable *structure);
PEXO_API int pxVariable_Array_Copy(PexoVariable *source, int32_t first, int32_t count,
                                   PexoVariable *destination, int32_t position, int copy);
PEXO_API int pxVariable_Array_Merge(PexoVariable *source, int32_t first, int32_t count,
                                    PexoVariable *destination, int32_t position, int copy);
PEXO_API int32_t pxVariable_Array_Collapse(PexoVariable *array);
PEXO_API int32_t pxVariable_Array_Max(PexoVariable *array);
PEXO_API int32_t pxVariable_Array_Min(PexoVariable *array);
PEXO_API int32_t pxVariable_Array_Next(PexoVariable *array, int32_t index);
PEXO_API int32_t pxVariable_Array_Previous(PexoVariable *array, int32_t index);
PEXO_API int32_t pxVariable_ElementsUsed(PexoVariable *variable);
/* Empties the list, then appends one reference variable per element, in
 * element order, named by member name or index. Returns the count. */
PEXO_API int32_t pxVariable_Aggregate_List(PexoVariable *variable, PexoVariableList *list);
PEXO_API int pxVariable_Make_Reference(PexoVariable *variable, PexoVariable *target);
/* Turns the variable into a structure whose missing members are asked of the
 * program function `name`: it is called with the member name and the
 * callback data's address as text-free parameters (see docs) and its result,
 * when not null, becomes the member. */
PEXO_API int pxVariable_Make_CallbackStruct(PexoVariable *variable, PexoProgram *program,
                                            const char *name, int32_t length, void *data);
/* BORROWED. */
PEXO_API PexoVariable *pxVariable_NextIdentity(PexoVariable *variable);
PEXO_API PexoVariable *pxVariable_RealIdentity(PexoVariable *variable);

/* ---- Variable hashes (scopes) ---------------------------------------- */

/* OWNED: a private hash; destroy with pxVariableHash_Free. */
PEXO_API PexoVariableHash *pxVariableHash_Allocate(void);
PEXO_API void pxVariableHash_Free(PexoVariableHash *hash);
/* Releases every variable and empties every entry. */
PEXO_API void pxVariableHash_Dump(PexoVariableHash *hash);
PEXO_API int32_t pxVariableHash_Entries(PexoVariableHash *hash);
/* BORROWED, or null. */
PEXO_API PexoVariable *pxVariableHash_Find(PexoVariableHash *hash, const char *name,
                                           int32_t length);
PEXO_API PexoVariable *pxVariableHash_Index(PexoVariableHash *hash, int32_t index);
/* Both take over the caller's reference, also when they fail. */
PEXO_API int pxVariableHash_Insert(PexoVariableHash *hash, PexoVariable *variable);
PEXO_API int pxVariableHash_ReplaceVariable(PexoVariableHash *hash, PexoVariable *variable);
PEXO_API int pxVariableHash_SetVariable(PexoVariableHash *hash, const char *name,
                                        int32_t length, const char *value,
                                        int32_t value_length);

/* ---- Variable lists -------------------------------------------------- */

/* OWNED: destroy with pxVariableList_Free. */
PEXO_API PexoVariableList *pxVariableList_Allocate(void);
PEXO_API void pxVariableList_Free(PexoVariableList *list);
PEXO_API void pxVariableList_Dump(PexoVariableList *list);
PEXO_API int32_t pxVariableList_Entries(PexoVariableList *list);
/* The list takes its own reference; the caller keeps its own. */
PEXO_API int pxVariableList_Insert(PexoVariableList *list, PexoVariable *variable);
/* BORROWED cursor results, null at the end. */
PEXO_API PexoVariable *pxVariableList_First(PexoVariableList *list);
PEXO_API PexoVariable *pxVariableList_Next(PexoVariableList *list);
PEXO_API PexoVariable *pxVariableList_Current(PexoVariableList *list);
PEXO_API PexoVariable *pxVariableList_Find(PexoVariableList *list, const char *name,
                                           int32_t length);
PEXO_API int pxVariableList_SetVariable(PexoVariableList *list, const char *name,
                                        int32_t length, const char *value,
                                        int32_t value_length);

/* ---- Link buffers ---------------------------------------------------- */

/* OWNED: destroy with pxLinkBuffer_Free. Sizes below 1 are taken as 1. */
PEXO_API PexoLinkBuffer *pxLinkBuffer_Allocate(int32_t first_size, int32_t growth_size);
PEXO_API void pxLinkBuffer_Free(PexoLinkBuffer *buffer);
PEXO_API int pxLinkBuffer_Concat_Char(PexoLinkBuffer *buffer, char byte);
/* Two uppercase hexadecimal digits: 10 gives "0A". */
PEXO_API int pxLinkBuffer_Concat_HexChar(PexoLinkBuffer *buffer, unsigned char byte);
PEXO_API int pxLinkBuffer_Concat_Int(PexoLinkBuffer *buffer, int32_t value);
PEXO_API int pxLinkBuffer_Concat_Double(PexoLinkBuffer *buffer, double value);
PEXO_API int pxLinkBuffer_Concat_String(PexoLinkBuffer *buffer, const char *text,
                                        int32_t length);
/* Takes over a malloc'd text (length bytes used of size). */
PEXO_API int pxLinkBuffer_Concat_String_Nocopy(PexoLinkBuffer *buffer, char *text,
                                               int32_t length, int32_t size);
PEXO_API int pxLinkBuffer_Concat_Variable(PexoLinkBuffer *buffer, PexoVariable *variable);
/* INTERNAL: the joined text, zero-terminated; valid until the next change. */
PEXO_API const char *pxLinkBuffer_Data(PexoLinkBuffer *buffer, int32_t *length);
/* ALLOCATED and NOT terminated: the joined text with at least `spare` bytes
 * of room after it; the buffer is left empty. An empty buffer gives a fresh
 * one-byte allocation (length 0, size 1). */
PEXO_API char *pxLinkBuffer_Release(PexoLinkBuffer *buffer, int32_t *length, int32_t *size,
                                    int32_t spare);

/* ---- Program --------------------------------------------------------- */

/* ALLOCATED (null when memory is exhausted) / frees an allocated pointer.
 * The program may be null for both. */
PEXO_API void *pxProgram_Allocate(PexoProgram *program, int32_t size);
PEXO_API void pxProgram_Free(PexoProgram *program, void *pointer);
/* BORROWED: a name or path with optional scope prefix ("g.", "l.", "s."). */
PEXO_API PexoVariable *pxProgram_Lookup_Variable(PexoProgram *program, const char *name,
                                                 int32_t length);
/* INTERNAL scopes. */
PEXO_API PexoVariableHash *pxProgram_Global_VariableHash(PexoProgram *program);
PEXO_API PexoVariableHash *pxProgram_System_VariableHash(PexoProgram *program);
/* Append every variable of the scope to the list (retained). 1 or 0. */
PEXO_API int pxProgram_Global_Variables(PexoProgram *program, PexoVariableList *list);
PEXO_API int pxProgram_System_Variables(PexoProgram *program, PexoVariableList *list);
PEXO_API int pxProgram_Local_Variables(PexoProgram *program, PexoVariableList *list);
/* INTERNAL descriptor of a library function, or null. */
PEXO_API const PxFunctionDescriptor *pxProgram_Lookup_ExternalFunction(PexoProgram *program,
                                                                       const char *name,
                                                                       int32_t length);
/* Runs a program function; the list's elements are the arguments. 1 or 0. */
PEXO_API int pxProgram_RunFunction(PexoProgram *program, const char *name, int32_t length,
                                   PexoVariableList *parameters, PexoVariable *result);
/* Compiled code owned by the program (lives as long as the run), or null
 * with *error ALLOCATED (free with pxProgram_Free). */
PEXO_API PexoCode *pxProgram_Compile_Dynamic_Expression(PexoProgram *program, const char *text,
                                                        int32_t length, char **error,
                                                        int32_t *error_length);
/* scope null: the current call's. 1 when it ran and left a value. */
PEXO_API int pxProgram_Execute_Dynamic_Expression(PexoProgram *program, PexoCode *code,
                                                  PexoVariableHash *scope,
                                                  PexoVariable *result);
PEXO_API int pxProgram_Execute_Dynamic_Expression_Boolean(PexoProgram *program, PexoCode *code,
                                                          PexoVariableHash *scope,
                                                          int *truth);
/* <0, 0, >0 (2147483647 when either is NaN). */
PEXO_API int pxProgram_Compare(PexoProgram *program, PexoVariable *a, PexoVariable *b);
PEXO_API void pxProgram_FatalError(PexoProgram *program, const char *text, int32_t length);
PEXO_API int pxProgram_Output(PexoProgram *program, const char *text, int32_t length);
PEXO_API int pxProgram_Output_Flush(PexoProgram *program);
PEXO_API int pxProgram_Output_Header(PexoProgram *program, const char *name, const char *value);
/* ALLOCATED encodings (text, length -1 allowed). */
PEXO_API char *pxProgram_Entity_Encode(PexoProgram *program, const char *text, int32_t length,
                                       int32_t *out_length, int32_t *out_size);
PEXO_API char *pxProgram_Entity_Decode(PexoProgram *program, const char *text, int32_t length,
                                       int32_t *out_length, int32_t *out_size);
PEXO_API char *pxProgram_Attribute_Encode(PexoProgram *program, const char *text,
                                          int32_t length, int32_t *out_length,
                                          int32_t *out_size);
PEXO_API char *pxProgram_Attribute_Decode(PexoProgram *program, const char *text,
                                          int32_t length, int32_t *out_length,
                                          int32_t *out_size);
PEXO_API char *pxProgram_JavaScriptString_Encode(PexoProgram *program, const char *text,
                                                 int32_t length, int32_t *out_length,
                                                 int32_t *out_size);
/* flags: 1 pretty layout, 2 the texts true/false as JSON booleans. */
PEXO_API char *pxProgram_JSON_Encode(PexoProgram *program, PexoVariable *variable, int flags,
                                     int32_t *out_length, int32_t *out_size);
/* 1, or 0 with *error ALLOCATED. */
PEXO_API int pxProgram_JSON_Decode(PexoProgram *program, const char *text, int32_t length,
                                   PexoVariable *variable, char **error, int32_t *error_length,
                                   int32_t *error_size);
/* Persistent data. Registering an existing name destroys the old entry
 * first: its destructor is called (program, data), or without one the data
 * is freed with free(). Application-wide data outlives the request (its
 * destructor then gets a null program); local data dies with the run. */
PEXO_API int pxProgram_Register_Persistent(PexoProgram *program, const char *name,
                                           int32_t length, void *data,
                                           PxPersistentDestructor destructor);
PEXO_API void *pxProgram_Lookup_Persistent(PexoProgram *program, const char *name,
                                           int32_t length);
PEXO_API int pxProgram_Register_Local_Persistent(PexoProgram *program, const char *name,
                                                 int32_t length, void *data,
                                                 PxPersistentDestructor destructor);
PEXO_API void *pxProgram_Lookup_Local_Persistent(PexoProgram *program, const char *name,
                                                 int32_t length);
/* The configured system library, loaded on first use, or null. */
PEXO_API PexoSystemLibrary *pxProgram_SystemLibrary(PexoProgram *program, const char *name);
PEXO_API int pxProgram_SystemLibrary_IsRegistered(PexoProgram *program, const char *name);
/* Forwarded to the request's host. INTERNAL text. */
PEXO_API const char *pxProgram_GetCharacterSet(PexoProgram *program, int32_t *length);
PEXO_API int pxProgram_SetCharacterSet(PexoProgram *program, const char *name, int32_t length);
PEXO_API int pxProgram_CharacterSetIsUTF8(PexoProgram *program);
PEXO_API int pxProgram_SetLanguage(PexoProgram *program, const char *name, int32_t length);
PEXO_API int pxProgram_SetDefaultLanguage(PexoProgram *program, const char *name,
                                          int32_t length);
PEXO_API int pxProgram_SetDefaultDatabase(PexoProgram *program, const char *name,
                                          int32_t length);
PEXO_API int pxProgram_SetProcessName(PexoProgram *program, const char *name, int32_t length);
/* ALLOCATED: a new session identifier. */
PEXO_API char *pxProgram_MakeSessionID(PexoProgram *program, int32_t *length);
PEXO_API int pxProgram_ResetGlobalTimeout(PexoProgram *program);
/* Sleeps; 1 when the time passed, 0 when the run was stopped meanwhile. */
PEXO_API int pxProgram_Sleep(PexoProgram *program, int32_t milliseconds);
PEXO_API int pxProgram_Asynchronous_Sleep(PexoProgram *program, int32_t milliseconds);
PEXO_API int pxProgram_Deprecated_Enabled(PexoProgram *program, const char *name,
                                          int32_t length);
/* The address of a function of the loaded TLS library, or null. */
PEXO_API void *pxProgram_SSL_Function(PexoProgram *program, const char *name);

/* ---- Files and directories ------------------------------------------- */

/* Locations: 0 data, 1 script (a path starting with "/" is taken as is),
 * 2 temporary, 3 the configured root directory. */
#define PX_LOCATION_DATA 0
#define PX_LOCATION_SCRIPT 1
#define PX_LOCATION_TEMP 2
#define PX_LOCATION_ROOT 3
/* Open modes (may be combined). */
#define PX_FILE_READ 0x01
#define PX_FILE_WRITE 0x02
#define PX_FILE_CREATE 0x04
#define PX_FILE_TRUNCATE 0x08
/* Directory listings. */
#define PX_LIST_ALL 0
#define PX_LIST_FILES 1
#define PX_LIST_DIRECTORIES 2

/* A file owned by the caller until pxFile_Close, or null. */
PEXO_API PexoFile *pxFile_Open(PexoProgram *program, int32_t location, const char *path,
                               int32_t length, int32_t mode);
PEXO_API int pxFile_Close(PexoFile *file); /* 0/-1 */
/* Bytes read, 0 at the end, -1 on failure. */
PEXO_API int32_t pxFile_Read(PexoFile *file, void *buffer, int32_t count);
PEXO_API int32_t pxFile_Write(PexoFile *file, const void *buffer, int32_t count);
PEXO_API int pxFile_Seek(PexoFile *file, int64_t position); /* 0/-1 */
PEXO_API int64_t pxFile_Tell(PexoFile *file);
PEXO_API int64_t pxFile_Length(PexoFile *file);
PEXO_API int pxFile_Lock(PexoFile *file, int64_t offset, int64_t length, int exclusive);
PEXO_API int pxFile_Release(PexoFile *file, int64_t offset, int64_t length);
PEXO_API int pxFile_Exists(PexoProgram *program, int32_t location, const char *path,
                           int32_t length);
PEXO_API int pxFile_IsDirectory(PexoProgram *program, int32_t location, const char *path,
                                int32_t length);
PEXO_API int64_t pxFile_Size(PexoProgram *program, int32_t location, const char *path,
                             int32_t length);
PEXO_API int32_t pxFile_Mode(PexoProgram *program, int32_t location, const char *path,
                             int32_t length);
PEXO_API int64_t pxFile_Time(PexoProgram *program, int32_t location, const char *path,
                             int32_t length);
PEXO_API int64_t pxFile_OwnerID(PexoProgram *program, int32_t location, const char *path,
                                int32_t length);
PEXO_API int64_t pxFile_GroupID(PexoProgram *program, int32_t location, const char *path,
                                int32_t length);
/* 0/-1. */
PEXO_API int pxFile_Delete(PexoProgram *program, int32_t location, const char *path,
                           int32_t length);
PEXO_API int pxFile_Rename(PexoProgram *program, int32_t from_location, const char *from,
                           int32_t from_length, int32_t to_location, const char *to,
                           int32_t to_length);
PEXO_API int pxFile_Copy(PexoProgram *program, int32_t from_location, const char *from,
                         int32_t from_length, int32_t to_location, const char *to,
                         int32_t to_length);
PEXO_API int pxFile_MakeDirectory(PexoProgram *program, int32_t location, const char *path,
                                  int32_t length);
PEXO_API int pxFile_RemoveDirectory(PexoProgram *program, int32_t location, const char *path,
                                    int32_t length);
PEXO_API int pxFile_Change_Mode(PexoProgram *program, int32_t location, const char *path,
                                int32_t length, int32_t mode);
PEXO_API int pxFile_TouchFile(PexoProgram *program, int32_t location, const char *path,
                              int32_t length);
PEXO_API int pxFile_MakeSymbolicLink(PexoProgram *program, int32_t location,
                                     const char *target, int32_t target_length,
                                     const char *path, int32_t length);
/* 1 or 0. */
PEXO_API int pxFile_SetTime(PexoProgram *program, int32_t location, const char *path,
                            int32_t length, int64_t when);
/* Lock files: 0 acquired, 1 timed out, 2 error (LockFile); 0 held,
 * 1 stale, 2 gone, 3 held by this process (LockFile_Valid). */
PEXO_API int pxFile_LockFile(PexoProgram *program, int32_t location, const char *path,
                             int32_t length);
PEXO_API int pxFile_LockFile_Valid(PexoProgram *program, int32_t location, const char *path,
                                   int32_t length);
/* ALLOCATED full path of a new empty file in the directory, or null. */
PEXO_API char *pxFile_MakeTemporary(PexoProgram *program, int32_t location,
                                    const char *directory, int32_t length,
                                    const char *prefix, int32_t *out_length);
/* ALLOCATED: the full path the location and path resolve to, or null. */
PEXO_API char *pxFile_NormalizePath(PexoProgram *program, int32_t location, const char *path,
                                    int32_t length, int32_t *out_length);
PEXO_API char pxFile_Path_Separator(void);
/* INTERNAL: the file's last error, or with a null file the manager's. */
PEXO_API const char *pxFile_Error(PexoProgram *program, PexoFile *file, int32_t *length);
/* Always fails (null) with "pxFile_Resolve is no longer supported". */
PEXO_API char *pxFile_Resolve(PexoProgram *program, int32_t location, const char *path,
                              int32_t length);
/* Appends the names as new variables; the count or -1. */
PEXO_API int32_t pxDirectory_Listing(PexoProgram *program, int32_t location, const char *path,
                                     int32_t length, int32_t kind, PexoVariableList *list);

/* ---- Network and HTTP --------------------------------------------- */

PEXO_API PexoNetwork *pxNetwork_Connect(PexoProgram *program, const char *host, int32_t port);
PEXO_API PexoNetwork *pxNetwork_Connect_SSL(PexoProgram *program, const char *host,
                                            int32_t port);
PEXO_API int pxNetwork_Close(PexoNetwork *connection);
PEXO_API int32_t pxNetwork_Read(PexoNetwork *connection, void *buffer, int32_t size,
                                int32_t timeout);
PEXO_API int32_t pxNetwork_Write(PexoNetwork *connection, const void *buffer, int32_t length);
PEXO_API int32_t pxNetwork_Read_Line(PexoNetwork *connection, char *buffer, int32_t size,
                                     int32_t timeout);
PEXO_API int pxNetwork_Get_Host_Address(PexoProgram *program, const char *name, char *buffer,
                                        int32_t size);
PEXO_API int pxNetwork_Normalize_IP_Address(PexoProgram *program, const char *text,
                                            char *buffer, int32_t size);
PEXO_API int pxNetwork_Is_IP_Address(const char *text);
PEXO_API int pxNetwork_Is_IPv4_Address(const char *text);
PEXO_API int pxNetwork_Is_IPv6_Address(const char *text);
PEXO_API PexoHTTPResponse *pxNetwork_Open_URL(PexoProgram *program, const char *url);
PEXO_API PexoHTTPResponse *pxNetwork_HTTP_Request(PexoProgram *program, const char *method,
                                                  const char *url, const char *headers,
                                                  const char *body, int32_t body_length);
/* INTERNAL: the connection's last error, or with null the manager's. */
PEXO_API const char *pxNetwork_Error(PexoProgram *program, PexoNetwork *connection,
                                     int32_t *length);
PEXO_API int32_t pxHTTPResponse_Read(PexoHTTPResponse *response, void *buffer, int32_t size);
PEXO_API int32_t pxHTTPResponse_Status_Code(PexoHTTPResponse *response);
PEXO_API int64_t pxHTTPResponse_Content_Length(PexoHTTPResponse *response);
PEXO_API const char *pxHTTPResponse_Error(PexoProgram *program, PexoHTTPResponse *response,
                                          int32_t *length);
PEXO_API int pxHTTPResponse_Close(PexoHTTPResponse *response);

/* ---- Databases (for database libraries) ---------------------------- */

PEXO_API PexoDatabaseView *pxDatabase_AddView(PexoDatabase *database, const char *name,
                                              int32_t length);
PEXO_API int pxDatabase_SetPrimaryView(PexoDatabase *database, PexoDatabaseView *view);
PEXO_API PexoProgram *pxDatabase_Program(PexoDatabase *database);
PEXO_API void pxDatabase_SetData(PexoDatabase *database, void *data);
PEXO_API void *pxDatabase_data(PexoDatabase *database);
PEXO_API PexoDatabaseVariable *pxDatabaseView_AddVariable(PexoDatabaseView *view,
                                                          const char *name, int32_t length);
PEXO_API int pxDatabaseView_Clear(PexoDatabaseView *view);
PEXO_API int pxDatabaseView_Commit(PexoDatabaseView *view);
PEXO_API PexoDatabase *pxDatabaseView_Database(PexoDatabaseView *view);
PEXO_API PexoProgram *pxDatabaseView_Program(PexoDatabaseView *view);
PEXO_API void pxDatabaseView_SetData(PexoDatabaseView *view, void *data);
PEXO_API int pxDatabaseView_SetDirty(PexoDatabaseView *view, int dirty);
PEXO_API void *pxDatabaseView_data(PexoDatabaseView *view);
PEXO_API PexoDatabaseView *pxDatabaseVariable_DatabaseView(PexoDatabaseVariable *variable);
PEXO_API void pxDatabaseVariable_SetData(PexoDatabaseVariable *variable, void *data);
PEXO_API int pxDatabaseVariable_SetDirty(PexoDatabaseVariable *variable, int dirty);
PEXO_API void *pxDatabaseVariable_data(PexoDatabaseVariable *variable);

/* ---- Configuration (configuration libraries, while they initialise) -- */

PEXO_API int pxConfig_Register_Library_Builtin(PexoConfig *config, const char *path);
PEXO_API int pxConfig_Register_Library_System(PexoConfig *config, const char *name,
                                              const char *path);
PEXO_API int pxConfig_Register_Library_Commerce(PexoConfig *config, const char *name,
                                                const char *path);
PEXO_API int pxConfig_Register_Library_Database(PexoConfig *config, const char *name,
                                                const char *path);
/* setting: a configuration key number (text keys carry 0x2000000, integer
 * keys 0x1000000). 1 on success. */
PEXO_API int pxConfig_SetValue(PexoConfig *config, int32_t setting, const char *text);
PEXO_API int pxConfig_SetValue_Integer(PexoConfig *config, int32_t setting, int32_t value);
PEXO_API int pxConfig_SetVariable_Global(PexoConfig *config, const char *name, int32_t length,
                                         const char *value, int32_t value_length);
PEXO_API int pxConfig_SetVariable_System(PexoConfig *config, const char *name, int32_t length,
                                         const char *value, int32_t value_length);
/* setting: 1 display, 2 fatal (may be combined). */
PEXO_API int pxConfig_Set_DefaultErrorSetting(PexoConfig *config, const char *tag,
                                              int32_t length, int32_t setting);

/* ---- System libraries ------------------------------------------------ */

PEXO_API void *pxSystemLibrary_GetFunction(PexoSystemLibrary *library, const char *name);
/* INTERNAL: the library's error, or with null the manager's. */
PEXO_API const char *pxSystemLibrary_Error(PexoProgram *program, PexoSystemLibrary *library,
                                           int32_t *length);

/* ---- First generation ------------------------------------------------ *
 * Zero-terminated texts; texts are never null (the empty text instead).
 * Variable trees are hashes, as pxVariableHash_*. */

PEXO_API void *pexo_alloc(size_t size);
PEXO_API void *pexo_realloc(void *pointer, size_t size);
PEXO_API void pexo_free(void *pointer);
PEXO_API PexoFile *pexo_file_open(PexoProgram *program, int32_t location, const char *path,
                                  int32_t mode);
PEXO_API int pexo_file_close(PexoFile *file);
PEXO_API int32_t pexo_file_read(PexoFile *file, void *buffer, int32_t count);
PEXO_API int32_t pexo_file_write(PexoFile *file, const void *buffer, int32_t count);
PEXO_API int pexo_file_seek(PexoFile *file, int64_t position);
PEXO_API int64_t pexo_file_tell(PexoFile *file);
PEXO_API int64_t pexo_file_length(PexoFile *file);
PEXO_API int64_t pexo_file_size(PexoProgram *program, int32_t location, const char *path);
PEXO_API int32_t pexo_file_mode(PexoProgram *program, int32_t location, const char *path);
PEXO_API int pexo_file_changemode(PexoProgram *program, int32_t location, const char *path,
                                  int32_t mode);
PEXO_API int pexo_file_delete(PexoProgram *program, int32_t location, const char *path);
PEXO_API int pexo_file_rename(PexoProgram *program, int32_t location, const char *from,
                              const char *to);
PEXO_API int pexo_file_exists(PexoProgram *program, int32_t location, const char *path);
PEXO_API int pexo_file_isdirectory(PexoProgram *program, int32_t location, const char *path);
PEXO_API int pexo_file_makedirectory(PexoProgram *program, int32_t location, const char *path);
PEXO_API int pexo_file_removedirectory(PexoProgram *program, int32_t location,
                                       const char *path);
PEXO_API int pexo_file_lock(PexoFile *file, int64_t offset, int64_t length);
PEXO_API int pexo_file_release(PexoFile *file, int64_t offset, int64_t length);
PEXO_API char pexo_file_pathseparator(void);
/* INTERNAL. */
PEXO_API const char *pexo_file_error(PexoProgram *program, PexoFile *file);
/* Always fails (null) with "pexo_file_resolve is no longer supported". */
PEXO_API char *pexo_file_resolve(PexoProgram *program, int32_t location, const char *path);
PEXO_API PexoNetwork *pexo_network_connect(PexoProgram *program, const char *host,
                                           int32_t port);
PEXO_API int pexo_network_close(PexoNetwork *connection);
PEXO_API int32_t pexo_network_read(PexoNetwork *connection, void *buffer, int32_t size);
PEXO_API int32_t pexo_network_readline(PexoNetwork *connection, char *buffer, int32_t size);
PEXO_API int32_t pexo_network_write(PexoNetwork *connection, const void *buffer,
                                    int32_t length);
PEXO_API int pexo_network_gethostaddress(PexoProgram *program, const char *name, char *buffer,
                                         int32_t size);
PEXO_API int pexo_network_isipaddress(const char *text);
PEXO_API PexoHTTPResponse *pexo_network_openurl(PexoProgram *program, const char *url);
PEXO_API const char *pexo_network_error(PexoProgram *program, PexoNetwork *connection);
/* OWNED: release with pexo_variable_delete. */
PEXO_API PexoVariable *pexo_variable_new(const char *name, const char *value);
PEXO_API void pexo_variable_delete(PexoVariable *variable);
/* INTERNAL. */
PEXO_API const char *pexo_variable_name(PexoVariable *variable);
PEXO_API const char *pexo_variable_value(PexoVariable *variable);
PEXO_API int pexo_variable_setvalue(PexoVariable *variable, const char *value);
PEXO_API int pexo_variable_aggregate_type(PexoVariable *variable);
/* OWNED: a new list of references to the elements; pexo_variablelist_delete. */
PEXO_API PexoVariableList *pexo_variable_aggregate_list(PexoVariable *variable);
/* BORROWED, or null. */
PEXO_API PexoVariable *pexo_variable_array_element(PexoVariable *array, int32_t index);
PEXO_API int32_t pexo_variable_array_elements(PexoVariable *array);
PEXO_API int32_t pexo_variable_array_max(PexoVariable *array);
PEXO_API int32_t pexo_variable_array_min(PexoVariable *array);
PEXO_API PexoVariable *pexo_variable_structure_member(PexoVariable *structure,
                                                      const char *name);
PEXO_API int pexo_variable_set_array_element_value(PexoVariable *array, int32_t index,
                                                   const char *value);
PEXO_API int pexo_variable_set_structure_member_value(PexoVariable *structure,
                                                      const char *name, const char *value);
PEXO_API PexoVariableList *pexo_variablelist_new(void);
PEXO_API void pexo_variablelist_delete(PexoVariableList *list);
PEXO_API void pexo_variablelist_dump(PexoVariableList *list);
PEXO_API PexoVariable *pexo_variablelist_first(PexoVariableList *list);
PEXO_API PexoVariable *pexo_variablelist_next(PexoVariableList *list);
PEXO_API PexoVariable *pexo_variablelist_current(PexoVariableList *list);
PEXO_API PexoVariable *pexo_variablelist_find(PexoVariableList *list, const char *name);
PEXO_API int pexo_variablelist_setvariable(PexoVariableList *list, const char *name,
                                           const char *value);
/* ALLOCATED with malloc (free with pexo_free): base, "?" (or "&" when the
 * base already holds a "?"), then name=value pairs joined with "&", each
 * attribute-encoded. */
PEXO_API char *pexo_variablelist_to_url(const char *base, PexoVariableList *list);
PEXO_API PexoVariableHash *pexo_variabletree_new(void);
PEXO_API void pexo_variabletree_delete(PexoVariableHash *tree);
PEXO_API void pexo_variabletree_dump(PexoVariableHash *tree);
PEXO_API PexoVariable *pexo_variabletree_find(PexoVariableHash *tree, const char *name);
/* Takes over the caller's reference. */
PEXO_API int pexo_variabletree_insert(PexoVariableHash *tree, PexoVariable *variable);
PEXO_API int pexo_variabletree_setvariable(PexoVariableHash *tree, const char *name,
                                           const char *value);

#ifdef __cplusplus
}
#endif

#endif /* PEXO_PEXO_H_ */
