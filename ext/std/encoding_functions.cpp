#include "encoding_functions.h"

#include <string>

#include "base64.h"
#include "md5.h"
#include "sha256.h"

namespace pexo {
namespace stdlib {
namespace {

bool IsUnreserved(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         c == '-' || c == '_' || c == '.' || c == '~';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Takes over an allocated text from an engine encoder; false when there is
// none (the engine ran out of memory).
bool ReturnAllocated(StdCall& call, char* text, int32_t length, int32_t size) {
  if (!text) return call.Fail("out of memory");
  pxVariable_SetValue_Nocopy(call.result(), text, length, size);
  return true;
}

}  // namespace

void UrlEncode(StdCall& call) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string_view text = call.Text(0);
  if (!call.CheckSize(static_cast<int64_t>(text.size()) * 3)) return;
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (IsUnreserved(c)) {
      out.push_back(c);
      continue;
    }
    out.push_back('%');
    out.push_back(kHex[static_cast<unsigned char>(c) >> 4]);
    out.push_back(kHex[static_cast<unsigned char>(c) & 15]);
  }
  call.ReturnText(out);
}

void UrlDecode(StdCall& call) {
  std::string_view text = call.Text(0);
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out.push_back(' ');
    } else if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
               HexValue(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
      i += 2;
    } else {
      out.push_back(text[i]);  // a stray "%" stays as it is
    }
  }
  call.ReturnText(out);
}

void HtmlEncode(StdCall& call) {
  std::string_view text = call.Text(0);
  int32_t length = 0, size = 0;
  char* out = pxProgram_Entity_Encode(call.program(), text.data(),
                                      static_cast<int32_t>(text.size()), &length, &size);
  ReturnAllocated(call, out, length, size);
}

void HtmlDecode(StdCall& call) {
  std::string_view text = call.Text(0);
  int32_t length = 0, size = 0;
  char* out = pxProgram_Entity_Decode(call.program(), text.data(),
                                      static_cast<int32_t>(text.size()), &length, &size);
  ReturnAllocated(call, out, length, size);
}

void Base64Encode(StdCall& call) {
  std::string_view text = call.Text(0);
  if (!call.CheckSize((static_cast<int64_t>(text.size()) + 2) / 3 * 4)) return;
  call.ReturnText(stdlib::Base64Encode(text));
}

void Base64Decode(StdCall& call) {
  std::string out;
  if (!stdlib::Base64Decode(call.Text(0), &out)) {
    call.Fail("the text is not valid base64");
    return;
  }
  call.ReturnText(out);
}

void JsonEncode(StdCall& call) {
  int32_t length = 0, size = 0;
  char* out = pxProgram_JSON_Encode(call.program(), call.Arg(0), 0, &length, &size);
  ReturnAllocated(call, out, length, size);
}

void JsonDecode(StdCall& call) {
  std::string_view text = call.Text(0);
  char* error = nullptr;
  int32_t length = 0, size = 0;
  if (pxProgram_JSON_Decode(call.program(), text.data(), static_cast<int32_t>(text.size()),
                            call.result(), &error, &length, &size))
    return;
  std::string reason = error ? std::string(error, static_cast<size_t>(length)) : "invalid JSON";
  pxProgram_Free(call.program(), error);
  call.Fail(reason);
}

void Md5(StdCall& call) { call.ReturnText(HexDigits(stdlib::Md5(call.Text(0)))); }
void Sha256(StdCall& call) { call.ReturnText(HexDigits(stdlib::Sha256(call.Text(0)))); }

}  // namespace stdlib
}  // namespace pexo
