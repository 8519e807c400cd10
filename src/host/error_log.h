// ErrorLog: which visitor-facing errors are copied to the system log.
//
// Syntax of error_syslog: entries separated by commas and whitespace. An
// entry is a name, optionally followed by ":" and a filter text in double
// quotes (a missing closing quote leaves the filter empty); the rest of an
// entry up to the next comma is ignored. "input", "fatal" and "timeout"
// (exact case) select those lists; any other name that is a tag name (the
// runtime error names, any letter case) makes a runtime entry for that tag's
// code; other names are skipped.
//
// An entry matches a message when its filter is empty or occurs in the
// message; a runtime entry also needs the error's code. Each matching entry
// writes one record, so one message may be logged several times.
#ifndef PEXO_HOST_ERROR_LOG_H_
#define PEXO_HOST_ERROR_LOG_H_

#include <cstdint>
#include <vector>

#include "values/string.h"

namespace pexo {

enum ErrorLogCategory : int32_t {
  ERRORLOG_INPUT = 0,
  ERRORLOG_FATAL = 1,
  ERRORLOG_TIMEOUT = 2,
  ERRORLOG_RUNTIME = 3,
};

struct ErrorSyslogEntry {
  String filter;  // empty: every message
  bool Matches(const char* message, int32_t length) const;
};

struct ErrorSyslogRuntimeEntry : ErrorSyslogEntry {
  int32_t code = -1;  // tag number
};

class ErrorLog {
 public:
  // Adds the entries of `text` to the four lists.
  void Parse(const char* text, int32_t length);

  // Number of records a message of `category` gets; `code` counts for
  // runtime errors only.
  int32_t Matches(int32_t category, int32_t code, const char* message, int32_t length) const;

  const std::vector<ErrorSyslogEntry>& list(int32_t category) const;
  const std::vector<ErrorSyslogRuntimeEntry>& runtime() const { return runtime_; }

 private:
  std::vector<ErrorSyslogEntry> lists_[3];  // input, fatal, timeout
  std::vector<ErrorSyslogRuntimeEntry> runtime_;
};

}  // namespace pexo

#endif  // PEXO_HOST_ERROR_LOG_H_
