// FakeHost: the machine's host for tests, benchmarks and fuzz targets. It
// records what the machine gives it: output (written, emitted and message
// text in one string, emitted pieces also as "mode:text"), headers, fatal
// and runtime reports, time-outs, trace events ("Event|file:line|name|
// detail=value") and the salts of password hashes.
//
// With `record` off nothing is kept (only `written` counts the output
// bytes), for runs whose length must not grow memory. The trace mask,
// the log filter's first line, the password hash and echoing errors to
// stderr are the knobs a caller sets before the run.
#ifndef PEXO_TESTS_SUPPORT_FAKE_HOST_H_
#define PEXO_TESTS_SUPPORT_FAKE_HOST_H_

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "vm/machine_host.h"

namespace pexo {

struct RuntimeReport {
  int32_t tag;
  std::string text;
  bool display;
};

class FakeHost : public PexoApplication {
 public:
  void Write(const char* bytes, int32_t length) override;
  void Emit(const char* bytes, int32_t length) override;
  void SetWhitespaceMode(int32_t mode) override {
    whitespace_mode = mode;
    ++mode_sets;
  }
  void SetHeader(const char* name, const char* value) override;
  void WriteMessage(const char* text, int32_t length) override;
  void ReportFatalError(const String& message) override;
  void ReportRuntimeError(int32_t tag, const String& message, bool display) override;
  void ReportTimeout(const char* message) override;
  uint32_t DebugLogLevel() override { return debug_level; }
  bool LogFilterAccepts(const char*, int32_t line) override { return line >= min_line; }
  void LogEvent(const TraceEvent& event) override;
  bool PasswordHash(const char* text, int32_t length, const char salt[2],
                    String* result) override;

  // Lets the machine see the output's mode (whitespace_mode) and skip
  // setting the one it already has, as a server host does.
  void ShowWhitespaceMode() { whitespace_mode_cell_ = &whitespace_mode; }
  // The last fatal report, empty when there was none.
  std::string last_fatal() const { return fatal.empty() ? std::string() : fatal.back(); }
  // The headers as "Name: value\n" lines, in the order they were set.
  std::string header_lines() const;

  // Knobs.
  bool record = true;
  bool echo_errors = false;
  uint32_t debug_level = 0;
  int32_t min_line = 0;
  // When set, every password hash is this text, without computing one.
  const char* fixed_hash = nullptr;

  // What was recorded.
  int64_t written = 0;
  std::string output;
  std::vector<std::string> emitted;
  int32_t whitespace_mode = 0;
  int32_t mode_sets = 0;  // calls of SetWhitespaceMode
  std::vector<std::pair<std::string, std::string>> headers;
  std::vector<std::string> fatal;
  std::vector<RuntimeReport> runtime;
  std::vector<std::string> timeouts;
  std::vector<std::string> events;
  std::vector<std::string> salts;
};

}  // namespace pexo

#endif  // PEXO_TESTS_SUPPORT_FAKE_HOST_H_
