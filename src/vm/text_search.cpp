#include "vm/text_search.h"

#include <cctype>
#include <cstring>

#include "values/dictionary.h"

namespace pexo {
namespace {

constexpr int32_t kShiftSearchThreshold = 300;

inline unsigned char folded(char c) {
  return static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(c)));
}

int32_t scan(const char* haystack, int32_t haystack_length, const char* needle,
             int32_t needle_length, bool fold_case) {
  const int32_t last_start = haystack_length - needle_length;
  if (!fold_case) {
    const char first = needle[0];
    for (int32_t at = 0; at <= last_start; ++at) {
      const void* hit = std::memchr(haystack + at, first, static_cast<size_t>(last_start - at + 1));
      if (!hit) return -1;
      at = static_cast<int32_t>(static_cast<const char*>(hit) - haystack);
      if (std::memcmp(haystack + at, needle, static_cast<size_t>(needle_length)) == 0) return at;
    }
    return -1;
  }
  for (int32_t at = 0; at <= last_start; ++at) {
    int32_t i = 0;
    while (i < needle_length && folded(haystack[at + i]) == folded(needle[i])) ++i;
    if (i == needle_length) return at;
  }
  return -1;
}

}  // namespace

int32_t FindText(const char* haystack, int32_t haystack_length, const char* needle,
                 int32_t needle_length, bool fold_case) {
  if (needle_length <= 0) return 0;
  if (needle_length > haystack_length) return -1;
  if (haystack_length >= kShiftSearchThreshold)
    return shift_search(haystack, haystack_length, needle, needle_length, fold_case);
  return scan(haystack, haystack_length, needle, needle_length, fold_case);
}

int32_t TextPositionStart(const char* needle, int32_t needle_length, const char* haystack,
                          int32_t haystack_length, bool fold_case) {
  return FindText(haystack, haystack_length, needle, needle_length, fold_case) + 1;
}

int32_t TextPositionEnd(const char* needle, int32_t needle_length, const char* haystack,
                        int32_t haystack_length, bool fold_case) {
  if (needle_length <= 0) return 0;
  int32_t at = FindText(haystack, haystack_length, needle, needle_length, fold_case);
  return at < 0 ? 0 : at + needle_length;
}

}  // namespace pexo
