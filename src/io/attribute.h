// URL-style encoding of texts placed in links and form values, and its
// inverse.
//
// Encode: space becomes "+"; letters, digits and * - . @ _ pass; every other
// byte becomes "%" and two uppercase hexadecimal digits.
// Decode: "%" and two hexadecimal digits (any case) become that byte, "+"
// becomes a space; anything else, a stray "%" included, passes unchanged.
//
// Both return a fresh malloc'd zero-terminated buffer (see encoded_text.h).
#ifndef PEXO_IO_ATTRIBUTE_H_
#define PEXO_IO_ATTRIBUTE_H_

#include <cstdint>

namespace pexo {

char* AttributeEncode(const char* text, int32_t length, int32_t* out_length, int32_t* out_capacity);
char* AttributeDecode(const char* text, int32_t length, int32_t* out_length, int32_t* out_capacity);

// Value of a hexadecimal digit, or -1.
int HexDigitValue(char c);

}  // namespace pexo

#endif  // PEXO_IO_ATTRIBUTE_H_
