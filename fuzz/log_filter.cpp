// Feeds arbitrary bytes to the debug-log filter parser and asks the parsed
// filter about every entry's own name and bounds, so parsing and matching
// both run; the same bytes also go through the error-log list parser and
// the log-cookie check, which share the same hand-written scanning.
#include <cstddef>
#include <cstdint>

#include "host/error_log.h"
#include "host/log_filter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  const char* text = reinterpret_cast<const char*>(data);
  int32_t length = static_cast<int32_t>(size);
  pexo::LogFilter filter;
  filter.Parse(text, length);
  for (const auto* list : {&filter.include(), &filter.exclude()}) {
    for (const pexo::LogFilterEntry& entry : *list) {
      filter.Passes(entry.name.data(), entry.name.length(), entry.first);
      filter.Passes(entry.name.data(), entry.name.length(), entry.last);
      // A non-empty include range matches its own name at its first line
      // when nothing is excluded: a parse that mangles names trips this.
      bool nonempty = entry.last == 0 || entry.first <= entry.last;
      if (list == &filter.include() && filter.exclude().empty() && nonempty &&
          !filter.Passes(entry.name.data(), entry.name.length(), entry.first))
        __builtin_trap();
    }
  }
  pexo::ErrorLog errors;
  errors.Parse(text, length);
  for (int32_t category = 0; category < 4; ++category) errors.Matches(category, 28, text, length);
  pexo::LogCookieMatches(text, length, "k", 1);
  return 0;
}
