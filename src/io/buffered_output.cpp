#include "io/buffered_output.h"

#include <cstdlib>
#include <cstring>

#include "values/string.h"

namespace pexo {

BufferedOutput::BufferedOutput(int32_t capacity) : capacity_(capacity > 0 ? capacity : 1) {
  buffer_ = static_cast<char*>(std::malloc(static_cast<size_t>(capacity_)));
  if (!buffer_) capacity_ = 0;
}

BufferedOutput::~BufferedOutput() { std::free(buffer_); }

int32_t BufferedOutput::Write(const char* data, int32_t length) {
  length = text_length(data, length);
  if (length <= 0) return 0;
  if (capacity_ == 0) return 0;  // no buffer could be allocated
  if (length > capacity_) {
    int32_t done = 0;
    while (done < length) {
      if (held_ == capacity_) Flush();
      int32_t part = capacity_ - held_;
      if (part > length - done) part = length - done;
      std::memcpy(buffer_ + held_, data + done, static_cast<size_t>(part));
      held_ += part;
      done += part;
    }
  } else {
    if (held_ + length > capacity_) Flush();
    std::memcpy(buffer_ + held_, data, static_cast<size_t>(length));
    held_ += length;
  }
  NoteLastByte(data[length - 1]);
  return length;
}

int BufferedOutput::Flush() {
  if (held_ > 0) {
    Transmit(buffer_, held_);
    held_ = 0;
  }
  return 1;
}

}  // namespace pexo
