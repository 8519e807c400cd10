// application/json request bodies. The body is kept (up to the announced
// content length, when one was announced; anything beyond is ignored) and, at Finish, decoded into
// the system variable json_data; content_data gets the raw bytes. Both are
// made even when decoding fails, which fails the parser with the decoder's
// message.
#ifndef PEXO_IO_JSON_CONTENT_PARSER_H_
#define PEXO_IO_JSON_CONTENT_PARSER_H_

#include <cstdint>

#include "io/content_parser.h"

namespace pexo {

class JSONContentParser : public HTTPContentParser {
 public:
  JSONContentParser(ContentVariableStore* store, int64_t content_length);

  bool Feed(const char* data, int32_t length) override;
  bool Finish() override;

 private:
  int64_t content_length_;
  String body_;
};

// Appends up to `room` more bytes to `body` (room is what the announced
// length still allows; all of them when the length is unknown); false when
// memory ran out.
bool AppendBody(String* body, const char* data, int32_t length, int64_t content_length);

}  // namespace pexo

#endif  // PEXO_IO_JSON_CONTENT_PARSER_H_
