// Text containment behind the in, cin, ein and ecin operators: the leftmost
// occurrence of a needle in a haystack, reported 1-based. Long haystacks
// (300 bytes or more) use the bad-character-shift search, short ones a direct
// scan; both give the same answer.
#ifndef PEXO_VM_TEXT_SEARCH_H_
#define PEXO_VM_TEXT_SEARCH_H_

#include <cstdint>

namespace pexo {

// 0-based offset of the first occurrence or -1; an empty needle is at 0.
int32_t FindText(const char* haystack, int32_t haystack_length, const char* needle,
                 int32_t needle_length, bool fold_case);

// `in`/`cin`: 1-based position of the first occurrence, 0 when absent;
// 1 for an empty needle.
int32_t TextPositionStart(const char* needle, int32_t needle_length, const char* haystack,
                          int32_t haystack_length, bool fold_case);
// `ein`/`ecin`: 1-based position of the occurrence's last byte; 0 when absent
// or when the needle is empty.
int32_t TextPositionEnd(const char* needle, int32_t needle_length, const char* haystack,
                        int32_t haystack_length, bool fold_case);

}  // namespace pexo

#endif  // PEXO_VM_TEXT_SEARCH_H_
