// ServerApplication: one web request from the server's call to the finished
// response, independent of the server that delivers it.
//
// Execute runs the request steps in a fixed order; the first failing step
// writes its message (with the default headers) and stops the request before
// any script code runs. The application owns what the request creates and
// composes the pieces each step uses: the system variables filled from the
// server (RequestVariables), the message writer and error reporters
// (RequestMessages), the timers the watchdog checks (RequestDeadlines), the
// settings scripts change (ScriptSettings), the query string and body
// (RequestContent) with its uploads (RequestUploads). The request's memory
// account (limit `max_request_memory`) stops the machine through the
// time-out flag, with the reason kStopMemoryLimit.
//
// Lifetime: the binding creates one application per request on the request
// thread, registers it with the thread manager, calls Execute once,
// unregisters it and deletes it. The request and the configuration file are
// borrowed and must outlive the application. Function libraries come from
// the process-wide library manager when one was started.
#ifndef PEXO_HOST_SERVER_APPLICATION_H_
#define PEXO_HOST_SERVER_APPLICATION_H_

#include <cstdint>
#include <ctime>
#include <memory>
#include <vector>

#include "host/do_context_cache.h"
#include "host/posix_file_manager.h"
#include "host/request_content.h"
#include "host/request_deadlines.h"
#include "host/request_log.h"
#include "host/request_memory.h"
#include "host/request_messages.h"
#include "host/request_uploads.h"
#include "host/request_variables.h"
#include "host/script_settings.h"
#include "host/system_log.h"
#include "host/thread_manager.h"
#include "l10n/localizer.h"
#include "io/server_output.h"
#include "program/program_image.h"
#include "program/tagged_file.h"
#include "values/server_config.h"
#include "values/string.h"
#include "vm/machine_host.h"
#include "vm/pexo_vm.h"

namespace pexo {

class CommerceLibraryManager;
class ConfigFile;
class TaskApplication;
class ExternalCallManager;
class ExternalCallResolver;
class ProgramCache;
class ServerRequest;
class SystemVariableHash;
class VariableHash;

class ServerApplication : public PexoApplication, public TimedApplication,
                          public DoContextHost {
 public:
  // Reads PATH_INFO, PATH_TRANSLATED and QUERY_STRING and captures the
  // process and thread ids. `config_file` may be null (built-in defaults).
  ServerApplication(ServerRequest* request, const ConfigFile* config_file);
  ~ServerApplication() override;

  // 0 after a request that ran, 1 after a request stopped during set-up.
  int Execute();

  // PexoApplication.
  void Write(const char* bytes, int32_t length) override { current_->Write(bytes, length); }
  void Emit(const char* bytes, int32_t length) override { current_->Emit(bytes, length); }
  void SetWhitespaceMode(int32_t mode) override { current_->SetWhitespaceMode(mode); }
  void SetHeader(const char* name, const char* value) override { current_->SetHeader(name, value); }
  void WriteMessage(const char* text, int32_t length) override {
    messages_.WriteMessage(text, length);
  }
  void ReportFatalError(const String& message) override { messages_.ReportFatalError(message); }
  void ReportRuntimeError(int32_t tag, const String& message, bool display) override {
    messages_.ReportRuntimeError(tag, message, display);
  }
  void ReportTimeout(const char* message) override { messages_.ReportTimeout(message); }
  uint32_t DebugLogLevel() override;
  bool LogFilterAccepts(const char* source_file, int32_t line) override;
  void LogEvent(const TraceEvent& event) override;
  bool PasswordHash(const char* text, int32_t length, const char salt[2],
                    String* result) override;
  int FlushOutput() override { return current_->Flush(); }
  int SetLanguage(const char* name, int32_t length, bool default_language) override {
    return settings_.SetLanguage(name, length, default_language);
  }
  int SetDefaultDatabase(const char* name, int32_t length) override {
    return settings_.SetDefaultDatabase(name, length);
  }
  int SetProcessName(const char* name, int32_t length) override {
    return settings_.SetProcessName(name, length);
  }
  int ResetGlobalTimeout() override;
  // Copies the machine for a background task that starts on the task
  // threads once this request has answered.
  int StartTask(PexoVM* machine, int32_t isolation) override;
  // The threads background tasks run on; without them a request cannot
  // start tasks. Borrowed.
  void set_task_threads(ThreadManager* threads) { task_threads_ = threads; }
  // The process's program cache; without one every request loads its
  // program. Borrowed.
  void set_program_cache(ProgramCache* cache) { program_cache_ = cache; }

  // Captures and mail bodies divert the current output; messages and the
  // final Send always use the response's own output.
  Output* CurrentOutput() override { return current_; }
  // A null output puts the request's own output back.
  Output* SetOutput(Output* output) override;
  // DoContextHost: the request's PxDO contexts, made on first use.
  DoContextCache* DoContexts() override;
  int64_t GlobalDeadline() override { return deadlines_.global_deadline_ms(); }

  void ReportInputError(const String& message) { messages_.ReportInputError(message); }
  void SetFailureStatus(int code) { messages_.SetFailureStatus(code); }
  void ConfigurationError(const char* message) { messages_.ConfigurationError(message); }
  void DefaultHeaders() { messages_.DefaultHeaders(); }

  // Timers and the watchdog's entry (seconds since the epoch).
  void StartGlobalTimer() { deadlines_.StartGlobalTimer(); }
  void StartPostTimer() { deadlines_.StartPostTimer(); }
  void StopPostTimer() { deadlines_.StopPostTimer(); }
  void CheckTimeouts(time_t now) override { deadlines_.CheckTimeouts(now); }
  // Asks the running machine to stop (process shut-down).
  void RequestStop() override { deadlines_.RequestStop(); }

  // The settings scripts change, as the live variables see them.
  const String& Setting(int32_t setting) { return settings_.Setting(setting); }
  void SetSetting(int32_t setting, const char* text, int32_t length) {
    settings_.SetSetting(setting, text, length);
  }
  int32_t SettingChanges(int32_t setting) { return settings_.SettingChanges(setting); }
  const String& ProcessName() { return settings_.ProcessName(); }

  // For the bindings and tests.
  ServerRequest* request() const { return request_; }
  ServerOutput* output() const { return output_.get(); }
  ServerConfig* config() { return &config_; }
  PosixFileManager* file_manager() { return &files_; }
  ProgramImage* image() { return image_.get(); }
  PexoVM* machine() const { return machine_.get(); }
  SystemVariableHash* system_variables() const { return system_; }
  VariableHash* global_variables() const { return globals_; }
  RequestFlags* flags() { return deadlines_.flags(); }
  MemoryAccount* memory() { return memory_.account(); }
  ScriptSettings* settings() { return &settings_; }
  const String& script_path() const { return script_path_; }
  const String& path_info() const { return path_info_; }
  // PATH_INFO + "?" + QUERY_STRING.
  const String& document_request() const { return document_request_; }
  time_t global_deadline() const { return deadlines_.global_deadline(); }
  bool log_suppressed() const { return log_suppressed_; }

  // Sets a system variable; text is copied.
  void SetSystemVariable(const char* name, const char* value, int32_t length = -1) {
    variables_.Set(name, value, length);
  }
  void SetSystemInteger(const char* name, int32_t value) { variables_.SetInteger(name, value); }

 protected:
  // Fills the request's configuration (step 3); the default applies the
  // configuration file's sections for PATH_INFO. A binding may add to it.
  virtual void LoadServerConfiguration(ServerConfig* config);
  // Whole seconds since the epoch (a seam so tests need not sleep).
  virtual int64_t Now() const;
  // Where the error and slow-request records go.
  virtual SystemLog* system_log() { return &system_log_; }
  // Where a task's records go; it must outlive the task. Null: the
  // system's log.
  virtual SystemLog* task_system_log() { return nullptr; }

 private:
  // The set-up steps, in the order Execute runs them.
  bool LoadConfiguration();
  bool ValidatePaths();
  bool LoadProgram();
  // "hit" or "miss" and the cache's counts, for the logs.
  void ProgramCacheSummary(String* out) const;
  bool SetDataDirectory();
  bool CreateMachine();
  bool FillEngineVariables();
  void RunMachine();
  void Release();
  // Hands the tasks the run started to the task threads.
  void StartPendingTasks();

  // First, so that it counts everything the request allocates and goes last.
  RequestMemory memory_;
  ServerRequest* request_;
  const ConfigFile* config_file_;
  ServerConfig config_;
  std::unique_ptr<ServerOutput> output_;
  // Where script text goes: output_, or a diverting output a tag installed.
  Output* current_;
  PosixFileManager files_;
  PosixSystemLog system_log_;
  std::unique_ptr<RequestLog> log_;
  RequestVariables variables_;
  RequestDeadlines deadlines_;
  RequestMessages messages_;
  ScriptSettings settings_;
  RequestUploads uploads_;
  RequestContent content_;
  // Declared after files_ so they are destroyed first.
  std::unique_ptr<TaggedFile> reader_;
  std::unique_ptr<ProgramImage> image_;
  SystemVariableHash* system_ = nullptr;
  VariableHash* globals_ = nullptr;
  std::unique_ptr<ExternalCallManager> calls_;
  std::unique_ptr<ExternalCallResolver> resolver_;  // over calls_
  std::unique_ptr<Localizer> localizer_;
  // Before machine_, so a commerce service still finds its library.
  std::unique_ptr<CommerceLibraryManager> commerce_;
  std::unique_ptr<PexoVM> machine_;
  // After machine_ and the variable tables, so it goes before them.
  std::unique_ptr<DoContextCache> do_contexts_;
  ThreadManager* task_threads_ = nullptr;
  ProgramCache* program_cache_ = nullptr;
  // How this request's program came: 0 not through the cache, 1 hit, 2 miss.
  int program_cache_result_ = 0;
  // Tasks started by the run, each holding a reservation of task_threads_.
  std::vector<std::shared_ptr<TaskApplication>> pending_tasks_;

  String path_info_;
  String path_translated_;
  String query_string_;
  String document_request_;
  String script_root_;
  String script_path_;
  bool log_suppressed_ = false;
};

}  // namespace pexo

#endif  // PEXO_HOST_SERVER_APPLICATION_H_
