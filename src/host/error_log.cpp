#include "host/error_log.h"

#include <cstring>

#include "vm/error_table.h"

namespace pexo {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool Contains(const char* text, int32_t length, const String& needle) {
  int32_t n = needle.length();
  if (n == 0) return true;
  for (int32_t i = 0; i + n <= length; ++i)
    if (text[i] == needle.data()[0] &&
        std::memcmp(text + i, needle.data(), static_cast<size_t>(n)) == 0)
      return true;
  return false;
}

int32_t FixedCategory(const char* name, int32_t length) {
  static const char* const kNames[] = {"input", "fatal", "timeout"};
  for (int32_t i = 0; i < 3; ++i)
    if (static_cast<int32_t>(std::strlen(kNames[i])) == length &&
        std::memcmp(name, kNames[i], static_cast<size_t>(length)) == 0)
      return i;
  return -1;
}

}  // namespace

bool ErrorSyslogEntry::Matches(const char* message, int32_t length) const {
  return Contains(message, text_length(message, length), filter);
}

void ErrorLog::Parse(const char* text, int32_t length) {
  length = text_length(text, length);
  const char* at = text;
  const char* end = text + length;
  while (at < end) {
    while (at < end && (IsSpace(*at) || *at == ',')) ++at;
    const char* name = at;
    while (at < end && !IsSpace(*at) && *at != ',' && *at != ':') ++at;
    int32_t name_length = static_cast<int32_t>(at - name);
    if (name_length == 0) {
      if (at < end) ++at;  // a stray ":"
      continue;
    }
    String filter;
    const char* probe = at;
    while (probe < end && IsSpace(*probe)) ++probe;
    if (probe < end && *probe == ':') {
      at = probe + 1;
      while (at < end && IsSpace(*at)) ++at;
      if (at < end && *at == '"') {
        const char* open = at + 1;
        const char* close = static_cast<const char*>(
            std::memchr(open, '"', static_cast<size_t>(end - open)));
        if (close) {
          filter.assign(open, static_cast<int32_t>(close - open));
          at = close + 1;
        }
      }
      while (at < end && *at != ',') ++at;  // rest of the entry
    }
    int32_t category = FixedCategory(name, name_length);
    if (category >= 0) {
      ErrorSyslogEntry entry;
      entry.filter = std::move(filter);
      lists_[category].push_back(std::move(entry));
      continue;
    }
    int32_t code = TagErrorTable::find(name, name_length);
    if (code < 0) continue;
    ErrorSyslogRuntimeEntry entry;
    entry.filter = std::move(filter);
    entry.code = code;
    runtime_.push_back(std::move(entry));
  }
}

int32_t ErrorLog::Matches(int32_t category, int32_t code, const char* message,
                          int32_t length) const {
  length = text_length(message, length);
  int32_t count = 0;
  if (category == ERRORLOG_RUNTIME) {
    for (const ErrorSyslogRuntimeEntry& entry : runtime_)
      if (entry.code == code && entry.Matches(message, length)) ++count;
    return count;
  }
  if (category < 0 || category > 2) return 0;
  for (const ErrorSyslogEntry& entry : lists_[category])
    if (entry.Matches(message, length)) ++count;
  return count;
}

const std::vector<ErrorSyslogEntry>& ErrorLog::list(int32_t category) const {
  static const std::vector<ErrorSyslogEntry> kEmpty;
  return category >= 0 && category < 3 ? lists_[category] : kEmpty;
}

}  // namespace pexo
