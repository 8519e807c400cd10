// ServerRequest: what the request lifecycle needs of a web server's request
// object. Each binding (server module, standalone server, command line)
// implements it as a thin adapter over its own request structure.
#ifndef PEXO_HOST_SERVER_REQUEST_H_
#define PEXO_HOST_SERVER_REQUEST_H_

#include <cstdint>

#include "values/string.h"

namespace pexo {

class ServerResponse;

// ReadBody failures, each the negated status the request is answered with.
constexpr int32_t kBodyMalformed = -400;  // bad chunking, connection lost
constexpr int32_t kBodyTimedOut = -408;   // the deadline passed first

// A steady clock in milliseconds, for body-read deadlines.
int64_t MonotonicMilliseconds();

class ServerRequest {
 public:
  virtual ~ServerRequest();

  // A server variable of the CGI set ("PATH_INFO", "QUERY_STRING",
  // "ALL_HTTP" ...). False when the server does not have it.
  virtual bool GetServerVariable(const char* name, String* value) = 0;
  // Whether the body comes chunked, without a CONTENT_LENGTH: ReadBody
  // then delivers it de-chunked and returns 0 at its end.
  virtual bool ChunkedBody() { return false; }
  // Reads up to `size` body bytes, waiting no later than `deadline` (ms of
  // MonotonicMilliseconds; 0: only the server's own time-out). Returns the
  // count read, 0 at the end of the body, or a negative kBody* failure
  // (-status for a refusal the server made itself, e.g. -413).
  virtual int32_t ReadBody(char* buffer, int32_t size, int64_t deadline) = 0;
  // Called from the watchdog thread once the deadline of a read in progress
  // has passed: makes that read return soon (kBodyTimedOut). Bindings whose
  // reads honour the deadline themselves need not override it.
  virtual void InterruptBody() {}
  // The response object of the same request (never null).
  virtual ServerResponse* Response() = 0;
  // Name of the binding serving the request (the script's `apitype`).
  virtual const char* ApiType() const = 0;
};

}  // namespace pexo

#endif  // PEXO_HOST_SERVER_REQUEST_H_
