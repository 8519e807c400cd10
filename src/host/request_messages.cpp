#include "host/request_messages.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "host/error_log.h"
#include "host/request_log.h"
#include "host/request_variables.h"
#include "values/server_config.h"
#include "values/entity.h"
#include "io/server_output.h"

namespace pexo {

namespace {

constexpr time_t kCookieLifetime = 31536000;

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

}  // namespace

RequestMessages::RequestMessages(ServerOutput* output, ServerConfig* config,
                                 RequestVariables* variables)
    : output_(output), config_(config), variables_(variables) {}

void RequestMessages::DefaultHeaders() {
  if (defaults_done_) return;
  defaults_done_ = true;
  output_->SetHeader("Content-Type", "text/html");
  if (config_->GetInteger(CFG_COOKIES) != 0) CallerIdCookie();
}

void RequestMessages::CallerIdCookie() {
  String id;
  variables_->CallerId(&id);
  std::string expiry = CookieExpiry(std::time(nullptr) + kCookieLifetime);
  std::string header = "vrkcallerid=" + std::string(id.data(), static_cast<size_t>(id.length())) +
                       "; expires=" + expiry + "; path=/";
  output_->SetHeader("Set-Cookie", header.c_str());
  variables_->Set("callerid", id.data(), id.length());
}

void RequestMessages::WriteMessage(const char* text, int32_t length) {
  DefaultHeaders();
  if (length < 0) length = static_cast<int32_t>(std::strlen(text));
  int32_t encoded_length = 0;
  char* encoded = EntityEncode(text, length, &encoded_length, nullptr);
  if (!encoded) return;
  output_->WriteAndFlush(encoded, encoded_length);
  std::free(encoded);
}

void RequestMessages::ConfigurationError(const char* message) {
  output_->SetHeader("Status", "500 Internal Server Error");
  String text("Configuration Error: ");
  text.append(message);
  int32_t length = 0;
  const char* admin = config_->GetString(CFG_INFO_SERVERADMIN, &length);
  if (admin && length > 0) {
    text.append(": Please contact the server administrator: ");
    text.append(admin, length);
  }
  WriteMessage(text.data(), text.length());
}

void RequestMessages::SetFailureStatus(int code) {
  if (output_->status_set() || output_->headers_sent()) return;
  output_->SetHeader("Status", StatusLine(code));
}

void RequestMessages::ReportToErrorLog(int32_t category, int32_t code, const String& message) {
  if (log_) log_->ReportToErrorLog(category, code, message.data(), message.length());
}

void RequestMessages::ReportInputError(const String& message) {
  ReportToErrorLog(ERRORLOG_INPUT, -1, message);
  WriteMessage(message.data(), message.length());
}

void RequestMessages::ReportFatalError(const String& message) {
  SetFailureStatus(500);
  ReportToErrorLog(ERRORLOG_FATAL, -1, message);
  WriteMessage(message.data(), message.length());
}

void RequestMessages::ReportRuntimeError(int32_t tag, const String& message, bool display) {
  ReportToErrorLog(ERRORLOG_RUNTIME, tag, message);
  if (display) WriteMessage(message.data(), message.length());
}

void RequestMessages::ReportTimeout(const char* message) {
  // The run's own deadline; a body's time-out has set 408 before.
  SetFailureStatus(503);
  String text(message);
  ReportToErrorLog(ERRORLOG_TIMEOUT, -1, text);
  WriteMessage(text.data(), text.length());
}

}  // namespace pexo
