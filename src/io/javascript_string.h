// Encoding of a text as the content of a double-quoted JavaScript (and JSON)
// string literal, without the quotes.
//
// \b \t \n \f \r get their short escapes; " / and \ are escaped with a
// backslash; space, letters, digits and $ + , - . : @ _ pass; every other
// byte becomes \u00XX. When the output character set is UTF-8, a
// well-formed multi-byte sequence is written as one \uXXXX (a code point
// above U+FFFF as a surrogate pair) instead of byte by byte. Hexadecimal
// digits are uppercase.
#ifndef PEXO_IO_JAVASCRIPT_STRING_H_
#define PEXO_IO_JAVASCRIPT_STRING_H_

#include <cstdint>

#include "values/link_buffer.h"

namespace pexo {

// True for the character set name "utf-8" in any case.
bool IsUTF8Charset(const char* name, int32_t length);

void AppendJavaScriptString(LinkBuffer* out, const char* text, int32_t length, bool utf8);

// Returns a fresh malloc'd zero-terminated buffer (see encoded_text.h).
char* JavaScriptStringEncode(const char* text, int32_t length, bool utf8, int32_t* out_length,
                             int32_t* out_capacity);

// Length of the well-formed UTF-8 sequence (2 to 4 bytes) starting at `p`,
// with its code point, or 0 when there is none: overlong forms, surrogates,
// code points above U+10FFFF and sequences cut short are not well-formed.
int Utf8SequenceLength(const unsigned char* p, const unsigned char* end, uint32_t* code_point);

}  // namespace pexo

#endif  // PEXO_IO_JAVASCRIPT_STRING_H_
