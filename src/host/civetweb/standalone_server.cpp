#include "host/civetweb/standalone_server.h"

#include <civetweb.h>
#include <signal.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "host/civetweb/connection_socket.h"
#include "host/server_application.h"
#include "host/server_request.h"
#include "io/attribute.h"
#include "io/server_response.h"

namespace pexo {

namespace {

bool IsDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Escapes a path for an XML attribute value.
std::string XmlAttribute(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      case '<': out += "&lt;"; break;
      default: out += c;
    }
  }
  return out;
}

// Whether a comma-separated header value lists `token` (case-insensitive).
bool HasToken(const char* value, const char* token) {
  size_t n = std::strlen(token);
  for (const char* at = value; *at;) {
    while (*at == ' ' || *at == '\t' || *at == ',') ++at;
    const char* end = at;
    while (*end && *end != ',') ++end;
    const char* last = end;
    while (last > at && (last[-1] == ' ' || last[-1] == '\t')) --last;
    if (static_cast<size_t>(last - at) == n && strncasecmp(at, token, n) == 0) return true;
    at = end;
  }
  return false;
}

// Whether the connection stays open after this response, decided as the
// server library decides it: a Connection header must name keep-alive;
// without one, HTTP/1.1 keeps the connection and older versions close it.
// An authentication challenge always closes.
bool KeepsAlive(mg_connection* connection) {
  const mg_request_info* info = mg_get_request_info(connection);
  const char* header = mg_get_header(connection, "Connection");
  if (header) return HasToken(header, "keep-alive");
  return info->http_version && std::strcmp(info->http_version, "1.1") == 0;
}

// The response head goes out with the first body bytes (or at the end).
// A response is framed so the connection can serve the next request: by its
// Content-Length when the output knew it, else by chunks. A client that asked
// for the connection to close (or cannot take chunks) gets a body ended by
// the close instead.
class ConnectionResponse : public ServerResponse {
 public:
  ConnectionResponse(mg_connection* connection, bool keep_alive)
      : connection_(connection), keep_alive_(keep_alive) {}
  void DisableBuffering() override {}
  int SetStatus(int code, const char* reason, int32_t reason_length) override {
    if (head_sent_) return 0;
    code_ = code;
    reason_.assign(reason, static_cast<size_t>(reason_length));
    return 1;
  }
  int SetHeader(const char* name, int32_t name_length, const char* value, int32_t value_length,
                bool replace) override {
    if (head_sent_) return 0;
    std::string key(name, static_cast<size_t>(name_length));
    if (replace) {
      for (auto it = headers_.begin(); it != headers_.end();) {
        it = strcasecmp(it->first.c_str(), key.c_str()) == 0 ? headers_.erase(it) : it + 1;
      }
    }
    headers_.emplace_back(key, std::string(value, static_cast<size_t>(value_length)));
    return 1;
  }
  int32_t WriteBody(const char* data, int32_t length, bool) override {
    if (!SendHead()) return -1;
    if (length <= 0) return 0;
    if (chunked_) {
      return mg_send_chunk(connection_, data, static_cast<unsigned>(length)) < 0 ? -1 : length;
    }
    int written = mg_write(connection_, data, static_cast<size_t>(length));
    return written <= 0 ? -1 : written;
  }
  bool SendHead() {
    if (head_sent_) return true;
    head_sent_ = true;
    bool has_length = false;
    std::string head = "HTTP/1.1 " + std::to_string(code_) + " " + reason_ + "\r\n";
    for (const auto& h : headers_) {
      if (strcasecmp(h.first.c_str(), "Content-Length") == 0) has_length = true;
      head += h.first + ": " + h.second + "\r\n";
    }
    chunked_ = keep_alive_ && !has_length;
    if (chunked_) head += "Transfer-Encoding: chunked\r\n";
    head += keep_alive_ ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    return mg_write(connection_, head.data(), head.size()) > 0;
  }
  // Sends the head if nothing went out yet, and the last chunk.
  void Finish() {
    if (!SendHead()) return;
    if (chunked_) mg_write(connection_, "0\r\n\r\n", 5);
  }
  int code() const { return code_; }

 private:
  mg_connection* connection_;
  bool keep_alive_;
  bool chunked_ = false;
  bool head_sent_ = false;
  int code_ = 200;
  std::string reason_ = "OK";
  std::vector<std::pair<std::string, std::string>> headers_;
};

class ConnectionRequest : public ServerRequest {
 public:
  ConnectionRequest(mg_connection* connection, const std::string& site,
                    const std::string& url_path)
      : connection_(connection), response_(connection, KeepsAlive(connection)) {
    const mg_request_info* info = mg_get_request_info(connection);
    std::string host = "localhost";
    std::string all_http;
    for (int i = 0; i < info->num_headers; ++i) {
      std::string name = info->http_headers[i].name;
      std::string value = info->http_headers[i].value ? info->http_headers[i].value : "";
      std::string key = "HTTP_";
      for (char c : name) {
        key += c == '-' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      }
      all_http += key + ":" + value + "\n";
      vars_[key] = value;
      if (strcasecmp(name.c_str(), "Host") == 0) host = value;
      if (strcasecmp(name.c_str(), "Content-Type") == 0) vars_["CONTENT_TYPE"] = value;
    }
    // The Host header without its port; a bracketed IPv6 literal loses its
    // brackets (the document URL puts them back).
    if (!host.empty() && host[0] == '[') {
      size_t close = host.find(']');
      host = host.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    } else if (size_t colon = host.rfind(':'); colon != std::string::npos) {
      host.resize(colon);
    }
    vars_["ALL_HTTP"] = all_http;
    vars_["PATH_INFO"] = url_path;
    vars_["PATH_TRANSLATED"] = site + url_path;
    vars_["SCRIPT_NAME"] = url_path;
    vars_["QUERY_STRING"] = info->query_string ? info->query_string : "";
    vars_["REQUEST_METHOD"] = info->request_method ? info->request_method : "GET";
    vars_["REMOTE_ADDR"] = info->remote_addr;
    vars_["REMOTE_HOST"] = info->remote_addr;
    if (info->remote_user) vars_["REMOTE_USER"] = info->remote_user;
    vars_["SERVER_NAME"] = host;
    vars_["SERVER_PORT"] = std::to_string(info->server_port);
    vars_["SERVER_PORT_SECURE"] = info->is_ssl ? "1" : "0";
    vars_["SERVER_PROTOCOL"] = std::string("HTTP/") + (info->http_version ? info->http_version : "1.1");
    vars_["SERVER_SOFTWARE"] = std::string("Pexo/") + kPexoVersion;
    if (info->content_length >= 0) vars_["CONTENT_LENGTH"] = std::to_string(info->content_length);
  }

  bool GetServerVariable(const char* name, String* value) override {
    auto it = vars_.find(name);
    if (it == vars_.end()) return false;
    value->assign(it->second.data(), static_cast<int32_t>(it->second.size()));
    return true;
  }
  // The library de-chunks a chunked body and gives no length for it.
  bool ChunkedBody() override {
    return mg_get_header(connection_, "Transfer-Encoding") &&
           mg_get_request_info(connection_)->content_length < 0;
  }
  // The library's reads wait on its own time-out; at the deadline the
  // watchdog shuts the socket's reading side (InterruptBody).
  int32_t ReadBody(char* buffer, int32_t size, int64_t deadline) override {
    if (deadline != 0 && socket_.load() == kSocketUnknown) {
      const mg_request_info* info = mg_get_request_info(connection_);
      socket_.store(FindConnectionSocket(info->remote_addr, info->remote_port, info->server_port));
    }
    int n = mg_read(connection_, buffer, static_cast<size_t>(size));
    if (interrupted_.load()) return kBodyTimedOut;
    return n < 0 ? kBodyMalformed : n;
  }
  void InterruptBody() override {
    int socket = socket_.load();
    if (socket < 0) return;
    interrupted_.store(true);
    shutdown(socket, SHUT_RD);
  }
  ServerResponse* Response() override { return &response_; }
  const char* ApiType() const override { return "civetweb"; }
  ConnectionResponse* connection_response() { return &response_; }

 private:
  static constexpr int kSocketUnknown = -2;

  mg_connection* connection_;
  ConnectionResponse response_;
  std::map<std::string, std::string> vars_;
  // Written on the request thread, read by the watchdog's.
  std::atomic<int> socket_{kSocketUnknown};
  std::atomic<bool> interrupted_{false};
};

// Every Content-Length must be digits only and all must agree: a proxy in
// front may frame the body by another one than we do.
bool ValidContentLength(const mg_request_info* info) {
  const char* first = nullptr;
  for (int i = 0; i < info->num_headers; ++i) {
    if (strcasecmp(info->http_headers[i].name, "Content-Length") != 0) continue;
    const char* value = info->http_headers[i].value ? info->http_headers[i].value : "";
    size_t digits = std::strspn(value, "0123456789");
    if (digits == 0 || value[digits] != '\0' || digits > 18) return false;
    if (first && std::strtoll(first, nullptr, 10) != std::strtoll(value, nullptr, 10)) return false;
    first = value;
  }
  return true;
}

// Decodes "%XX" escapes of a request path (a stray "%" stays as it is);
// false when the result holds a zero byte, which would cut the path short.
bool DecodePath(const char* raw, std::string* path) {
  path->clear();
  for (const char* at = raw; *at; ++at) {
    int high, low;
    if (at[0] == '%' && (high = HexDigitValue(at[1])) >= 0 && (low = HexDigitValue(at[2])) >= 0) {
      path->push_back(static_cast<char>(high * 16 + low));
      at += 2;
    } else {
      path->push_back(*at);
    }
  }
  return path->find('\0') == std::string::npos;
}

std::string PeerOf(const mg_connection* connection) {
  const mg_request_info* info = mg_get_request_info(connection);
  return std::string(info->remote_addr) + ":" + std::to_string(info->remote_port);
}

}  // namespace

bool ParseServeOptions(int argc, const char* const* argv, ServeOptions* options,
                       std::string* error) {
  for (int i = 0; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) {
        *error = "missing value for " + arg;
        return false;
      }
      *out = argv[++i];
      return true;
    };
    std::string port;
    if (arg == "--bind") {
      if (!value(&options->bind)) return false;
    } else if (arg == "--port") {
      if (!value(&port)) return false;
      char* end = nullptr;
      long number = std::strtol(port.c_str(), &end, 10);
      if (port.empty() || *end || number < 0 || number > 65535) {
        *error = "invalid port: " + port;
        return false;
      }
      options->port = static_cast<int>(number);
    } else if (arg == "--config") {
      if (!value(&options->config)) return false;
    } else if (arg == "--data") {
      if (!value(&options->data)) return false;
    } else if (arg == "--temp") {
      if (!value(&options->temp)) return false;
    } else if (arg == "--deny") {
      std::string pattern;
      if (!value(&pattern)) return false;
      options->deny.push_back(pattern);
    } else if (!arg.empty() && arg[0] == '-') {
      *error = "unknown option: " + arg;
      return false;
    } else if (options->site.empty()) {
      options->site = arg;
    } else {
      *error = "more than one site directory";
      return false;
    }
  }
  if (options->site.empty()) {
    *error =
        "usage: pexo serve [--bind ADDR] [--port N] [--config FILE] [--data DIR] [--temp DIR] "
        "[--deny PATTERN]... SITE_DIR";
    return false;
  }
  return true;
}

StandaloneServer::StandaloneServer(std::chrono::milliseconds watchdog_interval)
    : process_(watchdog_interval) {}

StandaloneServer::~StandaloneServer() { Stop(); }

bool StandaloneServer::PrepareDirectories(const ServeOptions& options, std::string* error) {
  char* real = realpath(options.site.c_str(), nullptr);
  if (!real || !IsDirectory(real)) {
    std::free(real);
    *error = "site directory not found: " + options.site;
    return false;
  }
  site_ = real;
  std::free(real);
  char pattern[] = "/tmp/pexo-serve-XXXXXX";
  const char* made = mkdtemp(pattern);
  if (!made) {
    *error = "cannot create a working folder under /tmp";
    return false;
  }
  work_dir_ = made;
  std::string data = options.data.empty() ? work_dir_ + "/data" : options.data;
  std::string temp = options.temp.empty() ? work_dir_ + "/temp" : options.temp;
  mkdir(data.c_str(), 0700);
  mkdir(temp.c_str(), 0700);
  access_log_ = work_dir_ + "/access.log";
  if (!options.config.empty()) {
    if (!config_.Load(options.config.c_str())) {
      *error = config_.ErrorText().c_str();
      return false;
    }
    return true;
  }
  std::string xml = "<configuration><PexoScript><paths root=\"" + XmlAttribute(site_) +
                    "\" data=\"" + XmlAttribute(data) + "\" temp=\"" + XmlAttribute(temp) +
                    "\"/></PexoScript></configuration>";
  if (!config_.LoadBuffer(xml.data(), xml.size(), "default configuration")) {
    *error = config_.ErrorText().c_str();
    return false;
  }
  return true;
}

bool StandaloneServer::Start(const ServeOptions& options, std::string* error) {
  if (!PrepareDirectories(options, error)) return false;
  ServerConfig defaults;
  config_.ConfigFor("/", 1, &defaults);
  int32_t length = 0;
  const char* file = defaults.GetString(CFG_DEFAULT_FILE, &length);
  if (file && length > 0) default_file_.assign(file, static_cast<size_t>(length));
  if (!process_.Start()) {
    *error = "cannot start the engine";
    return false;
  }
  site_map_ = std::make_unique<SiteMap>(site_, default_file_, options.config, options.deny);
  mg_init_library(0);
  std::string ports = options.bind + ":" + std::to_string(options.port);
  std::string workers = std::to_string(options.workers);
  std::string header_timeout = std::to_string(options.header_timeout_ms);
  std::string idle_timeout = std::to_string(options.idle_timeout_ms);
  // Every request reaches HandleRequest (there is no document root for the
  // library to serve from), with its path still encoded so that an encoded
  // zero byte can be seen. Head and body leave in separate writes: without
  // TCP_NODELAY the second waits for a delayed ACK.
  const char* settings[] = {"listening_ports", ports.c_str(),
                            "access_log_file", access_log_.c_str(),
                            "num_threads", workers.c_str(),
                            "request_timeout_ms", header_timeout.c_str(),
                            "keep_alive_timeout_ms", idle_timeout.c_str(),
                            "enable_keep_alive", "yes",
                            "decode_url", "no",
                            "tcp_nodelay", "1",
                            nullptr};
  mg_callbacks callbacks;
  std::memset(&callbacks, 0, sizeof callbacks);
  callbacks.begin_request = &StandaloneServer::BeginRequest;
  callbacks.end_request = &StandaloneServer::EndRequest;
  gate_ = std::make_unique<ConnectionGate>(options.max_slow,
                                           std::chrono::milliseconds(options.slow_after_ms));
  context_ = mg_start(&callbacks, this, settings);
  if (!context_) {
    *error = "cannot listen on " + ports;
    return false;
  }
  mg_server_port bound[4];
  int count = mg_get_server_ports(context_, 4, bound);
  port_ = count > 0 ? bound[0].port : options.port;
  mg_set_request_handler(context_, "/", &StandaloneServer::HandleRequest, this);
  gate_->Start(port_);
  return true;
}

void StandaloneServer::Stop() {
  if (gate_) gate_->Stop();
  if (context_) {
    mg_stop(context_);
    context_ = nullptr;
  }
  process_.Stop();
}

int StandaloneServer::HandleRequest(mg_connection* connection, void* self) {
  return static_cast<StandaloneServer*>(self)->Serve(connection);
}

int StandaloneServer::BeginRequest(mg_connection* connection) {
  auto* self = static_cast<StandaloneServer*>(mg_get_request_info(connection)->user_data);
  self->gate_->BeginRequest(PeerOf(connection));
  return 0;
}

void StandaloneServer::EndRequest(const mg_connection* connection, int) {
  auto* self = static_cast<StandaloneServer*>(mg_get_request_info(connection)->user_data);
  self->gate_->EndRequest(PeerOf(connection));
}

int StandaloneServer::Serve(mg_connection* connection) {
  const mg_request_info* info = mg_get_request_info(connection);
  std::string decoded;
  if (!ValidContentLength(info) || !DecodePath(info->local_uri ? info->local_uri : "/", &decoded)) {
    // Where this request ends is unknown: nothing after it can be trusted.
    mg_disable_connection_keep_alive(connection);
    mg_send_http_error(connection, 400, "%s", "Bad Request");
    return 400;
  }
  SiteTarget target = site_map_->Find(decoded);
  if (target.kind == SiteTarget::kMissing) {
    mg_send_http_error(connection, 404, "%s", "Not Found");
    return 404;
  }
  if (target.kind == SiteTarget::kStatic) {
    mg_send_mime_file(connection, target.file.c_str(), nullptr);
    return 200;
  }
  const std::string& path = target.url_path;
  ConnectionRequest request(connection, site_, path);
  {
    ServerApplication app(&request, &config_);
    RegisteredApplication registered(process_.threads(), &app);
    app.set_task_threads(process_.threads());
    app.set_program_cache(process_.program_cache());
    app.Execute();
  }
  request.connection_response()->Finish();
  return request.connection_response()->code();
}

int ServeCommand(int argc, const char* const* argv) {
  ServeOptions options;
  std::string error;
  if (!ParseServeOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "pexo serve: %s\n", error.c_str());
    return 2;
  }
  StandaloneServer server;
  if (!server.Start(options, &error)) {
    std::fprintf(stderr, "pexo serve: %s\n", error.c_str());
    return 1;
  }
  std::fprintf(stderr, "pexo serve: http://%s:%d/ (site %s, working folder %s, access log %s)\n",
               options.bind.c_str(), server.port(), options.site.c_str(),
               server.work_dir().c_str(), server.access_log().c_str());
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  int received = 0;
  sigwait(&signals, &received);
  server.Stop();
  return 0;
}

}  // namespace pexo
