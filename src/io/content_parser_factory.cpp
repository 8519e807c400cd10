#include "io/content_parser_factory.h"

#include <cstring>
#include <new>

#include "io/json_content_parser.h"
#include "io/multipart_parser.h"
#include "io/unknown_content_handler.h"
#include "io/urlencoded_parser.h"

namespace pexo {

namespace {

bool HasPrefix(const char* text, int32_t length, const char* prefix) {
  int32_t n = static_cast<int32_t>(std::strlen(prefix));
  return length >= n && equals_nocase(text, n, prefix, n);
}

}  // namespace

HTTPContentParser* MakeContentParser(const ContentParserSetup& setup, const char* content_type,
                                     int32_t content_type_length, int64_t content_length,
                                     String* error, ContentFailure* failure) {
  int32_t n = text_length(content_type, content_type_length);
  HTTPContentParser* parser = nullptr;
  if (HasPrefix(content_type, n, "application/x-www-form-urlencoded")) {
    parser = new (std::nothrow) URLEncodedParser(setup.globals, setup.max_post_vars);
  } else if (HasPrefix(content_type, n, "application/json")) {
    parser = new (std::nothrow) JSONContentParser(setup.system, content_length);
  } else if (HasPrefix(content_type, n, "multipart/form-data")) {
    parser = new (std::nothrow) MultipartFormParser(setup.callbacks, setup.files, setup.globals,
                                                    content_type, n, setup.max_post_vars);
  } else if (setup.max_unknown_content_length < 0) {
    error->assign("Unknown POST content type");
    if (failure) *failure = kContentUnsupported;
    return nullptr;
  } else if (setup.max_unknown_content_length > 0 &&
             setup.max_unknown_content_length < content_length) {
    error->assign(kUnknownContentTooLarge);
    if (failure) *failure = kContentTooLarge;
    return nullptr;
  } else {
    // A body of unknown length is held to the limit as it arrives.
    parser = new (std::nothrow) UnknownContentHandler(setup.system, content_length,
                                                      setup.max_unknown_content_length);
  }
  if (!parser) {
    error->assign(kOutOfMemory);
    if (failure) *failure = kContentServerFault;
  }
  return parser;
}

}  // namespace pexo
