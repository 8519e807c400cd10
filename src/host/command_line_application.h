// CommandLineApplication: the host of a script run from the command line.
// The response goes to a FILE: with the head ("HTTP/1.1 <code> <reason>",
// header lines, an empty line, all with CRLF ends) when asked, then the
// body. Messages are entity-encoded and written at once, as a web host
// writes them.
#ifndef PEXO_HOST_COMMAND_LINE_APPLICATION_H_
#define PEXO_HOST_COMMAND_LINE_APPLICATION_H_

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/application.h"
#include "io/server_output.h"
#include "io/server_response.h"

namespace pexo {

// A response written to a FILE.
class FileResponse : public ServerResponse {
 public:
  FileResponse(FILE* out, bool include_head) : out_(out), include_head_(include_head) {}
  void DisableBuffering() override {}
  int SetStatus(int code, const char* reason, int32_t reason_length) override;
  int SetHeader(const char* name, int32_t name_length, const char* value, int32_t value_length,
                bool replace) override;
  int32_t WriteBody(const char* data, int32_t length, bool more_data) override;
  // Writes the head if nothing has been written yet.
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

class CommandLineApplication : public PexoApplication {
 public:
  CommandLineApplication(FILE* out, bool include_head);
  ~CommandLineApplication() override;

  void Write(const char* bytes, int32_t length) override;
  void Emit(const char* bytes, int32_t length) override;
  void SetWhitespaceMode(int32_t mode) override;
  void SetHeader(const char* name, const char* value) override;
  void WriteMessage(const char* text, int32_t length) override;
  void ReportFatalError(const String& message) override;
  void ReportRuntimeError(int32_t tag, const String& message, bool display) override;
  void ReportTimeout(const char* message) override;
  uint32_t DebugLogLevel() override { return 0; }
  bool LogFilterAccepts(const char*, int32_t) override { return true; }
  void LogEvent(const TraceEvent& event) override;
  bool PasswordHash(const char* text, int32_t length, const char salt[2], String* result) override;

  // Sets "Content-Type: text/html" once.
  void DefaultHeaders();
  // The configuration error page: status 500 and the message.
  void ConfigurationError(const std::string& message);
  // Sends what is left of the response.
  void Finish();

 private:
  FileResponse response_;
  std::unique_ptr<ServerOutput> output_;
  bool defaults_done_ = false;
};

}  // namespace pexo

#endif  // PEXO_HOST_COMMAND_LINE_APPLICATION_H_
