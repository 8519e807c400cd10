#include "values/variable_path.h"

#include "values/string.h"

namespace pexo {

const char kBadArrayIndex[] = "Array index must be positive integer";

namespace {

bool IsSelectorStart(char c) { return c == ':' || c == '['; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int32_t NameEnd(const char* text, int32_t from, int32_t length) {
  while (from < length && !IsSelectorStart(text[from])) ++from;
  return from;
}

}  // namespace

PathReader::PathReader(const char* path, int32_t length)
    : path_(path ? path : ""), length_(path ? text_length(path, length) : 0) {
  base_length_ = NameEnd(path_, 0, length_);
  pos_ = base_length_;
}

PathReader::Step PathReader::Next(const char** name, int32_t* name_length, int32_t* number) {
  if (malformed_) return kMalformed;
  if (pos_ >= length_) return kEnd;
  Step step = kMalformed;
  if (path_[pos_] == ':') step = ReadMember(name, name_length);
  else if (path_[pos_] == '[') step = ReadIndex(number);
  if (step == kMalformed) malformed_ = true;
  return step;
}

PathReader::Step PathReader::ReadMember(const char** name, int32_t* name_length) {
  int32_t start = pos_ + 1;
  int32_t end = NameEnd(path_, start, length_);
  *name = path_ + start;
  *name_length = end - start;
  pos_ = end;
  return kMember;
}

PathReader::Step PathReader::ReadIndex(int32_t* number) {
  int32_t at = pos_ + 1;
  int64_t value = 0;
  bool in_digits = false, done = false;
  for (; at < length_ && path_[at] != ']'; ++at) {
    char c = path_[at];
    if (IsDigit(c)) {
      if (done) continue;  // atoi stops at the first blank after digits
      in_digits = true;
      value = value * 10 + (c - '0');
      if (value > INT32_MAX) return kMalformed;
    } else if (IsBlank(c)) {
      if (in_digits) done = true;
    } else {
      return kMalformed;
    }
  }
  if (at >= length_) return kMalformed;  // no closing "]"
  *number = static_cast<int32_t>(value);
  pos_ = at + 1;
  return kIndex;
}

}  // namespace pexo
