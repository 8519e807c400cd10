#include "io/urlencoded_parser.h"

#include <cctype>

namespace pexo {

namespace {

constexpr int32_t kFirstBufferSize = 512;

// Digits outside 0-9 and A-F are not rejected; they give some value and the
// byte is kept to 8 bits.
unsigned HexValue(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return u <= '9' ? u - '0' : u - 'A' + 10;
}

}  // namespace

URLEncodedParser::URLEncodedParser(ContentVariableStore* store, int32_t limit)
    : HTTPContentParser(store), limit_(limit) {
  name_.reserve(kFirstBufferSize);
  value_.reserve(kFirstBufferSize);
}

bool URLEncodedParser::Append(String* buffer, char c) {
  int32_t before = buffer->length();
  if (before == INT32_MAX - 1) {
    SetFailure(kContentTooLarge, kOutOfMemory);
    return false;
  }
  buffer->append(c);
  if (buffer->length() == before) {
    SetFailure(kContentTooLarge, kOutOfMemory);
    return false;
  }
  return true;
}

bool URLEncodedParser::Store() {
  bool ok = true;
  if (!name_.empty()) {
    count_++;
    if (limit_ != 0 && count_ > limit_) {
      SetError(kMaxPostVarsExceeded);
      ok = false;
    } else {
      store_->SetFormField(name_.data(), name_.length(), value_.data(), value_.length());
    }
  }
  name_.clear();
  value_.clear();
  return ok;
}

bool URLEncodedParser::Escape(char c, String* buffer, State back) {
  escape_[escape_length_++] = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (escape_length_ < 2) return true;
  escape_length_ = 0;
  state_ = back;
  unsigned byte = (HexValue(escape_[0]) << 4) + HexValue(escape_[1]);
  return Append(buffer, static_cast<char>(byte & 0xFF));
}

bool URLEncodedParser::Feed(const char* data, int32_t length) {
  if (failed_) return false;
  for (int32_t i = 0; i < length; i++) {
    char c = data[i];
    bool ok = true;
    switch (state_) {
      case kName:
        if (c == '%') {
          state_ = kNameEscape;
        } else if (c == '&') {
          ok = Store();
        } else if (c == '=') {
          state_ = kValue;
        } else {
          ok = Append(&name_, c == '+' ? ' ' : c);
        }
        break;
      case kValue:
        if (c == '%') {
          state_ = kValueEscape;
        } else if (c == '&') {
          state_ = kName;
          ok = Store();
        } else {
          ok = Append(&value_, c == '+' ? ' ' : c);
        }
        break;
      case kNameEscape:
        ok = Escape(c, &name_, kName);
        break;
      case kValueEscape:
        ok = Escape(c, &value_, kValue);
        break;
    }
    if (!ok) return false;
  }
  return true;
}

bool URLEncodedParser::Finish() {
  if (failed_) return false;
  // A half-read escape is dropped; the pair read so far still counts.
  escape_length_ = 0;
  state_ = kName;
  return Store();
}

}  // namespace pexo
