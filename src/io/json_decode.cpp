#include "io/json_decode.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "io/attribute.h"
#include "io/output.h"

namespace pexo {

JsonSink::~JsonSink() = default;

namespace {

enum Token {
  kEnd, kLeftBrace, kRightBrace, kLeftBracket, kRightBracket, kColon, kComma,
  kString, kNumber, kTrue, kFalse, kNull, kError,
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

class JsonDecoder {
 public:
  JsonDecoder(const char* text, int32_t length, JsonSink* sink)
      : p_(text), end_(text + length), sink_(sink) {}

  bool Run();
  const String& error() const { return error_; }

 private:
  Token Next();
  Token ReadNumber();
  Token ReadString();
  Token ReadLiteral();
  bool ReadEscape();
  bool ReadHex(uint32_t* unit);
  void AppendUtf8(uint32_t code_point);
  // A value starting with the given token; containers are pushed.
  bool Value(Token token);
  bool AfterValue();
  Token Fail(const String& what);
  Token Fail(const char* what);
  // "<before><c>'" and "<message> '<text>'".
  Token FailChar(const char* before, char c);
  Token FailText(const char* message, const char* text, int32_t length);

  const char* p_;
  const char* end_;
  JsonSink* sink_;
  int32_t line_ = 1;
  String text_;       // the last string or number token
  std::vector<char> open_;  // '{' or '[' per open container
  String error_;
  bool failed_ = false;
};

Token JsonDecoder::Fail(const String& what) {
  if (failed_) return kError;
  failed_ = true;
  char prefix[48];
  int n = std::snprintf(prefix, sizeof prefix, "Line #%d - Syntax error: ", line_);
  error_.assign(prefix, n);
  error_.append(what);
  return kError;
}

Token JsonDecoder::Fail(const char* what) { return Fail(String(what, -1)); }

// The inserted byte or text goes in as is (a zero byte included), so the
// messages are built as counted texts.
Token JsonDecoder::FailChar(const char* before, char c) {
  String what(before, -1);
  what.append(c);
  what.append('\'');
  return Fail(what);
}

Token JsonDecoder::FailText(const char* message, const char* text, int32_t length) {
  String what(message, -1);
  what.append(" '", 2);
  what.append(text, length);
  what.append('\'');
  return Fail(what);
}

Token JsonDecoder::Next() {
  while (p_ < end_ && IsOutputSpace(*p_)) {
    if (*p_ == '\n') line_++;
    p_++;
  }
  if (p_ == end_) return kEnd;
  char c = *p_;
  switch (c) {
    case '{': p_++; return kLeftBrace;
    case '}': p_++; return kRightBrace;
    case '[': p_++; return kLeftBracket;
    case ']': p_++; return kRightBracket;
    case ':': p_++; return kColon;
    case ',': p_++; return kComma;
    case '"': return ReadString();
    default: break;
  }
  if (c == '-' || IsDigit(c)) return ReadNumber();
  if (IsLetter(c)) return ReadLiteral();
  return FailChar("Unexpected character '", c);
}

Token JsonDecoder::ReadLiteral() {
  const char* start = p_;
  while (p_ < end_ && IsLetter(*p_)) p_++;
  int32_t n = static_cast<int32_t>(p_ - start);
  if (n == 4 && std::memcmp(start, "true", 4) == 0) return kTrue;
  if (n == 5 && std::memcmp(start, "false", 5) == 0) return kFalse;
  if (n == 4 && std::memcmp(start, "null", 4) == 0) return kNull;
  return Fail("Expected TRUE, FALSE, or NULL");
}

Token JsonDecoder::ReadNumber() {
  const char* start = p_;
  if (*p_ == '-') {
    p_++;
    if (p_ == end_ || !IsDigit(*p_)) return Fail("Expected 0-9 after the negative sign");
  }
  if (*p_ == '0') {
    p_++;
  } else {
    while (p_ < end_ && IsDigit(*p_)) p_++;
  }
  if (p_ < end_ && *p_ == '.') {
    p_++;
    if (p_ == end_ || !IsDigit(*p_)) return Fail("Expected a number after the period");
    while (p_ < end_ && IsDigit(*p_)) p_++;
  }
  if (p_ < end_ && (*p_ == 'e' || *p_ == 'E')) {
    p_++;
    if (p_ == end_ || !(IsDigit(*p_) || *p_ == '+' || *p_ == '-'))
      return Fail("Expected +/- or 0-9 after the exponent");
    if (*p_ == '+' || *p_ == '-') {
      p_++;
      if (p_ == end_ || !IsDigit(*p_)) return Fail("Expected 0-9 after the exponent");
    }
    while (p_ < end_ && IsDigit(*p_)) p_++;
  }
  text_.assign(start, static_cast<int32_t>(p_ - start));
  return kNumber;
}

bool JsonDecoder::ReadHex(uint32_t* unit) {
  uint32_t value = 0;
  for (int i = 0; i < 4; i++) {
    int digit = HexDigitValue(p_[i]);
    if (digit < 0) return false;
    value = value * 16 + static_cast<uint32_t>(digit);
  }
  *unit = value;
  return true;
}

void JsonDecoder::AppendUtf8(uint32_t cp) {
  char bytes[4];
  int n;
  if (cp < 0x80) {
    bytes[0] = static_cast<char>(cp);
    n = 1;
  } else if (cp < 0x800) {
    bytes[0] = static_cast<char>(0xC0 | (cp >> 6));
    bytes[1] = static_cast<char>(0x80 | (cp & 0x3F));
    n = 2;
  } else if (cp < 0x10000) {
    bytes[0] = static_cast<char>(0xE0 | (cp >> 12));
    bytes[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    bytes[2] = static_cast<char>(0x80 | (cp & 0x3F));
    n = 3;
  } else {
    bytes[0] = static_cast<char>(0xF0 | (cp >> 18));
    bytes[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    bytes[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    bytes[3] = static_cast<char>(0x80 | (cp & 0x3F));
    n = 4;
  }
  text_.append(bytes, n);
}

// p_ is on the byte after the backslash.
bool JsonDecoder::ReadEscape() {
  if (p_ == end_) {
    Fail("Expected STRING");  // the text ended inside a string
    return false;
  }
  char c = *p_++;
  switch (c) {
    case '"': case '/': case '\\': text_.append(c); return true;
    case 'b': text_.append('\b'); return true;
    case 'f': text_.append('\f'); return true;
    case 'n': text_.append('\n'); return true;
    case 'r': text_.append('\r'); return true;
    case 't': text_.append('\t'); return true;
    case 'u': break;
    default:
      FailChar("Unexpected escape character '", c);
      return false;
  }
  uint32_t unit = 0;
  if (end_ - p_ < 4) {
    Fail("Invalid hex sequence");
    return false;
  }
  if (!ReadHex(&unit)) {
    FailText("Invalid hex sequence", p_, 4);
    return false;
  }
  p_ += 4;
  if (unit < 0xD800 || unit > 0xDFFF) {
    AppendUtf8(unit);
    return true;
  }
  // A surrogate: the second unit must follow as \uXXXX; any value is taken.
  uint32_t second = 0;
  if (end_ - p_ < 6 || p_[0] != '\\' || p_[1] != 'u') {
    Fail("Invalid multi-byte hex sequence");
    return false;
  }
  p_ += 2;
  if (!ReadHex(&second)) {
    FailText("Invalid multi-byte hex sequence", p_, 4);
    return false;
  }
  p_ += 4;
  AppendUtf8(0x10000 + (((unit & 0x3FF) << 10) | (second & 0x3FF)));
  return true;
}

Token JsonDecoder::ReadString() {
  p_++;  // the opening quote
  text_.clear();
  const char* run = p_;
  while (p_ < end_) {
    char c = *p_;
    if (c == '"') {
      text_.append(run, static_cast<int32_t>(p_ - run));
      p_++;
      return kString;
    }
    if (c != '\\') {
      p_++;
      continue;
    }
    text_.append(run, static_cast<int32_t>(p_ - run));
    p_++;
    if (!ReadEscape()) return kError;
    run = p_;
  }
  return Fail("Expected STRING");  // the text ended inside a string
}

bool JsonDecoder::Value(Token token) {
  if ((token == kLeftBrace || token == kLeftBracket) && open_.size() >= kMaxJsonDepth) {
    Fail("Nesting too deep");
    return false;
  }
  switch (token) {
    case kLeftBrace:
      sink_->BeginObject();
      open_.push_back('{');
      return true;
    case kLeftBracket:
      sink_->BeginArray();
      open_.push_back('[');
      return true;
    case kString: sink_->StringValue(text_.data(), text_.length()); break;
    case kNumber: sink_->NumberValue(text_.data(), text_.length()); break;
    case kTrue: sink_->BooleanValue(true); break;
    case kFalse: sink_->BooleanValue(false); break;
    case kNull: sink_->NullValue(); break;
    case kError: return false;
    default: Fail("Expected STRING, NUMBER, {, [, TRUE, FALSE, or NULL"); return false;
  }
  return AfterValue();
}

// After a complete value inside a container: "," continues it, the matching
// bracket closes it (and completes the value of the enclosing container).
bool JsonDecoder::AfterValue() {
  while (!open_.empty()) {
    bool object = open_.back() == '{';
    Token token = Next();
    if (token == kError) return false;
    if (token == kComma) return true;
    if (token != (object ? kRightBrace : kRightBracket)) {
      Fail(object ? "Expected COMMA or }" : "Expected COMMA or ]");
      return false;
    }
    sink_->EndContainer();
    open_.pop_back();
  }
  return true;
}

bool JsonDecoder::Run() {
  Token token = Next();
  if (token == kError) return false;
  if (token != kLeftBrace && token != kLeftBracket) {
    Fail("Expected { or [");
    return false;
  }
  Value(token);
  bool first = true;  // just after an opening bracket
  while (!open_.empty()) {
    token = Next();
    if (token == kError) return false;
    if (open_.back() == '{') {
      if (token != kString) {
        if (!first || token != kRightBrace) {
          Fail(first ? "Expected }" : "Expected STRING");
          return false;
        }
        sink_->EndContainer();
        open_.pop_back();
        if (!AfterValue()) return false;
        first = false;
        continue;
      }
      sink_->Key(text_.data(), text_.length());
      token = Next();
      if (token == kError) return false;
      if (token != kColon) {
        Fail("Expected COLON");
        return false;
      }
      token = Next();
    } else if (first && token == kRightBracket) {
      sink_->EndContainer();
      open_.pop_back();
      if (!AfterValue()) return false;
      first = false;
      continue;
    } else if (first && token != kError && (token < kString && token != kLeftBrace &&
                                            token != kLeftBracket)) {
      Fail("Expected ]");
      return false;
    }
    size_t depth = open_.size();
    if (!Value(token)) return false;
    first = open_.size() > depth;
  }
  token = Next();
  if (token == kError) return false;
  if (token != kEnd) {
    Fail("Expected end of file");
    return false;
  }
  return true;
}

}  // namespace

bool JsonDecode(const char* text, int32_t length, JsonSink* sink, String* error) {
  length = text_length(text, length);
  JsonDecoder decoder(text ? text : "", length, sink);
  if (decoder.Run()) return true;
  sink->Reset();
  if (error) error->assign(decoder.error());
  return false;
}

}  // namespace pexo
