// Base64 with the standard alphabet ("A-Za-z0-9+/"), "=" padding and no line
// breaks. Decoding is lenient: up to two trailing "=" are ignored, bytes
// outside the alphabet count as zero bits, and a final group of two or three
// characters gives one or two bytes (a single leftover character gives one).
//
// Both return a fresh malloc'd zero-terminated buffer (see encoded_text.h).
#ifndef PEXO_IO_BASE64_H_
#define PEXO_IO_BASE64_H_

#include <cstdint>

namespace pexo {

char* Base64Encode(const char* data, int32_t length, int32_t* out_length, int32_t* out_capacity);
char* Base64Decode(const char* text, int32_t length, int32_t* out_length, int32_t* out_capacity);

}  // namespace pexo

#endif  // PEXO_IO_BASE64_H_
