#include "io/attribute.h"

#include "values/encoded_text.h"
#include "values/string.h"

namespace pexo {

static bool PassesUnencoded(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         c == '*' || c == '-' || c == '.' || c == '@' || c == '_';
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

char* AttributeEncode(const char* text, int32_t length, int32_t* out_length,
                      int32_t* out_capacity) {
  length = text_length(text, length);
  LinkBuffer out(EncoderFirstBlock(length), 512);
  const char* end = text + length;
  const char* run = text;
  for (const char* p = text; p < end; p++) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (PassesUnencoded(c)) continue;
    AppendRun(&out, run, p);
    if (c == ' ') {
      out.append_char('+');
    } else {
      char escape[3] = {'%', "0123456789ABCDEF"[c >> 4], "0123456789ABCDEF"[c & 15]};
      out.append(escape, 3);
    }
    run = p + 1;
  }
  AppendRun(&out, run, end);
  return ReleaseEncoded(&out, out_length, out_capacity);
}

char* AttributeDecode(const char* text, int32_t length, int32_t* out_length,
                      int32_t* out_capacity) {
  length = text_length(text, length);
  LinkBuffer out(EncoderFirstBlock(length), 512);
  const char* end = text + length;
  const char* run = text;
  const char* p = text;
  while (p < end) {
    if (*p == '+') {
      AppendRun(&out, run, p);
      out.append_char(' ');
      run = ++p;
      continue;
    }
    if (*p == '%' && end - p >= 3) {
      int high = HexDigitValue(p[1]);
      int low = HexDigitValue(p[2]);
      if (high >= 0 && low >= 0) {
        AppendRun(&out, run, p);
        out.append_char(static_cast<char>(high * 16 + low));
        p += 3;
        run = p;
        continue;
      }
    }
    p++;
  }
  AppendRun(&out, run, end);
  return ReleaseEncoded(&out, out_length, out_capacity);
}

}  // namespace pexo
