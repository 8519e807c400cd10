#include "fake_host.h"

#include <cstdio>

namespace pexo {

void FakeHost::Write(const char* bytes, int32_t length) {
  written += length;
  if (record) output.append(bytes, static_cast<size_t>(length));
}

void FakeHost::Emit(const char* bytes, int32_t length) {
  written += length;
  if (!record) return;
  emitted.push_back(std::to_string(whitespace_mode) + ":" +
                    std::string(bytes, static_cast<size_t>(length)));
  output.append(bytes, static_cast<size_t>(length));
}

void FakeHost::SetHeader(const char* name, const char* value) {
  if (record) headers.emplace_back(name, value);
}

void FakeHost::WriteMessage(const char* text, int32_t length) {
  if (echo_errors) std::fprintf(stderr, "%s\n", text);
  if (record) output.append(text, static_cast<size_t>(length));
}

void FakeHost::ReportFatalError(const String& message) {
  if (echo_errors) std::fprintf(stderr, "%s", message.c_str());
  if (record) fatal.emplace_back(message.c_str());
}

void FakeHost::ReportRuntimeError(int32_t tag, const String& message, bool display) {
  if (echo_errors) std::fprintf(stderr, "%s", message.c_str());
  if (record) runtime.push_back(RuntimeReport{tag, message.c_str(), display});
}

void FakeHost::ReportTimeout(const char* message) {
  if (record) timeouts.emplace_back(message);
}

void FakeHost::LogEvent(const TraceEvent& event) {
  if (!record) return;
  std::string text = TraceEventName(event.kind);
  text += "|" + std::string(event.source_file) + ":" + std::to_string(event.line);
  if (*event.name) text += "|" + std::string(event.name);
  if (*event.detail) text += "|" + std::string(event.detail);
  if (*event.value) text += "=" + std::string(event.value);
  events.push_back(text);
}

bool FakeHost::PasswordHash(const char* text, int32_t length, const char salt[2],
                            String* result) {
  if (record) salts.emplace_back(salt, 2);
  if (fixed_hash) {
    result->assign(fixed_hash);
    return true;
  }
  return SystemPasswordHash(text, length, salt, result);
}

std::string FakeHost::header_lines() const {
  std::string lines;
  for (const auto& header : headers) lines += header.first + ": " + header.second + "\n";
  return lines;
}

}  // namespace pexo
