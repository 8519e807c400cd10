#include "io/base64.h"

#include "values/encoded_text.h"
#include "values/string.h"

namespace pexo {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

struct DecodeTable {
  unsigned char value[256];
  constexpr DecodeTable() : value() {
    for (int i = 0; i < 64; i++) value[static_cast<unsigned char>(kAlphabet[i])] = static_cast<unsigned char>(i);
  }
};
constexpr DecodeTable kDecode;

// Groups are converted through a small stack buffer so that the LinkBuffer
// sees a few large appends.
const int kChunk = 3072;

}  // namespace

char* Base64Encode(const char* data, int32_t length, int32_t* out_length, int32_t* out_capacity) {
  length = text_length(data, length);
  const unsigned char* in = reinterpret_cast<const unsigned char*>(data);
  int64_t encoded = (static_cast<int64_t>(length) + 2) / 3 * 4;
  LinkBuffer out(EncoderFirstBlock(encoded > INT32_MAX ? INT32_MAX : static_cast<int32_t>(encoded)), 512);
  char chunk[kChunk / 3 * 4 + 4];  // + a padded final group
  int32_t at = 0;
  while (at < length) {
    int n = 0;
    for (int32_t stop = at + kChunk < length ? at + kChunk : length; at + 3 <= stop; at += 3) {
      uint32_t bits = (uint32_t{in[at]} << 16) | (uint32_t{in[at + 1]} << 8) | in[at + 2];
      chunk[n++] = kAlphabet[bits >> 18];
      chunk[n++] = kAlphabet[(bits >> 12) & 63];
      chunk[n++] = kAlphabet[(bits >> 6) & 63];
      chunk[n++] = kAlphabet[bits & 63];
    }
    int32_t left = length - at;
    if (left > 0 && left < 3) {
      uint32_t bits = uint32_t{in[at]} << 16;
      if (left == 2) bits |= uint32_t{in[at + 1]} << 8;
      chunk[n++] = kAlphabet[bits >> 18];
      chunk[n++] = kAlphabet[(bits >> 12) & 63];
      chunk[n++] = left == 2 ? kAlphabet[(bits >> 6) & 63] : '=';
      chunk[n++] = '=';
      at = length;
    }
    out.append(chunk, n);
  }
  return ReleaseEncoded(&out, out_length, out_capacity);
}

char* Base64Decode(const char* text, int32_t length, int32_t* out_length, int32_t* out_capacity) {
  length = text_length(text, length);
  for (int i = 0; i < 2 && length > 0 && text[length - 1] == '='; i++) length--;
  const unsigned char* in = reinterpret_cast<const unsigned char*>(text);
  LinkBuffer out(EncoderFirstBlock(length / 4 * 3 + 3), 512);
  char chunk[kChunk + 3];  // + a short final group
  int32_t at = 0;
  while (at < length) {
    int n = 0;
    for (; at + 4 <= length && n + 3 <= kChunk; at += 4) {
      uint32_t bits = (uint32_t{kDecode.value[in[at]]} << 18) | (uint32_t{kDecode.value[in[at + 1]]} << 12) |
                      (uint32_t{kDecode.value[in[at + 2]]} << 6) | kDecode.value[in[at + 3]];
      chunk[n++] = static_cast<char>(bits >> 16);
      chunk[n++] = static_cast<char>(bits >> 8);
      chunk[n++] = static_cast<char>(bits);
    }
    int32_t left = length - at;
    if (left > 0 && left < 4) {
      uint32_t bits = uint32_t{kDecode.value[in[at]]} << 18;
      if (left > 1) bits |= uint32_t{kDecode.value[in[at + 1]]} << 12;
      if (left > 2) bits |= uint32_t{kDecode.value[in[at + 2]]} << 6;
      chunk[n++] = static_cast<char>(bits >> 16);
      if (left == 3) chunk[n++] = static_cast<char>(bits >> 8);
      at = length;
    }
    out.append(chunk, n);
  }
  return ReleaseEncoded(&out, out_length, out_capacity);
}

}  // namespace pexo
