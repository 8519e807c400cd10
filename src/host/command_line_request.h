// The command-line binding: a request made from `pexo run` options and a
// response written to a FILE. The response head ("HTTP/1.1 <code>
// <reason>", header lines, an empty line, all ending in CR LF) is written
// only when asked for, before the first body byte or at the end.
#ifndef PEXO_HOST_COMMAND_LINE_REQUEST_H_
#define PEXO_HOST_COMMAND_LINE_REQUEST_H_

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "host/server_request.h"
#include "io/server_response.h"

namespace pexo {

class FileResponse : public ServerResponse {
 public:
  FileResponse(FILE* out, bool include_head) : out_(out), include_head_(include_head) {}
  void DisableBuffering() override {}
  int SetStatus(int code, const char* reason, int32_t reason_length) override;
  int SetHeader(const char* name, int32_t name_length, const char* value, int32_t value_length,
                bool replace) override;
  int32_t WriteBody(const char* data, int32_t length, bool more_data) override;
  // Writes the head if nothing has been written yet, and flushes.
  void Finish();

 private:
  void WriteHead();

  FILE* out_;
  bool include_head_;
  bool head_written_ = false;
  int code_ = 200;
  std::string reason_ = "OK";
  std::vector<std::pair<std::string, std::string>> headers_;
};

class CommandLineRequest : public ServerRequest {
 public:
  // `body` may be null (no body); it is read from its current position.
  CommandLineRequest(FILE* out, bool include_head, FILE* body);

  // Sets (or replaces) a server variable.
  void Set(const std::string& name, const std::string& value) { variables_[name] = value; }
  // A request header "Name: value": HTTP_NAME and a line of ALL_HTTP.
  void AddHeader(const std::string& line);

  bool GetServerVariable(const char* name, String* value) override;
  // A body file never blocks for long; the deadline is checked before
  // each read.
  int32_t ReadBody(char* buffer, int32_t size, int64_t deadline) override;
  ServerResponse* Response() override { return &response_; }
  const char* ApiType() const override { return "CLI"; }
  FileResponse* file_response() { return &response_; }

 private:
  FileResponse response_;
  FILE* body_;
  std::map<std::string, std::string> variables_;
};

}  // namespace pexo

#endif  // PEXO_HOST_COMMAND_LINE_REQUEST_H_
