// Request bodies of any other content type: kept whole (up to the announced
// content length) and handed to the system variable content_data at Finish.
// Whether such a body is accepted at all, and up to what size, is decided
// before the handler is made (see content_parser_factory.h); a body of
// unknown length is held to `limit` bytes (0 = none) as it arrives.
#ifndef PEXO_IO_UNKNOWN_CONTENT_HANDLER_H_
#define PEXO_IO_UNKNOWN_CONTENT_HANDLER_H_

#include <cstdint>

#include "io/content_parser.h"

namespace pexo {

class UnknownContentHandler : public HTTPContentParser {
 public:
  UnknownContentHandler(ContentVariableStore* store, int64_t content_length, int64_t limit = 0);

  bool Feed(const char* data, int32_t length) override;
  bool Finish() override;

 private:
  int64_t content_length_;
  int64_t limit_;
  String body_;
};

extern const char kUnknownContentTooLarge[];

}  // namespace pexo

#endif  // PEXO_IO_UNKNOWN_CONTENT_HANDLER_H_
