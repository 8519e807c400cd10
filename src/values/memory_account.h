// MemoryAccount: the bytes one request holds in texts, buffers, variables
// and aggregate nodes, counted by the engine's own allocations.
//
// The account of the request running on a thread is reached through a
// thread-local pointer that the host sets for the request's life
// (MemoryAccountScope); code running without one counts nothing. Counting
// is a plain add and compare on the owning thread: no lock, no atomic, no
// virtual call. The count is approximate by design: memory freed on a
// thread other than the one that allocated it, or allocated before the
// account was installed, moves the count a little.
//
// Past the limit the account raises the host's stop flag (once per crossing
// is enough: the machine reads it before every instruction). A growth that
// would take the count past the limit plus a headroom of a quarter of it is
// refused outright, so one instruction (a text doubling itself) cannot run
// far past the limit before the machine stops; the headroom leaves room for
// the error message and the end of the request. A text that would reach the
// largest length a String can count is refused the same way.
#ifndef PEXO_VALUES_MEMORY_ACCOUNT_H_
#define PEXO_VALUES_MEMORY_ACCOUNT_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>

namespace pexo {

class MemoryAccount {
 public:
  MemoryAccount() = default;
  MemoryAccount(const MemoryAccount&) = delete;
  MemoryAccount& operator=(const MemoryAccount&) = delete;

  // 0 or less: no limit (the account only counts).
  void SetLimit(int64_t bytes);
  // Where a crossing is reported: `*flag = value`.
  void SetStopFlag(std::atomic<int32_t>* flag, int32_t value) {
    stop_flag_ = flag;
    stop_value_ = value;
  }
  // The count at or above which Large() turns true (for trimming the heap);
  // 0 or less: never.
  void SetLargeMark(int64_t bytes);

  int64_t used() const { return used_; }
  int64_t limit() const { return limit_; }
  bool exceeded() const { return exceeded_; }
  // Whether the count ever reached the large mark.
  bool Large() const { return large_; }

  // Counts a growth about to be made; false (nothing counted) when it is
  // refused.
  bool Charge(int64_t bytes) {
    used_ += bytes;
    if (used_ <= checkpoint_) return true;
    return Crossed(bytes, true);
  }
  // Counts memory already taken; never refuses.
  void Count(int64_t bytes) {
    used_ += bytes;
    if (used_ > checkpoint_) Crossed(bytes, false);
  }
  void Credit(int64_t bytes) { used_ -= bytes; }
  // Whether `bytes` more could be charged now; a refusal stops the request.
  bool Allows(int64_t bytes);
  // Reports a growth refused for a reason of its own (a text too long).
  void Refuse();

 private:
  bool Crossed(int64_t bytes, bool refusable);
  void UpdateCheckpoint();
  void RaiseStop();

  int64_t used_ = 0;
  // The next count at which Crossed must look: the lower of the large mark
  // (until reached) and the limit.
  int64_t checkpoint_ = INT64_MAX;
  int64_t limit_ = 0;
  int64_t ceiling_ = INT64_MAX;
  int64_t large_mark_ = INT64_MAX;
  bool large_ = false;
  bool exceeded_ = false;
  std::atomic<int32_t>* stop_flag_ = nullptr;
  int32_t stop_value_ = 1;
};

namespace memory_internal {
// The running request's account on this thread, or null.
extern thread_local MemoryAccount* current;
}  // namespace memory_internal

inline MemoryAccount* CurrentMemoryAccount() { return memory_internal::current; }

// Installs an account on the calling thread for one scope; the previous one
// comes back when the scope ends. Must end on the thread it began on.
class MemoryAccountScope {
 public:
  explicit MemoryAccountScope(MemoryAccount* account) : previous_(memory_internal::current) {
    memory_internal::current = account;
  }
  ~MemoryAccountScope() { memory_internal::current = previous_; }
  MemoryAccountScope(const MemoryAccountScope&) = delete;
  MemoryAccountScope& operator=(const MemoryAccountScope&) = delete;

 private:
  MemoryAccount* previous_;
};

// The hooks the allocating classes call; each is a no-op without an account.
inline bool ChargeMemory(int64_t bytes) {
  MemoryAccount* account = memory_internal::current;
  return !account || account->Charge(bytes);
}
inline void CountMemory(int64_t bytes) {
  MemoryAccount* account = memory_internal::current;
  if (account) account->Count(bytes);
}
inline void CreditMemory(int64_t bytes) {
  MemoryAccount* account = memory_internal::current;
  if (account) account->Credit(bytes);
}
inline bool MemoryAllows(int64_t bytes) {
  MemoryAccount* account = memory_internal::current;
  return !account || account->Allows(bytes);
}
// A text or buffer would pass the largest length it can count.
inline void RefuseTooLong() {
  MemoryAccount* account = memory_internal::current;
  if (account) account->Refuse();
}

// Base of heap objects counted in the running request's account; it adds no
// storage. An object deleted through a base pointer needs a virtual
// destructor, so that the size credited is the one that was counted.
struct CountedObject {
  static void* operator new(std::size_t size) {
    CountMemory(static_cast<int64_t>(size));
    return ::operator new(size);
  }
  static void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    void* place = ::operator new(size, std::nothrow);
    if (place) CountMemory(static_cast<int64_t>(size));
    return place;
  }
  static void* operator new(std::size_t, void* place) noexcept { return place; }
  static void operator delete(void* place, std::size_t size) noexcept {
    CreditMemory(static_cast<int64_t>(size));
    ::operator delete(place);
  }
  static void operator delete(void* place, const std::nothrow_t&) noexcept {
    ::operator delete(place);
  }
  static void operator delete(void*, void*) noexcept {}
};

}  // namespace pexo

#endif  // PEXO_VALUES_MEMORY_ACCOUNT_H_
