// ServerResponse: what the engine needs of a web server's response object.
// Each server binding (server module, standalone server, command line)
// implements it as a thin adapter; ServerOutput drives it.
#ifndef PEXO_IO_SERVER_RESPONSE_H_
#define PEXO_IO_SERVER_RESPONSE_H_

#include <cstdint>

namespace pexo {

class ServerResponse {
 public:
  virtual ~ServerResponse();

  // Asks the server to pass body chunks on as they come instead of holding
  // the whole response.
  virtual void DisableBuffering() = 0;
  // Sets the status line. Returns 1 on success, 0 on failure.
  virtual int SetStatus(int code, const char* reason, int32_t reason_length) = 0;
  // Adds (replace false) or replaces a response header. Names and values
  // arrive trimmed and never contain a line break. Returns 1 or 0.
  virtual int SetHeader(const char* name, int32_t name_length, const char* value,
                        int32_t value_length, bool replace) = 0;
  // Writes body bytes synchronously; `more_data` is true while the response
  // goes on. Returns the bytes taken (a short count is retried by the
  // caller), 0 or a negative number on failure.
  virtual int32_t WriteBody(const char* data, int32_t length, bool more_data) = 0;
};

}  // namespace pexo

#endif  // PEXO_IO_SERVER_RESPONSE_H_
