#include "base64.h"

#include <cstdint>

namespace pexo {
namespace stdlib {
namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int DigitValue(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string Base64Encode(std::string_view data) {
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  for (size_t at = 0; at < data.size(); at += 3) {
    size_t left = data.size() - at;
    uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(data[at])) << 16;
    if (left > 1) group |= static_cast<uint32_t>(static_cast<unsigned char>(data[at + 1])) << 8;
    if (left > 2) group |= static_cast<unsigned char>(data[at + 2]);
    out.push_back(kAlphabet[group >> 18]);
    out.push_back(kAlphabet[(group >> 12) & 63]);
    out.push_back(left > 1 ? kAlphabet[(group >> 6) & 63] : '=');
    out.push_back(left > 2 ? kAlphabet[group & 63] : '=');
  }
  return out;
}

bool Base64Decode(std::string_view text, std::string* out) {
  out->clear();
  uint32_t group = 0;
  int digits = 0, padding = 0;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    if (c == '=') {
      ++padding;
      continue;
    }
    int value = DigitValue(c);
    if (value < 0 || padding > 0) return false;  // nothing may follow padding
    group = (group << 6) | static_cast<uint32_t>(value);
    if (++digits == 4) {
      out->push_back(static_cast<char>(group >> 16));
      out->push_back(static_cast<char>(group >> 8));
      out->push_back(static_cast<char>(group));
      group = 0;
      digits = 0;
    }
  }
  if (digits == 1 || padding > 2 || (padding > 0 && digits + padding != 4)) return false;
  if (digits == 2) out->push_back(static_cast<char>(group >> 4));
  if (digits == 3) {
    out->push_back(static_cast<char>(group >> 10));
    out->push_back(static_cast<char>(group >> 2));
  }
  return true;
}

}  // namespace stdlib
}  // namespace pexo
