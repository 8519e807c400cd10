// AggregateIndex: the key of an aggregate element. Either an array index (a
// number >= 0; negative numbers are stored as 0) or a structure member name
// (number -1). Text forms are made on demand: the name of an array index is
// its number in decimal, and Text() is ":" name for a member or "[" number
// "]" for an array index.
//
// A borrowed index (Borrow) refers to a member name it does not own, for a
// lookup: it is valid while those bytes are, and whoever keeps it past code
// that could free them (storing it, running a callback) takes a copy first;
// copies always own their name.
#ifndef PEXO_VALUES_AGGREGATE_INDEX_H_
#define PEXO_VALUES_AGGREGATE_INDEX_H_

#include <cstdint>

#include "values/string.h"

namespace pexo {

class AggregateIndex {
 public:
  explicit AggregateIndex(int32_t number);
  AggregateIndex(const char* name, int32_t length);  // length -1: zero-terminated
  AggregateIndex(const AggregateIndex& other);
  AggregateIndex& operator=(const AggregateIndex& other);
  static AggregateIndex Borrow(const char* name, int32_t length);

  bool borrowed() const { return view_ != nullptr; }

  bool IsNumber() const { return number_ >= 0; }
  int32_t Number() const { return number_; }
  // The member name, or the number's decimal text for an array index.
  const String& Name() const;
  const String& Text() const;
  // Array index only: sets a new number and forgets the lazy text forms.
  void SetNumber(int32_t number);

  // Key order: numbers by value; names byte by byte folded with tolower, a
  // prefix before the longer name; every number before every name.
  int Compare(const AggregateIndex& other) const {
    if ((number_ | other.number_) >= 0)
      return number_ < other.number_ ? -1 : (number_ > other.number_ ? 1 : 0);
    if (number_ >= 0) return -1;
    if (other.number_ >= 0) return 1;
    return compare_nocase_inline(NameBytes(), NameLength(), other.NameBytes(),
                                 other.NameLength());
  }

 private:
  struct BorrowTag {};
  AggregateIndex(BorrowTag, const char* name, int32_t length);
  const char* NameBytes() const { return view_ ? view_ : name_.data(); }
  int32_t NameLength() const { return view_ ? view_length_ : name_.length(); }

  mutable String name_;
  int32_t number_;
  int32_t view_length_ = 0;
  const char* view_ = nullptr;
  mutable String text_;
};

}  // namespace pexo

#endif  // PEXO_VALUES_AGGREGATE_INDEX_H_
