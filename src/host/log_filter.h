// LogFilter: which source files and lines the debug trace records.
//
// Syntax: entries separated by ","; whitespace around parts is ignored. An
// entry is an optional "!" (exclude), a name running to whitespace, ":" or
// ",", and optionally ":" followed by a line N (bounds N..N) or a range N-M
// (either side may be left out: it is then open). Without a line both bounds
// are 0, and a bound of 0 imposes nothing. Names compare case-sensitively.
// Anything after the line part up to the next "," is ignored; entries
// without a name are dropped. Parsing never fails.
//
// Passes(name, line): false when the request's log is suppressed (log
// cookie), when an exclude entry matches, or when there are include entries
// and none matches; true otherwise.
#ifndef PEXO_HOST_LOG_FILTER_H_
#define PEXO_HOST_LOG_FILTER_H_

#include <cstdint>
#include <vector>

#include "values/string.h"

namespace pexo {

struct LogFilterEntry {
  String name;
  int32_t first = 0;  // 0 = open
  int32_t last = 0;   // 0 = open

  bool Matches(const char* file, int32_t length, int32_t line) const;
};

class LogFilter {
 public:
  // Adds the entries of `text` to the lists.
  void Parse(const char* text, int32_t length);
  bool Passes(const char* file, int32_t length, int32_t line) const;

  void set_suppressed(bool suppressed) { suppressed_ = suppressed; }
  bool suppressed() const { return suppressed_; }
  const std::vector<LogFilterEntry>& include() const { return include_; }
  const std::vector<LogFilterEntry>& exclude() const { return exclude_; }

 private:
  std::vector<LogFilterEntry> include_;
  std::vector<LogFilterEntry> exclude_;
  bool suppressed_ = false;
};

// Whether a Cookie header carries "pexologcookie=" with exactly `expected`
// as its value (up to ";" or the end).
bool LogCookieMatches(const char* header, int32_t length, const char* expected,
                      int32_t expected_length);

}  // namespace pexo

#endif  // PEXO_HOST_LOG_FILTER_H_
