#include "io/unknown_content_handler.h"

#include "io/json_content_parser.h"
#include "values/variable.h"

namespace pexo {

const char kUnknownContentTooLarge[] =
    "POST content length exceeds configured maximum for unknown content types";

UnknownContentHandler::UnknownContentHandler(ContentVariableStore* store, int64_t content_length,
                                             int64_t limit)
    : HTTPContentParser(store), content_length_(content_length), limit_(limit) {}

bool UnknownContentHandler::Feed(const char* data, int32_t length) {
  if (failed_) return false;
  if (limit_ > 0 && length > 0 && body_.length() + static_cast<int64_t>(length) > limit_) {
    SetFailure(kContentTooLarge, kUnknownContentTooLarge);
    return false;
  }
  if (!AppendBody(&body_, data, length, content_length_)) {
    SetFailure(kContentTooLarge, kOutOfMemory);
    return false;
  }
  return true;
}

bool UnknownContentHandler::Finish() {
  if (failed_) return false;
  Variable* content = store_->MakeVariable("content_data");
  if (!content) {
    SetError(kOutOfMemory);
    return false;
  }
  int32_t length = 0, capacity = 0;
  char* bytes = body_.release(&length, &capacity);
  if (bytes) {
    content->SetValue_Nocopy(bytes, length, capacity);
  } else {
    content->SetValue("", 0);
  }
  return true;
}

}  // namespace pexo
