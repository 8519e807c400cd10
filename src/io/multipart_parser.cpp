#include "io/multipart_parser.h"

#include <cstring>

#include "values/variable.h"

namespace pexo {

namespace {

const char kInputTooLong[] = "Input data exceeds maximum length";
const char kNoBoundary[] = "Failed to find boundary separator";
const char kPrematureEnd[] = "Premature end of line when expecting file header type";
const char kValidateFailed[] = "Failed call to ValidateFileUpload";
const char kProcessFailed[] = "Failed call to ProcessFileUpload";
const char kCreateFailed[] = "Failed to create temporary file";
// A temporary file that lost data must not be handed on as complete.
const char kWriteFailed[] = "Failed to write temporary file";

const char kComplete[] = "COMPLETE";
const char kPartial[] = "PARTIAL";
const char kSkippedStatus[] = "SKIPPED";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Reads a parameter value at `p`: quoted (backslash escapes the next
// character) or up to the next ";". Returns the position after it.
const char* ReadParameterValue(const char* p, const char* end, String* value) {
  if (p < end && *p == '"') {
    for (p++; p < end && *p != '"'; p++) {
      if (*p == '\\' && p + 1 < end) p++;
      value->append(*p);
    }
    return p < end ? p + 1 : p;
  }
  const char* stop = static_cast<const char*>(std::memchr(p, ';', static_cast<size_t>(end - p)));
  if (!stop) stop = end;
  value->append(p, static_cast<int32_t>(stop - p));
  return stop;
}

}  // namespace

bool MultipartFormParser::ParseBoundary(const char* content_type, int32_t length,
                                        String* boundary) {
  length = text_length(content_type, length);
  const char* end = content_type + length;
  const char* p = static_cast<const char*>(std::memchr(content_type, ';', static_cast<size_t>(length)));
  while (p && p < end) {
    p++;  // the ";"
    while (p < end && IsBlank(*p)) p++;
    const char* name = p;
    while (p < end && *p != '=' && *p != ';') p++;
    if (p == end || *p == ';') continue;
    bool wanted = equals_nocase(name, static_cast<int32_t>(p - name), "boundary", 8);
    String value;
    p = ReadParameterValue(p + 1, end, &value);
    if (wanted) {
      *boundary = value;
      return true;
    }
    if (p >= end) break;
    p = static_cast<const char*>(std::memchr(p, ';', static_cast<size_t>(end - p)));
  }
  return false;
}

MultipartFormParser::MultipartFormParser(UploadCallbacks* callbacks, UploadFileFactory* files,
                                         ContentVariableStore* store, const char* content_type,
                                         int32_t content_type_length, int32_t limit)
    : HTTPContentParser(store), callbacks_(callbacks), files_(files), limit_(limit) {
  String boundary;
  if (ParseBoundary(content_type, content_type_length, &boundary)) {
    String delimiter("\r\n--", 4);
    delimiter.append(boundary);
    boundary_too_long_ = delimiter.length() > kMaxHeaderText;
    SetDelimiter(delimiter);
    state_ = kPreamble;
  } else {
    delimiter_.assign("\r\n", 2);
    state_ = kLearn;
  }
}

MultipartFormParser::~MultipartFormParser() { DiscardFile(); }

void MultipartFormParser::SetError(const char* message) {
  HTTPContentParser::SetError(message);
  DiscardFile();
}

bool MultipartFormParser::Fail(const char* before, char c, const char* after) {
  String message(before);
  message.append(c);
  message.append(after);
  SetError(message.c_str());
  return false;
}

void MultipartFormParser::SetDelimiter(const String& delimiter) {
  delimiter_ = delimiter;
  int32_t n = delimiter_.length();
  const char* d = delimiter_.data();
  fallback_.assign(static_cast<size_t>(n > 0 ? n : 1), 0);
  for (int32_t i = 1, k = 0; i < n; i++) {
    while (k > 0 && d[i] != d[k]) k = fallback_[static_cast<size_t>(k - 1)];
    if (d[i] == d[k]) k++;
    fallback_[static_cast<size_t>(i)] = k;
  }
}

bool MultipartFormParser::Feed(const char* data, int32_t length) {
  if (failed_) return false;
  if (boundary_too_long_) {
    SetError(kInputTooLong);
    return false;
  }
  int32_t i = 0;
  while (i < length) {
    if (state_ == kBody) {
      i = ScanBody(data, i, length);
    } else if (state_ == kDone) {
      return true;
    } else {
      if (!Byte(data[i])) return false;
      i++;
    }
    if (failed_) return false;
  }
  return true;
}

bool MultipartFormParser::Byte(char c) {
  switch (state_) {
    case kLearn: return Learn(c);
    case kPreamble: return Preamble(c);
    case kExpectLF: return ExpectLF(c, after_lf_);
    case kHeaderStart: return HeaderStart(c);
    case kHeaderName: return HeaderName(c);
    case kContentType: return ContentTypeByte(c);
    case kDispositionSkip:
    case kParameterSpace:
    case kParameterName:
    case kParameterValue: return ParameterByte(c);
    case kAfterDelimiter:
    case kAfterDash: return AfterDelimiter(c);
    case kBody:
    case kDone: break;
  }
  return true;
}

bool MultipartFormParser::ExpectLF(char c, State next) {
  if (c != '\n') return Fail("Found ", c, " when expected LF");
  if (next == kBody) return BeginBody();
  state_ = next;
  if (next == kHeaderStart) header_name_.clear();
  return true;
}

bool MultipartFormParser::Bounded(String* buffer, char c) {
  if (buffer->length() >= kMaxHeaderText) {
    SetError(kInputTooLong);
    return false;
  }
  buffer->append(c);
  return true;
}

bool MultipartFormParser::Learn(char c) {
  if (c != '\r') return Bounded(&delimiter_, c);
  SetDelimiter(delimiter_);
  StartPart();
  state_ = kExpectLF;
  after_lf_ = kHeaderStart;
  return true;
}

bool MultipartFormParser::Preamble(char c) {
  // The first delimiter comes without its CR LF.
  int32_t wanted = delimiter_.length() - 2;
  if (c == '\r') {
    if (preamble_mismatch_ || matched_ != wanted) {
      SetError(kNoBoundary);
      return false;
    }
    matched_ = 0;
    StartPart();
    state_ = kExpectLF;
    after_lf_ = kHeaderStart;
    return true;
  }
  if (!preamble_mismatch_ && matched_ < wanted && c == delimiter_.data()[matched_ + 2]) {
    matched_++;
  } else if (!preamble_mismatch_ && matched_ == wanted && c == '-') {
    // "--" right after the first delimiter: a body without parts.
    state_ = kAfterDash;
    matched_ = 0;
  } else {
    preamble_mismatch_ = true;
  }
  return true;
}

void MultipartFormParser::StartPart() {
  field_name_.clear();
  file_name_.clear();
  content_type_.clear();
  header_name_.clear();
}

bool MultipartFormParser::HeaderStart(char c) {
  if (c == '\r') {
    state_ = kExpectLF;
    after_lf_ = kBody;
    return true;
  }
  if (c == ':') return Fail("Found ", c, " when expecting file header type");
  state_ = kHeaderName;
  return HeaderName(c);
}

bool MultipartFormParser::HeaderName(char c) {
  if (c == '\r') {
    SetError(kPrematureEnd);
    return false;
  }
  if (c != ':') return Bounded(&header_name_, c);
  if (header_name_.equals("Content-Type", 12)) {
    content_type_.clear();
    state_ = kContentType;
    return true;
  }
  if (header_name_.equals("Content-Disposition", 19)) {
    file_name_.clear();
    state_ = kDispositionSkip;
    return true;
  }
  SetError(kPrematureEnd);
  return false;
}

bool MultipartFormParser::ContentTypeByte(char c) {
  if (c == '\r') {
    state_ = kExpectLF;
    after_lf_ = kHeaderStart;
    return true;
  }
  if (c == ' ') return true;
  return Bounded(&content_type_, c);
}

void MultipartFormParser::EndParameter() {
  const String& value = parameter_value_;
  // Both values come quoted; the quotes are cut off without looking.
  if (parameter_name_.equals("name", 4)) {
    field_name_.assign(value.data() + (value.length() > 0 ? 1 : 0),
                       value.length() > 2 ? value.length() - 2 : 0);
  } else if (parameter_name_.equals("filename", 8) && value.length() > 2) {
    file_name_.assign(value.data() + 1, value.length() - 2);
  }
  parameter_name_.clear();
  parameter_value_.clear();
  in_quotes_ = false;
}

bool MultipartFormParser::ParameterByte(char c) {
  if (c == '\r') {
    if (state_ == kParameterName || state_ == kParameterValue) EndParameter();
    state_ = kExpectLF;
    after_lf_ = kHeaderStart;
    return true;
  }
  switch (state_) {
    case kDispositionSkip:
      if (c == ';') state_ = kParameterSpace;
      return true;
    case kParameterSpace:
      if (c == ' ') return true;
      state_ = kParameterName;
      return ParameterByte(c);
    case kParameterName:
      if (c == '=') {
        state_ = kParameterValue;
        return true;
      }
      if (c == ';') {
        EndParameter();
        state_ = kParameterSpace;
        return true;
      }
      return Bounded(&parameter_name_, c);
    default:
      break;
  }
  // A ";" inside quotes belongs to the value (file names may hold one).
  if (c == ';' && !in_quotes_) {
    EndParameter();
    state_ = kParameterSpace;
    return true;
  }
  if (c == '"') in_quotes_ = !in_quotes_;
  return Bounded(&parameter_value_, c);
}

bool MultipartFormParser::AfterDelimiter(char c) {
  if (state_ == kAfterDash) {
    if (c != '-') return Fail("Found ", c, " when expected '-'");
    state_ = kDone;
    return true;
  }
  if (c == '-') {
    state_ = kAfterDash;
    return true;
  }
  if (c != '\r') return Fail("Found ", c, " when expected CR or '-'");
  StartPart();
  state_ = kExpectLF;
  after_lf_ = kHeaderStart;
  return true;
}

int32_t MultipartFormParser::ScanBody(const char* data, int32_t at, int32_t length) {
  const char* d = delimiter_.data();
  const int32_t n = delimiter_.length();
  int32_t i = at;
  while (i < length) {
    if (matched_ == 0) {
      const void* hit = std::memchr(data + i, d[0], static_cast<size_t>(length - i));
      int32_t stop = hit ? static_cast<int32_t>(static_cast<const char*>(hit) - data) : length;
      if (!Data(data + i, stop - i)) return length;
      i = stop;
      if (!hit) break;
      matched_ = 1;
      i++;
    } else if (data[i] == d[matched_]) {
      matched_++;
      i++;
    } else {
      // The bytes matched so far, less the part that may still start a
      // delimiter, turn out to be data.
      int32_t keep = fallback_[static_cast<size_t>(matched_ - 1)];
      if (!Data(d, matched_ - keep)) return length;
      matched_ = keep;
      continue;
    }
    if (matched_ == n) {
      matched_ = 0;
      state_ = kAfterDelimiter;
      EndPart();
      return i;
    }
  }
  return length;
}

bool MultipartFormParser::BeginBody() {
  state_ = kBody;
  matched_ = 0;
  value_.clear();
  received_ = 0;
  if (file_name_.empty()) {
    part_ = kField;
    return true;
  }
  return BeginUpload();
}

bool MultipartFormParser::BeginUpload() {
  part_ = kSkipped;
  status_ = kSkippedStatus;
  callbacks_->StartGlobalTimer();
  int32_t result = 0;
  UploadCallResult call =
      callbacks_->ValidateFileUpload(field_name_, file_name_, content_type_, &result);
  if (call == kUploadCallFailed) {
    SetFailure(kContentServerFault, kValidateFailed);
    return false;
  }
  if (call == kUploadCallUndefined || result < 0) return true;
  callbacks_->StopPostTimer();
  status_ = kComplete;
  size_limit_ = result;
  file_ = files_->CreateTemporaryFile(&file_path_);
  if (!file_) {
    SetFailure(kContentServerFault, kCreateFailed);
    return false;
  }
  part_ = kUpload;
  return true;
}

bool MultipartFormParser::Data(const char* data, int32_t length) {
  if (length <= 0) return true;
  switch (part_) {
    case kField: {
      int32_t before = value_.length();
      if (length > INT32_MAX - 1 - before) {
        SetFailure(kContentTooLarge, kOutOfMemory);
        return false;
      }
      value_.append(data, length);
      if (value_.length() != before + length) {
        SetFailure(kContentTooLarge, kOutOfMemory);
        return false;
      }
      return true;
    }
    case kUpload: {
      int64_t stored = received_;
      received_ += length;
      if (size_limit_ > 0 && received_ > size_limit_) {
        length = stored < size_limit_ ? static_cast<int32_t>(size_limit_ - stored) : 0;
        status_ = kPartial;
      }
      if (length > 0 && !file_->Write(data, length)) {
        SetFailure(kContentServerFault, kWriteFailed);
        return false;
      }
      return true;
    }
    case kSkipped:
      received_ += length;
      return true;
    case kNoPart:
      break;
  }
  return true;
}

bool MultipartFormParser::EndPart() {
  PartKind part = part_;
  part_ = kNoPart;
  if (part == kUpload) return EndUpload();
  if (part != kField || field_name_.empty()) return true;
  count_++;
  if (limit_ != 0 && count_ > limit_) {
    SetError(kMaxPostVarsExceeded);
    return false;
  }
  store_->SetFormField(field_name_.data(), field_name_.length(), value_.data(), value_.length());
  value_.clear();
  return true;
}

bool MultipartFormParser::EndUpload() {
  UploadFile* file = file_;
  file_ = nullptr;
  bool written = file->Close();
  delete file;
  if (!written) {
    files_->DeleteFile(file_path_);
    SetFailure(kContentServerFault, kWriteFailed);
    return false;
  }
  callbacks_->StartGlobalTimer();
  UploadCallResult call = callbacks_->ProcessFileUpload(field_name_, file_name_, status_,
                                                        file_path_, content_type_, received_);
  files_->DeleteFile(file_path_);
  if (call == kUploadCallFailed) {
    SetFailure(kContentServerFault, kProcessFailed);
    return false;
  }
  callbacks_->StartPostTimer();
  return true;
}

void MultipartFormParser::DiscardFile() {
  if (!file_) return;
  UploadFile* file = file_;
  file_ = nullptr;
  file->Close();
  delete file;
  files_->DeleteFile(file_path_);
}

bool MultipartFormParser::Finish() {
  DiscardFile();
  part_ = kNoPart;
  // Without the closing delimiter the last part may be cut short.
  if (state_ != kDone) SetError(kIncompleteBody);
  return !failed_;
}

}  // namespace pexo
