#include "host/request_variables.h"

#include <sys/random.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <string_view>

#include "io/md5.h"
#include "host/server_request.h"
#include "values/calendar_names.h"
#include "values/system_variable_hash.h"
#include "values/system_variables.h"
#include "values/variable.h"

namespace pexo {

namespace {

constexpr int kCallerBlockSize = 323;
constexpr int kCallerNameLimit = 255;

const char* const kServerVariables[] = {
    "AUTH_TYPE",       "CONTENT_LENGTH",     "CONTENT_TYPE",    "PATH_INFO",
    "QUERY_STRING",    "REMOTE_ADDR",        "REMOTE_HOST",     "REMOTE_USER",
    "REQUEST_METHOD",  "SCRIPT_NAME",        "SERVER_NAME",     "SERVER_PORT",
    "SERVER_PORT_SECURE", "SERVER_PROTOCOL", "SERVER_SOFTWARE",
};

constexpr int32_t kServerVariableCount =
    static_cast<int32_t>(sizeof kServerVariables / sizeof kServerVariables[0]);

// Kinds of the deferred request variables: the server variables by their
// position in kServerVariables, then the identity variables.
// The arguments after arg1 are kArguments + position, the header lines
// kHeaderLines + where the line starts in ALL_HTTP.
enum : int32_t {
  kProcessId = kServerVariableCount,
  kThreadId,
  kApiType,
  kDocumentUrl,
  kFirstArgument,
  kArgumentCount,
  kArguments = 256,
  kHeaderLines = 1 << 20,
};

// The value part of the ALL_HTTP line starting at `at`.
void HeaderLineValue(const String& lines, int32_t at, const char** value, int32_t* length) {
  const char* start = lines.data() + at;
  const char* end = lines.data() + lines.length();
  const char* line_end = static_cast<const char*>(std::memchr(start, '\n', end - start));
  if (!line_end) line_end = end;
  const char* colon = static_cast<const char*>(std::memchr(start, ':', line_end - start));
  *value = colon ? colon + 1 : line_end;
  *length = static_cast<int32_t>(line_end - *value);
}

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

RequestVariables::RequestVariables(ServerRequest* request)
    : request_(request), process_id_(getpid()), thread_id_(CurrentThreadNumber()) {
  gettimeofday(&started_, nullptr);
}

void RequestVariables::Set(const char* name, const char* value, int32_t length) {
  if (!system_) return;
  if (length < 0) length = static_cast<int32_t>(std::strlen(value));
  system_->SetVariable(name, static_cast<int32_t>(std::strlen(name)), value, length);
}

void RequestVariables::SetInteger(const char* name, int32_t value) {
  char text[16];
  int n = std::snprintf(text, sizeof text, "%d", value);
  Set(name, text, n);
}

bool RequestVariables::Defer(const char* name, int32_t kind) {
  return system_ && system_->Defer(name, -1, this, kind, false) >= 0;
}

void RequestVariables::FillServerVariables() {
  String value;
  for (int32_t kind = 0; kind < kServerVariableCount; ++kind) {
    const char* name = kServerVariables[kind];
    if (request_->GetServerVariable(name, &value) && !Defer(name, kind))
      Set(name, value.data(), value.length());
  }
  all_http_.clear();
  if (!request_->GetServerVariable("ALL_HTTP", &all_http_)) return;
  const char* begin = all_http_.data();
  const char* at = begin;
  const char* end = at + all_http_.length();
  while (at < end) {
    const char* line_end = static_cast<const char*>(std::memchr(at, '\n', end - at));
    if (!line_end) line_end = end;
    const char* colon = static_cast<const char*>(std::memchr(at, ':', line_end - at));
    if (colon && colon > at) {
      int64_t offset = at - begin;
      bool deferred = offset < INT32_MAX - kHeaderLines && system_ &&
                      system_->Defer(at, static_cast<int32_t>(colon - at), this,
                                     kHeaderLines + static_cast<int32_t>(offset), false) >= 0;
      if (!deferred) {
        std::string name(at, colon);
        Set(name.c_str(), colon + 1, static_cast<int32_t>(line_end - colon - 1));
      }
    }
    at = line_end + 1;
  }
}

void RequestVariables::FillArguments(const String& path_info, const String& query) {
  path_info_ = &path_info;
  if (!Defer("arg1", kFirstArgument)) Set("arg1", path_info.data(), path_info.length());
  std::vector<std::string>& args = arguments_;
  args.clear();
  SplitArguments(query.data(), query.length(), &args);
  for (size_t i = 0; i < args.size(); ++i) {
    char name[24];
    std::snprintf(name, sizeof name, "arg%zu", i + 2);
    bool deferred = i < kHeaderLines - kArguments && Defer(name, kArguments + static_cast<int32_t>(i));
    if (!deferred) Set(name, args[i].data(), static_cast<int32_t>(args[i].size()));
  }
  if (!Defer("nargs", kArgumentCount)) SetInteger("nargs", static_cast<int32_t>(args.size() + 1));
}

void RequestVariables::FillIdentityVariables(const String& path_info) {
  path_info_ = &path_info;
  if (!Defer("process_id", kProcessId)) SetInteger("process_id", static_cast<int32_t>(process_id_));
  if (!Defer("thread_id", kThreadId)) SetInteger("thread_id", static_cast<int32_t>(thread_id_));
  if (!Defer("apitype", kApiType)) Set("apitype", request_->ApiType());
  if (Defer("documenturl", kDocumentUrl)) return;
  std::string url = DocumentUrl(ServerVariable("SERVER_NAME"), ServerVariable("SERVER_PORT"),
                                ServerVariable("SERVER_PORT_SECURE"), path_info);
  Set("documenturl", url.data(), static_cast<int32_t>(url.size()));
}

Variable* RequestVariables::Make(int32_t kind, const char* name, int32_t length) {
  // What Set gives a new entry: a plain variable named as the entry.
  Variable* v = new (std::nothrow) Variable(name, length);
  if (!v) return nullptr;
  char digits[16];
  if (kind >= 0 && kind < kServerVariableCount) {
    String value;
    request_->GetServerVariable(kServerVariables[kind], &value);
    v->SetValue(value.data(), value.length());
  } else if (kind == kProcessId || kind == kThreadId) {
    int32_t id = static_cast<int32_t>(kind == kProcessId ? process_id_ : thread_id_);
    int n = std::snprintf(digits, sizeof digits, "%d", id);
    v->SetValue(digits, n);
  } else if (kind == kApiType) {
    const char* type = request_->ApiType();
    v->SetValue(type, static_cast<int32_t>(std::strlen(type)));
  } else if (kind == kFirstArgument) {
    if (path_info_) v->SetValue(path_info_->data(), path_info_->length());
  } else if (kind == kArgumentCount || (kind >= kArguments && kind < kHeaderLines)) {
    const std::vector<std::string>& args = arguments_;
    if (kind == kArgumentCount) {
      int n = std::snprintf(digits, sizeof digits, "%d", static_cast<int32_t>(args.size() + 1));
      v->SetValue(digits, n);
    } else if (static_cast<size_t>(kind - kArguments) < args.size()) {
      const std::string& arg = args[static_cast<size_t>(kind - kArguments)];
      v->SetValue(arg.data(), static_cast<int32_t>(arg.size()));
    }
  } else if (kind >= kHeaderLines) {
    const char* value;
    int32_t value_length;
    HeaderLineValue(all_http_, kind - kHeaderLines, &value, &value_length);
    v->SetValue(value, value_length);
  } else if (kind == kDocumentUrl) {
    std::string url = DocumentUrl(ServerVariable("SERVER_NAME"), ServerVariable("SERVER_PORT"),
                                  ServerVariable("SERVER_PORT_SECURE"),
                                  path_info_ ? *path_info_ : String());
    v->SetValue(url.data(), static_cast<int32_t>(url.size()));
  }
  return v;
}

String RequestVariables::ServerVariable(const char* name) {
  String value;
  request_->GetServerVariable(name, &value);
  return value;
}

bool RequestVariables::FillEngineVariables(Config* config, SystemVariableHost* host,
                                           String* error) {
  return engine_.Fill(system_, config, host, started_, error);
}

void RequestVariables::CallerId(String* id) {
  String cookies = ServerVariable("HTTP_COOKIE");
  if (FindCallerId(cookies.data(), cookies.length(), id)) return;
  String name = ServerVariable("SERVER_NAME");
  struct timeval now;
  gettimeofday(&now, nullptr);
  // 100-nanosecond intervals, as the id block has always carried them.
  uint64_t ticks = static_cast<uint64_t>(now.tv_sec) * 10000000ull +
                   static_cast<uint64_t>(now.tv_usec) * 10ull;
  std::string fresh = NewCallerId(name.data(), name.length(), static_cast<uint32_t>(process_id_),
                                  thread_id_, ticks);
  id->assign(fresh.c_str(), static_cast<int32_t>(fresh.size()));
}

}  // namespace pexo
