// HTML entity encoding of texts shown to the visitor, and its inverse.
//
// Encode: & < > " ( ) become &amp; &lt; &gt; &quot; &#40; &#41;; every other
// byte passes unchanged.
// Decode: a sequence from "&" to the next ";" is replaced when it is &lt;
// &gt; &amp; &quot; (letters in any case), &#40; or &#41;; anything else is
// kept, as is text where whitespace or the end comes before a ";".
//
// Both return a fresh malloc'd zero-terminated buffer (see encoded_text.h);
// length -1 means up to the first zero byte.
#ifndef PEXO_VALUES_ENTITY_H_
#define PEXO_VALUES_ENTITY_H_

#include <cstdint>

#include "values/link_buffer.h"

namespace pexo {

char* EntityEncode(const char* text, int32_t length, int32_t* out_length, int32_t* out_capacity);
char* EntityDecode(const char* text, int32_t length, int32_t* out_length, int32_t* out_capacity);

// Appends the encoded text to `out`.
void AppendEntityEncoded(LinkBuffer* out, const char* text, int32_t length);

}  // namespace pexo

#endif  // PEXO_VALUES_ENTITY_H_
