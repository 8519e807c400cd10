// UTF-8 helpers. A byte that does not start a well-formed sequence counts
// as one character of its own, so every text splits into characters and
// nothing reads past the end.
#ifndef PEXO_STD_UTF8_H_
#define PEXO_STD_UTF8_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace pexo {
namespace stdlib {

// The byte length (1-4) of the character starting at `offset`; the code
// point in *code (the byte value for a malformed sequence).
int32_t Utf8CharacterAt(std::string_view text, size_t offset, uint32_t* code);
// Appends the encoding of `code`; false for surrogates and values beyond
// U+10FFFF.
bool AppendUtf8(uint32_t code, std::string* out);

}  // namespace stdlib
}  // namespace pexo

#endif  // PEXO_STD_UTF8_H_
