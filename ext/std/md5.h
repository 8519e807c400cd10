// MD5 (RFC 1321) of a byte string.
#ifndef PEXO_STD_MD5_H_
#define PEXO_STD_MD5_H_

#include <string>
#include <string_view>

namespace pexo {
namespace stdlib {

// The 16-byte digest.
std::string Md5(std::string_view data);

}  // namespace stdlib
}  // namespace pexo

#endif  // PEXO_STD_MD5_H_
