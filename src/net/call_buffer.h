// CallBuffer: a byte reader over a response body with one byte of push-back.
// It reads the body through the response stream in blocks.
#ifndef PEXO_NET_CALL_BUFFER_H_
#define PEXO_NET_CALL_BUFFER_H_

#include <cstdint>

#include "net/http_response_stream.h"

namespace pexo {

class CallBuffer {
 public:
  static const int32_t kEnd = -1;
  static const int32_t kError = -2;  // the stream's ErrorText() says why
  static const int32_t kBlockSize = 4096;

  explicit CallBuffer(HTTPResponseStream* stream) : stream_(stream) {}
  CallBuffer(const CallBuffer&) = delete;
  CallBuffer& operator=(const CallBuffer&) = delete;

  // The next byte (0..255), kEnd or kError.
  int Get() {
    if (at_ < length_) return static_cast<unsigned char>(block_[at_++]);
    return Refill();
  }
  // Returns the byte Get just gave; only one, and only after a byte.
  void PushBack() {
    if (at_ > 0) at_--;
  }
  const String& ErrorText() const { return stream_->ErrorText(); }

 private:
  int Refill();

  HTTPResponseStream* stream_;
  char block_[kBlockSize + 1];
  int32_t at_ = 0;
  int32_t length_ = 0;
};

}  // namespace pexo

#endif  // PEXO_NET_CALL_BUFFER_H_
