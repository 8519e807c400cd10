#include "host/log_filter.h"

#include <cstring>

namespace pexo {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A cursor over the filter text; every read is bounded by `end`.
struct Cursor {
  const char* at;
  const char* end;

  bool done() const { return at >= end; }
  char peek() const { return at < end ? *at : '\0'; }
  void SkipSpace() {
    while (at < end && IsSpace(*at)) ++at;
  }
  // Digits as a line number, saturating; 0 when there are none.
  int32_t Number() {
    int64_t value = 0;
    while (at < end && *at >= '0' && *at <= '9') {
      value = value * 10 + (*at - '0');
      if (value > INT32_MAX) value = INT32_MAX;
      ++at;
    }
    return static_cast<int32_t>(value);
  }
  void SkipToComma() {
    while (at < end && *at != ',') ++at;
  }
};

}  // namespace

bool LogFilterEntry::Matches(const char* file, int32_t length, int32_t line) const {
  if (!name.equals(file, length)) return false;
  if (first && line < first) return false;
  if (last && line > last) return false;
  return true;
}

void LogFilter::Parse(const char* text, int32_t length) {
  length = text_length(text, length);
  Cursor c{text, text + length};
  while (!c.done()) {
    c.SkipSpace();
    bool exclude = c.peek() == '!';
    if (exclude) {
      ++c.at;
      c.SkipSpace();
    }
    const char* name = c.at;
    while (!c.done() && !IsSpace(*c.at) && *c.at != ':' && *c.at != ',') ++c.at;
    LogFilterEntry entry;
    entry.name.assign(name, static_cast<int32_t>(c.at - name));
    c.SkipSpace();
    if (c.peek() == ':') {
      ++c.at;
      c.SkipSpace();
      entry.first = c.Number();
      c.SkipSpace();
      if (c.peek() == '-') {
        ++c.at;
        c.SkipSpace();
        entry.last = c.Number();
      } else {
        entry.last = entry.first;
      }
    }
    c.SkipToComma();
    if (!c.done()) ++c.at;  // the comma
    if (entry.name.empty()) continue;
    (exclude ? exclude_ : include_).push_back(std::move(entry));
  }
}

bool LogFilter::Passes(const char* file, int32_t length, int32_t line) const {
  if (suppressed_) return false;
  length = text_length(file, length);
  for (const LogFilterEntry& entry : exclude_)
    if (entry.Matches(file, length, line)) return false;
  if (include_.empty()) return true;
  for (const LogFilterEntry& entry : include_)
    if (entry.Matches(file, length, line)) return true;
  return false;
}

bool LogCookieMatches(const char* header, int32_t length, const char* expected,
                      int32_t expected_length) {
  static const char kName[] = "pexologcookie=";
  const int32_t name_length = static_cast<int32_t>(sizeof kName - 1);
  length = text_length(header, length);
  expected_length = text_length(expected, expected_length);
  for (int32_t i = 0; i + name_length <= length; ++i) {
    if (std::memcmp(header + i, kName, static_cast<size_t>(name_length)) != 0) continue;
    const char* value = header + i + name_length;
    const char* stop = static_cast<const char*>(
        std::memchr(value, ';', static_cast<size_t>(header + length - value)));
    int32_t value_length = static_cast<int32_t>((stop ? stop : header + length) - value);
    return value_length == expected_length &&
           (value_length == 0 || std::memcmp(value, expected, static_cast<size_t>(value_length)) == 0);
  }
  return false;
}

}  // namespace pexo
