// ServerRequest: what the request lifecycle needs of a web server's request
// object. Each binding (server module, standalone server, command line)
// implements it as a thin adapter over its own request structure.
#ifndef PEXO_HOST_SERVER_REQUEST_H_
#define PEXO_HOST_SERVER_REQUEST_H_

#include <cstdint>

#include "values/string.h"

namespace pexo {

class ServerResponse;

class ServerRequest {
 public:
  virtual ~ServerRequest();

  // A server variable of the CGI set ("PATH_INFO", "QUERY_STRING",
  // "ALL_HTTP" ...). False when the server does not have it.
  virtual bool GetServerVariable(const char* name, String* value) = 0;
  // Reads up to `size` body bytes: the count read, 0 at the end of the body,
  // negative on a server error.
  virtual int32_t ReadBody(char* buffer, int32_t size) = 0;
  // The response object of the same request (never null).
  virtual ServerResponse* Response() = 0;
  // Name of the binding serving the request (the script's `apitype`).
  virtual const char* ApiType() const = 0;
};

}  // namespace pexo

#endif  // PEXO_HOST_SERVER_REQUEST_H_
