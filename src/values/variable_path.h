// Reader of the textual path that names a variable and its members:
// a base name followed by any sequence of ":member" and "[index]" selectors,
// for example order:items[3]:price.
//
// The base name and member names run up to the next ":" or "[" or the end.
// An index holds only blanks and digits; its value is the first run of digits
// (leading blanks skipped, as atoi reads it). After "]" the path must end or
// go on with ":" or "[". Anything else, a missing "]", or an index above
// 2147483647 is malformed.
//
// The reader is streaming: callers act on each selector before asking for the
// next one, so what was built before a malformed selector stays.
#ifndef PEXO_VALUES_VARIABLE_PATH_H_
#define PEXO_VALUES_VARIABLE_PATH_H_

#include <cstdint>

namespace pexo {

// The error text of every malformed path.
extern const char kBadArrayIndex[];

class PathReader {
 public:
  enum Step { kEnd, kMember, kIndex, kMalformed };

  PathReader(const char* path, int32_t length);  // length -1: up to a zero byte

  const char* base() const { return path_; }
  int32_t base_length() const { return base_length_; }
  // True when the path is a bare name (no selectors at all).
  bool simple() const { return base_length_ == length_; }

  // Next selector: kMember with its name, kIndex with its number, kEnd, or
  // kMalformed (sticky).
  Step Next(const char** name, int32_t* name_length, int32_t* number);

 private:
  Step ReadMember(const char** name, int32_t* name_length);
  Step ReadIndex(int32_t* number);

  const char* path_;
  int32_t length_;
  int32_t base_length_;
  int32_t pos_;
  bool malformed_ = false;
};

}  // namespace pexo

#endif  // PEXO_VALUES_VARIABLE_PATH_H_
