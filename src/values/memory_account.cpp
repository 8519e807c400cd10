#include "values/memory_account.h"

namespace pexo {

namespace memory_internal {
thread_local MemoryAccount* current = nullptr;
}  // namespace memory_internal

void MemoryAccount::SetLimit(int64_t bytes) {
  limit_ = bytes > 0 ? bytes : 0;
  ceiling_ = limit_ > 0 ? limit_ + limit_ / 4 : INT64_MAX;
  UpdateCheckpoint();
}

void MemoryAccount::SetLargeMark(int64_t bytes) {
  large_mark_ = bytes > 0 ? bytes : INT64_MAX;
  UpdateCheckpoint();
}

void MemoryAccount::UpdateCheckpoint() {
  checkpoint_ = limit_ > 0 ? limit_ : INT64_MAX;
  if (!large_ && large_mark_ < checkpoint_) checkpoint_ = large_mark_;
}

void MemoryAccount::RaiseStop() {
  exceeded_ = true;
  if (stop_flag_) stop_flag_->store(stop_value_, std::memory_order_relaxed);
}

bool MemoryAccount::Crossed(int64_t bytes, bool refusable) {
  if (!large_ && used_ >= large_mark_) {
    large_ = true;
    UpdateCheckpoint();
  }
  if (limit_ <= 0 || used_ <= limit_) return true;
  RaiseStop();
  if (refusable && used_ > ceiling_) {
    used_ -= bytes;
    return false;
  }
  return true;
}

bool MemoryAccount::Allows(int64_t bytes) {
  if (limit_ <= 0 || used_ + bytes <= ceiling_) return true;
  RaiseStop();
  return false;
}

void MemoryAccount::Refuse() { RaiseStop(); }

}  // namespace pexo
