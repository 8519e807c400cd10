// HTTPResponseStream: reads one HTTP/1.x response from a connection: the
// status line, the header lines, then the body, counted (Content-Length),
// chunked, or running to the end of the connection.
//
// Limits: a status or header line (or a chunk-size line) longer than
// kMaxLineLength bytes, or more than kMaxHeaders header lines, fails the
// response; the stream never holds more than kBufferSize bytes itself.
// A body that ends before its Content-Length or inside a chunk is an error,
// never a complete response. Errors leave a message in ErrorText().
#ifndef PEXO_NET_HTTP_RESPONSE_STREAM_H_
#define PEXO_NET_HTTP_RESPONSE_STREAM_H_

#include <cstdint>
#include <vector>

#include "net/network_connection.h"
#include "values/string.h"

namespace pexo {

struct HTTPResponseStream_Header {
  String line;   // without its line end
  String name;   // before the first ":"
  String value;  // after it, trimmed
};

class HTTPResponseStream {
 public:
  static const int32_t kMaxLineLength = 8192;
  static const int32_t kMaxHeaders = 256;
  static const int32_t kBufferSize = 16384;

  // The connection is borrowed; timeout is in seconds as for the connection.
  HTTPResponseStream(NetworkConnection* connection, int32_t timeout);
  HTTPResponseStream(const HTTPResponseStream&) = delete;
  HTTPResponseStream& operator=(const HTTPResponseStream&) = delete;

  // Reads the status line and the headers. no_body: the request was HEAD,
  // so whatever the headers say, no body follows. 1 or 0.
  int ReadHead(bool no_body);
  // Reads body bytes: the count, 0 at the end of the body, -1 on error.
  int32_t Read(char* buffer, int32_t size);

  int32_t status() const { return status_; }
  // The status line first, then one entry per header line, in order.
  const std::vector<HTTPResponseStream_Header>& headers() const { return headers_; }
  int64_t content_length() const { return content_length_; }
  bool chunked() const { return chunked_; }
  const String& ErrorText() const { return error_; }

 private:
  int Fail(const char* message);
  // Makes bytes available in the buffer: 1, 0 at end of connection, -1 error.
  int Fill();
  // One line without its line end (CR LF or LF) into *line; 1 or 0.
  int ReadLine(String* line);
  int AddHeader(const String& line);
  int StartChunk();
  int EndChunk();
  int32_t ReadRaw(char* buffer, int32_t size);

  NetworkConnection* connection_;
  int32_t timeout_;
  String buffer_;
  int32_t begin_ = 0;
  int32_t end_ = 0;
  int32_t status_ = -1;
  std::vector<HTTPResponseStream_Header> headers_;
  int64_t content_length_ = -1;
  bool chunked_ = false;
  bool no_body_ = false;
  bool finished_ = false;
  bool chunk_ended_ = false;  // chunk data read; its CR LF not yet
  int64_t left_ = 0;  // bytes left in the body (counted) or the current chunk
  String error_;
};

}  // namespace pexo

#endif  // PEXO_NET_HTTP_RESPONSE_STREAM_H_
