// Choice of the request-body parser by content type (a case-insensitive
// prefix): form posts, JSON, multipart form data, or anything else, which
// max_unknown_content_length governs (negative: refused with "Unknown POST
// content type"; positive and below the content length: refused with "POST
// content length exceeds configured maximum for unknown content types", a
// body of unknown length as soon as it passes the limit; 0: no limit).
#ifndef PEXO_IO_CONTENT_PARSER_FACTORY_H_
#define PEXO_IO_CONTENT_PARSER_FACTORY_H_

#include <cstdint>

#include "io/content_parser.h"
#include "io/upload.h"

namespace pexo {

struct ContentParserSetup {
  ContentVariableStore* globals = nullptr;  // form fields
  ContentVariableStore* system = nullptr;   // raw bodies
  UploadCallbacks* callbacks = nullptr;
  UploadFileFactory* files = nullptr;
  int32_t max_post_vars = 0;
  int32_t max_unknown_content_length = 0;
};

// A new parser (the caller deletes it), or null with `error` (and, when
// given, `failure`) set. `content_length` may be kUnknownContentLength.
HTTPContentParser* MakeContentParser(const ContentParserSetup& setup, const char* content_type,
                                     int32_t content_type_length, int64_t content_length,
                                     String* error, ContentFailure* failure = nullptr);

}  // namespace pexo

#endif  // PEXO_IO_CONTENT_PARSER_FACTORY_H_
