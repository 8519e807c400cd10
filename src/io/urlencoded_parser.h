// URL-encoded form data (query strings and form posts): name=value pairs
// separated by "&", "+" for a space, "%XY" for a byte. A name without "="
// gets the empty value; a repeated name accumulates into an array. Names and
// values have no length limit. With a non-zero limit, the variable after
// `limit` variables fails the parser with "Maximum number of POST variables
// exceeded". Escapes never fail: the two characters after "%" are upper-cased
// and read as hexadecimal digits, whatever they are. Pairs with an empty
// name are skipped.
#ifndef PEXO_IO_URLENCODED_PARSER_H_
#define PEXO_IO_URLENCODED_PARSER_H_

#include <cstdint>

#include "io/content_parser.h"

namespace pexo {

class URLEncodedParser : public HTTPContentParser {
 public:
  // `limit` 0 means no limit.
  URLEncodedParser(ContentVariableStore* store, int32_t limit);

  bool Feed(const char* data, int32_t length) override;
  bool Finish() override;

  int32_t count() const { return count_; }

 private:
  enum State { kName, kValue, kNameEscape, kValueEscape };

  // Appends to the name or the value, by state.
  bool Append(String* buffer, char c);
  // Counts a pair, checks the limit and sets it; clears both buffers.
  bool Store();
  bool Escape(char c, String* buffer, State back);

  int32_t limit_;
  int32_t count_ = 0;
  String name_;
  String value_;
  char escape_[2] = {0, 0};
  int escape_length_ = 0;
  State state_ = kName;
};

}  // namespace pexo

#endif  // PEXO_IO_URLENCODED_PARSER_H_
