#include "io/null_output.h"

#include "values/string.h"

namespace pexo {

int32_t NullOutput::Write(const char* data, int32_t length) {
  length = text_length(data, length);
  if (length <= 0) return 0;
  NoteLastByte(data[length - 1]);
  return Transmit(data, length);
}

int32_t NullOutput::Emit(const char* data, int32_t length) { return Write(data, length); }

int32_t NullOutput::Transmit(const char* data, int32_t length) {
  if (callback_) return callback_(data, length);
  return length;
}

}  // namespace pexo
