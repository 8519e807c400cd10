// The debug trace line: a time and thread prefix, the event's name and its
// values, tab-separated, ended by a newline.
//
//   "%.3s %-2d %-4d %02d:%02d:%02d.%06ld\t%u.%u\t" (month, day, year, time,
//   process id, thread id), then the name, then "\t" + value for each value.
//
// Texts are written with every byte below 32 as "\x%02x"; integers in
// decimal; numbers in the engine's shortest number-to-text form; variables
// in the dump form (see AppendVariableDump).
#ifndef PEXO_HOST_LOG_LINE_H_
#define PEXO_HOST_LOG_LINE_H_

#include <cstdint>
#include <ctime>

#include "values/string.h"

namespace pexo {

class Variable;

struct LogValue {
  enum Kind { kText, kInteger, kNumber, kVariable };

  static LogValue Text(const char* text, int32_t length = -1) {
    LogValue v;
    v.kind = kText;
    v.text = text ? text : "";
    v.length = text_length(v.text, length);
    return v;
  }
  static LogValue Integer(int64_t value) {
    LogValue v;
    v.kind = kInteger;
    v.integer = value;
    return v;
  }
  static LogValue Number(double value) {
    LogValue v;
    v.kind = kNumber;
    v.number = value;
    return v;
  }
  static LogValue Of(Variable* variable) {
    LogValue v;
    v.kind = kVariable;
    v.variable = variable;
    return v;
  }

  Kind kind = kText;
  const char* text = "";
  int32_t length = 0;
  int64_t integer = 0;
  double number = 0;
  Variable* variable = nullptr;
};

// When and by whom a line is written.
struct LogStamp {
  struct tm local = {};
  long microseconds = 0;
  unsigned process_id = 0;
  unsigned thread_id = 0;
};

// The current local time, process id and kernel thread id.
LogStamp CurrentLogStamp();

// The name written for an event kind: the trace bit's name, or "Unknown".
const char* LogEventName(uint32_t kind);

// Appends a text with the control bytes escaped.
void AppendLogText(const char* text, int32_t length, String* out);
// Appends a variable in the dump form: a structure as
// "{ name: value, ... }", an array as "[n] = [ value, ... ]", a scalar as an
// escaped text. Nesting deeper than kMaxDumpDepth (which only a reference
// cycle reaches in practice) is written as "...".
void AppendVariableDump(Variable* variable, String* out);
constexpr int kMaxDumpDepth = 64;

// The whole line, newline included.
void FormatLogLine(const LogStamp& stamp, uint32_t kind, const LogValue* values, int32_t count,
                   String* out);

}  // namespace pexo

#endif  // PEXO_HOST_LOG_LINE_H_
