#include "net/call_buffer.h"

namespace pexo {

int CallBuffer::Refill() {
  // Keep the last byte in front so that PushBack still works after a refill.
  int32_t keep = 0;
  if (length_ > 0) {
    block_[0] = block_[length_ - 1];
    keep = 1;
  }
  int32_t got = stream_->Read(block_ + keep, kBlockSize);
  if (got < 0) return kError;
  if (got == 0) {
    at_ = length_ = keep;
    return kEnd;
  }
  length_ = keep + got;
  at_ = keep;
  return static_cast<unsigned char>(block_[at_++]);
}

}  // namespace pexo
