// NetworkOutput: a BufferedOutput whose bytes go out over a connection, used
// for mail bodies. Header calls and WriteAndFlush go to the owning output (the
// one that was current when this one was created), so only body text is
// diverted. The destructor flushes what is still held.
#ifndef PEXO_IO_NETWORK_OUTPUT_H_
#define PEXO_IO_NETWORK_OUTPUT_H_

#include <cstdint>

#include "io/buffered_output.h"

namespace pexo {

// What NetworkOutput needs of a connection: a timed send.
class OutputConnection {
 public:
  virtual ~OutputConnection();
  // Sends all bytes within `timeout` seconds. Returns the bytes sent, or a
  // negative number on failure.
  virtual int32_t SendBytes(const char* data, int32_t length, int32_t timeout) = 0;
};

class NetworkOutput : public BufferedOutput {
 public:
  // Neither the owner nor the connection is owned.
  NetworkOutput(Output* owner, OutputConnection* connection, int32_t capacity, int32_t timeout);
  ~NetworkOutput() override;

  using Output::SetHeader;
  int32_t WriteAndFlush(const char* data, int32_t length) override;
  int SetHeader(const char* name, int32_t name_length, bool name_owned, const char* value,
                int32_t value_length, bool value_owned) override;
  int32_t Transmit(const char* data, int32_t length) override;

  OutputConnection* connection() const { return connection_; }
  Output* owner() const { return owner_; }

 private:
  Output* owner_;
  OutputConnection* connection_;
  int32_t timeout_;
};

}  // namespace pexo

#endif  // PEXO_IO_NETWORK_OUTPUT_H_
