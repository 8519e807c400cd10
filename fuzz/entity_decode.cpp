// Decodes arbitrary bytes and checks the result contract; decoding never
// makes a text longer.
#include <cstdint>
#include <cstdlib>

#include "values/entity.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  int32_t length = 0, capacity = 0;
  char* out = pexo::EntityDecode(reinterpret_cast<const char*>(data), static_cast<int32_t>(size), &length, &capacity);
  if (!out || length > static_cast<int32_t>(size) || out[length] != 0 || capacity <= length) std::abort();
  std::free(out);
  return 0;
}
