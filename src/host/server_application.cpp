#include "host/server_application.h"

#include <sys/random.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <syslog.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string_view>

#include "ext/configured_libraries.h"
#include "ext/external_call_manager.h"
#include "ext/posix_external_library_manager.h"
#include "host/config_file.h"
#include "io/md5.h"
#include "host/script_function.h"
#include "host/server_request.h"
#include "io/content_parser_factory.h"
#include "values/entity.h"
#include "io/hash_content_store.h"
#include "io/urlencoded_parser.h"
#include "values/calendar_names.h"
#include "values/system_variable_hash.h"
#include "values/variable.h"
#include "values/variable_hash.h"
#include "api/machine_api_context.h"

namespace pexo {

namespace {

constexpr int32_t kBodyPiece = 8192;
const char kBodyReadFailed[] = "Failed to read POST data";
constexpr int kCallerBlockSize = 323;
constexpr int kCallerNameLimit = 255;
constexpr time_t kCookieLifetime = 31536000;

const char* const kServerVariables[] = {
    "AUTH_TYPE",       "CONTENT_LENGTH",     "CONTENT_TYPE",    "PATH_INFO",
    "QUERY_STRING",    "REMOTE_ADDR",        "REMOTE_HOST",     "REMOTE_USER",
    "REQUEST_METHOD",  "SCRIPT_NAME",        "SERVER_NAME",     "SERVER_PORT",
    "SERVER_PORT_SECURE", "SERVER_PROTOCOL", "SERVER_SOFTWARE",
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string UrlDecode(const char* text, size_t length) {
  std::string out;
  out.reserve(length);
  for (size_t i = 0; i < length; ++i) {
    if (text[i] == '%' && i + 2 < length && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

// The value of `key` ("name=") in a cookie header: up to ";" or the end.
bool FindCookie(const char* cookies, int32_t length, const char* key, const char** value,
                int32_t* value_length) {
  if (!cookies || length <= 0) return false;
  std::string_view haystack(cookies, static_cast<size_t>(length));
  size_t at = haystack.find(key);
  if (at == std::string_view::npos) return false;
  size_t start = at + std::strlen(key);
  size_t end = haystack.find(';', start);
  if (end == std::string_view::npos) end = haystack.size();
  *value = cookies + start;
  *value_length = static_cast<int32_t>(end - start);
  return true;
}

bool IsIpv6Literal(const char* host) {
  unsigned char buffer[sizeof(struct in6_addr)];
  return inet_pton(AF_INET6, host, buffer) == 1;
}

void PutBigEndian32(unsigned char* out, uint32_t value) {
  out[0] = static_cast<unsigned char>(value >> 24);
  out[1] = static_cast<unsigned char>(value >> 16);
  out[2] = static_cast<unsigned char>(value >> 8);
  out[3] = static_cast<unsigned char>(value);
}

// An upload's temporary file, written through the file layer.
class ManagedUploadFile : public UploadFile {
 public:
  explicit ManagedUploadFile(PosixFile* file) : file_(file) {}
  bool Write(const char* data, int32_t length) override {
    if (!file_) return false;
    if (!file_->Write(data, length)) ok_ = false;
    return ok_;
  }
  bool Close() override {
    file_.reset();
    return ok_;
  }

 private:
  std::unique_ptr<PosixFile> file_;
  bool ok_ = true;
};

// Cryptographic random bytes: one system call for the whole block; the
// standard device only if the kernel call is unavailable.
void FillRandom(unsigned char* out, size_t length) {
  while (length > 0) {
    ssize_t got = getrandom(out, length, 0);
    if (got <= 0) break;
    out += got;
    length -= static_cast<size_t>(got);
  }
  if (length == 0) return;
  std::random_device random;
  for (size_t i = 0; i < length; ++i) out[i] = static_cast<unsigned char>(random());
}

uint32_t CurrentThreadNumber() { return static_cast<uint32_t>(::syscall(SYS_gettid)); }

const char* StatusLine(int code) {
  switch (code) {
    case 400: return "400 Bad Request";
    case 404: return "404 Not Found";
    case 408: return "408 Request Timeout";
    case 411: return "411 Length Required";
    case 413: return "413 Payload Too Large";
    case 415: return "415 Unsupported Media Type";
    case 503: return "503 Service Unavailable";
    default: break;
  }
  return code >= 400 && code < 500 ? "400 Bad Request" : "500 Internal Server Error";
}

int ContentFailureStatus(ContentFailure failure) {
  switch (failure) {
    case kContentRefused: return 400;
    case kContentTooLarge: return 413;
    case kContentUnsupported: return 415;
    case kContentServerFault: break;
  }
  return 500;
}

}  // namespace

void SplitArguments(const char* query, int32_t length, std::vector<std::string>* args) {
  args->clear();
  size_t n = query && length > 0 ? static_cast<size_t>(length) : 0;
  size_t start = 0;
  for (size_t i = 0; i <= n; ++i) {
    if (i == n || query[i] == '+') {
      args->push_back(UrlDecode(query + start, i - start));
      start = i + 1;
    }
  }
}

std::string DocumentUrl(const String& server_name, const String& server_port,
                        const String& port_secure, const String& path_info) {
  bool secure = std::atoi(port_secure.c_str()) != 0;
  std::string url = secure ? "https://" : "http://";
  if (IsIpv6Literal(server_name.c_str())) {
    url += "[" + std::string(server_name.c_str()) + "]";
  } else {
    url += server_name.c_str();
  }
  int port = std::atoi(server_port.c_str());
  if (server_port.length() > 0 && port != (secure ? 443 : 80)) {
    url += ":";
    url += server_port.c_str();
  }
  url.append(path_info.data(), static_cast<size_t>(path_info.length()));
  url += "?";
  return url;
}

bool FindCallerId(const char* cookies, int32_t length, String* id) {
  const char* value;
  int32_t value_length;
  if (!FindCookie(cookies, length, "vrkcallerid=", &value, &value_length)) return false;
  if (value_length <= 0) return false;
  id->assign(value, value_length);
  return true;
}

std::string NewCallerId(const char* server_name, int32_t name_length, uint32_t process_id,
                        uint32_t thread_id, uint64_t now_100ns) {
  unsigned char block[kCallerBlockSize];
  int32_t used = name_length < 0 ? 0 : (name_length > kCallerNameLimit ? kCallerNameLimit
                                                                          : name_length);
  if (used > 0) std::memcpy(block, server_name, static_cast<size_t>(used));
  unsigned char* at = block + used;
  PutBigEndian32(at, process_id);
  PutBigEndian32(at + 4, thread_id);
  PutBigEndian32(at + 8, static_cast<uint32_t>(now_100ns >> 32));
  PutBigEndian32(at + 12, static_cast<uint32_t>(now_100ns));
  at += 16;
  FillRandom(at, static_cast<size_t>(block + kCallerBlockSize - at));
  char hex[Md5::kHexSize];
  Md5::HexDigest(block, sizeof block, hex);
  return hex;
}

std::string CookieExpiry(time_t when) {
  struct tm parts;
  gmtime_r(&when, &parts);
  // Day and month names are English whatever the process locale.
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d-%s-%04d %02d:%02d:%02d GMT",
                DayAbbreviation(parts.tm_wday), parts.tm_mday, MonthAbbreviation(parts.tm_mon),
                parts.tm_year + 1900, parts.tm_hour, parts.tm_min, parts.tm_sec);
  return text;
}

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
      files_(&config_),
      process_id_(getpid()),
      thread_id_(CurrentThreadNumber()) {
  request_->GetServerVariable("PATH_INFO", &path_info_);
  request_->GetServerVariable("PATH_TRANSLATED", &path_translated_);
  request_->GetServerVariable("QUERY_STRING", &query_string_);
  String server_name;
  if (request_->GetServerVariable("SERVER_NAME", &server_name))
    config_.SetServerName(server_name.data(), server_name.length());
  document_request_.assign(path_info_);
  document_request_.append('?');
  document_request_.append(query_string_);
  for (int32_t& flags : tag_flags_) flags = -1;
  memory_.account()->SetStopFlag(&flags_.machine.timeout, kStopMemoryLimit);
  gettimeofday(&started_, nullptr);
  // Lock waits end after timeout_file seconds.
  files_.SetTimedOutFlag(nullptr);
}

ServerApplication::~ServerApplication() { Release(); }

void ServerApplication::Release() {
  machine_.reset();
  delete globals_;
  globals_ = nullptr;
  delete system_;
  system_ = nullptr;
  image_.reset();
  reader_.reset();
  calls_.reset();
}

String ServerApplication::ServerVariable(const char* name) {
  String value;
  request_->GetServerVariable(name, &value);
  return value;
}

int ServerApplication::Execute() {
  // Steps 1-2: reader, stores, configuration. No process-wide random seed:
  // srand takes a lock every request would contend on; the machine draws
  // from a generator of its own thread.
  reader_.reset(new TaggedFile());
  image_.reset(new ProgramImage());
  output_->SetConfig(&config_);
  log_.reset(new RequestLog(&config_, &files_, system_log()));
  bool ok = LoadConfiguration() && ValidatePaths() && LoadProgram() && SetDataDirectory() &&
            CreateMachine();
  if (ok) {
    FillServerVariables();
    ok = FillEngineVariables();
  }
  if (ok) {
    FillArguments();
    ok = ParseQueryString();
  }
  if (ok) {
    FillIdentityVariables();
    DefaultHeaders();
    ok = ReadBody();
  }
  if (!ok) {
    output_->Send(1);
    Release();
    return 1;
  }
  RunMachine();
  output_->Send(1);
  Release();
  return 0;
}

bool ServerApplication::LoadConfiguration() {
  config_.SetErrorSettingsSink(this);
  LoadServerConfiguration(&config_);
  memory_.account()->SetLimit(static_cast<int64_t>(config_.GetInteger(CFG_MAX_REQUEST_MEMORY))
                              << 20);
  // Function libraries are registered for the request as soon as the
  // configuration names them; one that fails only leaves names unresolved.
  calls_.reset(new ExternalCallManager(ProcessLibraryManager()));
  if (ProcessLibraryManager()) RegisterConfiguredLibraries(config_, calls_.get(), nullptr, nullptr);
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
  if (!reader_->open(script_path_.c_str(), std::move(stream))) {
    SetFailureStatus(500);
    prefix.append(reader_->last_error());
    WriteMessage(prefix.data(), prefix.length());
    return false;
  }
  bool loaded = image_->load(*reader_);
  if (loaded) {
    system_ = NewSystemVariableHashFromTable(image_->system_names(), &image_->dictionary(), &error);
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
  files_.Deactivate(file);
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
  context.flags = &flags_.machine;
  context.dictionary = &image_->dictionary();
  context.system = system_;
  context.globals = globals_;
  context.segments = &image_->segments();
  context.functions = &image_->functions();
  context.program_path = script_path_.c_str();
  context.calls = calls_.get();
  context.extensions = MachineApiContext::Make;
  context.files = &files_;
  context.config = &config_;
  machine_.reset(new PexoVM(context));
  for (int32_t tag = 0; tag < kTagCount; ++tag) {
    if (tag_flags_[tag] >= 0) machine_->tags().set_flags(tag, tag_flags_[tag]);
  }
  return true;
}

void ServerApplication::SetSystemVariable(const char* name, const char* value, int32_t length) {
  if (!system_) return;
  if (length < 0) length = static_cast<int32_t>(std::strlen(value));
  system_->SetVariable(name, static_cast<int32_t>(std::strlen(name)), value, length);
}

void ServerApplication::SetSystemInteger(const char* name, int32_t value) {
  char text[16];
  int n = std::snprintf(text, sizeof text, "%d", value);
  SetSystemVariable(name, text, n);
}

void ServerApplication::FillServerVariables() {
  String value;
  for (const char* name : kServerVariables) {
    if (request_->GetServerVariable(name, &value)) {
      SetSystemVariable(name, value.data(), value.length());
    }
  }
  if (!request_->GetServerVariable("ALL_HTTP", &value)) return;
  const char* at = value.data();
  const char* end = at + value.length();
  while (at < end) {
    const char* line_end = static_cast<const char*>(std::memchr(at, '\n', end - at));
    if (!line_end) line_end = end;
    const char* colon = static_cast<const char*>(std::memchr(at, ':', line_end - at));
    if (colon && colon > at) {
      std::string name(at, colon);
      SetSystemVariable(name.c_str(), colon + 1, static_cast<int32_t>(line_end - colon - 1));
    }
    at = line_end + 1;
  }
}

bool ServerApplication::FillEngineVariables() {
  String error;
  if (FillSystemVariables(system_, &config_, this, started_, &error)) return true;
  SetFailureStatus(500);
  String message("Unable to execute '");
  message.append(script_path_);
  message.append("': ");
  message.append(error);
  WriteMessage(message.data(), message.length());
  return false;
}

void ServerApplication::FillArguments() {
  SetSystemVariable("arg1", path_info_.data(), path_info_.length());
  std::vector<std::string> args;
  SplitArguments(query_string_.data(), query_string_.length(), &args);
  for (size_t i = 0; i < args.size(); ++i) {
    char name[24];
    std::snprintf(name, sizeof name, "arg%zu", i + 2);
    SetSystemVariable(name, args[i].data(), static_cast<int32_t>(args[i].size()));
  }
  SetSystemInteger("nargs", static_cast<int32_t>(args.size() + 1));
}

bool ServerApplication::ParseQueryString() {
  if (query_string_.length() == 0) return true;
  HashContentStore store(globals_);
  URLEncodedParser parser(&store, 0);
  if (parser.Feed(query_string_.data(), query_string_.length()) && parser.Finish()) return true;
  SetFailureStatus(ContentFailureStatus(parser.failure()));
  WriteMessage(parser.ErrorMessage().data(), parser.ErrorMessage().length());
  return false;
}

void ServerApplication::FillIdentityVariables() {
  SetSystemInteger("process_id", static_cast<int32_t>(process_id_));
  SetSystemInteger("thread_id", static_cast<int32_t>(thread_id_));
  SetSystemVariable("apitype", request_->ApiType());
  std::string url = DocumentUrl(ServerVariable("SERVER_NAME"), ServerVariable("SERVER_PORT"),
                                ServerVariable("SERVER_PORT_SECURE"), path_info_);
  SetSystemVariable("documenturl", url.data(), static_cast<int32_t>(url.size()));
}

bool ServerApplication::ReadBody() {
  String type;
  String length_text;
  if (!request_->GetServerVariable("CONTENT_TYPE", &type)) return true;
  bool chunked = request_->ChunkedBody();
  int64_t declared = kUnknownContentLength;
  if (!chunked) {
    if (!request_->GetServerVariable("CONTENT_LENGTH", &length_text)) return true;
    declared = std::atoll(length_text.c_str());
    if (declared <= 0) return true;
  }
  StartPostTimer();
  std::unique_ptr<char[]> piece(new char[kBodyPiece]);
  int32_t got = 0;
  if (chunked) {
    // An empty chunked body is no body, as a zero length is.
    got = ReadPiece(piece.get(), kBodyPiece);
    if (got < 0) return BodyFailed(got);
    if (got == 0) {
      StopPostTimer();
      return true;
    }
  }
  HashContentStore globals(globals_);
  HashContentStore system(system_);
  ContentParserSetup setup;
  setup.globals = &globals;
  setup.system = &system;
  setup.callbacks = this;
  setup.files = this;
  setup.max_post_vars = config_.GetInteger(CFG_MAX_POST_VARS);
  setup.max_unknown_content_length = config_.GetInteger(CFG_MAX_UNKNOWN_CONTENT_LENGTH);
  String error;
  ContentFailure failure = kContentRefused;
  std::unique_ptr<HTTPContentParser> parser(
      MakeContentParser(setup, type.data(), type.length(), declared, &error, &failure));
  if (!parser) return ContentFailed(failure, error);
  int64_t received = 0;
  for (;;) {
    if (got > 0) {
      received += got;
      if (!parser->Feed(piece.get(), got)) {
        return ContentFailed(parser->failure(), parser->ErrorMessage());
      }
    }
    if (declared != kUnknownContentLength && received >= declared) break;
    int64_t left = declared - received;
    int32_t want = chunked || left > kBodyPiece ? kBodyPiece : static_cast<int32_t>(left);
    got = ReadPiece(piece.get(), want);
    if (got < 0) return BodyFailed(got);
    if (got == 0) {
      // The client stopped short of the length it announced.
      if (!chunked) return ContentFailed(kContentRefused, String(kIncompleteBody));
      break;
    }
  }
  if (!parser->Finish()) return ContentFailed(parser->failure(), parser->ErrorMessage());
  StopPostTimer();
  return true;
}

int64_t ServerApplication::BodyDeadline() const {
  return post_deadline_ms_ != 0 ? post_deadline_ms_ : global_deadline_ms_;
}

int32_t ServerApplication::ReadPiece(char* buffer, int32_t size) {
  int64_t deadline = BodyDeadline();
  if (deadline != 0 && MonotonicMilliseconds() >= deadline) return kBodyTimedOut;
  body_deadline_.store(deadline);
  int32_t got = request_->ReadBody(buffer, size, deadline);
  body_deadline_.store(0);
  // A read cut short by the deadline may report a broken connection.
  if (flags_.post_timed_out.load() || (deadline != 0 && MonotonicMilliseconds() >= deadline)) {
    return kBodyTimedOut;
  }
  return got;
}

bool ServerApplication::BodyFailed(int32_t failure) {
  if (failure == kBodyTimedOut) {
    SetFailureStatus(408);
    ReportTimeout("Timeout processing POST data");
    return false;
  }
  SetFailureStatus(failure <= -400 && failure > -500 ? -failure : 400);
  ReportInputError(String(kBodyReadFailed));
  return false;
}

bool ServerApplication::ContentFailed(ContentFailure failure, const String& message) {
  SetFailureStatus(ContentFailureStatus(failure));
  ReportInputError(message);
  return false;
}

void ServerApplication::RunMachine() {
  int32_t slow = config_.GetInteger(CFG_SLOWREQUEST_SYSLOG);
  machine_->set_trace_mask(DebugLogLevel());
  log_->LogRequest(kTraceRequestStart, path_info_.c_str(), query_string_.c_str());
  StartGlobalTimer();
  int64_t started = Now();
  machine_->run_program();
  int64_t seconds = Now() - started;
  log_->LogRequest(kTraceRequestEnd, path_info_.c_str(), query_string_.c_str());
  if (!RequestLog::IsSlowRequest(seconds, slow)) return;
  String url;
  Variable* variable = nullptr;
  if (system_ && system_->Find("documenturl", 11, false, &variable) && variable) {
    url.assign(variable->Value());
  }
  String message;
  RequestLog::SlowRequestMessage(seconds, ServerVariable("REMOTE_ADDR").c_str(), url.c_str(),
                                 ServerVariable("QUERY_STRING").c_str(), &message);
  log_->ReportSlowRequest(message.data(), message.length());
}

void ServerApplication::DefaultHeaders() {
  if (defaults_done_) return;
  defaults_done_ = true;
  output_->SetHeader("Content-Type", "text/html");
  if (config_.GetInteger(CFG_COOKIES) != 0) CallerIdCookie();
}

void ServerApplication::CallerIdCookie() {
  String cookies = ServerVariable("HTTP_COOKIE");
  String id;
  if (!FindCallerId(cookies.data(), cookies.length(), &id)) {
    String name = ServerVariable("SERVER_NAME");
    struct timeval now;
    gettimeofday(&now, nullptr);
    // 100-nanosecond intervals, as the id block has always carried them.
    uint64_t ticks = static_cast<uint64_t>(now.tv_sec) * 10000000ull +
                     static_cast<uint64_t>(now.tv_usec) * 10ull;
    std::string fresh = NewCallerId(name.data(), name.length(), static_cast<uint32_t>(process_id_),
                                    thread_id_, ticks);
    id.assign(fresh.c_str(), static_cast<int32_t>(fresh.size()));
  }
  std::string expiry = CookieExpiry(std::time(nullptr) + kCookieLifetime);
  std::string header = "vrkcallerid=" + std::string(id.data(), static_cast<size_t>(id.length())) +
                       "; expires=" + expiry + "; path=/";
  output_->SetHeader("Set-Cookie", header.c_str());
  SetSystemVariable("callerid", id.data(), id.length());
}

void ServerApplication::Write(const char* bytes, int32_t length) { output_->Write(bytes, length); }

void ServerApplication::Emit(const char* bytes, int32_t length) { output_->Emit(bytes, length); }

void ServerApplication::SetWhitespaceMode(int32_t mode) { output_->SetWhitespaceMode(mode); }

void ServerApplication::SetHeader(const char* name, const char* value) {
  output_->SetHeader(name, value);
}

void ServerApplication::WriteMessage(const char* text, int32_t length) {
  DefaultHeaders();
  if (length < 0) length = static_cast<int32_t>(std::strlen(text));
  int32_t encoded_length = 0;
  char* encoded = EntityEncode(text, length, &encoded_length, nullptr);
  if (!encoded) return;
  output_->WriteAndFlush(encoded, encoded_length);
  std::free(encoded);
}

void ServerApplication::ConfigurationError(const char* message) {
  output_->SetHeader("Status", "500 Internal Server Error");
  String text("Configuration Error: ");
  text.append(message);
  int32_t length = 0;
  const char* admin = config_.GetString(CFG_INFO_SERVERADMIN, &length);
  if (admin && length > 0) {
    text.append(": Please contact the server administrator: ");
    text.append(admin, length);
  }
  WriteMessage(text.data(), text.length());
}

void ServerApplication::ReportToErrorLog(int32_t category, int32_t code, const String& message) {
  if (log_) log_->ReportToErrorLog(category, code, message.data(), message.length());
}

void ServerApplication::ReportInputError(const String& message) {
  ReportToErrorLog(ERRORLOG_INPUT, -1, message);
  WriteMessage(message.data(), message.length());
}

void ServerApplication::SetFailureStatus(int code) {
  if (output_->status_set() || output_->headers_sent()) return;
  output_->SetHeader("Status", StatusLine(code));
}

void ServerApplication::ReportFatalError(const String& message) {
  SetFailureStatus(500);
  ReportToErrorLog(ERRORLOG_FATAL, -1, message);
  WriteMessage(message.data(), message.length());
}

void ServerApplication::ReportRuntimeError(int32_t tag, const String& message, bool display) {
  ReportToErrorLog(ERRORLOG_RUNTIME, tag, message);
  if (display) WriteMessage(message.data(), message.length());
}

void ServerApplication::ReportTimeout(const char* message) {
  // The run's own deadline; a body's time-out has set 408 before.
  SetFailureStatus(503);
  String text(message);
  ReportToErrorLog(ERRORLOG_TIMEOUT, -1, text);
  WriteMessage(text.data(), text.length());
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

int ServerApplication::FlushOutput() { return output_->Flush(); }

int ServerApplication::SetLanguage(const char* name, int32_t length, bool default_language) {
  if (!name) return 0;
  SetSetting(default_language ? SETTING_DEFAULT_LANGUAGE : SETTING_LANGUAGE, name,
             text_length(name, length));
  return 1;
}

int ServerApplication::SetDefaultDatabase(const char* name, int32_t length) {
  if (!name) return 0;
  SetSetting(SETTING_DEFAULT_DATABASE, name, text_length(name, length));
  return 1;
}

int ServerApplication::SetProcessName(const char* name, int32_t length) {
  if (!name) return 0;
  process_name_.assign(name, text_length(name, length));
  return 1;
}

int ServerApplication::ResetGlobalTimeout() {
  StartGlobalTimer();
  return 1;
}

void ServerApplication::StartGlobalTimer() {
  int32_t seconds = config_.GetInteger(CFG_TIMEOUT_GLOBAL);
  time_t deadline = seconds > 0 ? std::time(nullptr) + seconds : 0;
  global_deadline_ms_ = seconds > 0 ? MonotonicMilliseconds() + seconds * 1000LL : 0;
  global_deadline_.store(deadline);
  deadline_seen_ = deadline;
  // A request past its memory limit stays stopped.
  int32_t timed_out = kStopTimedOut;
  flags_.machine.timeout.compare_exchange_strong(timed_out, 0);
}

void ServerApplication::StartPostTimer() {
  int32_t seconds = config_.GetInteger(CFG_TIMEOUT_POST);
  post_deadline_.store(seconds > 0 ? std::time(nullptr) + seconds : 0);
  post_deadline_ms_ = seconds > 0 ? MonotonicMilliseconds() + seconds * 1000LL : 0;
  flags_.post_timed_out.store(0);
}

void ServerApplication::StopPostTimer() {
  post_deadline_.store(0);
  post_deadline_ms_ = 0;
  flags_.post_timed_out.store(0);
}

void ServerApplication::CheckTimeouts(time_t now) {
  flags_.ticks.fetch_add(1);
  time_t global = global_deadline_.load();
  int32_t running = 0;
  if (global != 0 && global < now)
    flags_.machine.timeout.compare_exchange_strong(running, kStopTimedOut);
  time_t post = post_deadline_.load();
  if (post != 0 && post < now) flags_.post_timed_out.store(1);
  // A body read that outlives its deadline is cut short.
  int64_t body = body_deadline_.load();
  if (body != 0 && MonotonicMilliseconds() >= body) request_->InterruptBody();
}

void ServerApplication::RequestStop() { flags_.machine.exit.store(1); }

const String& ServerApplication::Setting(int32_t setting) { return settings_.Get(setting); }

void ServerApplication::SetSetting(int32_t setting, const char* text, int32_t length) {
  settings_.Set(setting, text, length);
}

int32_t ServerApplication::SettingChanges(int32_t setting) { return settings_.Changes(setting); }

bool ServerApplication::Library(int32_t kind, int32_t index, String* name, String* value) {
  int32_t type = kind == LIBRARIES_COMMERCE ? LIBRARY_COMMERCE
                 : kind == LIBRARIES_DATABASE ? LIBRARY_DATABASE
                                              : LIBRARY_SYSTEM;
  int32_t seen = 0;
  for (const ConfiguredLibrary& library : config_.Libraries()) {
    if (library.type != type) continue;
    if (seen++ != index) continue;
    // Coded libraries are known by their code, system libraries by path.
    name->assign(library.code.length() > 0 ? library.code : library.library);
    value->assign(library.library);
    return true;
  }
  return false;
}

bool ServerApplication::SetTagErrorFlags(const char* name, int32_t length, int32_t flags) {
  int32_t tag = TagErrorTable::find(name, length);
  if (tag < 0 || tag >= kTagCount) return false;
  tag_flags_[tag] = flags;
  return true;
}

UploadCallResult ServerApplication::ValidateFileUpload(const String& field,
                                                       const String& file_name,
                                                       const String& content_type,
                                                       int32_t* result) {
  Variable value;
  UploadCallResult outcome = CallScriptFunction(machine_.get(), image_.get(),
                                                "Pexo_ValidateFileUpload",
                                                {field, file_name, content_type}, &value);
  if (outcome == kUploadCallDone) *result = value.Value_Integer();
  return outcome;
}

UploadCallResult ServerApplication::ProcessFileUpload(const String& field,
                                                      const String& file_name, const char* status,
                                                      const String& path,
                                                      const String& content_type,
                                                      int64_t received) {
  char count[24];
  std::snprintf(count, sizeof count, "%lld", static_cast<long long>(received));
  return CallScriptFunction(machine_.get(), image_.get(), "Pexo_ProcessFileUpload",
                            {field, file_name, String(status), path, content_type, String(count)},
                            nullptr);
}

UploadFile* ServerApplication::CreateTemporaryFile(String* path) {
  String name;
  PosixFile* file = files_.CreateTemporaryFile(FILE_DATA, "", "PEXO_FUP", &name,
                                               FILE_WRITE | FILE_CREATE_NEW);
  if (!file) return nullptr;
  if (!files_.ResolvePath(FILE_DATA, name.c_str(), name.length(), path)) {
    delete file;
    files_.Delete(FILE_DATA, name.c_str());
    return nullptr;
  }
  return new ManagedUploadFile(file);
}

void ServerApplication::DeleteFile(const String& path) { files_.DeleteRaw(path.c_str()); }

int64_t ServerApplication::Now() const { return static_cast<int64_t>(std::time(nullptr)); }

}  // namespace pexo
