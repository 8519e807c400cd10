// RequestMessages: the message writer and the error reporters of a request.
//
// A message applies the default headers on first use, is entity-encoded and
// leaves at once through the output (WriteAndFlush), bypassing captures.
// Each reporter first hands the message to the error log (once the request
// log exists), then writes it; runtime errors are written only when their
// display setting asks. A failure status is set only while no status was
// set and no header has left. The default headers (Content-Type and, with
// `cookies` on, the caller-id cookie) are applied once.
//
// Output, configuration and variables are borrowed from the application.
#ifndef PEXO_HOST_REQUEST_MESSAGES_H_
#define PEXO_HOST_REQUEST_MESSAGES_H_

#include <cstdint>

#include "values/string.h"

namespace pexo {

class RequestLog;
class RequestVariables;
class ServerConfig;
class ServerOutput;

class RequestMessages {
 public:
  RequestMessages(ServerOutput* output, ServerConfig* config, RequestVariables* variables);
  RequestMessages(const RequestMessages&) = delete;
  RequestMessages& operator=(const RequestMessages&) = delete;

  // The error log's destination; null until the request log exists.
  void set_log(RequestLog* log) { log_ = log; }

  // Entity-encoded and flushed at once (`length` -1: up to the zero).
  void WriteMessage(const char* text, int32_t length);
  // Status 500 and "Configuration Error: " + message (+ the administrator).
  void ConfigurationError(const char* message);
  // Answers with `code` (404, 400, 408, 413, 500, 503 ...) unless a status
  // was set already (by the script or an earlier failure) or has left.
  void SetFailureStatus(int code);
  void DefaultHeaders();

  void ReportInputError(const String& message);
  void ReportFatalError(const String& message);
  void ReportRuntimeError(int32_t tag, const String& message, bool display);
  void ReportTimeout(const char* message);

 private:
  void ReportToErrorLog(int32_t category, int32_t code, const String& message);
  void CallerIdCookie();

  ServerOutput* output_;
  ServerConfig* config_;
  RequestVariables* variables_;
  RequestLog* log_ = nullptr;
  bool defaults_done_ = false;
};

}  // namespace pexo

#endif  // PEXO_HOST_REQUEST_MESSAGES_H_
