#include "host/task_application.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "api/machine_api_context.h"
#include "ext/commerce_library_manager.h"
#include "ext/configured_libraries.h"
#include "ext/external_call_manager.h"
#include "ext/external_call_resolver.h"
#include "ext/posix_external_library_manager.h"
#include "host/engine_process.h"
#include "host/error_log.h"
#include "host/file_byte_stream.h"
#include "host/machine_databases_factory.h"
#include "host/tag_instruction_set.h"
#include "net/network_state.h"
#include "values/system_variables.h"
#include "values/variable_hash.h"
#include "vm/cloned_pexo_vm.h"

namespace pexo {

namespace {

void SetNumber(VariableHash* scope, const char* name, int64_t value) {
  char text[24];
  int n = std::snprintf(text, sizeof text, "%lld", static_cast<long long>(value));
  scope->SetVariable(name, -1, text, n);
}

}  // namespace

TaskApplication::TaskApplication(const TaskOrigin& origin)
    : config_(*origin.config),
      files_(&config_),
      settings_(&config_, &deadline_seen_),
      system_log_(origin.log ? origin.log : &own_log_),
      script_path_(origin.script_path),
      path_info_(origin.path_info),
      query_string_(origin.query_string),
      server_name_(origin.server_name),
      server_port_(origin.server_port),
      apitype_(origin.apitype),
      cookies_(origin.cookies) {
  // The request's settings object ends with the request.
  config_.SetErrorSettingsSink(nullptr);
  files_.SetTimedOutFlag(nullptr);
  if (origin.settings) {
    static const int32_t kCopied[] = {SETTING_LANGUAGE, SETTING_DEFAULT_LANGUAGE,
                                      SETTING_DEFAULT_DATABASE, SETTING_CHARACTER_SET};
    for (int32_t setting : kCopied) {
      const String& value = origin.settings->Setting(setting);
      settings_.SetSetting(setting, value.data(), value.length());
    }
  }
}

TaskApplication::~TaskApplication() {
  do_contexts_.reset();
  machine_.reset();
  FlushLines(true);
}

bool TaskApplication::Prepare(PexoVM* parent, int32_t isolation, String* error) {
  log_.reset(new RequestLog(&config_, &files_, system_log_));
  log_->Configure(cookies_.empty() ? nullptr : cookies_.data(), cookies_.length());
  log_suppressed_ = log_->filter().suppressed();
  static const ConfigKey kDirectories[] = {CFG_DIR_PEXO, CFG_DIR_DATA, CFG_DIR_TEMP};
  for (ConfigKey key : kDirectories) {
    int32_t length = 0;
    const char* path = config_.GetString(key, &length);
    if (!path || length == 0) continue;
    bool set = key == CFG_DIR_PEXO   ? files_.SetScriptDirectory(path, length)
               : key == CFG_DIR_DATA ? files_.SetDataDirectory(path, length)
                                     : files_.SetTemporaryDirectory(path, length);
    if (!set) {
      error->assign(files_.ErrorText());
      return false;
    }
  }
  calls_.reset(new ExternalCallManager(ProcessLibraryManager()));
  resolver_.reset(new ExternalCallResolver(calls_.get()));
  commerce_.reset(new CommerceLibraryManager(ProcessLibraryManager()));
  if (ProcessLibraryManager())
    RegisterConfiguredLibraries(config_, calls_.get(), nullptr, commerce_.get());
  const char* parent_path = parent->context().program_path;
  program_path_.assign(parent_path && *parent_path ? parent_path : script_path_.c_str());
  ProgramContext context;
  context.application = this;
  context.flags = &flags_;
  context.program_path = program_path_.c_str();
  context.calls = calls_.get();
  context.externals = resolver_.get();
  context.extensions = MachineApiContext::Make;
  context.files = &files_;
  context.config = &config_;
  context.tag_instructions = EngineTagInstructions();
  context.commerce = commerce_.get();
  context.databases = MakeMachineDatabases;
  context.network = NetworkState::Make;
  CloneLocalization localization;
  localization.settings = &settings_;
  if (parent->context().localizer) localization.file = OpenProgram();
  machine_ = ClonedPexoVM::Create(parent, isolation, context, localization, error);
  if (!machine_) return false;
  VariableHash* system = machine_->system_scope();
  if (system) {
    // The copies of the request's live variables would show the request's
    // settings and deadline; the task's own read its host.
    if (!FillLiveSystemVariables(system, &config_, &settings_, error)) return false;
    SetNumber(system, "process_id", getpid());
    system->SetVariable("SERVER_NAME", -1, server_name_.data(), server_name_.length());
    system->SetVariable("SERVER_PORT", -1, server_port_.data(), server_port_.length());
    system->SetVariable("apitype", -1, apitype_.data(), apitype_.length());
  }
  return true;
}

TaggedFile* TaskApplication::OpenProgram() {
  String error;
  std::unique_ptr<FileByteStream> stream =
      FileByteStream::Open(&files_, FILE_SCRIPT, program_path_.c_str(), &error);
  if (!stream) return nullptr;
  PosixFile* file = stream->file();
  if (!reader_.open(program_path_.c_str(), std::move(stream))) return nullptr;
  // Like the request's: no handle counts against the limit while it runs.
  files_.Deactivate(file);
  return &reader_;
}

DoContextCache* TaskApplication::DoContexts() {
  if (!do_contexts_) do_contexts_.reset(new DoContextCache(&files_, &config_));
  return do_contexts_.get();
}

void TaskApplication::Run(ThreadManager* threads) {
  if (!machine_) return;
  RegisteredApplication registered(threads, this);
  VariableHash* system = machine_->system_scope();
  if (system) SetNumber(system, "thread_id", static_cast<int64_t>(::syscall(SYS_gettid)));
  StartTimer();
  log_->LogRequest(kTraceRequestStart, path_info_.c_str(), query_string_.c_str());
  machine_->run_task();
  log_->LogRequest(kTraceRequestEnd, path_info_.c_str(), query_string_.c_str());
  do_contexts_.reset();
  machine_.reset();
  FlushLines(true);
}

void TaskApplication::StartTimer() {
  int32_t seconds = config_.GetInteger(CFG_TIMEOUT_ASYNC);
  time_t deadline = seconds > 0 ? std::time(nullptr) + seconds : 0;
  deadline_.store(deadline);
  deadline_seen_ = deadline;
}

int TaskApplication::ResetGlobalTimeout() {
  StartTimer();
  return 1;
}

void TaskApplication::CheckTimeouts(time_t now) {
  time_t deadline = deadline_.load();
  if (deadline != 0 && deadline < now) flags_.timeout.store(kStopTimedOut);
}

void TaskApplication::Output(const char* bytes, int32_t length) {
  if (length < 0) length = static_cast<int32_t>(std::strlen(bytes));
  pending_.append(bytes, length);
  FlushLines(false);
}

void TaskApplication::FlushLines(bool all) {
  if (!log_) return;
  const char* text = pending_.data();
  int32_t length = pending_.length();
  int32_t start = 0;
  for (int32_t i = 0; i < length; ++i) {
    if (text[i] != '\n') continue;
    int32_t end = i > start && text[i - 1] == '\r' ? i - 1 : i;
    if (end > start) log_->ReportError(text + start, end - start);
    start = i + 1;
  }
  if (all && start < length) {
    log_->ReportError(text + start, length - start);
    start = length;
  }
  if (start == 0) return;
  String rest(text + start, length - start);
  pending_ = rest;
}

void TaskApplication::WriteMessage(const char* text, int32_t length) {
  FlushLines(true);
  Output(text, length);
  FlushLines(true);
}

void TaskApplication::ReportFatalError(const String& message) {
  log_->ReportToErrorLog(ERRORLOG_FATAL, -1, message.data(), message.length());
  WriteMessage(message.data(), message.length());
}

void TaskApplication::ReportRuntimeError(int32_t tag, const String& message, bool display) {
  log_->ReportToErrorLog(ERRORLOG_RUNTIME, tag, message.data(), message.length());
  if (display) WriteMessage(message.data(), message.length());
}

void TaskApplication::ReportTimeout(const char* message) {
  int32_t length = static_cast<int32_t>(std::strlen(message));
  log_->ReportToErrorLog(ERRORLOG_TIMEOUT, -1, message, length);
  WriteMessage(message, length);
}

uint32_t TaskApplication::DebugLogLevel() {
  if (log_suppressed_ || !log_) return 0;
  return log_->Level();
}

bool TaskApplication::LogFilterAccepts(const char* source_file, int32_t line) {
  if (!log_) return true;
  return log_->PassesLogFilter(source_file, static_cast<int32_t>(std::strlen(source_file)), line);
}

void TaskApplication::LogEvent(const TraceEvent& event) {
  if (log_) log_->LogTraceEvent(event);
}

}  // namespace pexo
