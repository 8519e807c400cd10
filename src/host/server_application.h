// ServerApplication: one web request from the server's call to the finished
// response, independent of the server that delivers it.
//
// Execute runs the request steps in a fixed order; the first failing step
// writes its message (with the default headers) and stops the request before
// any script code runs. Messages leave at once through the message writer,
// bypassing captures. The watchdog calls CheckTimeouts from its own thread;
// the flags it sets are plain integers the request thread polls. The
// request's memory account (limit `max_request_memory`) stops the machine
// through the same time-out flag, with the reason kStopMemoryLimit.
//
// Lifetime: the binding creates one application per request on the request
// thread, registers it with the thread manager, calls Execute once,
// unregisters it and deletes it. The request and the configuration file are
// borrowed and must outlive the application. Function libraries come from
// the process-wide library manager when one was started.
#ifndef PEXO_HOST_SERVER_APPLICATION_H_
#define PEXO_HOST_SERVER_APPLICATION_H_

#include <sys/time.h>
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "vm/machine_host.h"
#include "host/file_byte_stream.h"
#include "host/file_path.h"
#include "host/posix_file_manager.h"
#include "host/request_log.h"
#include "host/request_memory.h"
#include "values/server_config.h"
#include "host/system_log.h"
#include "host/thread_manager.h"
#include "io/content_parser.h"
#include "io/server_output.h"
#include "io/upload.h"
#include "program/program_image.h"
#include "program/tagged_file.h"
#include "values/string.h"
#include "values/system_variables.h"
#include "vm/error_table.h"
#include "vm/pexo_vm.h"

namespace pexo {

class ConfigFile;
class ExternalCallManager;
class ServerRequest;
class SystemVariableHash;
class VariableHash;

// What the machine and the watchdog share: written by one thread, read by
// another, so each is atomic. `machine.timeout` is the timed-out flag the
// run loop polls; `machine.exit` stops the run at shut-down.
struct RequestFlags {
  HostFlags machine;
  std::atomic<int32_t> post_timed_out{0};
  std::atomic<int64_t> ticks{0};
};

class ServerApplication : public PexoApplication,
                          public TimedApplication,
                          public SystemVariableHost,
                          public ErrorSettingsSink,
                          public UploadCallbacks,
                          public UploadFileFactory {
 public:
  // Reads PATH_INFO, PATH_TRANSLATED and QUERY_STRING and captures the
  // process and thread ids. `config_file` may be null (built-in defaults).
  ServerApplication(ServerRequest* request, const ConfigFile* config_file);
  ~ServerApplication() override;

  // 0 after a request that ran, 1 after a request stopped during set-up.
  int Execute();

  // PexoApplication.
  void Write(const char* bytes, int32_t length) override;
  void Emit(const char* bytes, int32_t length) override;
  void SetWhitespaceMode(int32_t mode) override;
  void SetHeader(const char* name, const char* value) override;
  void WriteMessage(const char* text, int32_t length) override;
  void ReportFatalError(const String& message) override;
  void ReportRuntimeError(int32_t tag, const String& message, bool display) override;
  void ReportTimeout(const char* message) override;
  uint32_t DebugLogLevel() override;
  bool LogFilterAccepts(const char* source_file, int32_t line) override;
  void LogEvent(const TraceEvent& event) override;
  bool PasswordHash(const char* text, int32_t length, const char salt[2],
                    String* result) override;
  int FlushOutput() override;
  int SetLanguage(const char* name, int32_t length, bool default_language) override;
  int SetDefaultDatabase(const char* name, int32_t length) override;
  int SetProcessName(const char* name, int32_t length) override;
  int ResetGlobalTimeout() override;

  void ReportInputError(const String& message);
  // Answers with `code` (404, 400, 408, 413, 500, 503 ...) unless a status
  // was set already (by the script or an earlier failure) or has left.
  void SetFailureStatus(int code);
  // Status 500 and "Configuration Error: " + message (+ the administrator).
  void ConfigurationError(const char* message);
  // Content-Type and, with `cookies` on, the caller-id cookie; once.
  void DefaultHeaders();

  // Timers and the watchdog's entry (seconds since the epoch).
  void StartGlobalTimer() override;
  void StartPostTimer() override;
  void StopPostTimer() override;
  void CheckTimeouts(time_t now) override;
  // Asks the running machine to stop (process shut-down).
  void RequestStop() override;

  // SystemVariableHost.
  const String& Setting(int32_t setting) override;
  void SetSetting(int32_t setting, const char* text, int32_t length) override;
  int32_t SettingChanges(int32_t setting) override;
  int32_t SSLAvailable() override { return 0; }
  const String& ProcessName() override { return process_name_; }
  const volatile int64_t* GlobalDeadline() override { return &deadline_seen_; }
  bool Library(int32_t kind, int32_t index, String* name, String* value) override;

  // ErrorSettingsSink: configured tag error flags, applied to the machine
  // once it exists.
  bool SetTagErrorFlags(const char* name, int32_t length, int32_t flags) override;

  // UploadCallbacks: the script's two upload functions.
  UploadCallResult ValidateFileUpload(const String& field, const String& file_name,
                                      const String& content_type, int32_t* result) override;
  UploadCallResult ProcessFileUpload(const String& field, const String& file_name,
                                     const char* status, const String& path,
                                     const String& content_type, int64_t received) override;
  // UploadFileFactory: "PEXO_FUP" files at the top of the data directory.
  UploadFile* CreateTemporaryFile(String* path) override;
  void DeleteFile(const String& path) override;

  // For the bindings and tests.
  ServerRequest* request() const { return request_; }
  ServerOutput* output() const { return output_.get(); }
  ServerConfig* config() { return &config_; }
  PosixFileManager* file_manager() { return &files_; }
  ProgramImage* image() { return image_.get(); }
  PexoVM* machine() const { return machine_.get(); }
  SystemVariableHash* system_variables() const { return system_; }
  VariableHash* global_variables() const { return globals_; }
  RequestFlags* flags() { return &flags_; }
  MemoryAccount* memory() { return memory_.account(); }
  const String& script_path() const { return script_path_; }
  const String& path_info() const { return path_info_; }
  // PATH_INFO + "?" + QUERY_STRING.
  const String& document_request() const { return document_request_; }
  time_t global_deadline() const { return global_deadline_.load(); }
  bool log_suppressed() const { return log_suppressed_; }

  // Sets a system variable; text is copied.
  void SetSystemVariable(const char* name, const char* value, int32_t length = -1);
  void SetSystemInteger(const char* name, int32_t value);

 protected:
  // Fills the request's configuration (step 3); the default applies the
  // configuration file's sections for PATH_INFO. A binding may add to it.
  virtual void LoadServerConfiguration(ServerConfig* config);
  // Whole seconds since the epoch (a seam so tests need not sleep).
  virtual int64_t Now() const;
  // Where the error and slow-request records go.
  virtual SystemLog* system_log() { return &system_log_; }

 private:
  bool LoadConfiguration();
  bool ValidatePaths();
  bool LoadProgram();
  bool SetDataDirectory();
  bool CreateMachine();
  void FillServerVariables();
  bool FillEngineVariables();
  void FillArguments();
  bool ParseQueryString();
  void FillIdentityVariables();
  bool ReadBody();
  // One read of the body bounded by the running deadline; kBodyTimedOut
  // once it has passed.
  int32_t ReadPiece(char* buffer, int32_t size);
  // The body's deadline: the POST timer's, or the global one while an
  // accepted upload has the POST timer stopped; 0 for none.
  int64_t BodyDeadline() const;
  bool BodyFailed(int32_t failure);
  bool ContentFailed(ContentFailure failure, const String& message);
  void RunMachine();
  void CallerIdCookie();
  void ReportToErrorLog(int32_t category, int32_t code, const String& message);
  String ServerVariable(const char* name);
  void Release();

  // First, so that it counts everything the request allocates and goes last.
  RequestMemory memory_;
  ServerRequest* request_;
  const ConfigFile* config_file_;
  ServerConfig config_;
  std::unique_ptr<ServerOutput> output_;
  PosixFileManager files_;
  PosixSystemLog system_log_;
  std::unique_ptr<RequestLog> log_;
  // Declared after files_ so they are destroyed first.
  std::unique_ptr<TaggedFile> reader_;
  std::unique_ptr<ProgramImage> image_;
  SystemVariableHash* system_ = nullptr;
  VariableHash* globals_ = nullptr;
  std::unique_ptr<ExternalCallManager> calls_;
  std::unique_ptr<PexoVM> machine_;

  String path_info_;
  String path_translated_;
  String query_string_;
  String document_request_;
  String script_root_;
  String script_path_;
  String process_name_;
  RequestSettings settings_;
  // Tag error flags from the configuration; -1 = keep the default.
  int32_t tag_flags_[kTagCount];
  struct timeval started_;
  pid_t process_id_;
  uint32_t thread_id_;
  RequestFlags flags_;
  std::atomic<time_t> global_deadline_{0};
  std::atomic<time_t> post_deadline_{0};
  // The same two deadlines on the steady clock (ms), for body reads; set
  // and read on the request thread.
  int64_t global_deadline_ms_ = 0;
  int64_t post_deadline_ms_ = 0;
  // The deadline of the body read in progress (0: none), for the watchdog.
  std::atomic<int64_t> body_deadline_{0};
  // The global deadline as the request thread last set it, for
  // "dyn_time_remaining" (read on the same thread).
  volatile int64_t deadline_seen_ = 0;
  bool log_suppressed_ = false;
  bool defaults_done_ = false;
};

// Request-step helpers, exposed for tests.

// Splits a query string at "+" into URL-decoded arguments.
void SplitArguments(const char* query, int32_t length, std::vector<std::string>* args);
// "http://host[:port]/path?" from the server's name, port and security.
std::string DocumentUrl(const String& server_name, const String& server_port,
                        const String& port_secure, const String& path_info);
// The caller id in a cookie header, or false when absent or empty.
bool FindCallerId(const char* cookies, int32_t length, String* id);
// The 32-digit caller id of a freshly generated 323-byte block.
std::string NewCallerId(const char* server_name, int32_t name_length, uint32_t process_id,
                        uint32_t thread_id, uint64_t now_100ns);
// "Wdy, DD-Mon-YYYY HH:MM:SS GMT".
std::string CookieExpiry(time_t when);

}  // namespace pexo

#endif  // PEXO_HOST_SERVER_APPLICATION_H_
