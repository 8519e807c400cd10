#include "output_functions.h"

#include <cstring>
#include <string>

namespace pexo {
namespace stdlib {
namespace {

// An HTTP token character: visible ASCII but the separators.
bool IsTokenChar(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  if (u <= 32 || u >= 127) return false;
  return std::strchr("()<>@,;:\\\"/[]?={}", c) == nullptr;
}

bool IsValidName(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name) {
    if (!IsTokenChar(c)) return false;
  }
  return true;
}

bool IsValidValue(std::string_view value) {
  return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

}  // namespace

void Header(StdCall& call) {
  // Copies: the API takes zero-terminated texts.
  std::string name(call.Text(0));
  std::string value(call.Text(1));
  if (!IsValidName(name)) {
    call.Fail("the header name must be a non-empty token without blanks or separators");
    return;
  }
  if (!IsValidValue(value)) {
    call.Fail("the header value must not contain line breaks or zero bytes");
    return;
  }
  call.ReturnBoolean(pxProgram_Output_Header(call.program(), name.c_str(), value.c_str()) != 0);
}

}  // namespace stdlib
}  // namespace pexo
