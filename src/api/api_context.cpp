#include "api/api_context.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "net/network_state.h"
#include "vm/machine_host.h"
#include "values/config.h"
#include "values/variable.h"

namespace pexo {

namespace {
const char kNotAvailable[] = "Function not available in this program";
}  // namespace

ApiContext::ApiContext(PexoApplication* application, FileManager* files, Config* config)
    : application_(application), files_(files), config_(config) {}

ApiContext::~ApiContext() {
  // Local data first: its destructors get this context as their program
  // (and may still close connections).
  local_.reset();
  callbacks_.clear();
  network_.reset();
}

NetworkManager* ApiContext::Network() {
  if (!network_) network_.reset(new PosixNetworkManager(NetworkSettingsFrom(config_)));
  network_->deadline()->Set(application_ ? application_->GlobalDeadline() : 0);
  return network_.get();
}

int ApiContext::RegisterShared(const char* name, int32_t length, void* data,
                               PersistentDataDestructor destructor) {
  if (!shared_) {
    SetError("Application-wide persistent data is not available");
    return 0;
  }
  std::lock_guard<std::mutex> hold(*shared_lock_);
  // The entry outlives this run, so its destructor gets no program.
  return shared_->Register(nullptr, name, length, data, destructor);
}

void* ApiContext::LookupShared(const char* name, int32_t length) {
  if (!shared_) return nullptr;
  std::lock_guard<std::mutex> hold(*shared_lock_);
  return shared_->Lookup(name, length);
}

PersistentTable* ApiContext::LocalPersistent() {
  if (!local_) local_.reset(new PersistentTable(12));
  return local_.get();
}

void ApiContext::Adopt(CallbackVariableCallback* callback) { callbacks_.emplace_back(callback); }

int ApiContext::RunFunction(const char*, int32_t, VariableList*, Variable*) {
  SetError(kNotAvailable);
  return 0;
}

void* ApiContext::CompileExpression(const char*, int32_t, String* error) {
  error->assign("Dynamic expressions are not available in this program");
  return nullptr;
}

int ApiContext::ExecuteExpression(void*, VariableHash*, Variable*) {
  SetError(kNotAvailable);
  return 0;
}

int ApiContext::ExecuteExpressionTruth(void*, VariableHash*, int*) {
  SetError(kNotAvailable);
  return 0;
}

void ApiContext::FatalError(const char* text, int32_t length) {
  String message(text ? text : "", text ? length : 0);
  if (application_) application_->ReportFatalError(message);
  error_.assign(message);
}

int ApiContext::FlushOutput() {
  SetError(kNotAvailable);
  return 0;
}

const void* ApiContext::LookupExternalFunction(const char*, int32_t) { return nullptr; }

ApiSystemLibrary* ApiContext::SystemLibrary(const char* name) {
  error_.assign("System library '");
  error_.append(name ? name : "");
  error_.append("' is not configured");
  return nullptr;
}

int ApiContext::SystemLibraryRegistered(const char*) { return 0; }


int ApiContext::SetCharacterSet(const char* name, int32_t length) {
  if (!name) return 0;
  charset_.assign(name, length);
  return 1;
}

int ApiContext::SetLanguage(const char*, int32_t, bool) {
  SetError(kNotAvailable);
  return 0;
}

int ApiContext::SetDefaultDatabase(const char*, int32_t) {
  SetError(kNotAvailable);
  return 0;
}

int ApiContext::SetProcessName(const char*, int32_t) {
  SetError(kNotAvailable);
  return 0;
}

int ApiContext::ResetGlobalTimeout() {
  SetError(kNotAvailable);
  return 0;
}

int ApiContext::Sleep(int32_t milliseconds, bool) {
  if (milliseconds <= 0) return 1;
  timespec wait{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  while (nanosleep(&wait, &wait) != 0) {
    if (errno != EINTR) return 0;
  }
  return 1;
}

int ApiContext::DeprecatedEnabled(const char* name, int32_t length) {
  return config_ && name ? config_->DeprecatedEnabled(name, length) : 0;
}

void* ApiContext::SSLFunction(const char*) {
  SetError("The TLS library is not loaded");
  return nullptr;
}

char* ApiCopyText(const char* text, int32_t length, int32_t* out_length, int32_t* out_size) {
  if (!text) length = 0;
  if (length < 0) length = static_cast<int32_t>(strlen(text));
  char* copy = static_cast<char*>(malloc(static_cast<size_t>(length) + 1));
  if (!copy) return nullptr;
  if (length > 0) memcpy(copy, text, static_cast<size_t>(length));
  copy[length] = 0;
  if (out_length) *out_length = length;
  if (out_size) *out_size = length + 1;
  return copy;
}

}  // namespace pexo
