// Base64 (RFC 4648, standard alphabet, "=" padding).
#ifndef PEXO_STD_BASE64_H_
#define PEXO_STD_BASE64_H_

#include <string>
#include <string_view>

namespace pexo {
namespace stdlib {

std::string Base64Encode(std::string_view data);
// Blanks and line breaks are skipped; padding may be left out. False for any
// other byte outside the alphabet, misplaced padding, or a dangling
// character.
bool Base64Decode(std::string_view text, std::string* out);

}  // namespace stdlib
}  // namespace pexo

#endif  // PEXO_STD_BASE64_H_
