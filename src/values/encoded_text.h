// Shared plumbing of the text encoders: every encoder builds its result in a
// LinkBuffer whose first block is the input length + 512 bytes, growing by
// 512, and hands it to the caller as one malloc'd zero-terminated buffer with
// its length and capacity. The caller frees it with free().
#ifndef PEXO_VALUES_ENCODED_TEXT_H_
#define PEXO_VALUES_ENCODED_TEXT_H_

#include <cstdint>

#include "values/link_buffer.h"

namespace pexo {

// First block size for an input of `length` bytes.
int32_t EncoderFirstBlock(int32_t length);

// Detaches the buffer's text, zero-terminated. Null only when memory ran out
// (the outputs are then 0).
char* ReleaseEncoded(LinkBuffer* buffer, int32_t* length, int32_t* capacity);

// Appends the bytes in [run, end) when there are any; encoders copy runs of
// unchanged bytes at once instead of byte by byte.
inline void AppendRun(LinkBuffer* out, const char* run, const char* end) {
  if (end > run) out->append(run, static_cast<int32_t>(end - run));
}

// C isspace in the "C" locale: space, \t, \n, \v, \f, \r.
inline bool IsOutputSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

}  // namespace pexo

#endif  // PEXO_VALUES_ENCODED_TEXT_H_
