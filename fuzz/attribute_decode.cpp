// Decodes arbitrary bytes, then checks that encoding and decoding again gives
// the same bytes back.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "io/attribute.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  int32_t length = 0, capacity = 0;
  char* out = pexo::AttributeDecode(reinterpret_cast<const char*>(data), static_cast<int32_t>(size), &length, &capacity);
  if (!out || length > static_cast<int32_t>(size) || out[length] != 0) std::abort();
  int32_t encoded_length = 0, back_length = 0;
  char* encoded = pexo::AttributeEncode(out, length, &encoded_length, nullptr);
  char* back = pexo::AttributeDecode(encoded, encoded_length, &back_length, nullptr);
  if (back_length != length || std::memcmp(back, out, static_cast<size_t>(length)) != 0) std::abort();
  std::free(out);
  std::free(encoded);
  std::free(back);
  return 0;
}
