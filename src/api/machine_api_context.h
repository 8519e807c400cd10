// MachineApiContext: the program handle a running machine gives to library
// functions and extensions. Scopes are the machine's current ones; script
// functions run as nested runs of the machine; expressions compile into the
// program's own tables; library functions resolve through the request's
// ExternalCallManager and enter the program's function list; settings go to
// the application.
//
// It is also the machine's MachineExtensions: external calls bind through
// the request's ExternalCallManager and receive this handle. The machine owns
// its context and destroys it before anything else, so local persistent data
// is freed while the machine still works.
#ifndef PEXO_API_MACHINE_API_CONTEXT_H_
#define PEXO_API_MACHINE_API_CONTEXT_H_

#include <memory>
#include <unordered_map>

#include "api/api_context.h"
#include "ext/external_call.h"
#include "vm/machine_extensions.h"

namespace pexo {

class Function;
class PexoVM;
class Segment;
struct ProgramContext;
struct SystemLibrary;
class SystemLibraryManager;

class MachineApiContext : public ApiContext, public MachineExtensions {
 public:
  MachineApiContext(PexoVM* machine, const ProgramContext& context);
  ~MachineApiContext() override;

  // The factory hosts put in ProgramContext::extensions.
  static std::unique_ptr<MachineExtensions> Make(PexoVM* machine, const ProgramContext& context);

  ApiContext* Handle() override { return this; }
  ExternalCall* BindExternal(Function* function, String* error) override;
  bool CheckExternalParameter(const ExternalCall& call, const Function& function, int32_t index,
                              String* error) override;
  Variable* InvokeExternal(ExternalCall* call, VariableHash* scope) override;

  int RunFunction(const char* name, int32_t length, VariableList* parameters,
                  Variable* result) override;
  void* CompileExpression(const char* text, int32_t length, String* error) override;
  int ExecuteExpression(void* code, VariableHash* scope, Variable* result) override;
  int ExecuteExpressionTruth(void* code, VariableHash* scope, int* truth) override;
  void FatalError(const char* text, int32_t length) override;
  int FlushOutput() override;
  const void* LookupExternalFunction(const char* name, int32_t length) override;
  ApiSystemLibrary* SystemLibrary(const char* name) override;
  int SystemLibraryRegistered(const char* name) override;
  const String& SystemLibraryError() override;
  int SetLanguage(const char* name, int32_t length, bool default_language) override;
  int SetDefaultDatabase(const char* name, int32_t length) override;
  int SetProcessName(const char* name, int32_t length) override;
  int ResetGlobalTimeout() override;
  int Sleep(int32_t milliseconds, bool asynchronous) override;
  void* SSLFunction(const char* name) override;

  VariableHash* LocalScope() override;
  VariableHash* GlobalScope() override;
  VariableHash* SystemScope() override;
  Variable* DatabaseField(const char* alias, int32_t alias_length, const char* name,
                          int32_t length) override;

  // The program's function of that name, or a new external entry for a
  // library function; null when neither has it.
  Function* FindFunction(const char* name, int32_t length);

 private:
  class SystemLibraryHandle;
  // A registered segment holding "call <function>", made once per function.
  Segment* CallStub(Function* function);
  bool Unsupported(int result);

  // Result slots of the library functions this machine called, mapped
  // directly by the call's address: a repeated call finds its thread's slot
  // without the call's lock.
  struct CachedSlot {
    ExternalCall* call = nullptr;
    ExternalCall::ResultSlot* slot = nullptr;
  };
  static constexpr size_t kCachedSlots = 16;

  PexoVM* machine_;
  const ProgramContext& program_;
  CachedSlot slots_[kCachedSlots];
  std::unordered_map<const Function*, Segment*> stubs_;
  std::unordered_map<const pexo::SystemLibrary*, std::unique_ptr<SystemLibraryHandle>> libraries_;
};

}  // namespace pexo

#endif  // PEXO_API_MACHINE_API_CONTEXT_H_
