// RequestLog: the three logs of one request, written on the request's own
// thread.
//
// Debug trace: LogEvent appends one line (see log_line.h) to log_file when
// log_level has the event's bit and the log is not suppressed for the
// request; the file is opened for each line (write, create when missing,
// appending) and closed again, and a file that cannot be opened drops the
// line. Producers of function-level events ask PassesLogFilter first.
//
// Error log: the error reporters call ReportToErrorLog with the category;
// error_syslog is parsed on the first call, and each matching entry writes
// one record with error_syslog_ident. Slow requests: ReportSlowRequest
// writes one record with slowrequest_syslog_ident.
//
// The configuration, file manager and system log are borrowed and must
// outlive this object.
#ifndef PEXO_HOST_REQUEST_LOG_H_
#define PEXO_HOST_REQUEST_LOG_H_

#include <cstdint>

#include "host/error_log.h"
#include "host/log_filter.h"
#include "host/log_line.h"
#include "values/string.h"

namespace pexo {

class Config;
class PosixFileManager;
class SystemLog;
struct TraceEvent;

class RequestLog {
 public:
  RequestLog(Config* config, PosixFileManager* files, SystemLog* system_log);
  RequestLog(const RequestLog&) = delete;
  RequestLog& operator=(const RequestLog&) = delete;

  // Parses log_filter and applies log_cookie against the request's Cookie
  // header (null when there is none).
  void Configure(const char* cookie_header, int32_t length);

  bool PassesLogFilter(const char* file, int32_t length, int32_t line) const {
    return filter_.Passes(file, length, line);
  }
  uint32_t Level() const;

  void LogEvent(uint32_t kind, const LogValue* values, int32_t count);
  // The machine's events: program path, source file and line, then the
  // event's own fields (see the .cpp for which kinds carry which).
  void LogTraceEvent(const TraceEvent& event);
  // "Request Start" / "Request End" with PATH_INFO + "?" + QUERY_STRING.
  void LogRequest(uint32_t kind, const char* path_info, const char* query_string);

  // Records written for an error of `category` (and runtime `code`).
  int32_t ReportToErrorLog(int32_t category, int32_t code, const char* message, int32_t length);
  void ReportError(const char* message, int32_t length);
  void ReportSlowRequest(const char* message, int32_t length);

  // The slow-request rule: a run is reported when the threshold is above 0
  // and the run took more whole seconds than it.
  static bool IsSlowRequest(int64_t seconds, int32_t threshold) {
    return threshold > 0 && seconds > threshold;
  }
  // "Slow Request: N seconds: remote_addr=..., documenturl=...,
  // query_string=..." with "NULL" for a missing or empty value.
  static void SlowRequestMessage(int64_t seconds, const char* remote_addr,
                                 const char* documenturl, const char* query_string, String* out);

  LogFilter& filter() { return filter_; }
  // Tests pin the time and thread ids of the trace lines.
  void set_clock(LogStamp (*clock)()) { clock_ = clock; }

 private:
  void WriteRecord(int32_t ident_key, int32_t facility_key, int32_t priority_key,
                   const char* message, int32_t length);

  Config* config_;
  PosixFileManager* files_;
  SystemLog* system_log_;
  LogFilter filter_;
  ErrorLog error_log_;
  bool error_log_parsed_ = false;
  LogStamp (*clock_)() = CurrentLogStamp;
};

}  // namespace pexo

#endif  // PEXO_HOST_REQUEST_LOG_H_
