#include "values/encoded_text.h"

#include <cstdlib>

namespace pexo {

int32_t EncoderFirstBlock(int32_t length) {
  if (length < 0) length = 0;
  return length > INT32_MAX - 512 ? INT32_MAX : length + 512;
}

char* ReleaseEncoded(LinkBuffer* buffer, int32_t* length, int32_t* capacity) {
  int32_t n = 0;
  int32_t size = 0;
  char* text = buffer->release(&n, &size, 1);
  if (!text || size <= n) {
    // release could not make room for the terminator.
    if (text) std::free(text);
    if (length) *length = 0;
    if (capacity) *capacity = 0;
    return nullptr;
  }
  text[n] = 0;
  if (length) *length = n;
  if (capacity) *capacity = size;
  return text;
}

}  // namespace pexo
