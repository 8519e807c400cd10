// CallRequest: what a script asks an HTTP call to send, as plain values,
// and the request text built from it: the request line and headers, and a
// body that is either held whole or streamed as multipart parts with the
// files read through a CallFileSource the caller supplies.
//
// Text the script supplies never reaches the header block with a line break
// of its own: CR or LF in the content type, a field or file name or a file's
// content type is refused, and the extra header text must be whole
// "Name: value" CR LF lines.
#ifndef PEXO_NET_CALL_REQUEST_H_
#define PEXO_NET_CALL_REQUEST_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "net/network_connection.h"
#include "net/url.h"
#include "values/string.h"

namespace pexo {

enum : int32_t {
  kCallNoParse = 1,
  kCallForceHttps = 2,
  kCallForceVerify = 4,
};

// Comma-separated flag words, case-insensitive. 1 or 0 with *error:
// "Unsupported flag \"word\"".
int ParseCallFlags(const String& text, int32_t* flags, String* error);

struct CallField {
  String name;
  String value;
};

struct CallFile {
  String field;         // form field name
  String name;          // file name, resolved by the file source
  String content_type;
};

// An open file to upload.
class CallFileReader {
 public:
  virtual ~CallFileReader() = default;
  virtual int64_t Size() const = 0;
  // Bytes read, 0 at the end, -1 on error.
  virtual int32_t Read(char* buffer, int32_t size) = 0;
};

// Opens upload files (inside the caller's sandbox); null when the file
// cannot be opened.
class CallFileSource {
 public:
  virtual ~CallFileSource() = default;
  virtual std::unique_ptr<CallFileReader> Open(const String& name) = 0;
};

struct CallRequest {
  String url;
  String method;
  std::vector<CallField> fields;
  std::vector<CallFile> files;
  String content_type;
  String headers;  // extra header lines, each ending in CR LF
  int32_t flags = 0;
  int32_t file_block = 4096;  // block size of file reads
  // The fields' values are the body as given, whatever the method
  // (extension requests).
  bool raw_body = false;
};

enum CallMode : int32_t { kCallHead = 0, kCallQuery = 1, kCallForm = 2, kCallRaw = 3 };

// The request text ready to send.
class CallMessage {
 public:
  // Builds the head (and the body, or the multipart plan) for a parsed URL.
  // Files are opened here so that a missing one fails before connecting.
  // 1, or 0 with *error.
  int Build(const CallRequest& request, const Url& url, CallFileSource* files, String* error);
  // Writes head and body; 1, or 0 with *error (the connection's text, or a
  // file read failure).
  int Send(NetworkConnection* connection, int32_t timeout, String* error);

  const String& head() const { return head_; }
  CallMode mode() const { return mode_; }
  const String& request_method() const { return method_; }
  const String& boundary() const { return boundary_; }

 private:
  struct Part {
    String text;  // the part's own lines (for a file: up to its bytes)
    std::unique_ptr<CallFileReader> file;
    String file_name;
  };

  int BuildMultipart(const CallRequest& request, CallFileSource* files, String* error);

  CallMode mode_ = kCallQuery;
  String method_;
  String head_;
  String body_;              // whole body, when not multipart
  std::vector<Part> parts_;  // multipart parts, then body_ holds the end line
  String boundary_;
  int32_t file_block_ = 4096;
};

}  // namespace pexo

#endif  // PEXO_NET_CALL_REQUEST_H_
