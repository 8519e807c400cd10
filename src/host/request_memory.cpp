#include "host/request_memory.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace pexo {

RequestMemory::RequestMemory(int64_t large_mark) : scope_(&account_) {
  account_.SetLargeMark(large_mark);
}

RequestMemory::~RequestMemory() {
  if (account_.Large()) TrimHeap();
}

bool TrimHeap() {
#if defined(__GLIBC__)
  malloc_trim(0);
  return true;
#else
  return false;
#endif
}

}  // namespace pexo
