// The program family of the extension API: allocation, scopes, functions,
// expressions, output, encoders and persistent data.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "api/api_context.h"
#include "vm/machine_host.h"
#include "io/attribute.h"
#include "values/entity.h"
#include "io/javascript_string.h"
#include "io/json_encode.h"
#include "io/json_variable.h"
#include "values/aggregate_index.h"
#include "values/conversions.h"
#include "values/scope_resolver.h"
#include "values/variable.h"
#include "values/variable_hash.h"
#include "values/variable_list.h"

using namespace pexo;

namespace {

int32_t TextLength(const char* text, int32_t length) {
  if (!text) return 0;
  return length < 0 ? static_cast<int32_t>(strlen(text)) : length;
}

// Encoder results are malloc'd; lengths and sizes are optional.
char* Encoded(char* text, int32_t length, int32_t capacity, int32_t* out_length,
              int32_t* out_size) {
  if (!text) return nullptr;
  if (out_length) *out_length = length;
  if (out_size) *out_size = capacity;
  return text;
}

int AppendScope(VariableHash* scope, PexoVariableList* list) {
  if (!scope || !list) return 0;
  scope->ForEach(AsList(list));
  return 1;
}

}  // namespace

extern "C" {

void* pxProgram_Allocate(PexoProgram*, int32_t size) {
  if (size < 0) return nullptr;
  return malloc(size > 0 ? static_cast<size_t>(size) : 1);
}

void pxProgram_Free(PexoProgram*, void* pointer) { free(pointer); }

PexoVariable* pxProgram_Lookup_Variable(PexoProgram* program, const char* name,
                                        int32_t length) {
  if (!name) return nullptr;
  ApiContext* context = AsContext(program);
  Variable* found = nullptr;
  String error;
  if (!ResolveVariableName(context, name, TextLength(name, length), &found, &error)) {
    context->SetError(error);
    return nullptr;
  }
  return AsHandle(found);
}

PexoVariableHash* pxProgram_Global_VariableHash(PexoProgram* program) {
  return AsHandle(AsContext(program)->GlobalScope());
}

PexoVariableHash* pxProgram_System_VariableHash(PexoProgram* program) {
  return AsHandle(AsContext(program)->SystemScope());
}

int pxProgram_Global_Variables(PexoProgram* program, PexoVariableList* list) {
  return AppendScope(AsContext(program)->GlobalScope(), list);
}

int pxProgram_System_Variables(PexoProgram* program, PexoVariableList* list) {
  return AppendScope(AsContext(program)->SystemScope(), list);
}

int pxProgram_Local_Variables(PexoProgram* program, PexoVariableList* list) {
  return AppendScope(AsContext(program)->LocalScope(), list);
}

const PxFunctionDescriptor* pxProgram_Lookup_ExternalFunction(PexoProgram* program,
                                                              const char* name,
                                                              int32_t length) {
  if (!name) return nullptr;
  return static_cast<const PxFunctionDescriptor*>(
      AsContext(program)->LookupExternalFunction(name, TextLength(name, length)));
}

int pxProgram_RunFunction(PexoProgram* program, const char* name, int32_t length,
                          PexoVariableList* parameters, PexoVariable* result) {
  if (!name) return 0;
  return AsContext(program)->RunFunction(name, TextLength(name, length), AsList(parameters),
                                         AsVariable(result));
}

PexoCode* pxProgram_Compile_Dynamic_Expression(PexoProgram* program, const char* text,
                                               int32_t length, char** error,
                                               int32_t* error_length) {
  if (error) *error = nullptr;
  if (error_length) *error_length = 0;
  String message;
  void* code = text ? AsContext(program)->CompileExpression(text, TextLength(text, length),
                                                            &message)
                    : nullptr;
  if (code) return static_cast<PexoCode*>(code);
  if (!text) message.assign("Empty expression");
  if (error) *error = ApiCopyText(message.data(), message.length(), error_length, nullptr);
  return nullptr;
}

int pxProgram_Execute_Dynamic_Expression(PexoProgram* program, PexoCode* code,
                                         PexoVariableHash* scope, PexoVariable* result) {
  if (!code || !result) return 0;
  return AsContext(program)->ExecuteExpression(code, AsHash(scope), AsVariable(result));
}

int pxProgram_Execute_Dynamic_Expression_Boolean(PexoProgram* program, PexoCode* code,
                                                 PexoVariableHash* scope, int* truth) {
  if (!code || !truth) return 0;
  return AsContext(program)->ExecuteExpressionTruth(code, AsHash(scope), truth);
}

int pxProgram_Compare(PexoProgram*, PexoVariable* a, PexoVariable* b) {
  return CompareVariables(AsVariable(a), AsVariable(b));
}

void pxProgram_FatalError(PexoProgram* program, const char* text, int32_t length) {
  AsContext(program)->FatalError(text ? text : "", TextLength(text, length));
}

int pxProgram_Output(PexoProgram* program, const char* text, int32_t length) {
  ApiContext* context = AsContext(program);
  if (!text || !context->application()) return 0;
  context->application()->Write(text, TextLength(text, length));
  return 1;
}

int pxProgram_Output_Flush(PexoProgram* program) { return AsContext(program)->FlushOutput(); }

int pxProgram_Output_Header(PexoProgram* program, const char* name, const char* value) {
  ApiContext* context = AsContext(program);
  if (!name || !value || !context->application()) return 0;
  context->application()->SetHeader(name, value);
  return 1;
}

char* pxProgram_Entity_Encode(PexoProgram*, const char* text, int32_t length,
                              int32_t* out_length, int32_t* out_size) {
  int32_t n = 0, size = 0;
  char* out = EntityEncode(text ? text : "", TextLength(text, length), &n, &size);
  return Encoded(out, n, size, out_length, out_size);
}

char* pxProgram_Entity_Decode(PexoProgram*, const char* text, int32_t length,
                              int32_t* out_length, int32_t* out_size) {
  int32_t n = 0, size = 0;
  char* out = EntityDecode(text ? text : "", TextLength(text, length), &n, &size);
  return Encoded(out, n, size, out_length, out_size);
}

char* pxProgram_Attribute_Encode(PexoProgram*, const char* text, int32_t length,
                                 int32_t* out_length, int32_t* out_size) {
  int32_t n = 0, size = 0;
  char* out = AttributeEncode(text ? text : "", TextLength(text, length), &n, &size);
  return Encoded(out, n, size, out_length, out_size);
}

char* pxProgram_Attribute_Decode(PexoProgram*, const char* text, int32_t length,
                                 int32_t* out_length, int32_t* out_size) {
  int32_t n = 0, size = 0;
  char* out = AttributeDecode(text ? text : "", TextLength(text, length), &n, &size);
  return Encoded(out, n, size, out_length, out_size);
}

char* pxProgram_JavaScriptString_Encode(PexoProgram* program, const char* text, int32_t length,
                                        int32_t* out_length, int32_t* out_size) {
  const String& charset = AsContext(program)->CharacterSet();
  bool utf8 = IsUTF8Charset(charset.data(), charset.length());
  int32_t n = 0, size = 0;
  char* out = JavaScriptStringEncode(text ? text : "", TextLength(text, length), utf8, &n, &size);
  return Encoded(out, n, size, out_length, out_size);
}

char* pxProgram_JSON_Encode(PexoProgram* program, PexoVariable* variable, int flags,
                            int32_t* out_length, int32_t* out_size) {
  if (!variable) return nullptr;
  const String& charset = AsContext(program)->CharacterSet();
  int32_t n = 0, size = 0;
  char* out = JsonEncode(AsVariable(variable), flags,
                         IsUTF8Charset(charset.data(), charset.length()), &n, &size);
  return Encoded(out, n, size, out_length, out_size);
}

int pxProgram_JSON_Decode(PexoProgram*, const char* text, int32_t length,
                          PexoVariable* variable, char** error, int32_t* error_length,
                          int32_t* error_size) {
  if (error) *error = nullptr;
  String message;
  if (text && JsonDecodeVariable(text, TextLength(text, length), AsVariable(variable), &message))
    return 1;
  if (!text) message.assign("Line #1 - Syntax error: Expected { or [");
  if (error) *error = ApiCopyText(message.data(), message.length(), error_length, error_size);
  return 0;
}

int pxProgram_Register_Persistent(PexoProgram* program, const char* name, int32_t length,
                                  void* data, PxPersistentDestructor destructor) {
  return AsContext(program)->RegisterShared(name, length, data, destructor);
}

void* pxProgram_Lookup_Persistent(PexoProgram* program, const char* name, int32_t length) {
  return AsContext(program)->LookupShared(name, length);
}

int pxProgram_Register_Local_Persistent(PexoProgram* program, const char* name, int32_t length,
                                        void* data, PxPersistentDestructor destructor) {
  ApiContext* context = AsContext(program);
  return context->LocalPersistent()->Register(program, name, length, data, destructor);
}

void* pxProgram_Lookup_Local_Persistent(PexoProgram* program, const char* name,
                                        int32_t length) {
  return AsContext(program)->LocalPersistent()->Lookup(name, length);
}

PexoSystemLibrary* pxProgram_SystemLibrary(PexoProgram* program, const char* name) {
  if (!name) return nullptr;
  return reinterpret_cast<PexoSystemLibrary*>(AsContext(program)->SystemLibrary(name));
}

int pxProgram_SystemLibrary_IsRegistered(PexoProgram* program, const char* name) {
  return name ? AsContext(program)->SystemLibraryRegistered(name) : 0;
}

const char* pxProgram_GetCharacterSet(PexoProgram* program, int32_t* length) {
  const String& charset = AsContext(program)->CharacterSet();
  if (length) *length = charset.length();
  return charset.data();
}

int pxProgram_SetCharacterSet(PexoProgram* program, const char* name, int32_t length) {
  return name ? AsContext(program)->SetCharacterSet(name, TextLength(name, length)) : 0;
}

int pxProgram_CharacterSetIsUTF8(PexoProgram* program) {
  const String& charset = AsContext(program)->CharacterSet();
  return IsUTF8Charset(charset.data(), charset.length()) ? 1 : 0;
}

int pxProgram_SetLanguage(PexoProgram* program, const char* name, int32_t length) {
  return name ? AsContext(program)->SetLanguage(name, TextLength(name, length), false) : 0;
}

int pxProgram_SetDefaultLanguage(PexoProgram* program, const char* name, int32_t length) {
  return name ? AsContext(program)->SetLanguage(name, TextLength(name, length), true) : 0;
}

int pxProgram_SetDefaultDatabase(PexoProgram* program, const char* name, int32_t length) {
  return name ? AsContext(program)->SetDefaultDatabase(name, TextLength(name, length)) : 0;
}

int pxProgram_SetProcessName(PexoProgram* program, const char* name, int32_t length) {
  return name ? AsContext(program)->SetProcessName(name, TextLength(name, length)) : 0;
}

char* pxProgram_MakeSessionID(PexoProgram*, int32_t* length) {
  // 32 hexadecimal digits from the system's random source.
  unsigned char random[16];
  FILE* source = fopen("/dev/urandom", "rb");
  if (!source) return nullptr;
  size_t got = fread(random, 1, sizeof random, source);
  fclose(source);
  if (got != sizeof random) return nullptr;
  static const char kHex[] = "0123456789ABCDEF";
  char text[33];
  for (int i = 0; i < 16; ++i) {
    text[2 * i] = kHex[random[i] >> 4];
    text[2 * i + 1] = kHex[random[i] & 15];
  }
  return ApiCopyText(text, 32, length, nullptr);
}

int pxProgram_ResetGlobalTimeout(PexoProgram* program) {
  return AsContext(program)->ResetGlobalTimeout();
}

int pxProgram_Sleep(PexoProgram* program, int32_t milliseconds) {
  return AsContext(program)->Sleep(milliseconds, false);
}

int pxProgram_Asynchronous_Sleep(PexoProgram* program, int32_t milliseconds) {
  return AsContext(program)->Sleep(milliseconds, true);
}

int pxProgram_Deprecated_Enabled(PexoProgram* program, const char* name, int32_t length) {
  return name ? AsContext(program)->DeprecatedEnabled(name, TextLength(name, length)) : 0;
}

void* pxProgram_SSL_Function(PexoProgram* program, const char* name) {
  return name ? AsContext(program)->SSLFunction(name) : nullptr;
}

void* pxSystemLibrary_GetFunction(PexoSystemLibrary* library, const char* name) {
  if (!library || !name) return nullptr;
  return reinterpret_cast<ApiSystemLibrary*>(library)->Function(name);
}

const char* pxSystemLibrary_Error(PexoProgram* program, PexoSystemLibrary* library,
                                  int32_t* length) {
  const String& text = library ? reinterpret_cast<ApiSystemLibrary*>(library)->Error()
                               : AsContext(program)->SystemLibraryError();
  if (length) *length = text.length();
  return text.data();
}

}  // extern "C"
