// ApiContext: what the exported extension API needs of the program run that
// called into it. The PexoProgram handle a library receives is a pointer to
// the run's ApiContext: whoever calls a library function (the machine, the
// commerce tag, a database library) passes its context as the program.
//
// The host supplies the application, the file manager and the
// configuration; the machine overrides the hooks it implements (function
// runs, dynamic expressions, scopes). A hook that is not implemented fails
// and leaves its reason in ErrorText(). The context owns the run's local
// persistent data and the callback objects of callback structures; both die
// with it, so it must outlive every variable bound to them.
#ifndef PEXO_API_API_CONTEXT_H_
#define PEXO_API_API_CONTEXT_H_

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "ext/persistent_table.h"
#include "pexo/pexo.h"
#include "values/scope_resolver.h"
#include "values/string.h"

namespace pexo {

class CallbackVariableCallback;
class Config;
class File;
class FileManager;
class LinkBuffer;
class NetworkManager;
class PexoApplication;
class Variable;
class VariableHash;
class VariableList;

// A configured system library as extensions see it; the handle of
// pxProgram_SystemLibrary points to one, owned by the library manager.
class ApiSystemLibrary {
 public:
  virtual ~ApiSystemLibrary() = default;
  // The address of an exported function, or null with Error() set.
  virtual void* Function(const char* name) = 0;
  virtual const String& Error() const = 0;
};

class ApiContext : public ScopeContext {
 public:
  // Any of the three may be null; the functions that need a missing one
  // fail with a message.
  ApiContext(PexoApplication* application, FileManager* files, Config* config);
  ApiContext(const ApiContext&) = delete;
  ApiContext& operator=(const ApiContext&) = delete;
  ~ApiContext() override;

  PexoApplication* application() const { return application_; }
  FileManager* files() const { return files_; }
  Config* config() const { return config_; }

  // The directory of the running script (relative script-location paths).
  void SetScriptDirectory(const char* path, int32_t length) { script_dir_.assign(path, length); }
  const String& script_directory() const { return script_dir_; }

  // Application-wide persistent data: a table that outlives the run (not
  // owned) and the lock that guards it, both shared by all requests.
  void SetSharedPersistent(PersistentTable* table, std::mutex* lock) {
    shared_ = table;
    shared_lock_ = lock;
  }
  int RegisterShared(const char* name, int32_t length, void* data,
                     PersistentDataDestructor destructor);
  void* LookupShared(const char* name, int32_t length);
  // The run's own persistent data (made on first use).
  PersistentTable* LocalPersistent();

  // The manager of the network family's connections (made on first use
  // from the configuration), its deadline brought up to the request's.
  NetworkManager* Network();

  // Keeps a callback object alive as long as the run.
  void Adopt(CallbackVariableCallback* callback);

  // Hooks of the machine.
  virtual int RunFunction(const char* name, int32_t length, VariableList* parameters,
                          Variable* result);
  // Compiled code owned by the context, or null with `error`.
  virtual void* CompileExpression(const char* text, int32_t length, String* error);
  virtual int ExecuteExpression(void* code, VariableHash* scope, Variable* result);
  virtual int ExecuteExpressionTruth(void* code, VariableHash* scope, int* truth);
  virtual void FatalError(const char* text, int32_t length);
  virtual int FlushOutput();
  // The descriptor of a library function, or null.
  virtual const void* LookupExternalFunction(const char* name, int32_t length);
  // Configured system libraries.
  virtual ApiSystemLibrary* SystemLibrary(const char* name);
  virtual int SystemLibraryRegistered(const char* name);
  // The manager's last error (a failed SystemLibrary).
  virtual const String& SystemLibraryError() { return error_; }
  // Character set and the other settings forwarded to the host.
  virtual const String& CharacterSet() { return charset_; }
  virtual int SetCharacterSet(const char* name, int32_t length);
  virtual int SetLanguage(const char* name, int32_t length, bool default_language);
  virtual int SetDefaultDatabase(const char* name, int32_t length);
  virtual int SetProcessName(const char* name, int32_t length);
  virtual int ResetGlobalTimeout();
  // Sleeps; 0 when the run was stopped meanwhile.
  virtual int Sleep(int32_t milliseconds, bool asynchronous);
  virtual int DeprecatedEnabled(const char* name, int32_t length);
  virtual void* SSLFunction(const char* name);

  // ScopeContext: no scopes unless the machine provides them.
  VariableHash* LocalScope() override { return nullptr; }
  VariableHash* GlobalScope() override { return nullptr; }
  VariableHash* SystemScope() override { return nullptr; }

  const String& ErrorText() const { return error_; }
  void SetError(const char* text) { error_.assign(text); }
  void SetError(const String& text) { error_.assign(text); }

 protected:
  PexoApplication* application_;
  FileManager* files_;
  Config* config_;
  String script_dir_;
  String charset_;
  String error_;

 private:
  PersistentTable* shared_ = nullptr;
  std::mutex* shared_lock_ = nullptr;
  std::unique_ptr<PersistentTable> local_;
  std::vector<std::unique_ptr<CallbackVariableCallback>> callbacks_;
  std::unique_ptr<NetworkManager> network_;
};

// Handle conversions: every API handle is the engine object itself.
inline ApiContext* AsContext(PexoProgram* p) { return reinterpret_cast<ApiContext*>(p); }
inline PexoProgram* AsHandle(ApiContext* c) { return reinterpret_cast<PexoProgram*>(c); }
inline Variable* AsVariable(PexoVariable* v) { return reinterpret_cast<Variable*>(v); }
inline PexoVariable* AsHandle(Variable* v) { return reinterpret_cast<PexoVariable*>(v); }
inline VariableHash* AsHash(PexoVariableHash* h) { return reinterpret_cast<VariableHash*>(h); }
inline PexoVariableHash* AsHandle(VariableHash* h) {
  return reinterpret_cast<PexoVariableHash*>(h);
}
inline VariableList* AsList(PexoVariableList* l) { return reinterpret_cast<VariableList*>(l); }
inline PexoVariableList* AsHandle(VariableList* l) {
  return reinterpret_cast<PexoVariableList*>(l);
}
inline LinkBuffer* AsBuffer(PexoLinkBuffer* b) { return reinterpret_cast<LinkBuffer*>(b); }
inline File* AsFile(PexoFile* f) { return reinterpret_cast<File*>(f); }
inline PexoFile* AsHandle(File* f) { return reinterpret_cast<PexoFile*>(f); }

// An allocated, zero-terminated copy of `length` bytes for the caller to
// free with free(); sets *out_length and *out_size (each may be null). Null
// when memory runs out.
char* ApiCopyText(const char* text, int32_t length, int32_t* out_length, int32_t* out_size);

// Keeps every exported function linked into programs that link the static
// engine (libraries loaded later resolve them through the program). Returns
// the number of exported functions.
int32_t ApiExportCount();

}  // namespace pexo

#endif  // PEXO_API_API_CONTEXT_H_
