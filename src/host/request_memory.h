// RequestMemory: the memory account of one request, installed on the thread
// that creates it until it is destroyed, on that same thread.
//
// A host makes it the first member of its request object, so that the
// account is in place before anything of the request is allocated and is
// removed only after everything has been freed. The C library keeps the
// freed blocks of a request that held a lot (millions of small variables)
// in its heap; when the count ever reached the large mark, the free heap is
// handed back to the system at the end.
#ifndef PEXO_HOST_REQUEST_MEMORY_H_
#define PEXO_HOST_REQUEST_MEMORY_H_

#include <cstdint>

#include "values/memory_account.h"

namespace pexo {

// Requests that held this many bytes trim the heap when they end.
constexpr int64_t kTrimAfterBytes = 32ll << 20;

class RequestMemory {
 public:
  explicit RequestMemory(int64_t large_mark = kTrimAfterBytes);
  ~RequestMemory();
  RequestMemory(const RequestMemory&) = delete;
  RequestMemory& operator=(const RequestMemory&) = delete;

  MemoryAccount* account() { return &account_; }

 private:
  MemoryAccount account_;
  MemoryAccountScope scope_;
};

// Returns the heap's free memory to the system; false where the C library
// offers no way to.
bool TrimHeap();

}  // namespace pexo

#endif  // PEXO_HOST_REQUEST_MEMORY_H_
