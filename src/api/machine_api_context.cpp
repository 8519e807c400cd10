#include "api/machine_api_context.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

#include "api/dynamic_execute.h"
#include "expr/dynamic_expression.h"
#include "ext/external_call.h"
#include "ext/external_call_manager.h"
#include "ext/external_call_resolver.h"
#include "ext/external_function.h"
#include "ext/system_library_manager.h"
#include "program/function.h"
#include "program/function_manager.h"
#include "program/segment.h"
#include "program/segment_manager.h"
#include "values/dictionary.h"
#include "values/variable.h"
#include "values/variable_hash.h"
#include "values/variable_list.h"
#include "vm/machine_host.h"
#include "vm/pexo_vm.h"
#include "vm/vm_frame.h"
#include "vm/vm_stack.h"

namespace pexo {

// Libraries loaded at run time look the API up by name in the program. A
// program linked against the static engine libraries only keeps objects it
// references; every host whose machines call libraries makes this context,
// so it references the table of every exported function.
extern const void* const kApiExports[];
extern const void* const* const kKeepApiExports;
const void* const* const kKeepApiExports = kApiExports;

namespace {

const char kNoHost[] = "Function not available in this program";

// Enters a library function into the program's function list.
Function* AddLibraryFunction(FunctionManager* functions, Dictionary* dictionary,
                             ExternalCallManager* calls, const char* name, int32_t length) {
  ExternalCallResolver resolver(calls);
  ExternalFunctionInfo info;
  if (!functions || !dictionary || !resolver.FindExternalFunction(name, length, &info))
    return nullptr;
  return AddExternalFunctionEntry(functions, dictionary, name, length, info);
}

}  // namespace

// A configured system library as the API hands it out.
class MachineApiContext::SystemLibraryHandle : public ApiSystemLibrary {
 public:
  SystemLibraryHandle(SystemLibraryManager* manager, pexo::SystemLibrary* library)
      : manager_(manager), library_(library) {}
  void* Function(const char* name) override { return manager_->GetFunction(library_, name); }
  const String& Error() const override { return manager_->ErrorText(library_); }

 private:
  SystemLibraryManager* manager_;
  pexo::SystemLibrary* library_;
};

MachineApiContext::MachineApiContext(PexoVM* machine, const ProgramContext& context)
    : ApiContext(context.application, context.files, context.config),
      machine_(machine),
      program_(context) {
  SetScriptDirectory(machine->base_directory().data(), machine->base_directory().length());
  if (context.shared_persistent && context.shared_persistent_lock)
    SetSharedPersistent(context.shared_persistent, context.shared_persistent_lock);
}

MachineApiContext::~MachineApiContext() = default;

std::unique_ptr<MachineExtensions> MachineApiContext::Make(PexoVM* machine,
                                                           const ProgramContext& context) {
  return std::make_unique<MachineApiContext>(machine, context);
}

ExternalCall* MachineApiContext::BindExternal(Function* function, String* error) {
  return BindExternalFunction(program_.calls, function, error);
}

bool MachineApiContext::CheckExternalParameter(const ExternalCall& call, const Function& function,
                                               int32_t index, String* error) {
  if (ExternalParameterMatches(call, function, index)) return true;
  error->assign(kExternalParameterMismatch);
  return false;
}

Variable* MachineApiContext::InvokeExternal(ExternalCall* call, VariableHash* scope) {
  CachedSlot& cached = slots_[(reinterpret_cast<uintptr_t>(call) >> 4) % kCachedSlots];
  // A machine may be run by another thread than the one that filled the
  // entry (a task's clone): the slot must be the running thread's.
  if (cached.call != call || cached.slot->thread != std::this_thread::get_id()) {
    cached.call = call;
    cached.slot = call->SlotOfThisThread();
  }
  return call->Invoke(AsHandle(static_cast<ApiContext*>(this)), scope, cached.slot);
}

bool MachineApiContext::Unsupported(int result) {
  if (!result) SetError(kNoHost);
  return result != 0;
}

VariableHash* MachineApiContext::LocalScope() { return machine_->local_scope(); }
VariableHash* MachineApiContext::GlobalScope() { return program_.globals; }
VariableHash* MachineApiContext::SystemScope() { return program_.system; }
Variable* MachineApiContext::DatabaseField(const char* alias, int32_t alias_length,
                                           const char* name, int32_t length) {
  MachineDatabases* databases = machine_->open_databases();
  return databases ? databases->Field(alias, alias_length, name, length) : nullptr;
}

Function* MachineApiContext::FindFunction(const char* name, int32_t length) {
  if (!name || !program_.functions) return nullptr;
  Function* function = program_.functions->find(name, length);
  if (function) return function;
  return AddLibraryFunction(program_.functions, program_.dictionary, program_.calls, name,
                            length);
}

Segment* MachineApiContext::CallStub(Function* function) {
  auto known = stubs_.find(function);
  if (known != stubs_.end()) return known->second;
  Segment* stub = program_.segments ? program_.segments->add_segment() : nullptr;
  if (!stub || !stub->put_word(0, 0x403D) || !stub->put_dword(2, function->number()))
    return nullptr;
  stubs_[function] = stub;
  return stub;
}

int MachineApiContext::RunFunction(const char* name, int32_t length, VariableList* parameters,
                                   Variable* result) {
  Function* function = FindFunction(name, length);
  if (!function) {
    error_.assign("Unable to find function '");
    error_.append(name ? name : "", name ? length : 0);
    error_.append("'");
    return 0;
  }
  const int32_t declared = static_cast<int32_t>(function->parameters().size());
  const int32_t given = parameters ? parameters->Count() : 0;
  if (given != declared) {
    char counts[64];
    std::snprintf(counts, sizeof(counts), " parameters and was called with %d", given);
    error_.assign("Function '");
    error_.append(function->name());
    error_.append("' is defined with ");
    error_.append(std::to_string(declared).c_str());
    error_.append(counts);
    return 0;
  }
  Segment* stub = CallStub(function);
  if (!stub) {
    SetError("Unable to prepare the function call");
    return 0;
  }
  return machine_->run_call(stub, parameters, result, &error_);
}

void* MachineApiContext::CompileExpression(const char* text, int32_t length, String* error) {
  ExternalCallResolver resolver(program_.calls);
  ExpressionProgram program;
  program.externals = &resolver;
  program.segments = program_.segments;
  program.dictionary = program_.dictionary;
  program.functions = program_.functions;
  if (!program.segments || !program.dictionary || !program.functions) {
    error->assign("Dynamic expressions are not available in this program");
    return nullptr;
  }
  return CompileDynamicExpression(program, text, length, error);
}

int MachineApiContext::ExecuteExpression(void* code, VariableHash* scope, Variable* result) {
  if (!code) return 0;
  return ExecuteDynamicExpression(machine_, static_cast<Segment*>(code), scope, result) ? 1 : 0;
}

int MachineApiContext::ExecuteExpressionTruth(void* code, VariableHash* scope, int* truth) {
  if (!code) return 0;
  return ExecuteDynamicExpressionBoolean(machine_, static_cast<Segment*>(code), scope, truth)
             ? 1
             : 0;
}

void MachineApiContext::FatalError(const char* text, int32_t length) {
  String message(text ? text : "", text ? length : 0);
  error_.assign(message);
  machine_->fatal_error(message.c_str());
}

int MachineApiContext::FlushOutput() {
  return Unsupported(application_ ? application_->FlushOutput() : 0);
}

const void* MachineApiContext::LookupExternalFunction(const char* name, int32_t length) {
  if (!name) return nullptr;
  Function* function = program_.functions ? program_.functions->find(name, length) : nullptr;
  if (!function || !function->is_external())
    function = AddLibraryFunction(program_.functions, program_.dictionary, program_.calls, name,
                                  length);
  if (function && function->binding())
    return &static_cast<ExternalCall*>(function->binding())->descriptor();
  // Without a function list the manager still answers.
  ExternalCall* call = program_.calls ? program_.calls->Find(name, length) : nullptr;
  return call ? &call->descriptor() : nullptr;
}

ApiSystemLibrary* MachineApiContext::SystemLibrary(const char* name) {
  SystemLibraryManager* manager = program_.system_libraries;
  if (!manager) return ApiContext::SystemLibrary(name);
  pexo::SystemLibrary* library = manager->Get(name, -1);
  if (!library) {
    error_.assign(manager->ErrorText());
    return nullptr;
  }
  std::unique_ptr<SystemLibraryHandle>& handle = libraries_[library];
  if (!handle) handle.reset(new SystemLibraryHandle(manager, library));
  return handle.get();
}

int MachineApiContext::SystemLibraryRegistered(const char* name) {
  return program_.system_libraries && program_.system_libraries->IsRegistered(name) ? 1 : 0;
}

const String& MachineApiContext::SystemLibraryError() {
  return program_.system_libraries ? program_.system_libraries->ErrorText() : error_;
}

int MachineApiContext::SetLanguage(const char* name, int32_t length, bool default_language) {
  return Unsupported(application_ ? application_->SetLanguage(name, length, default_language) : 0);
}

int MachineApiContext::SetDefaultDatabase(const char* name, int32_t length) {
  return Unsupported(application_ ? application_->SetDefaultDatabase(name, length) : 0);
}

int MachineApiContext::SetProcessName(const char* name, int32_t length) {
  return Unsupported(application_ ? application_->SetProcessName(name, length) : 0);
}

int MachineApiContext::ResetGlobalTimeout() {
  return Unsupported(application_ ? application_->ResetGlobalTimeout() : 0);
}

int MachineApiContext::Sleep(int32_t milliseconds, bool) {
  // Slices, so that a time-out or exit during the sleep ends it early.
  const int32_t kSlice = 50;
  while (milliseconds > 0) {
    if (machine_->stopping()) return 0;
    int32_t now = milliseconds < kSlice ? milliseconds : kSlice;
    timespec wait{0, now * 1000000L};
    while (nanosleep(&wait, &wait) != 0)
      if (errno != EINTR) return 0;
    milliseconds -= now;
  }
  return machine_->stopping() ? 0 : 1;
}

void* MachineApiContext::SSLFunction(const char* name) {
  void* function = application_ ? application_->SSLFunction(name) : nullptr;
  if (!function) SetError("The TLS library is not loaded");
  return function;
}

}  // namespace pexo
