// Little-endian field decoding for compiled files, assembled byte by byte so
// the result does not depend on the host's byte order.
#ifndef PEXO_PROGRAM_LITTLE_ENDIAN_H_
#define PEXO_PROGRAM_LITTLE_ENDIAN_H_

#include <cstdint>

namespace pexo {

inline uint16_t DecodeU16(const unsigned char* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline int16_t DecodeI16(const unsigned char* p) { return static_cast<int16_t>(DecodeU16(p)); }
inline uint32_t DecodeU32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline int32_t DecodeI32(const unsigned char* p) { return static_cast<int32_t>(DecodeU32(p)); }

inline void EncodeU16(unsigned char* p, uint16_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}
inline void EncodeU32(unsigned char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

}  // namespace pexo

#endif  // PEXO_PROGRAM_LITTLE_ENDIAN_H_
