#include "values/aggregate_index.h"

#include "values/conversions.h"

namespace pexo {

AggregateIndex::AggregateIndex(int32_t number) : number_(number < 0 ? 0 : number) {}

AggregateIndex::AggregateIndex(const char* name, int32_t length)
    : name_(name, length), number_(-1) {}

AggregateIndex::AggregateIndex(const AggregateIndex& other) : number_(other.number_) {
  if (!IsNumber()) name_ = other.name_;
}

AggregateIndex& AggregateIndex::operator=(const AggregateIndex& other) {
  if (this != &other) {
    number_ = other.number_;
    if (IsNumber())
      name_.clear();
    else
      name_ = other.name_;
    text_.clear();
  }
  return *this;
}

const String& AggregateIndex::Name() const {
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
      text_.append(name_);
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

int AggregateIndex::CompareMixed(const AggregateIndex& other) const {
  if (IsNumber()) return -1;
  if (other.IsNumber()) return 1;
  return compare_nocase(name_.data(), name_.length(), other.name_.data(), other.name_.length());
}

}  // namespace pexo
