// SHA-256 (FIPS 180-4) of a byte string.
#ifndef PEXO_STD_SHA256_H_
#define PEXO_STD_SHA256_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace pexo {
namespace stdlib {

// The 32-byte digest.
std::string Sha256(std::string_view data);
// Lower-case hexadecimal of any bytes.
std::string HexDigits(std::string_view bytes);

}  // namespace stdlib
}  // namespace pexo

#endif  // PEXO_STD_SHA256_H_
