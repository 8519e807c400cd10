// Test doubles for serving requests: a request and response held in memory,
// a system log that records, and a site directory with compiled programs
// made by the assembler.
#ifndef PEXO_TESTS_SERVE_SERVE_FIXTURE_H_
#define PEXO_TESTS_SERVE_SERVE_FIXTURE_H_

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "host/config_file.h"
#include "host/system_log.h"
#include "host/server_application.h"
#include "host/server_request.h"
#include "io/server_response.h"

namespace pexo {
namespace testing_serve {

class MemoryResponse : public ServerResponse {
 public:
  void DisableBuffering() override {}
  int SetStatus(int code, const char* reason, int32_t reason_length) override {
    status = code;
    this->reason.assign(reason, static_cast<size_t>(reason_length));
    return 1;
  }
  int SetHeader(const char* name, int32_t name_length, const char* value, int32_t value_length,
                bool) override {
    headers.emplace_back(std::string(name, static_cast<size_t>(name_length)),
                         std::string(value, static_cast<size_t>(value_length)));
    return 1;
  }
  int32_t WriteBody(const char* data, int32_t length, bool) override {
    body.append(data, static_cast<size_t>(length));
    ++writes;
    return length;
  }
  // The first value of a header, or "" when absent.
  std::string Header(const std::string& name) const {
    for (const auto& h : headers) {
      if (h.first == name) return h.second;
    }
    return "";
  }
  bool HasHeader(const std::string& name) const {
    for (const auto& h : headers) {
      if (h.first == name) return true;
    }
    return false;
  }

  int status = 200;
  std::string reason = "OK";
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  int writes = 0;
};

class MemoryRequest : public ServerRequest {
 public:
  bool GetServerVariable(const char* name, String* value) override {
    auto it = variables.find(name);
    if (it == variables.end()) return false;
    value->assign(it->second.data(), static_cast<int32_t>(it->second.size()));
    return true;
  }
  bool ChunkedBody() override { return chunked; }
  int32_t ReadBody(char* buffer, int32_t size, int64_t deadline) override {
    deadlines.push_back(deadline);
    if (body_at == body.size() && read_failure != 0) return read_failure;
    size_t n = std::min(static_cast<size_t>(size), body.size() - body_at);
    std::copy(body.data() + body_at, body.data() + body_at + n, buffer);
    body_at += n;
    return static_cast<int32_t>(n);
  }
  ServerResponse* Response() override { return &response; }
  const char* ApiType() const override { return "TEST"; }

  std::map<std::string, std::string> variables;
  std::string body;
  size_t body_at = 0;
  bool chunked = false;
  // Returned once the body is used up (0: the body just ends).
  int32_t read_failure = 0;
  std::vector<int64_t> deadlines;
  MemoryResponse response;
};

// Records every system-log record as "ident: message".
class RecordingSystemLog : public SystemLog {
 public:
  void Write(const char* ident, int32_t, int32_t, const char* message, int32_t length) override {
    records.push_back(std::string(ident ? ident : "") + ": " +
                      std::string(message, static_cast<size_t>(length)));
  }
  std::vector<std::string> records;
};

// An application whose logs go to a recorder and whose clock a test sets.
class RecordingApplication : public ServerApplication {
 public:
  using ServerApplication::ServerApplication;
  RecordingSystemLog log;
  std::vector<int64_t> times;

 protected:
  SystemLog* system_log() override { return &log; }
  int64_t Now() const override {
    if (times.empty()) return ServerApplication::Now();
    int64_t value = times.front();
    const_cast<RecordingApplication*>(this)->times.erase(times.begin());
    return value;
  }
};

// A temporary site: root/ and data/ directories and a configuration file.
class Site {
 public:
  Site();
  ~Site();
  // Assembles `source` into root/<name>; false with a test failure.
  void AddProgram(const std::string& name, const std::string& source);
  void AddFile(const std::string& name, const std::string& bytes);
  // Loads a configuration whose section holds `section_body`, with the
  // site's paths unless `with_paths` is false.
  void Configure(const std::string& attributes, const std::string& section_body,
                 bool with_paths = true);

  const std::string& dir() const { return dir_; }
  std::string root() const { return dir_ + "/root"; }
  std::string data() const { return dir_ + "/data"; }
  const ConfigFile& config() const { return config_; }

  // Server variables of a GET of `url_path` mapped under the root.
  void Prepare(MemoryRequest* request, const std::string& url_path,
               const std::string& query = "") const;
  // Runs one request for `url_path` (with `setup` applied to the request)
  // and returns Execute's result.
  int Run(MemoryRequest* request, const std::string& url_path, const std::string& query = "");

 private:
  std::string dir_;
  ConfigFile config_;
};

// A program that only ends.
extern const char kEmptyProgram[];
// Prints "name=value|" for each system variable it declares, in order.
std::string PrintSystemVariables(const std::vector<std::string>& names);
// Names of the files in a directory (without "." and "..").
std::vector<std::string> FilesIn(const std::string& dir);

}  // namespace testing_serve
}  // namespace pexo

#endif  // PEXO_TESTS_SERVE_SERVE_FIXTURE_H_
