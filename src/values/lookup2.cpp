#include "values/lookup2.h"

#include <cctype>

namespace pexo {
namespace {

inline void mix(uint32_t& a, uint32_t& b, uint32_t& c) {
  a -= b; a -= c; a ^= (c >> 13);
  b -= c; b -= a; b ^= (a << 8);
  c -= a; c -= b; c ^= (b >> 13);
  a -= b; a -= c; a ^= (c >> 12);
  b -= c; b -= a; b ^= (a << 16);
  c -= a; c -= b; c ^= (b >> 5);
  a -= b; a -= c; a ^= (c >> 3);
  b -= c; b -= a; b ^= (a << 10);
  c -= a; c -= b; c ^= (b >> 15);
}

struct Plain {
  uint32_t at(const unsigned char* k, int i) const { return k[i]; }
};
// Folds as tolower does, through the C library's table for the thread's
// locale, read once per hash rather than called per byte.
struct Folded {
#if defined(__GLIBC__)
  const int32_t* lower = *__ctype_tolower_loc();
  uint32_t at(const unsigned char* k, int i) const {
    return static_cast<unsigned char>(lower[k[i]]);
  }
#else
  uint32_t at(const unsigned char* k, int i) const {
    return static_cast<unsigned char>(std::tolower(k[i]));
  }
#endif
};

template <typename Fold>
uint32_t hash(const unsigned char* k, uint32_t length, uint32_t initial) {
  const Fold fold;
  uint32_t a = 0x9e3779b9u, b = 0x9e3779b9u, c = initial;
  uint32_t len = length;
  while (len >= 12) {
    a += fold.at(k, 0) + (fold.at(k, 1) << 8) + (fold.at(k, 2) << 16) + (fold.at(k, 3) << 24);
    b += fold.at(k, 4) + (fold.at(k, 5) << 8) + (fold.at(k, 6) << 16) + (fold.at(k, 7) << 24);
    c += fold.at(k, 8) + (fold.at(k, 9) << 8) + (fold.at(k, 10) << 16) + (fold.at(k, 11) << 24);
    mix(a, b, c);
    k += 12;
    len -= 12;
  }
  c += length;
  switch (len) {  // every case falls through, as published
    case 11: c += fold.at(k, 10) << 24; [[fallthrough]];
    case 10: c += fold.at(k, 9) << 16; [[fallthrough]];
    case 9: c += fold.at(k, 8) << 8; [[fallthrough]];
    case 8: b += fold.at(k, 7) << 24; [[fallthrough]];
    case 7: b += fold.at(k, 6) << 16; [[fallthrough]];
    case 6: b += fold.at(k, 5) << 8; [[fallthrough]];
    case 5: b += fold.at(k, 4); [[fallthrough]];
    case 4: a += fold.at(k, 3) << 24; [[fallthrough]];
    case 3: a += fold.at(k, 2) << 16; [[fallthrough]];
    case 2: a += fold.at(k, 1) << 8; [[fallthrough]];
    case 1: a += fold.at(k, 0); [[fallthrough]];
    default: break;
  }
  mix(a, b, c);
  return c;
}

}  // namespace

uint32_t lookup2(const void* key, uint32_t length, uint32_t initial) {
  return hash<Plain>(static_cast<const unsigned char*>(key), length, initial);
}

uint32_t lookup2_nocase(const void* key, uint32_t length, uint32_t initial) {
  return hash<Folded>(static_cast<const unsigned char*>(key), length, initial);
}

}  // namespace pexo
