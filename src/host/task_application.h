// TaskApplication: the host object of one background task. It is made on
// the thread of the request that starts the task, from that request's
// configuration, directories and identity, and owns everything the task
// runs with (configuration copy, file manager, library managers, log,
// flags, the cloned machine), so the request may end before the task does.
//
// Run() runs on a task thread: it registers the task with the watchdog,
// starts the task's own deadline (`timeout_async`, 0: none), logs "Request
// Start", runs the cloned machine from the first instruction of the block,
// logs "Request End" and frees the machine. The task writes into no page:
// its output and its messages go to the error log, one record per line.
// A task may not start tasks of its own. It has its own language settings
// (copied from the request's), its own reader of the compiled file for
// localized indexes, its own PxDO contexts, and opens its own databases and
// connections: nothing it runs on belongs to the request.
#ifndef PEXO_HOST_TASK_APPLICATION_H_
#define PEXO_HOST_TASK_APPLICATION_H_

#include <atomic>
#include <cstdint>
#include <ctime>
#include <memory>

#include "host/do_context_cache.h"
#include "host/posix_file_manager.h"
#include "host/request_log.h"
#include "host/script_settings.h"
#include "host/system_log.h"
#include "host/thread_manager.h"
#include "program/tagged_file.h"
#include "values/server_config.h"
#include "values/string.h"
#include "vm/machine_host.h"
#include "vm/pexo_vm.h"

namespace pexo {

class ClonedPexoVM;
class CommerceLibraryManager;
class ExternalCallManager;
class ExternalCallResolver;
class SystemVariableHost;

// What a task takes over from the request that starts it.
struct TaskOrigin {
  const ServerConfig* config = nullptr;
  const char* script_path = "";
  const char* path_info = "";
  const char* query_string = "";
  const char* apitype = "";
  String server_name;
  String server_port;
  String cookies;  // the request's Cookie header, for the log cookie
  // Where the task's records go; null: the system's log.
  SystemLog* log = nullptr;
  // The request's settings; the task starts with a copy of its languages
  // and default database. May be null.
  SystemVariableHost* settings = nullptr;
};

class TaskApplication : public PexoApplication, public TimedApplication,
                        public DoContextHost {
 public:
  explicit TaskApplication(const TaskOrigin& origin);
  ~TaskApplication() override;
  TaskApplication(const TaskApplication&) = delete;
  TaskApplication& operator=(const TaskApplication&) = delete;

  // Sets up the directories and copies `parent` positioned at the block;
  // false with the reason in `error`. On the parent's thread.
  bool Prepare(PexoVM* parent, int32_t isolation, String* error);
  // On the task thread; `threads` (may be null) times the task out.
  void Run(ThreadManager* threads);

  // PexoApplication.
  void Write(const char* bytes, int32_t length) override { Output(bytes, length); }
  void Emit(const char* bytes, int32_t length) override { Output(bytes, length); }
  void SetWhitespaceMode(int32_t) override {}
  void SetHeader(const char*, const char*) override {}
  void WriteMessage(const char* text, int32_t length) override;
  void ReportFatalError(const String& message) override;
  void ReportRuntimeError(int32_t tag, const String& message, bool display) override;
  void ReportTimeout(const char* message) override;
  uint32_t DebugLogLevel() override;
  bool LogFilterAccepts(const char* source_file, int32_t line) override;
  void LogEvent(const TraceEvent& event) override;
  bool PasswordHash(const char* text, int32_t length, const char salt[2],
                    String* result) override {
    return SystemPasswordHash(text, length, salt, result);
  }
  int FlushOutput() override { return 1; }
  int ResetGlobalTimeout() override;
  int StartTask(PexoVM*, int32_t) override { return kTaskInTask; }
  int SetLanguage(const char* name, int32_t length, bool default_language) override {
    return settings_.SetLanguage(name, length, default_language);
  }
  int SetDefaultDatabase(const char* name, int32_t length) override {
    return settings_.SetDefaultDatabase(name, length);
  }
  // DoContextHost: the task's own PxDO contexts, made on first use.
  DoContextCache* DoContexts() override;

  // TimedApplication (the watchdog's thread).
  void CheckTimeouts(time_t now) override;
  void RequestStop() override { flags_.exit.store(1); }

  ClonedPexoVM* machine() const { return machine_.get(); }
  HostFlags* flags() { return &flags_; }

 private:
  void Output(const char* bytes, int32_t length);
  void FlushLines(bool all);
  void StartTimer();
  // Opens the task's own reader of the parent's compiled file; without
  // it only the language indexes the parent had loaded are available.
  TaggedFile* OpenProgram();

  ServerConfig config_;
  PosixFileManager files_;
  volatile int64_t deadline_seen_ = 0;  // the deadline as the settings show it
  ScriptSettings settings_;
  PosixSystemLog own_log_;
  SystemLog* system_log_;
  std::unique_ptr<RequestLog> log_;
  bool log_suppressed_ = false;
  String script_path_;
  String program_path_;  // of the parent machine: the script or a PxDO file
  String path_info_;
  String query_string_;
  String server_name_;
  String server_port_;
  String apitype_;
  String cookies_;
  std::unique_ptr<ExternalCallManager> calls_;
  std::unique_ptr<ExternalCallResolver> resolver_;  // over calls_
  std::unique_ptr<CommerceLibraryManager> commerce_;
  // After files_, before the machine whose localized texts read it.
  TaggedFile reader_;
  HostFlags flags_;
  std::atomic<time_t> deadline_{0};
  String pending_;  // output not yet ended by a newline
  std::unique_ptr<ClonedPexoVM> machine_;
  // After machine_: called files' machines resolve names in its tables.
  std::unique_ptr<DoContextCache> do_contexts_;
};

}  // namespace pexo

#endif  // PEXO_HOST_TASK_APPLICATION_H_
