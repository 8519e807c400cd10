#include "net/http_response_stream.h"

#include <cstring>

namespace pexo {

namespace {

const char kClosedEarly[] = "Connection closed before the end of the response";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

String Trimmed(const char* s, int32_t length) {
  int32_t from = 0;
  while (from < length && IsBlank(s[from])) from++;
  while (length > from && IsBlank(s[length - 1])) length--;
  return String(s + from, length - from);
}

}  // namespace

HTTPResponseStream::HTTPResponseStream(NetworkConnection* connection, int32_t timeout)
    : connection_(connection), timeout_(timeout) {}

int HTTPResponseStream::Fail(const char* message) {
  error_.assign(message);
  return 0;
}

int HTTPResponseStream::Fill() {
  if (begin_ == end_) begin_ = end_ = 0;
  if (buffer_.length() < kBufferSize && !buffer_.resize(kBufferSize)) {
    error_.assign("Read Error: Out of memory");
    return -1;
  }
  if (end_ == kBufferSize && begin_ > 0) {
    memmove(buffer_.mutable_data(), buffer_.data() + begin_, static_cast<size_t>(end_ - begin_));
    end_ -= begin_;
    begin_ = 0;
  }
  int32_t got = connection_->Read(buffer_.mutable_data() + end_, kBufferSize - end_, timeout_);
  if (got < 0) {
    error_ = connection_->ErrorText();
    return -1;
  }
  end_ += got;
  return got > 0 ? 1 : 0;
}

int HTTPResponseStream::ReadLine(String* line) {
  int32_t searched = 0;
  for (;;) {
    const char* start = buffer_.data() + begin_;
    const void* feed = memchr(start + searched, '\n', static_cast<size_t>(end_ - begin_ - searched));
    if (feed) {
      int32_t length = static_cast<int32_t>(static_cast<const char*>(feed) - start);
      if (length > kMaxLineLength) return Fail("Response line too long");
      begin_ += length + 1;
      if (length > 0 && start[length - 1] == '\r') length--;
      line->assign(start, length);
      return 1;
    }
    searched = end_ - begin_;
    if (searched > kMaxLineLength) return Fail("Response line too long");
    int got = Fill();
    if (got < 0) return 0;
    if (got == 0) return Fail(kClosedEarly);
  }
}

int HTTPResponseStream::AddHeader(const String& line) {
  if (static_cast<int32_t>(headers_.size()) > kMaxHeaders) return Fail("Too many response headers");
  HTTPResponseStream_Header header;
  header.line = line;
  const char* s = line.data();
  const char* colon = static_cast<const char*>(memchr(s, ':', static_cast<size_t>(line.length())));
  int32_t name_length = colon ? static_cast<int32_t>(colon - s) : line.length();
  header.name = Trimmed(s, name_length);
  if (colon) header.value = Trimmed(colon + 1, line.length() - name_length - 1);
  headers_.push_back(std::move(header));
  return 1;
}

int HTTPResponseStream::ReadHead(bool no_body) {
  String line;
  if (!ReadLine(&line)) return 0;
  // "HTTP/x.y NNN reason": the status is the number after the first space.
  const char* space = static_cast<const char*>(memchr(line.data(), ' ', static_cast<size_t>(line.length())));
  int32_t status = 0;
  int digits = 0;
  if (line.length() >= 5 && memcmp(line.data(), "HTTP/", 5) == 0 && space) {
    const char* end = line.data() + line.length();
    const char* p = space + 1;
    for (; p < end && *p >= '0' && *p <= '9' && digits < 4; p++, digits++)
      status = status * 10 + (*p - '0');
    if (p < end && *p != ' ') digits = 0;
  }
  if (digits != 3) return Fail("Malformed response status line");
  status_ = status;
  AddHeader(line);
  for (;;) {
    if (!ReadLine(&line)) return 0;
    if (line.empty()) break;
    if (!AddHeader(line)) return 0;
    const HTTPResponseStream_Header& header = headers_.back();
    if (header.name.equals_nocase("Transfer-Encoding", 17)) {
      if (header.value.equals_nocase("chunked", 7)) {
        chunked_ = true;
        content_length_ = -1;
      }
    } else if (header.name.equals_nocase("Content-Length", 14) && !chunked_) {
      int64_t length = 0;
      const String& v = header.value;
      if (v.empty()) return Fail("Invalid Content-Length");
      for (int32_t i = 0; i < v.length(); i++) {
        char c = v.data()[i];
        if (c < '0' || c > '9' || length > (int64_t{1} << 50)) return Fail("Invalid Content-Length");
        length = length * 10 + (c - '0');
      }
      if (content_length_ >= 0 && content_length_ != length) return Fail("Invalid Content-Length");
      content_length_ = length;
    }
  }
  // No body after HEAD, 1xx, 204 and 304, whatever the headers say.
  no_body_ = no_body || status_ < 200 || status_ == 204 || status_ == 304;
  if (no_body_) finished_ = true;
  left_ = content_length_;
  if (!chunked_ && content_length_ == 0) finished_ = true;
  if (chunked_) left_ = 0;
  return 1;
}

int32_t HTTPResponseStream::ReadRaw(char* buffer, int32_t size) {
  if (begin_ == end_ && size >= kBufferSize) {
    // A large read goes straight into the caller's buffer.
    int32_t got = connection_->Read(buffer, size, timeout_);
    if (got < 0) error_ = connection_->ErrorText();
    return got;
  }
  if (begin_ == end_) {
    int got = Fill();
    if (got <= 0) return got < 0 ? -1 : 0;
  }
  int32_t take = end_ - begin_ < size ? end_ - begin_ : size;
  memcpy(buffer, buffer_.data() + begin_, static_cast<size_t>(take));
  begin_ += take;
  return take;
}

// Reads the size line of the next chunk into left_; at size 0 checks the
// final line end and finishes the body.
int HTTPResponseStream::StartChunk() {
  String line;
  if (!ReadLine(&line)) return 0;
  int64_t size = 0;
  int32_t i = 0;
  for (; i < line.length(); i++) {
    char c = line.data()[i];
    int digit = c >= '0' && c <= '9' ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
    if (digit < 0) break;
    if (size > (int64_t{1} << 40)) return Fail("Invalid chunk size");
    size = size * 16 + digit;
  }
  if (i == 0) return Fail("Invalid chunk size");
  if (size == 0) {
    // No trailer lines: exactly one more line end.
    if (!ReadLine(&line)) return 0;
    if (!line.empty()) return Fail("Invalid chunk terminator");
    finished_ = true;
    return 1;
  }
  left_ = size;
  return 1;
}

// Exactly CR LF must follow a chunk's data.
int HTTPResponseStream::EndChunk() {
  char end[2];
  int32_t have = 0;
  while (have < 2) {
    int32_t n = ReadRaw(end + have, 2 - have);
    if (n < 0) return 0;
    if (n == 0) break;
    have += n;
  }
  if (have < 2 || end[0] != '\r' || end[1] != '\n') return Fail("Invalid chunk terminator");
  return 1;
}

int32_t HTTPResponseStream::Read(char* buffer, int32_t size) {
  if (size <= 0) return 0;
  if (finished_) return 0;
  if (chunk_ended_) {
    if (!EndChunk()) return -1;
    chunk_ended_ = false;
  }
  if (chunked_ && left_ == 0) {
    if (!StartChunk()) return -1;
    if (finished_) return 0;
  }
  if (left_ >= 0 && left_ < size) size = static_cast<int32_t>(left_);
  int32_t got = ReadRaw(buffer, size);
  if (got < 0) return -1;
  if (got == 0) {
    if (left_ < 0) {  // delimited by the end of the connection
      finished_ = true;
      return 0;
    }
    error_.assign(kClosedEarly);
    return -1;
  }
  if (left_ >= 0) {
    left_ -= got;
    if (left_ == 0) {
      if (!chunked_) {
        finished_ = true;
      } else {
        chunk_ended_ = true;  // checked on the next read, after these bytes are out
      }
    }
  }
  return got;
}

}  // namespace pexo
