#include "values/entity.h"

#include <cstring>

#include "values/encoded_text.h"
#include "values/string.h"

namespace pexo {

static const char* EntityFor(char c) {
  switch (c) {
    case '&': return "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '"': return "&quot;";
    case '(': return "&#40;";
    case ')': return "&#41;";
    default: return nullptr;
  }
}

void AppendEntityEncoded(LinkBuffer* out, const char* text, int32_t length) {
  length = text_length(text, length);
  const char* end = text + length;
  const char* run = text;
  for (const char* p = text; p < end; p++) {
    const char* entity = EntityFor(*p);
    if (!entity) continue;
    AppendRun(out, run, p);
    out->append(entity, -1);
    run = p + 1;
  }
  AppendRun(out, run, end);
}

char* EntityEncode(const char* text, int32_t length, int32_t* out_length, int32_t* out_capacity) {
  length = text_length(text, length);
  LinkBuffer out(EncoderFirstBlock(length), 512);
  AppendEntityEncoded(&out, text, length);
  return ReleaseEncoded(&out, out_length, out_capacity);
}

// The byte a complete sequence "&...;" stands for, or 0 when it is not one
// of the known entities.
static char DecodedEntity(const char* sequence, int32_t length) {
  struct Known {
    const char* text;
    int32_t length;
    char byte;
  };
  static const Known kNamed[] = {{"&lt;", 4, '<'}, {"&gt;", 4, '>'}, {"&amp;", 5, '&'}, {"&quot;", 6, '"'}};
  for (const Known& k : kNamed) {
    if (equals_nocase(sequence, length, k.text, k.length)) return k.byte;
  }
  if (length == 5 && std::memcmp(sequence, "&#40;", 5) == 0) return '(';
  if (length == 5 && std::memcmp(sequence, "&#41;", 5) == 0) return ')';
  return 0;
}

char* EntityDecode(const char* text, int32_t length, int32_t* out_length, int32_t* out_capacity) {
  length = text_length(text, length);
  LinkBuffer out(EncoderFirstBlock(length), 512);
  const char* end = text + length;
  const char* run = text;
  const char* p = text;
  while (p < end) {
    if (*p != '&') {
      p++;
      continue;
    }
    const char* q = p + 1;
    while (q < end && *q != ';' && !IsOutputSpace(*q)) q++;
    if (q == end || *q != ';') {
      // Whitespace or the end first: everything up to it stays as it is.
      p = q < end ? q + 1 : end;
      continue;
    }
    char byte = DecodedEntity(p, static_cast<int32_t>(q - p + 1));
    if (byte) {
      AppendRun(&out, run, p);
      out.append_char(byte);
      run = q + 1;
    }
    p = q + 1;
  }
  AppendRun(&out, run, end);
  return ReleaseEncoded(&out, out_length, out_capacity);
}

}  // namespace pexo
