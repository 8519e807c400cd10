// The binary tables that extension libraries hand to the engine. Every
// field is little-endian and pointers are 64 bits wide; the offsets below
// are part of the library contract and checked at compile time.
//
// A function library exports "pexo_function_table", a function without
// arguments returning a PexoFunctionTable whose descriptor array ends with a
// descriptor whose name is null. A configuration library exports
// "pexo_config_library" returning a PexoConfigLibrary; a commerce library
// "pexo_commerce_library" returning a PexoCommerceLibrary (or the four
// functions by name).
#ifndef PEXO_EXT_LIBRARY_DESCRIPTORS_H_
#define PEXO_EXT_LIBRARY_DESCRIPTORS_H_

#include <cstddef>
#include <cstdint>

extern "C" {

// Parameter flag: the argument is bound by reference.
#define PEXO_PARAMETER_BY_REFERENCE 1

// program: the running machine (null for the shutdown call); parameters: the
// call's parameter scope; result: the variable to leave the value in; data:
// the address of the function's private data pointer.
typedef void (*PexoExternalFunction)(void* program, void* parameters, void* result, void** data);

typedef struct PexoParameterDescriptor {
  const char* name;
  int32_t name_length;
  int32_t flags;
} PexoParameterDescriptor;

typedef struct PexoFunctionDescriptor {
  const char* name;  // null ends the array
  int32_t name_length;
  int32_t parameter_count;
  const PexoParameterDescriptor* parameters;
  PexoExternalFunction function;
} PexoFunctionDescriptor;

typedef struct PexoFunctionTable {
  int64_t reserved;  // ignored by the engine
  const PexoFunctionDescriptor* functions;
} PexoFunctionTable;

typedef const PexoFunctionTable* (*PexoFunctionTableEntry)(void);
// Called once after loading with the engine module handle.
typedef void (*PexoRegisterEntry)(void* engine_module);

// Configuration libraries. `config` is the engine's configuration object.
typedef int (*PexoConfigInitialize)(void* config, void** data, void* host_arguments);
typedef int (*PexoConfigLoadScriptV1)(void* config, void* data, void* host_arguments);
typedef int (*PexoConfigGetInteger)(void* config, void* data, int32_t setting, int32_t* value);
// The text is allocated with the C library's allocator; the engine frees it.
typedef int (*PexoConfigGetText)(void* config, void* data, int32_t setting, char** text,
                                 int32_t* length, int32_t* size);
typedef const char* (*PexoConfigErrorText)(void* config, void* data);
typedef void (*PexoConfigShutdown)(void* config, void* data);
typedef int (*PexoConfigLoadScript)(void* config, void* data, void* host_arguments);

typedef struct PexoConfigLibrary {
  int32_t version;  // 1: first interface generation
  int32_t reserved;
  PexoConfigInitialize initialize;
  PexoConfigLoadScriptV1 load_script_v1;
  PexoConfigGetInteger get_integer;
  PexoConfigGetText get_text;
  PexoConfigErrorText error_text;
  PexoConfigShutdown shutdown;
  PexoConfigLoadScript load_script;
} PexoConfigLibrary;

typedef const PexoConfigLibrary* (*PexoConfigLibraryEntry)(void);

// Commerce libraries: `state` is the address of the tag's state word.
typedef int (*PexoCommerceInit)(void* program, void** state, const char* method,
                                const char* second, void* fields, void* globals);
typedef int (*PexoCommerceLoop)(void* program, void** state, const char* method,
                                const char* second, void* fields, void* globals, int32_t pass);
typedef void (*PexoCommerceCleanup)(void* program, void** state, const char* method,
                                    const char* second, void* fields);
typedef const char* (*PexoCommerceError)(void* program, void** state, const char* method,
                                         const char* second, void* fields);

typedef struct PexoCommerceLibrary {
  int64_t reserved;
  PexoCommerceInit init;
  PexoCommerceLoop loop;
  PexoCommerceCleanup cleanup;
  PexoCommerceError error;
} PexoCommerceLibrary;

typedef const PexoCommerceLibrary* (*PexoCommerceLibraryEntry)(void);

}  // extern "C"

static_assert(sizeof(void*) == 8, "library descriptors assume 64-bit pointers");
static_assert(sizeof(PexoParameterDescriptor) == 16, "parameter descriptor size");
static_assert(offsetof(PexoParameterDescriptor, name_length) == 8, "parameter name length");
static_assert(offsetof(PexoParameterDescriptor, flags) == 12, "parameter flags");
static_assert(sizeof(PexoFunctionDescriptor) == 32, "function descriptor size");
static_assert(offsetof(PexoFunctionDescriptor, name_length) == 8, "function name length");
static_assert(offsetof(PexoFunctionDescriptor, parameter_count) == 12, "parameter count");
static_assert(offsetof(PexoFunctionDescriptor, parameters) == 16, "parameter array");
static_assert(offsetof(PexoFunctionDescriptor, function) == 24, "function pointer");
static_assert(sizeof(PexoFunctionTable) == 16, "function table size");
static_assert(offsetof(PexoFunctionTable, functions) == 8, "descriptor array pointer");
static_assert(offsetof(PexoConfigLibrary, initialize) == 8, "initialise position");
static_assert(offsetof(PexoConfigLibrary, load_script_v1) == 16, "v1 loader position");
static_assert(offsetof(PexoConfigLibrary, get_integer) == 24, "get integer position");
static_assert(offsetof(PexoConfigLibrary, get_text) == 32, "get text position");
static_assert(offsetof(PexoConfigLibrary, error_text) == 40, "error text position");
static_assert(offsetof(PexoConfigLibrary, shutdown) == 48, "shutdown position");
static_assert(offsetof(PexoConfigLibrary, load_script) == 56, "script loader position");
static_assert(offsetof(PexoCommerceLibrary, init) == 8, "commerce init position");
static_assert(offsetof(PexoCommerceLibrary, error) == 32, "commerce error position");

#endif  // PEXO_EXT_LIBRARY_DESCRIPTORS_H_
