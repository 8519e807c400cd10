#include "host/request_log.h"

#include <syslog.h>

#include <cinttypes>
#include <cstdio>

#include "vm/machine_host.h"
#include "values/config.h"
#include "host/posix_file_manager.h"
#include "host/system_log.h"

namespace pexo {

namespace {

// Opened for each line: write, create when missing; appending so that
// requests sharing one trace file never overwrite each other's lines.
constexpr int32_t kDebugLogOpen = FILE_WRITE | FILE_CREATE | FILE_CREATE_MISSING | FILE_APPEND;

// Kinds whose value field is written even when empty: an empty parameter or
// return value is still a value.
bool CarriesValue(uint32_t kind) {
  return kind == kTraceFunctionParameter || kind == kTraceFunctionReturnValue ||
         kind == kTraceExternalParameter || kind == kTraceExternalReturnValue;
}

}  // namespace

RequestLog::RequestLog(Config* config, PosixFileManager* files, SystemLog* system_log)
    : config_(config), files_(files), system_log_(system_log) {}

void RequestLog::Configure(const char* cookie_header, int32_t length) {
  int32_t filter_length = 0;
  const char* filter = config_->GetString(CFG_LOG_FILTER, &filter_length);
  if (filter && filter_length > 0) filter_.Parse(filter, filter_length);
  int32_t cookie_length = 0;
  const char* cookie = config_->GetString(CFG_LOG_COOKIE, &cookie_length);
  if (cookie && cookie_length > 0)
    filter_.set_suppressed(
        !cookie_header || !LogCookieMatches(cookie_header, length, cookie, cookie_length));
}

uint32_t RequestLog::Level() const {
  int32_t level = config_->GetInteger(CFG_LOG_LEVEL);
  return level < 0 ? 0 : static_cast<uint32_t>(level);
}

void RequestLog::LogEvent(uint32_t kind, const LogValue* values, int32_t count) {
  if (filter_.suppressed() || !(Level() & kind) || !files_) return;
  int32_t path_length = 0;
  const char* path = config_->GetString(CFG_LOG_FILE, &path_length);
  if (!path || path_length <= 0) return;
  String line;
  FormatLogLine(clock_(), kind, values, count, &line);
  PosixFile* file = files_->OpenRaw(path, kDebugLogOpen);
  if (!file) return;
  file->Write(line.data(), line.length());
  delete file;
}

void RequestLog::LogTraceEvent(const TraceEvent& event) {
  LogValue values[6];
  int32_t count = 0;
  values[count++] = LogValue::Text(event.program);
  values[count++] = LogValue::Text(event.source_file);
  values[count++] = LogValue::Integer(event.line);
  if (event.name && *event.name) values[count++] = LogValue::Text(event.name);
  if (event.detail && *event.detail) values[count++] = LogValue::Text(event.detail);
  if (event.variable)
    values[count++] = LogValue::Of(event.variable);
  else if ((event.value && *event.value) || CarriesValue(event.kind))
    values[count++] = LogValue::Text(event.value);
  LogEvent(event.kind, values, count);
}

void RequestLog::LogRequest(uint32_t kind, const char* path_info, const char* query_string) {
  if (!(Level() & kind)) return;
  String text(path_info ? path_info : "");
  text.append('?');
  text.append(query_string ? query_string : "");
  LogValue value = LogValue::Text(text.data(), text.length());
  LogEvent(kind, &value, 1);
}

int32_t RequestLog::ReportToErrorLog(int32_t category, int32_t code, const char* message,
                                     int32_t length) {
  if (!error_log_parsed_) {
    error_log_parsed_ = true;
    int32_t text_length = 0;
    const char* text = config_->GetString(CFG_ERROR_SYSLOG, &text_length);
    if (text && text_length > 0) error_log_.Parse(text, text_length);
  }
  int32_t records = error_log_.Matches(category, code, message, length);
  for (int32_t i = 0; i < records; ++i) ReportError(message, length);
  return records;
}

void RequestLog::ReportError(const char* message, int32_t length) {
  WriteRecord(CFG_ERROR_SYSLOG_IDENT, CFG_ERROR_SYSLOG_FACILITY, CFG_ERROR_SYSLOG_PRIORITY,
              message, length);
}

void RequestLog::ReportSlowRequest(const char* message, int32_t length) {
  WriteRecord(CFG_SLOWREQUEST_SYSLOG_IDENT, CFG_SLOWREQUEST_SYSLOG_FACILITY,
              CFG_SLOWREQUEST_SYSLOG_PRIORITY, message, length);
}

void RequestLog::WriteRecord(int32_t ident_key, int32_t facility_key, int32_t priority_key,
                             const char* message, int32_t length) {
  if (!system_log_) return;
  int32_t n = 0;
  const char* ident = config_->GetString(ident_key, &n);
  const char* facility = config_->GetString(facility_key, &n);
  int32_t facility_code = SyslogFacility(facility, n, LOG_USER);
  const char* priority = config_->GetString(priority_key, &n);
  int32_t priority_code = SyslogPriority(priority, n, LOG_ERR);
  system_log_->Write(ident && *ident ? ident : kDefaultSyslogIdent, facility_code, priority_code,
                     message, text_length(message, length));
}

void RequestLog::SlowRequestMessage(int64_t seconds, const char* remote_addr,
                                    const char* documenturl, const char* query_string,
                                    String* out) {
  auto value = [](const char* text) { return text && *text ? text : "NULL"; };
  char number[24];
  std::snprintf(number, sizeof number, "%" PRId64, seconds);
  out->append("Slow Request: ");
  out->append(number);
  out->append(" seconds: remote_addr=");
  out->append(value(remote_addr));
  out->append(", documenturl=");
  out->append(value(documenturl));
  out->append(", query_string=");
  out->append(value(query_string));
}

}  // namespace pexo
