#include "host/log_line.h"

#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>

#include "vm/machine_host.h"
#include "values/aggregate_element.h"
#include "values/aggregate_index.h"
#include "values/aggregate_tree.h"
#include "values/calendar_names.h"
#include "values/conversions.h"
#include "values/variable.h"

namespace pexo {

LogStamp CurrentLogStamp() {
  LogStamp stamp;
  struct timeval now;
  gettimeofday(&now, nullptr);
  time_t seconds = now.tv_sec;
  localtime_r(&seconds, &stamp.local);
  stamp.microseconds = static_cast<long>(now.tv_usec);
  stamp.process_id = static_cast<unsigned>(getpid());
  stamp.thread_id = static_cast<unsigned>(syscall(SYS_gettid));
  return stamp;
}

const char* LogEventName(uint32_t kind) {
  const char* name = TraceEventName(kind);
  return name ? name : "Unknown";
}

void AppendLogText(const char* text, int32_t length, String* out) {
  int32_t run = 0;  // bytes copied as they are, written in one go
  for (int32_t i = 0; i < length; ++i) {
    unsigned char byte = static_cast<unsigned char>(text[i]);
    if (byte >= 32) continue;
    out->append(text + run, i - run);
    char escaped[5];
    std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
    out->append(escaped, 4);
    run = i + 1;
  }
  out->append(text + run, length - run);
}

namespace {

void AppendDump(Variable* variable, int depth, String* out) {
  if (depth > kMaxDumpDepth) {
    out->append("...");
    return;
  }
  int32_t kind = variable->AggregateKind();
  AggregateElementTree* tree = kind == kKindScalar ? nullptr : variable->Aggregate();
  if (!tree) {
    const String& text = variable->Value();
    AppendLogText(text.data(), text.length(), out);
    return;
  }
  bool structure = kind == kKindStructure;
  if (structure) {
    out->append("{ ");
  } else {
    char count[32];
    std::snprintf(count, sizeof count, "[%" PRId32 "] = [ ", tree->Count());
    out->append(count);
  }
  bool first = true;
  tree->ForEach([&](AggregateElement* element) {
    if (!first) out->append(", ");
    first = false;
    if (structure) {
      const String& name = element->Index().Name();
      AppendLogText(name.data(), name.length(), out);
      out->append(": ");
    }
    if (Variable* member = element->GetVariable()) AppendDump(member, depth + 1, out);
    return true;
  });
  out->append(structure ? " }" : " ]");
}

}  // namespace

void AppendVariableDump(Variable* variable, String* out) {
  if (variable) AppendDump(variable, 0, out);
}

void FormatLogLine(const LogStamp& stamp, uint32_t kind, const LogValue* values, int32_t count,
                   String* out) {
  char prefix[128];
  const struct tm& t = stamp.local;
  int n = std::snprintf(prefix, sizeof prefix, "%.3s %-2d %-4d %02d:%02d:%02d.%06ld\t%u.%u\t",
                        MonthAbbreviation(t.tm_mon), t.tm_mday, t.tm_year + 1900, t.tm_hour,
                        t.tm_min, t.tm_sec, stamp.microseconds, stamp.process_id,
                        stamp.thread_id);
  out->append(prefix, n < 0 ? 0 : (n < static_cast<int>(sizeof prefix) ? n : sizeof prefix - 1));
  out->append(LogEventName(kind));
  for (int32_t i = 0; i < count; ++i) {
    const LogValue& value = values[i];
    out->append('\t');
    switch (value.kind) {
      case LogValue::kText:
        AppendLogText(value.text, value.length, out);
        break;
      case LogValue::kInteger: {
        char digits[24];
        int m = std::snprintf(digits, sizeof digits, "%" PRId64, value.integer);
        out->append(digits, m);
        break;
      }
      case LogValue::kNumber: {
        char digits[kDoubleTextSize];
        out->append(digits, FormatDouble(value.number, digits));
        break;
      }
      case LogValue::kVariable:
        AppendVariableDump(value.variable, out);
        break;
    }
  }
  out->append('\n');
}

}  // namespace pexo
