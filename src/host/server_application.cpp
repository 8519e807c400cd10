#include "host/server_application.h"

#include "host/log_filter.h"

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

#include "host/config_file.h"
#include "host/md5.h"
#include "host/server_request.h"
#include "io/entity.h"
#include "values/system_variable_hash.h"
#include "values/variable.h"
#include "values/variable_hash.h"

namespace pexo {

namespace {

constexpr int32_t kBodyPiece = 8192;
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

// Reads a compiled file through the request's file manager, so the handle
// is accounted and confined like any other script file.
class ManagedFileStream : public ByteStream {
 public:
  explicit ManagedFileStream(PosixFile* file) : file_(file), size_(file->Size()) {}
  int32_t read(void* buffer, int32_t length) override {
    int32_t n = file_->Read(buffer, length);
    if (n < 0) error_.assign(file_->ErrorText());
    return n;
  }
  int64_t seek(int64_t position) override {
    if (!file_->Seek(position)) {
      error_.assign(file_->ErrorText());
      return -1;
    }
    return position;
  }
  int64_t size() const override { return size_; }

 private:
  PosixFile* file_;
  int64_t size_;
};

uint32_t CurrentThreadNumber() { return static_cast<uint32_t>(::syscall(SYS_gettid)); }

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
  std::random_device random;
  for (; at < block + kCallerBlockSize; ++at) {
    *at = static_cast<unsigned char>(random());
  }
  char hex[Md5::kHexSize];
  Md5::HexDigest(block, sizeof block, hex);
  return hex;
}

std::string CookieExpiry(time_t when) {
  struct tm parts;
  gmtime_r(&when, &parts);
  // Day and month names are the C locale's, whatever the process locale.
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d-%s-%04d %02d:%02d:%02d GMT", kDays[parts.tm_wday],
                parts.tm_mday, kMonths[parts.tm_mon], parts.tm_year + 1900, parts.tm_hour,
                parts.tm_min, parts.tm_sec);
  return text;
}

BodyKind BodyKindOf(const char* content_type, int32_t length) {
  struct Prefix {
    const char* text;
    BodyKind kind;
  };
  static const Prefix kPrefixes[] = {
      {"application/x-www-form-urlencoded", BODY_URLENCODED},
      {"application/json", BODY_JSON},
      {"multipart/form-data", BODY_MULTIPART},
  };
  for (const Prefix& p : kPrefixes) {
    size_t n = std::strlen(p.text);
    if (length >= static_cast<int32_t>(n) && strncasecmp(content_type, p.text, n) == 0) {
      return p.kind;
    }
  }
  return BODY_OTHER;
}

ServerApplication::ServerApplication(ServerRequest* request, const ConfigFile* config_file,
                                     RequestEngine* engine)
    : request_(request),
      config_file_(config_file),
      engine_(engine),
      output_(new ServerOutput(request->Response())),
      files_(&config_),
      process_id_(getpid()),
      thread_id_(CurrentThreadNumber()) {
  request_->GetServerVariable("PATH_INFO", &path_info_);
  request_->GetServerVariable("PATH_TRANSLATED", &path_translated_);
  request_->GetServerVariable("QUERY_STRING", &query_string_);
  document_request_.assign(path_info_);
  document_request_.append('?');
  document_request_.append(query_string_);
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
  program_file_.reset();
}

String ServerApplication::ServerVariable(const char* name) {
  String value;
  request_->GetServerVariable(name, &value);
  return value;
}

int ServerApplication::Execute() {
  // Steps 1-2: reader, random seed, stores, configuration.
  reader_.reset(new TaggedFile());
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  image_.reset(new ProgramImage());
  output_->SetConfig(&config_);
  bool ok = LoadConfiguration() && ValidatePaths() && LoadProgram() && SetDataDirectory() &&
            CreateMachine();
  if (ok) {
    FillServerVariables();
    FillEngineVariables();
    FillArguments();
    ok = ParseQueryString();
  }
  if (ok) {
    FillIdentityVariables();
    DefaultHeaders();
    ok = ReadBody();
  }
  if (!ok) {
    Release();
    return 1;
  }
  RunMachine();
  output_->Send(1);
  Release();
  return 0;
}

bool ServerApplication::LoadConfiguration() {
  if (config_file_) config_file_->ConfigFor(path_info_.data(), path_info_.length(), &config_);
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
  PosixFile* file = files_.Open(FILE_SCRIPT, script_path_.c_str(), FILE_READ);
  if (!file) {
    int32_t length = 0;
    char* encoded = EntityEncode(path_info_.data(), path_info_.length(), &length, nullptr);
    String message("Unable to execute '");
    message.append(encoded ? encoded : "", encoded ? length : 0);
    std::free(encoded);
    message.append("': ");
    message.append(files_.ErrorText());
    WriteMessage(message.data(), message.length());
    return false;
  }
  program_file_.reset(file);
  String prefix("Unable to execute '");
  prefix.append(script_path_);
  prefix.append("': ");
  if (!reader_->open(script_path_.c_str(),
                     std::unique_ptr<ByteStream>(new ManagedFileStream(file)))) {
    prefix.append(reader_->last_error());
    WriteMessage(prefix.data(), prefix.length());
    return false;
  }
  String error;
  bool loaded = image_->load(*reader_);
  if (loaded) {
    system_ = NewSystemVariableHashFromTable(image_->system_names(), &image_->dictionary(), &error);
    globals_ = NewVariableHashFromTable(image_->global_names(), &image_->dictionary(), &error);
    loaded = system_ && globals_;
  }
  if (!loaded) {
    prefix.append(
        "File does not exist, is corrupt, is not a valid Pexo Script file, or cannot be opened "
        "due to permission problems");
    WriteMessage(prefix.data(), prefix.length());
    return false;
  }
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
  const char* cookie = config_.GetString(CFG_LOG_COOKIE, &length);
  if (cookie && length > 0) CheckLogCookie(cookie, length);
  output_->SetBlockSize(config_.GetInteger(CFG_BUFSZ_OUTPUT));
  output_->SetFlushThreshold(config_.GetInteger(CFG_BUFSZ_OUTPUT_FLUSH));
  return true;
}

bool ServerApplication::CreateMachine() {
  String error;
  machine_.reset(engine_->NewMachine(this, &error));
  if (!machine_) {
    WriteMessage(error.data(), error.length());
    return false;
  }
  // The loaded program needs no handle while the script runs.
  files_.Deactivate(program_file_.get());
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

void ServerApplication::FillEngineVariables() {
  // The time structure and the dynamic variables come with the system
  // variable module; these two are the request's own.
  SetSystemInteger("globaltimeout", config_.GetInteger(CFG_TIMEOUT_GLOBAL));
  SetSystemVariable("pexoversion", kPexoVersion);
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
  String error;
  if (engine_->ParseQueryString(this, query_string_.data(), query_string_.length(), &error)) {
    return true;
  }
  WriteMessage(error.data(), error.length());
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
  if (!request_->GetServerVariable("CONTENT_TYPE", &type) ||
      !request_->GetServerVariable("CONTENT_LENGTH", &length_text)) {
    return true;
  }
  long long declared = std::atoll(length_text.c_str());
  if (declared <= 0) return true;
  int32_t length = declared > INT32_MAX ? INT32_MAX : static_cast<int32_t>(declared);
  BodyKind kind = BodyKindOf(type.data(), type.length());
  if (kind == BODY_OTHER) {
    int32_t limit = config_.GetInteger(CFG_MAX_UNKNOWN_CONTENT_LENGTH);
    if (limit < 0) {
      ReportInputError(String("Unknown POST content type"));
      return false;
    }
    if (limit > 0 && limit < length) {
      ReportInputError(
          String("POST content length exceeds configured maximum for unknown content types"));
      return false;
    }
  }
  String error;
  std::unique_ptr<RequestBodyParser> parser(
      engine_->NewBodyParser(this, kind, type, length, &error));
  if (!parser) {
    ReportInputError(error);
    return false;
  }
  StartPostTimer();
  std::unique_ptr<char[]> piece(new char[kBodyPiece]);
  int32_t received = 0;
  while (received < length) {
    int32_t want = length - received < kBodyPiece ? length - received : kBodyPiece;
    int32_t got = request_->ReadBody(piece.get(), want);
    if (flags_.post_timed_out.load()) {
      ReportTimeout("Timeout processing POST data");
      return false;
    }
    if (got <= 0) break;
    received += got;
    if (!parser->Feed(piece.get(), got)) {
      ReportInputError(parser->ErrorMessage());
      return false;
    }
  }
  if (!parser->Finish()) {
    ReportInputError(parser->ErrorMessage());
    return false;
  }
  StopPostTimer();
  return true;
}

void ServerApplication::RunMachine() {
  int32_t slow = config_.GetInteger(CFG_SLOWREQUEST_SYSLOG);
  StartGlobalTimer();
  int64_t started = Now();
  machine_->Run();
  int64_t seconds = Now() - started;
  if (slow <= 0 || seconds <= slow) return;
  auto shown = [this](const char* name) {
    String value = ServerVariable(name);
    return value.length() > 0 ? value : String("NULL");
  };
  String url;
  Variable* variable = nullptr;
  if (system_ && system_->Find("documenturl", 11, false, &variable) && variable) {
    url.assign(variable->Value());
  }
  if (url.length() == 0) url.assign("NULL");
  char number[24];
  std::snprintf(number, sizeof number, "%lld", static_cast<long long>(seconds));
  String message("Slow Request: ");
  message.append(number);
  message.append(" seconds: remote_addr=");
  message.append(shown("REMOTE_ADDR"));
  message.append(", documenturl=");
  message.append(url);
  message.append(", query_string=");
  message.append(shown("QUERY_STRING"));
  LogSlowRequest(message);
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

void ServerApplication::CheckLogCookie(const char* expected, int32_t length) {
  String cookies = ServerVariable("HTTP_COOKIE");
  log_suppressed_ = !LogCookieMatches(cookies.data(), cookies.length(), expected, length);
}

void ServerApplication::Write(const char* bytes, int32_t length) { output_->Write(bytes, length); }

void ServerApplication::Emit(const char* bytes, int32_t length) { output_->Emit(bytes, length); }

void ServerApplication::SetWhitespaceMode(int32_t mode) { output_->SetWhitespaceMode(mode); }

void ServerApplication::SetHeader(const char* name, const char* value) {
  output_->SetHeader(name, value);
}

void ServerApplication::WriteMessage(const char* text, int32_t length) {
  DefaultHeaders();
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

void ServerApplication::ReportInputError(const String& message) {
  LogErrorMessage("Input Error", message);
  WriteMessage(message.data(), message.length());
}

void ServerApplication::ReportFatalError(const String& message) {
  LogErrorMessage("Fatal Error", message);
  WriteMessage(message.data(), message.length());
}

void ServerApplication::ReportRuntimeError(int32_t, const String& message, bool display) {
  LogErrorMessage("Runtime Error", message);
  if (display) WriteMessage(message.data(), message.length());
}

void ServerApplication::ReportTimeout(const char* message) {
  String text(message);
  LogErrorMessage("Timeout", text);
  WriteMessage(text.data(), text.length());
}

uint32_t ServerApplication::DebugLogLevel() {
  if (log_suppressed_) return 0;
  int32_t level = config_.GetInteger(CFG_LOG_LEVEL);
  return level < 0 ? 0 : static_cast<uint32_t>(level);
}

bool ServerApplication::LogFilterAccepts(const char*, int32_t) { return true; }

void ServerApplication::LogEvent(const TraceEvent&) {}

bool ServerApplication::PasswordHash(const char* text, int32_t length, const char salt[2],
                                     String* result) {
  return SystemPasswordHash(text, length, salt, result);
}

void ServerApplication::StartGlobalTimer() {
  int32_t seconds = config_.GetInteger(CFG_TIMEOUT_GLOBAL);
  global_deadline_.store(seconds > 0 ? std::time(nullptr) + seconds : 0);
  flags_.timed_out.store(0);
}

void ServerApplication::StartPostTimer() {
  int32_t seconds = config_.GetInteger(CFG_TIMEOUT_POST);
  post_deadline_.store(seconds > 0 ? std::time(nullptr) + seconds : 0);
  flags_.post_timed_out.store(0);
}

void ServerApplication::StopPostTimer() {
  post_deadline_.store(0);
  flags_.post_timed_out.store(0);
}

void ServerApplication::CheckTimeouts(time_t now) {
  flags_.ticks.fetch_add(1);
  time_t global = global_deadline_.load();
  if (global != 0 && global < now) flags_.timed_out.store(1);
  time_t post = post_deadline_.load();
  if (post != 0 && post < now) flags_.post_timed_out.store(1);
}

void ServerApplication::RequestStop() { flags_.stop.store(1); }

void ServerApplication::LogErrorMessage(const char*, const String&) {}

void ServerApplication::LogSlowRequest(const String& message) {
  syslog(LOG_WARNING, "%s", message.c_str());
}

int64_t ServerApplication::Now() const { return static_cast<int64_t>(std::time(nullptr)); }

}  // namespace pexo
