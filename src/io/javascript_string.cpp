#include "io/javascript_string.h"

#include "values/encoded_text.h"
#include "values/string.h"

namespace pexo {

namespace {

// 0: passes, 1: backslash + the byte, other: the letter of a short escape,
// 2: \u escape.
struct EscapeTable {
  char action[256];
  constexpr EscapeTable() : action() {
    for (int c = 0; c < 256; c++) {
      bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   c == ' ' || c == '$' || c == '+' || c == ',' || c == '-' || c == '.' ||
                   c == ':' || c == '@' || c == '_';
      action[c] = plain ? 0 : 2;
    }
    action[static_cast<int>('"')] = 1;
    action[static_cast<int>('/')] = 1;
    action[static_cast<int>('\\')] = 1;
    action[static_cast<int>('\b')] = 'b';
    action[static_cast<int>('\t')] = 't';
    action[static_cast<int>('\n')] = 'n';
    action[static_cast<int>('\f')] = 'f';
    action[static_cast<int>('\r')] = 'r';
  }
};

constexpr EscapeTable kEscapes;
const char kHex[] = "0123456789ABCDEF";

void AppendUnit(LinkBuffer* out, uint32_t unit) {
  char escape[6] = {'\\', 'u', kHex[(unit >> 12) & 15], kHex[(unit >> 8) & 15],
                    kHex[(unit >> 4) & 15], kHex[unit & 15]};
  out->append(escape, 6);
}

}  // namespace

bool IsUTF8Charset(const char* name, int32_t length) {
  return name && equals_nocase(name, text_length(name, length), "utf-8", 5);
}

int Utf8SequenceLength(const unsigned char* p, const unsigned char* end, uint32_t* code_point) {
  unsigned char lead = *p;
  int size;
  uint32_t cp;
  uint32_t minimum;
  if (lead >= 0xC2 && lead <= 0xDF) {
    size = 2, cp = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    size = 3, cp = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF7) {
    size = 4, cp = lead & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (end - p < size) return 0;
  for (int i = 1; i < size; i++) {
    if ((p[i] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (p[i] & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  *code_point = cp;
  return size;
}

void AppendJavaScriptString(LinkBuffer* out, const char* text, int32_t length, bool utf8) {
  length = text_length(text, length);
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* end = p + length;
  const unsigned char* run = p;
  while (p < end) {
    char action = kEscapes.action[*p];
    if (action == 0) {
      p++;
      continue;
    }
    AppendRun(out, reinterpret_cast<const char*>(run), reinterpret_cast<const char*>(p));
    if (action == 1) {
      char pair[2] = {'\\', static_cast<char>(*p)};
      out->append(pair, 2);
      p++;
    } else if (action != 2) {
      char pair[2] = {'\\', action};
      out->append(pair, 2);
      p++;
    } else {
      uint32_t cp = 0;
      int size = utf8 ? Utf8SequenceLength(p, end, &cp) : 0;
      if (size == 0) {
        AppendUnit(out, *p);
        p++;
      } else {
        if (cp > 0xFFFF) {
          cp -= 0x10000;
          AppendUnit(out, 0xD800 + (cp >> 10));
          AppendUnit(out, 0xDC00 + (cp & 0x3FF));
        } else {
          AppendUnit(out, cp);
        }
        p += size;
      }
    }
    run = p;
  }
  AppendRun(out, reinterpret_cast<const char*>(run), reinterpret_cast<const char*>(end));
}

char* JavaScriptStringEncode(const char* text, int32_t length, bool utf8, int32_t* out_length,
                             int32_t* out_capacity) {
  length = text_length(text, length);
  LinkBuffer out(EncoderFirstBlock(length), 512);
  AppendJavaScriptString(&out, text, length, utf8);
  return ReleaseEncoded(&out, out_length, out_capacity);
}

}  // namespace pexo
