// Bob Jenkins' 1996 lookup2 hash, used for every case-insensitive name table.
// Compiled files store bucket numbers computed with it, so it must not change.
#ifndef PEXO_VALUES_LOOKUP2_H_
#define PEXO_VALUES_LOOKUP2_H_

#include <cstdint>

namespace pexo {

// lookup2 over the bytes as given.
uint32_t lookup2(const void* key, uint32_t length, uint32_t initial);
// lookup2 over the bytes folded with the C library's tolower (initial 0 is the
// engine's choice everywhere).
uint32_t lookup2_nocase(const void* key, uint32_t length, uint32_t initial = 0);

}  // namespace pexo

#endif  // PEXO_VALUES_LOOKUP2_H_
