// BufferedOutput: a fixed-size byte buffer in front of an abstract
// transmitter. Text is copied into the buffer and handed to Transmit when the
// buffer would overflow and on Flush. Writes larger than the buffer pass
// through it in buffer-sized pieces, so Transmit never sees more than
// capacity bytes at once.
#ifndef PEXO_IO_BUFFERED_OUTPUT_H_
#define PEXO_IO_BUFFERED_OUTPUT_H_

#include <cstdint>

#include "io/output.h"

namespace pexo {

class BufferedOutput : public Output {
 public:
  // A capacity below 1 is raised to 1.
  explicit BufferedOutput(int32_t capacity);
  ~BufferedOutput() override;

  int32_t Write(const char* data, int32_t length) override;
  // Transmits the held bytes, if any. Returns 1.
  int Flush() override;
  int Kind() const override { return kBufferedOutputKind; }

  // Delivers buffered bytes.
  virtual int32_t Transmit(const char* data, int32_t length) = 0;

  int32_t capacity() const { return capacity_; }
  int32_t held() const { return held_; }

 private:
  char* buffer_;
  int32_t capacity_;
  int32_t held_ = 0;
};

}  // namespace pexo

#endif  // PEXO_IO_BUFFERED_OUTPUT_H_
