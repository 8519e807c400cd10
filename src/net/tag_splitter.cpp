#include "net/tag_splitter.h"

#include <cstring>

namespace pexo {

namespace {

const char kEofInTag[] = "Unexpected EOF in tag";
const char kEofInComment[] = "Unexpected EOF in HTML comment or CDATA section";
const char kEofInOther[] = "Unexpected EOF in DOCTYPE or other XML tag";

bool IsSpace(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

bool StartsWith(const String& s, const char* prefix) {
  size_t n = strlen(prefix);
  return static_cast<size_t>(s.length()) >= n && memcmp(s.data(), prefix, n) == 0;
}

}  // namespace

bool TagSplitter::Take(int* c, const char* eof_message) {
  *c = in_->Get();
  if (*c == CallBuffer::kError) {
    error_ = in_->ErrorText();
    return false;
  }
  if (*c == CallBuffer::kEnd) {
    error_.assign(eof_message);
    return false;
  }
  text_->append(static_cast<char>(*c));
  return true;
}

int TagSplitter::Next(CallObject* object) {
  object->is_tag = false;
  object->value.clear();
  object->element.clear();
  object->names.clear();
  object->values.clear();
  if (failed_) return -1;
  int c;
  while ((c = in_->Get()) >= 0) {
    if (c == '<') {
      if (!object->value.empty()) {
        in_->PushBack();
        return 1;
      }
      object->value.append('<');
      return ReadTag(object);
    }
    object->value.append(static_cast<char>(c));
  }
  if (c == CallBuffer::kError) {
    error_ = in_->ErrorText();
    failed_ = true;
    // The text read before the failure is still handed out.
    return object->value.empty() ? -1 : 1;
  }
  return object->value.empty() ? 0 : 1;
}

int TagSplitter::ReadTag(CallObject* object) {
  object->is_tag = true;
  text_ = &object->value;
  int c;
  for (;;) {
    if (!Take(&c, kEofInTag)) return -1;
    if (c == '>' || IsSpace(c)) break;
    object->element.append(static_cast<char>(c));
  }
  if (StartsWith(object->element, "!")) return ReadSpecial(object, c);
  if (c == '>') return 1;
  return ReadAttributes(object, c);
}

// A comment ends at ">" after two or more "-", a CDATA section at ">" after
// two or more "]" (counted after the opener); anything else at the ">" that
// balances the brackets inside it.
int TagSplitter::ReadSpecial(CallObject* object, int last) {
  const String& name = object->element;
  char closer = 0;
  const char* eof = kEofInOther;
  int32_t opener = 0;
  if (StartsWith(name, "!--")) {
    closer = '-';
    opener = 4;  // "<!--"
    object->element.assign("!--");
  } else if (StartsWith(name, "![CDATA[")) {
    closer = ']';
    opener = 9;  // "<![CDATA["
  }
  if (closer) {
    eof = kEofInComment;
    const String& text = object->value;
    int32_t run = 0;  // closers directly before the current byte, after the opener
    for (int32_t i = opener; i < text.length() - 1; i++) run = text.data()[i] == closer ? run + 1 : 0;
    int c = last;
    for (;;) {
      if (c == '>' && text.length() > opener && run >= 2) return 1;
      run = c == closer && text.length() > opener ? run + 1 : 0;
      if (!Take(&c, eof)) return -1;
    }
  }
  int depth = last == '>' ? 0 : 1;
  int c;
  while (depth > 0) {
    if (!Take(&c, eof)) return -1;
    if (c == '<') depth++;
    if (c == '>') depth--;
  }
  return 1;
}

int TagSplitter::ReadAttributes(CallObject* object, int last) {
  int c = last;
  for (;;) {
    while (IsSpace(c))
      if (!Take(&c, kEofInTag)) return -1;
    if (c == '>') return 1;
    if (c == '/') {
      if (!Take(&c, kEofInTag)) return -1;
      if (c == '>') return 1;
      error_.assign("Found &quot;");
      error_.append(static_cast<char>(c));
      error_.append("&quot; in tag following /");
      return -1;
    }
    String name;
    while (!IsSpace(c) && c != '=' && c != '/' && c != '>') {
      name.append(static_cast<char>(c));
      if (!Take(&c, kEofInTag)) return -1;
    }
    while (IsSpace(c))
      if (!Take(&c, kEofInTag)) return -1;
    String value;
    if (c != '=') {
      value = name;  // a bare name is its own value; c starts what follows
    } else {
      if (!Take(&c, kEofInTag)) return -1;
      while (IsSpace(c))
        if (!Take(&c, kEofInTag)) return -1;
      if (c == '"' || c == '\'') {
        int quote = c;
        for (;;) {
          if (!Take(&c, kEofInTag)) return -1;
          if (c == quote) break;
          value.append(static_cast<char>(c));
        }
        if (!Take(&c, kEofInTag)) return -1;
      } else {
        while (!IsSpace(c) && c != '>') {
          value.append(static_cast<char>(c));
          if (!Take(&c, kEofInTag)) return -1;
        }
      }
    }
    object->names.push_back(std::move(name));
    object->values.push_back(std::move(value));
  }
}

}  // namespace pexo
