#include "io/output.h"

#include <cstdlib>

#include "values/string.h"

namespace pexo {

Output::~Output() = default;

void FreeOwnedText(const char* text, bool owned) {
  if (owned && text) std::free(const_cast<char*>(text));
}

void Output::NoteLastByte(char last) { ended_in_whitespace_ = IsOutputSpace(last) ? 1 : 0; }

int32_t Output::WriteAndFlush(const char* data, int32_t length) {
  int32_t written = Write(data, length);
  Flush();
  return written;
}

int Output::SetHeader(const char* name, int32_t, bool name_owned, const char* value, int32_t,
                      bool value_owned) {
  FreeOwnedText(name, name_owned);
  FreeOwnedText(value, value_owned);
  return 0;
}

int Output::SetHeader(const char* name, const char* value) {
  return SetHeader(name, -1, false, value, -1, false);
}

int32_t Output::Emit(const char* data, int32_t length) {
  if (whitespace_mode_ == kWhitespaceTrim) return WriteTrimmed(data, length);
  if (whitespace_mode_ == kWhitespaceCompress) return WriteCompressed(data, length);
  return Write(data, length);
}

int32_t Output::Send(int) { return 0; }

int Output::GetWhitespaceMode() const { return whitespace_mode_; }

void Output::SetWhitespaceMode(int mode) { whitespace_mode_ = mode; }

int32_t Output::WriteTrimmed(const char* data, int32_t length) {
  length = text_length(data, length);
  int32_t skip = 0;
  if (ended_in_whitespace_) {
    if (length == 0) return 0;
    if (IsOutputSpace(data[0])) skip = 1;
  }
  if (length > skip) Write(data + skip, length - skip);
  return length;
}

int32_t Output::WriteCompressed(const char* data, int32_t length) {
  length = text_length(data, length);
  int32_t at = 0;
  if (ended_in_whitespace_) {
    if (length == 0) return 0;
    while (at < length && IsOutputSpace(data[at])) at++;
  }
  int32_t pending = at;
  while (at < length) {
    if (!IsOutputSpace(data[at])) {
      at++;
      continue;
    }
    // Keep the run's first byte, drop the rest of the run.
    Write(data + pending, at - pending + 1);
    at++;
    while (at < length && IsOutputSpace(data[at])) at++;
    pending = at;
  }
  if (pending < length) Write(data + pending, length - pending);
  return length;
}

}  // namespace pexo
