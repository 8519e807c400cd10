#include "host/command_line_application.h"

#include <cstdlib>

#include "io/entity.h"

namespace pexo {

int FileResponse::SetStatus(int code, const char* reason, int32_t reason_length) {
  code_ = code;
  reason_.assign(reason, static_cast<size_t>(reason_length));
  return 1;
}

int FileResponse::SetHeader(const char* name, int32_t name_length, const char* value,
                            int32_t value_length, bool replace) {
  std::string key(name, static_cast<size_t>(name_length));
  std::string text(value, static_cast<size_t>(value_length));
  if (replace) {
    for (auto& header : headers_) {
      if (header.first.size() == key.size() &&
          equals_nocase(header.first.data(), name_length, name, name_length)) {
        header.second = text;
        return 1;
      }
    }
  }
  headers_.emplace_back(key, text);
  return 1;
}

void FileResponse::WriteHead() {
  head_written_ = true;
  if (!include_head_) return;
  std::fprintf(out_, "HTTP/1.1 %d %s\r\n", code_, reason_.c_str());
  for (const auto& header : headers_)
    std::fprintf(out_, "%s: %s\r\n", header.first.c_str(), header.second.c_str());
  std::fputs("\r\n", out_);
}

int32_t FileResponse::WriteBody(const char* data, int32_t length, bool) {
  if (!head_written_) WriteHead();
  if (length > 0 && std::fwrite(data, 1, static_cast<size_t>(length), out_) != static_cast<size_t>(length))
    return -1;
  return length;
}

void FileResponse::Finish() {
  if (!head_written_) WriteHead();
  std::fflush(out_);
}

CommandLineApplication::CommandLineApplication(FILE* out, bool include_head)
    : response_(out, include_head), output_(new ServerOutput(&response_)) {}

CommandLineApplication::~CommandLineApplication() = default;

void CommandLineApplication::Write(const char* bytes, int32_t length) {
  output_->Write(bytes, length);
}

void CommandLineApplication::Emit(const char* bytes, int32_t length) {
  output_->Emit(bytes, length);
}

void CommandLineApplication::SetWhitespaceMode(int32_t mode) { output_->SetWhitespaceMode(mode); }

void CommandLineApplication::SetHeader(const char* name, const char* value) {
  output_->SetHeader(name, value);
}

void CommandLineApplication::DefaultHeaders() {
  if (defaults_done_) return;
  defaults_done_ = true;
  output_->SetHeader("Content-Type", "text/html");
}

void CommandLineApplication::WriteMessage(const char* text, int32_t length) {
  DefaultHeaders();
  int32_t encoded_length = 0, capacity = 0;
  char* encoded = EntityEncode(text, length, &encoded_length, &capacity);
  if (!encoded) return;
  output_->WriteAndFlush(encoded, encoded_length);
  std::free(encoded);
}

void CommandLineApplication::ReportFatalError(const String& message) {
  WriteMessage(message.data(), message.length());
}

void CommandLineApplication::ReportRuntimeError(int32_t, const String& message, bool display) {
  if (display) WriteMessage(message.data(), message.length());
}

void CommandLineApplication::ReportTimeout(const char* message) { WriteMessage(message, -1); }

void CommandLineApplication::LogEvent(const TraceEvent& event) {
  const char* name = TraceEventName(event.kind);
  std::fprintf(stderr, "%s: %s: %s: %d: %s %s %s\n", name ? name : "Event", event.program,
               event.source_file, event.line, event.name, event.detail, event.value);
}

bool CommandLineApplication::PasswordHash(const char* text, int32_t length, const char salt[2],
                                          String* result) {
  return SystemPasswordHash(text, length, salt, result);
}

void CommandLineApplication::ConfigurationError(const std::string& message) {
  output_->SetHeader("Status", "500 Internal Server Error");
  std::string text = "Configuration Error: " + message;
  WriteMessage(text.data(), static_cast<int32_t>(text.size()));
}

void CommandLineApplication::Finish() {
  output_->Send(1);
  response_.Finish();
}

}  // namespace pexo
