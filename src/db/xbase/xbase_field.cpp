#include "db/xbase/xbase_field.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

#include "db/xbase/xbase_table.h"

namespace pexo {
namespace {

const char kLetters[] = "CNDLM";

int32_t TrailingTrimmed(const char* bytes, int32_t length) {
  while (length > 0 && bytes[length - 1] == ' ') --length;
  return length;
}

int32_t LeadingBlanks(const char* bytes, int32_t length) {
  int32_t skip = 0;
  while (skip < length && bytes[skip] == ' ') ++skip;
  return skip;
}

}  // namespace

int32_t XBaseTypeCode(char letter) {
  const char* at = letter ? std::strchr(kLetters, letter) : nullptr;
  return at ? static_cast<int32_t>(at - kLetters) : -1;
}

char XBaseTypeLetter(int32_t type) {
  return type >= 0 && type < 5 ? kLetters[type] : '?';
}

XBaseField::XBaseField(XBaseTable* table, const char* name, int32_t name_length, int32_t type,
                       int32_t length, int32_t decimals)
    : table_(table),
      name_(name, name_length),
      type_(type),
      length_(length),
      decimals_(decimals) {}

XBaseField::~XBaseField() = default;

void XBaseField::Parse(const char* bytes) {
  int32_t start = 0;
  int32_t end = length_;
  if (type_ == kXBaseCharacter) end = TrailingTrimmed(bytes, length_);
  if (type_ == kXBaseNumeric || type_ == kXBaseMemo) start = LeadingBlanks(bytes, length_);
  value_.assign(bytes + start, end - start);
  read_value_.assign(value_);
}

bool XBaseField::Store(char* bytes) {
  int32_t n = value_.length() < length_ ? value_.length() : length_;
  std::memset(bytes, ' ', static_cast<size_t>(length_));
  // Numbers and block numbers are right-aligned, everything else left.
  int32_t at = (type_ == kXBaseNumeric || type_ == kXBaseMemo) ? length_ - n : 0;
  std::memcpy(bytes + at, value_.data(), static_cast<size_t>(n));
  return true;
}

void XBaseField::SetValue(const char* text, int32_t length) {
  if (length < 0) length = text ? static_cast<int32_t>(std::strlen(text)) : 0;
  value_.assign(text, length < length_ ? length : length_);
}

const String& XBaseField::Value() { return value_; }

void XBaseField::RestoreReadValue() { std::swap(value_, read_value_); }

void XBaseField::SaveReadValue() { read_value_.assign(value_); }

XBaseMemoField::XBaseMemoField(XBaseTable* table, const char* name, int32_t name_length,
                               int32_t length)
    : XBaseField(table, name, name_length, kXBaseMemo, length, 0) {}

void XBaseMemoField::Parse(const char* bytes) {
  XBaseField::Parse(bytes);
  loaded_ = false;
  changed_ = false;
  memo_.clear();
  saved_memo_.clear();
}

int32_t XBaseMemoField::Block() const {
  // Digits only; anything else (or an overflow) means no memo.
  int64_t block = 0;
  const char* text = value_.data();
  int32_t n = value_.length();
  while (n > 0 && text[n - 1] == ' ') --n;
  if (n == 0) return 0;
  for (int32_t i = 0; i < n; ++i) {
    if (text[i] < '0' || text[i] > '9') return 0;
    block = block * 10 + (text[i] - '0');
    if (block > INT32_MAX) return 0;
  }
  return static_cast<int32_t>(block);
}

bool XBaseMemoField::Load() {
  if (loaded_) return true;
  memo_.clear();
  int32_t block = Block();
  if (block > 0 && !table_->ReadMemo(block, &memo_)) {
    memo_.clear();
    return false;
  }
  saved_memo_.assign(memo_);
  loaded_ = true;
  return true;
}

bool XBaseMemoField::Store(char* bytes) {
  if (changed_) {
    if (memo_.empty()) {
      value_.clear();
    } else {
      int32_t block = 0;
      if (!table_->AppendMemo(memo_.data(), memo_.length(), &block)) return false;
      char number[16];
      std::snprintf(number, sizeof number, "%d", block);
      value_.assign(number);
    }
    changed_ = false;
  }
  return XBaseField::Store(bytes);
}

void XBaseMemoField::SetValue(const char* text, int32_t length) {
  if (length < 0) length = text ? static_cast<int32_t>(std::strlen(text)) : 0;
  if (!loaded_) Load();  // keeps the read memo for RestoreReadValue
  memo_.assign(text, length);
  loaded_ = true;
  changed_ = true;
}

const String& XBaseMemoField::Value() {
  Load();
  return memo_;
}

void XBaseMemoField::RestoreReadValue() {
  Load();
  XBaseField::RestoreReadValue();
  std::swap(memo_, saved_memo_);
}

void XBaseMemoField::SaveReadValue() {
  XBaseField::SaveReadValue();
  saved_memo_.assign(memo_);
}

}  // namespace pexo
