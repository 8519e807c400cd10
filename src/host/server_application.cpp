#include "host/server_application.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ext/commerce_library_manager.h"
#include "ext/configured_libraries.h"
#include "ext/external_call_manager.h"
#include "ext/external_call_resolver.h"
#include "ext/posix_external_library_manager.h"
#include "host/config_file.h"
#include "host/file_byte_stream.h"
#include "host/file_path.h"
#include "host/server_request.h"
#include "host/machine_databases_factory.h"
#include "host/program_cache.h"
#include "host/tag_instruction_set.h"
#include "host/task_application.h"
#include "values/entity.h"
#include "values/system_variable_hash.h"
#include "values/variable.h"
#include "values/variable_hash.h"
#include "api/machine_api_context.h"
#include "net/network_state.h"

namespace pexo {

ServerRequest::~ServerRequest() = default;

int64_t MonotonicMilliseconds() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

ServerApplication::ServerApplication(ServerRequest* request, const ConfigFile* config_file)
    : request_(request),
      config_file_(config_file),
      output_(new ServerOutput(request->Response())),
      current_(output_.get()),
      files_(&config_),
      variables_(request),
      deadlines_(request, &config_),
      messages_(output_.get(), &config_, &variables_),
      settings_(&config_, deadlines_.deadline_seen()),
      uploads_(&files_, &deadlines_),
      content_(request, &config_, &deadlines_, &messages_, &uploads_) {
  request_->GetServerVariable("PATH_INFO", &path_info_);
  request_->GetServerVariable("PATH_TRANSLATED", &path_translated_);
  request_->GetServerVariable("QUERY_STRING", &query_string_);
  String server_name;
  if (request_->GetServerVariable("SERVER_NAME", &server_name))
    config_.SetServerName(server_name.data(), server_name.length());
  document_request_.assign(path_info_);
  document_request_.append('?');
  document_request_.append(query_string_);
  memory_.account()->SetStopFlag(&deadlines_.flags()->machine.timeout, kStopMemoryLimit);
  whitespace_mode_cell_ = current_->whitespace_mode_cell();
  // Lock waits end after timeout_file seconds.
  files_.SetTimedOutFlag(nullptr);
}

ServerApplication::~ServerApplication() { Release(); }

void ServerApplication::Release() {
  for (auto& task : pending_tasks_) {
    task.reset();
    task_threads_->CancelTask();
  }
  pending_tasks_.clear();
  uploads_.SetProgram(nullptr, nullptr);
  variables_.set_scope(nullptr);
  // Called files' machines resolve their variables in this request's.
  do_contexts_.reset();
  machine_.reset();
  localizer_.reset();
  delete globals_;
  globals_ = nullptr;
  delete system_;
  system_ = nullptr;
  image_.reset();
  reader_.reset();
  resolver_.reset();
  calls_.reset();
}

int ServerApplication::Execute() {
  // Steps 1-2: reader, stores, configuration. No process-wide random seed:
  // srand takes a lock every request would contend on; the machine draws
  // from a generator of its own thread.
  reader_.reset(new TaggedFile());
  image_.reset(new ProgramImage());
  output_->SetConfig(&config_);
  log_.reset(new RequestLog(&config_, &files_, system_log()));
  messages_.set_log(log_.get());
  bool ok = LoadConfiguration() && ValidatePaths() && LoadProgram() && SetDataDirectory() &&
            CreateMachine();
  if (ok) {
    variables_.FillServerVariables();
    ok = FillEngineVariables();
  }
  if (ok) {
    variables_.FillArguments(path_info_, query_string_);
    ok = content_.ParseQueryString(query_string_, globals_);
  }
  if (ok) {
    variables_.FillIdentityVariables(path_info_);
    messages_.DefaultHeaders();
    ok = content_.ReadBody(globals_, system_);
  }
  if (!ok) {
    output_->Send(1);
    Release();
    return 1;
  }
  RunMachine();
  output_->Send(1);
  StartPendingTasks();
  Release();
  return 0;
}

bool ServerApplication::LoadConfiguration() {
  config_.SetErrorSettingsSink(&settings_);
  LoadServerConfiguration(&config_);
  memory_.account()->SetLimit(static_cast<int64_t>(config_.GetInteger(CFG_MAX_REQUEST_MEMORY))
                              << 20);
  // Function libraries are registered for the request as soon as the
  // configuration names them; one that fails only leaves names unresolved.
  calls_.reset(new ExternalCallManager(ProcessLibraryManager()));
  resolver_.reset(new ExternalCallResolver(calls_.get()));
  commerce_.reset(new CommerceLibraryManager(ProcessLibraryManager()));
  if (ProcessLibraryManager())
    RegisterConfiguredLibraries(config_, calls_.get(), nullptr, commerce_.get());
  int32_t length = 0;
  const char* root = config_.GetString(CFG_DIR_PEXO, &length);
  if (!root || length == 0) {
    ConfigurationError("pexoroot is not defined");
    return false;
  }
  script_root_.assign(root, length);
  const char* temp = config_.GetString(CFG_DIR_TEMP, &length);
  if (temp && length > 0 && !files_.SetTemporaryDirectory(temp, length)) {
    ConfigurationError(files_.ErrorText().c_str());
    return false;
  }
  return true;
}

void ServerApplication::LoadServerConfiguration(ServerConfig* config) {
  if (config_file_) config_file_->ConfigFor(path_info_.data(), path_info_.length(), config);
}

bool ServerApplication::ValidatePaths() {
  if (script_root_.length() == 0 || !IsPathSeparator(script_root_.data()[0])) {
    ConfigurationError("The configured Pexo root directory must be an absolute path");
    return false;
  }
  if (!files_.SetScriptDirectory(script_root_.data(), script_root_.length())) {
    ConfigurationError(files_.ErrorText().c_str());
    return false;
  }
  PosixFilePath translated(path_translated_.data(), path_translated_.length());
  if (!translated.absolute() || translated.components().size() < 2) {
    ConfigurationError("Invalid PATH_TRANSLATED");
    return false;
  }
  PosixFilePath root(script_root_.data(), script_root_.length());
  if (!translated.IsInside(root)) {
    String message("'");
    message.append(path_info_);
    message.append("' is not contained in the configured script directory");
    ConfigurationError(message.c_str());
    return false;
  }
  std::string relative;
  const auto& parts = translated.components();
  for (size_t i = root.components().size(); i < parts.size(); ++i) {
    if (!relative.empty()) relative += '/';
    relative += parts[i];
  }
  script_path_.assign(relative.c_str(), static_cast<int32_t>(relative.size()));
  return true;
}

bool ServerApplication::LoadProgram() {
  String error;
  std::unique_ptr<FileByteStream> stream =
      FileByteStream::Open(&files_, FILE_SCRIPT, script_path_.c_str(), &error);
  if (!stream) {
    SetFailureStatus(files_.Exists(FILE_SCRIPT, script_path_.c_str()) ? 500 : 404);
    int32_t length = 0;
    char* encoded = EntityEncode(path_info_.data(), path_info_.length(), &length, nullptr);
    String message("Unable to execute '");
    message.append(encoded ? encoded : "", encoded ? length : 0);
    std::free(encoded);
    message.append("': ");
    message.append(error);
    WriteMessage(message.data(), message.length());
    return false;
  }
  PosixFile* file = stream->file();
  String prefix("Unable to execute '");
  prefix.append(script_path_);
  prefix.append("': ");
  FileIdentity identity;
  bool cacheable = false;
  int64_t limit = program_cache_ ? config_.GetInteger(CFG_PROGRAM_CACHE_BYTES) : 0;
  std::shared_ptr<ProgramImage> shared =
      program_cache_ ? program_cache_->FindFile(file, limit, &identity, &cacheable) : nullptr;
  program_cache_result_ = !cacheable ? 0 : shared ? 1 : 2;
  if (shared) {
    stream.reset();  // closes the file: the request reads nothing of it
    file = nullptr;
  } else {
    if (!reader_->open(script_path_.c_str(), std::move(stream))) {
      SetFailureStatus(500);
      prefix.append(reader_->last_error());
      WriteMessage(prefix.data(), prefix.length());
      return false;
    }
    if (cacheable) shared = program_cache_->LoadAndInsert(reader_.get(), file, identity, limit);
  }
  bool loaded = true;
  if (shared) {
    image_.reset(new ProgramImage(std::move(shared)));
  } else {
    loaded = image_->load(*reader_);
  }
  if (loaded && image_->system_prototype()) {
    system_ = new SystemVariableHash(*image_->system_prototype(), &image_->dictionary(), false,
                                     false);
    variables_.set_scope(system_);
    globals_ = new VariableHash(*image_->global_prototype(), &image_->dictionary(), false, false);
    loaded = system_->ok() && globals_->ok();
  } else if (loaded) {
    system_ = NewSystemVariableHashFromTable(image_->system_names(), &image_->dictionary(), &error);
    variables_.set_scope(system_);
    globals_ = NewVariableHashFromTable(image_->global_names(), &image_->dictionary(), &error);
    loaded = system_ && globals_;
  }
  if (!loaded) {
    SetFailureStatus(500);
    prefix.append(
        "File does not exist, is corrupt, is not a valid Pexo Script file, or cannot be opened "
        "due to permission problems");
    WriteMessage(prefix.data(), prefix.length());
    return false;
  }
  // The loaded program needs no handle while the script runs.
  if (file) files_.Deactivate(file);
  return true;
}

bool ServerApplication::SetDataDirectory() {
  int32_t length = 0;
  const char* data = config_.GetString(CFG_DIR_DATA, &length);
  if (!data || length == 0) {
    ConfigurationError("No data directory is defined");
    return false;
  }
  if (!files_.SetDataDirectory(data, length)) {
    ConfigurationError(files_.ErrorText().c_str());
    return false;
  }
  String cookies;
  bool has_cookies = request_->GetServerVariable("HTTP_COOKIE", &cookies);
  log_->Configure(has_cookies ? cookies.data() : nullptr, cookies.length());
  log_suppressed_ = log_->filter().suppressed();
  output_->SetBlockSize(config_.GetInteger(CFG_BUFSZ_OUTPUT));
  output_->SetFlushThreshold(config_.GetInteger(CFG_BUFSZ_OUTPUT_FLUSH));
  return true;
}

bool ServerApplication::CreateMachine() {
  ProgramContext context;
  context.application = this;
  context.flags = &deadlines_.flags()->machine;
  context.dictionary = &image_->dictionary();
  context.system = system_;
  context.globals = globals_;
  context.segments = &image_->segments();
  context.functions = &image_->functions();
  context.program_path = script_path_.c_str();
  context.calls = calls_.get();
  context.externals = resolver_.get();
  context.extensions = MachineApiContext::Make;
  context.files = &files_;
  context.config = &config_;
  context.tag_instructions = EngineTagInstructions();
  // A cached program's language indexes are all loaded already.
  TaggedFile* lazy_file = image_->loads_lazily() ? reader_.get() : nullptr;
  localizer_.reset(
      new Localizer(&image_->localized(), &image_->dictionary(), lazy_file, &settings_));
  context.localizer = localizer_.get();
  context.commerce = commerce_.get();
  context.databases = MakeMachineDatabases;
  context.network = NetworkState::Make;
  machine_.reset(new PexoVM(context));
  settings_.ApplyTagFlags(machine_.get());
  uploads_.SetProgram(machine_.get(), image_.get());
  return true;
}

bool ServerApplication::FillEngineVariables() {
  String error;
  if (variables_.FillEngineVariables(&config_, &settings_, &error)) return true;
  SetFailureStatus(500);
  String message("Unable to execute '");
  message.append(script_path_);
  message.append("': ");
  message.append(error);
  WriteMessage(message.data(), message.length());
  return false;
}

void ServerApplication::RunMachine() {
  int32_t slow = config_.GetInteger(CFG_SLOWREQUEST_SYSLOG);
  machine_->set_trace_mask(DebugLogLevel());
  log_->LogRequest(kTraceRequestStart, path_info_.c_str(), query_string_.c_str());
  if (program_cache_result_ && (log_->Level() & kTraceProgramCache)) {
    String text;
    ProgramCacheSummary(&text);
    LogValue value = LogValue::Text(text.data(), text.length());
    log_->LogEvent(kTraceProgramCache, &value, 1);
  }
  StartGlobalTimer();
  int64_t started = Now();
  machine_->run_program();
  // Captures give the response's output back and locks go before the
  // response is sent, however the run ended.
  machine_->stop_services();
  int64_t seconds = Now() - started;
  log_->LogRequest(kTraceRequestEnd, path_info_.c_str(), query_string_.c_str());
  if (!RequestLog::IsSlowRequest(seconds, slow)) return;
  String url;
  Variable* variable = nullptr;
  if (system_ && system_->Find("documenturl", 11, false, &variable) && variable) {
    url.assign(variable->Value());
  }
  String message;
  RequestLog::SlowRequestMessage(seconds, variables_.ServerVariable("REMOTE_ADDR").c_str(),
                                 url.c_str(), variables_.ServerVariable("QUERY_STRING").c_str(),
                                 &message);
  log_->ReportSlowRequest(message.data(), message.length());
  if (program_cache_result_) {
    message.assign("Program Cache: ");
    ProgramCacheSummary(&message);
    log_->ReportSlowRequest(message.data(), message.length());
  }
}

void ServerApplication::ProgramCacheSummary(String* out) const {
  ProgramCache::Counts counts = program_cache_->counts();
  char text[160];
  std::snprintf(text, sizeof text,
                "%s, hits=%" PRIu64 ", misses=%" PRIu64 ", entries=%" PRId64 ", bytes=%" PRId64,
                program_cache_result_ == 1 ? "hit" : "miss", counts.hits, counts.misses,
                counts.entries, counts.bytes);
  out->append(text);
}

uint32_t ServerApplication::DebugLogLevel() {
  if (log_suppressed_ || !log_) return 0;
  return log_->Level();
}

bool ServerApplication::LogFilterAccepts(const char* source_file, int32_t line) {
  if (!log_) return true;
  return log_->PassesLogFilter(source_file, static_cast<int32_t>(std::strlen(source_file)), line);
}

void ServerApplication::LogEvent(const TraceEvent& event) {
  if (log_) log_->LogTraceEvent(event);
}

bool ServerApplication::PasswordHash(const char* text, int32_t length, const char salt[2],
                                     String* result) {
  return SystemPasswordHash(text, length, salt, result);
}

int ServerApplication::ResetGlobalTimeout() {
  StartGlobalTimer();
  return 1;
}

Output* ServerApplication::SetOutput(Output* output) {
  Output* previous = current_;
  current_ = output ? output : output_.get();
  whitespace_mode_cell_ = current_ ? current_->whitespace_mode_cell() : nullptr;
  return previous;
}

DoContextCache* ServerApplication::DoContexts() {
  if (!do_contexts_) do_contexts_.reset(new DoContextCache(&files_, &config_, program_cache_));
  return do_contexts_.get();
}

int ServerApplication::StartTask(PexoVM* machine, int32_t isolation) {
  if (!task_threads_) return kTaskUnsupported;
  if (!task_threads_->ReserveTask(config_.GetInteger(CFG_MAX_ASYNC_TASKS)))
    return kTaskLimitReached;
  TaskOrigin origin;
  origin.config = &config_;
  origin.script_path = script_path_.c_str();
  origin.path_info = path_info_.c_str();
  origin.query_string = query_string_.c_str();
  origin.apitype = request_->ApiType();
  origin.server_name = variables_.ServerVariable("SERVER_NAME");
  origin.server_port = variables_.ServerVariable("SERVER_PORT");
  origin.cookies = variables_.ServerVariable("HTTP_COOKIE");
  origin.log = task_system_log();
  origin.settings = &settings_;
  auto task = std::make_shared<TaskApplication>(origin);
  String error;
  if (!task->Prepare(machine, isolation, &error)) {
    task_threads_->CancelTask();
    return kTaskStartFailed;
  }
  pending_tasks_.push_back(std::move(task));
  return kTaskStarted;
}

void ServerApplication::StartPendingTasks() {
  ThreadManager* threads = task_threads_;
  for (auto& pending : pending_tasks_) {
    std::shared_ptr<TaskApplication> task = std::move(pending);
    threads->StartTask({[task, threads] { task->Run(threads); }, [task] { task->RequestStop(); }},
                       true);
  }
  pending_tasks_.clear();
}

int64_t ServerApplication::Now() const { return static_cast<int64_t>(std::time(nullptr)); }

}  // namespace pexo
