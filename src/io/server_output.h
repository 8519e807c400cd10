// ServerOutput: an HTTPOutput bound to a web server's response object.
//
// The header "Status" (any case) set before the headers went out is not
// stored: its value "<code> <reason>" becomes the response status. Other
// headers are sent in table order; a value holding line breaks is split:
// the first line stays under the header's name, and every further line is
// itself a "Name: value" header line. Repeated names accumulate.
#ifndef PEXO_IO_SERVER_OUTPUT_H_
#define PEXO_IO_SERVER_OUTPUT_H_

#include <cstdint>

#include "io/http_output.h"
#include "io/server_response.h"

namespace pexo {

class ServerOutput : public HTTPOutput {
 public:
  // `response` is not owned and must outlive the output. Turns off the
  // server's own response buffering.
  explicit ServerOutput(ServerResponse* response, int32_t block_size = kDefaultBlockSize,
                        int32_t flush_threshold = kDefaultFlushThreshold);

  using Output::SetHeader;
  int SetHeader(const char* name, int32_t name_length, bool name_owned, const char* value,
                int32_t value_length, bool value_owned) override;
  int SendHeaders() override;
  int32_t SendBody(const char* data, int32_t length) override;

  ServerResponse* response() const { return response_; }
  // Whether a status was set (and can no longer be chosen silently).
  bool status_set() const { return status_set_; }

 private:
  int SetStatusLine(const char* value, int32_t length);
  // Sends one header line, splitting a value with embedded lines.
  void SendHeaderLines(const char* name, int32_t name_length, const char* value,
                       int32_t value_length);

  ServerResponse* response_;
  bool status_set_ = false;
};

// Parses a status header value: the code is the number before the first
// space (100-999), the reason the rest with surrounding whitespace trimmed.
// Returns false when there is no valid code.
bool ParseStatusValue(const char* value, int32_t length, int* code, const char** reason,
                      int32_t* reason_length);

}  // namespace pexo

#endif  // PEXO_IO_SERVER_OUTPUT_H_
