// Instruction listing: a diagnostic dump of a segment's code as text.
//
// Format: "\n\nExpression: <source>\n", then per instruction "<offset>\t",
// the mnemonic and a tab (or "Illegal Instruction\n" for a word the listing
// does not print), "dword:%d" / "double:%f" for a first operand, then
// ", dword:%d\n" / ", double:%f\n" for a second operand or "\n". Operands of
// unprinted words are still printed and skipped by the flag bits. The
// listing stops at the end of the code or before the first instruction that
// would run past it; it never reads beyond `length` bytes.
#ifndef PEXO_PROGRAM_LISTING_H_
#define PEXO_PROGRAM_LISTING_H_

#include <cstdint>
#include <cstdio>

#include "values/string.h"

namespace pexo {

// Writes the listing to an open stream. `source_length` -1: up to a zero byte.
// Returns the number of instructions listed.
int32_t WriteListing(FILE* out, const char* source, int32_t source_length,
                     const unsigned char* code, int32_t length);

// Opens `path` for writing (replacing it) and writes the listing. On failure
// returns false with the reason in `error`.
bool WriteListingFile(const char* path, const char* source, int32_t source_length,
                      const unsigned char* code, int32_t length, String* error);

}  // namespace pexo

#endif  // PEXO_PROGRAM_LISTING_H_
