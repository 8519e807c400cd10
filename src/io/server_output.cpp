#include "io/server_output.h"

#include <cstring>

#include "values/string.h"

namespace pexo {

ServerResponse::~ServerResponse() = default;

ServerOutput::ServerOutput(ServerResponse* response, int32_t block_size, int32_t flush_threshold)
    : HTTPOutput(block_size, flush_threshold), response_(response) {
  if (response_) response_->DisableBuffering();
}

static bool IsHeaderSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

static void Trim(const char** text, int32_t* length) {
  while (*length > 0 && IsHeaderSpace(**text)) {
    (*text)++;
    (*length)--;
  }
  while (*length > 0 && IsHeaderSpace((*text)[*length - 1])) (*length)--;
}

static const char* FindByte(const char* text, int32_t length, char byte) {
  return static_cast<const char*>(std::memchr(text, byte, static_cast<size_t>(length)));
}

bool ParseStatusValue(const char* value, int32_t length, int* code, const char** reason,
                      int32_t* reason_length) {
  length = text_length(value, length);
  const char* space = FindByte(value, length, ' ');
  int32_t code_length = space ? static_cast<int32_t>(space - value) : length;
  const char* digits = value;
  Trim(&digits, &code_length);
  if (code_length == 0) return false;
  int number = 0;
  for (int32_t i = 0; i < code_length; i++) {
    if (digits[i] < '0' || digits[i] > '9' || number > 999) return false;
    number = number * 10 + (digits[i] - '0');
  }
  if (number < 100 || number > 999) return false;
  *code = number;
  *reason = space ? space + 1 : value + length;
  *reason_length = space ? static_cast<int32_t>(value + length - (space + 1)) : 0;
  Trim(reason, reason_length);
  return true;
}

int ServerOutput::SetStatusLine(const char* value, int32_t length) {
  int code = 0;
  const char* reason = nullptr;
  int32_t reason_length = 0;
  if (!value || !response_) return 0;
  if (!ParseStatusValue(value, length, &code, &reason, &reason_length)) return 0;
  if (!response_->SetStatus(code, reason, reason_length)) return 0;
  status_set_ = true;
  return 1;
}

int ServerOutput::SetHeader(const char* name, int32_t name_length, bool name_owned,
                            const char* value, int32_t value_length, bool value_owned) {
  int32_t n = text_length(name, name_length);
  if (name && !headers_sent() && equals_nocase(name, n, "Status", 6)) {
    int result = SetStatusLine(value, text_length(value, value_length));
    FreeOwnedText(name, name_owned);
    FreeOwnedText(value, value_owned);
    return result;
  }
  return HTTPOutput::SetHeader(name, name_length, name_owned, value, value_length, value_owned);
}

void ServerOutput::SendHeaderLines(const char* name, int32_t name_length, const char* value,
                                   int32_t value_length) {
  Trim(&name, &name_length);
  Trim(&value, &value_length);
  for (;;) {
    const char* newline = FindByte(value, value_length, '\n');
    if (!newline) break;
    const char* line = value;
    int32_t line_length = static_cast<int32_t>(newline - value);
    Trim(&line, &line_length);
    if (name_length > 0) response_->SetHeader(name, name_length, line, line_length, false);
    // The rest starts with a header line of its own: "Name: value".
    value_length -= static_cast<int32_t>(newline + 1 - value);
    value = newline + 1;
    const char* end = FindByte(value, value_length, '\n');
    int32_t first_line = end ? static_cast<int32_t>(end - value) : value_length;
    const char* colon = FindByte(value, first_line, ':');
    if (!colon) {
      // Not a header line: drop it rather than send a malformed name.
      name_length = 0;
      value_length -= first_line;
      value += first_line;
      if (value_length == 0) return;
      continue;
    }
    name = value;
    name_length = static_cast<int32_t>(colon - value);
    Trim(&name, &name_length);
    value_length -= static_cast<int32_t>(colon + 1 - value);
    value = colon + 1;
    Trim(&value, &value_length);
  }
  if (name_length > 0) response_->SetHeader(name, name_length, value, value_length, false);
}

int ServerOutput::SendHeaders() {
  if (!response_) return 0;
  for (int32_t i = 0; i < header_count(); i++) {
    const String& name = header_name(i);
    const String& value = header_value(i);
    SendHeaderLines(name.data(), name.length(), value.data(), value.length());
  }
  return 1;
}

int32_t ServerOutput::SendBody(const char* data, int32_t length) {
  if (!response_) return -1;
  return response_->WriteBody(data, length, true);
}

}  // namespace pexo
