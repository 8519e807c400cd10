#include "values/aggregate_index.h"

#include "values/conversions.h"

namespace pexo {

AggregateIndex::AggregateIndex(int32_t number) : number_(number < 0 ? 0 : number) {}

AggregateIndex::AggregateIndex(const char* name, int32_t length)
    : name_(name, length), number_(-1) {}

AggregateIndex::AggregateIndex(const AggregateIndex& other) : number_(other.number_) {
  if (!IsNumber()) name_.assign(other.NameBytes(), other.NameLength());
}

AggregateIndex::AggregateIndex(BorrowTag, const char* name, int32_t length)
    : number_(-1), view_length_(name ? text_length(name, length) : 0), view_(name ? name : "") {}

AggregateIndex AggregateIndex::Borrow(const char* name, int32_t length) {
  return AggregateIndex(BorrowTag(), name, length);  // elided: stays borrowed
}

AggregateIndex& AggregateIndex::operator=(const AggregateIndex& other) {
  if (this != &other) {
    number_ = other.number_;
    if (IsNumber())
      name_.clear();
    else
      name_.assign(other.NameBytes(), other.NameLength());
    view_ = nullptr;
    view_length_ = 0;
    text_.clear();
  }
  return *this;
}

const String& AggregateIndex::Name() const {
  if (view_ && name_.empty()) name_.assign(view_, view_length_);
  if (IsNumber() && name_.empty()) {
    char buffer[kIntegerTextSize];
    name_.assign(buffer, FormatInteger(number_, buffer));
  }
  return name_;
}

const String& AggregateIndex::Text() const {
  if (text_.empty()) {
    if (IsNumber()) {
      text_.append('[');
      text_.append(Name());
      text_.append(']');
    } else {
      text_.append(':');
      text_.append(Name());
    }
  }
  return text_;
}

void AggregateIndex::SetNumber(int32_t number) {
  if (!IsNumber()) return;
  number_ = number < 0 ? 0 : number;
  name_.clear();
  text_.clear();
}

}  // namespace pexo
