// The line format of delimited text files written by PxEXPORT and read by
// PxIMPORT: values joined by a delimiter text, one record per line.
//
// Inside a value a line feed is written as backslash "n", a carriage return
// as backslash "r" and a backslash as two backslashes; the delimiter is not
// escaped. A reader ends a line at LF, CR or CRLF and undoes the escapes
// (backslash followed by any other byte gives that byte), so values with
// line breaks survive a round trip. Lines are read a block at a time: memory
// is the block plus the longest line, whatever the file's size.
#ifndef PEXO_DB_FLAT_FILE_FORMAT_H_
#define PEXO_DB_FLAT_FILE_FORMAT_H_

#include <cstdint>

#include "values/string.h"

namespace pexo {

class File;
class VariableList;

// Appends `bytes` escaped to `line`; false when the line cannot grow.
bool AppendEscapedValue(String* line, const char* bytes, int32_t length);

// Assigns the delimited parts of `line` to the variables of `targets` in
// order. Variables left over once the line is exhausted get the empty text;
// text after the last variable's delimiter is ignored. An empty delimiter
// never splits.
void SplitFlatLine(const String& line, const String& delimiter, VariableList* targets);

class FlatLineReader {
 public:
  // `file` is not owned and must outlive the reader; `block` is the read size.
  FlatLineReader(File* file, int32_t block);
  FlatLineReader(const FlatLineReader&) = delete;
  FlatLineReader& operator=(const FlatLineReader&) = delete;
  ~FlatLineReader();

  // 1: the next line, unescaped, is in `line`; 0: the file ended with an
  // empty line; -1: read failure or a line that cannot grow, see error().
  int ReadLine(String* line);
  const String& error() const { return error_; }

 private:
  bool Fill();

  File* file_;
  char* block_;
  int32_t capacity_;
  int32_t position_ = 0;
  int32_t end_ = 0;
  bool at_end_ = false;
  // A CR ended the previous line: an LF right after it belongs to it.
  bool skip_line_feed_ = false;
  String error_;
};

}  // namespace pexo

#endif  // PEXO_DB_FLAT_FILE_FORMAT_H_
