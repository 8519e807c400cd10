#include "io/json_content_parser.h"

#include "io/json_variable.h"
#include "values/variable.h"

namespace pexo {

namespace {

// The buffer is sized to the announced length, but never more than this up
// front: the header is not trusted before the bytes arrive.
constexpr int64_t kFirstReserve = 1 << 20;

}  // namespace

bool AppendBody(String* body, const char* data, int32_t length, int64_t content_length) {
  if (length <= 0) return true;
  if (content_length != kUnknownContentLength) {
    int64_t room = content_length - body->length();
    if (room <= 0) return true;
    if (length > room) length = static_cast<int32_t>(room);
  }
  if (length > INT32_MAX - 1 - body->length()) return false;
  int32_t before = body->length();
  body->append(data, length);
  return body->length() == before + length;
}

JSONContentParser::JSONContentParser(ContentVariableStore* store, int64_t content_length)
    : HTTPContentParser(store), content_length_(content_length) {
  int64_t first = content_length < kFirstReserve ? content_length : kFirstReserve;
  if (first > 0) body_.reserve(static_cast<int32_t>(first));
}

bool JSONContentParser::Feed(const char* data, int32_t length) {
  if (failed_) return false;
  if (!AppendBody(&body_, data, length, content_length_)) {
    SetFailure(kContentTooLarge, kOutOfMemory);
    return false;
  }
  return true;
}

bool JSONContentParser::Finish() {
  if (failed_) return false;
  Variable* json = store_->MakeVariable("json_data");
  String error;
  bool decoded = true;
  if (json) decoded = JsonDecodeVariable(body_.data(), body_.length(), json, &error);
  Variable* content = store_->MakeVariable("content_data");
  if (content) {
    int32_t length = 0, capacity = 0;
    char* bytes = body_.release(&length, &capacity);
    if (bytes) {
      content->SetValue_Nocopy(bytes, length, capacity);
    } else {
      content->SetValue("", 0);
    }
  }
  if (!json || !content) {
    SetError(kOutOfMemory);
    return false;
  }
  if (!decoded) {
    SetError(error.c_str());
    return false;
  }
  return true;
}

}  // namespace pexo
