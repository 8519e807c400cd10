// NetworkConnection: an outbound TCP connection with timed reads, line reads
// and writes, which StartTLS may upgrade in place to TLS. Every operation
// returns success (1, or a byte count) or failure (0, or -1 for reads and
// writes) and then sets the error text. Read returns 0 when the peer closed.
// Time-outs are whole seconds; 0 means the configured global time-out, which
// when 0 too means no limit; the request deadline bounds every wait.
#ifndef PEXO_NET_NETWORK_CONNECTION_H_
#define PEXO_NET_NETWORK_CONNECTION_H_

#include <cstdint>
#include <memory>

#include "values/string.h"

struct sockaddr;

namespace pexo {

class TlsSession;

class NetworkConnection {
 public:
  // No protocol the engine speaks has lines near this; a peer that sends
  // one is refused before it can exhaust memory.
  static const int32_t kMaxLineLength = 1 << 20;

  NetworkConnection() = default;
  NetworkConnection(const NetworkConnection&) = delete;
  NetworkConnection& operator=(const NetworkConnection&) = delete;
  virtual ~NetworkConnection();

  // Connects to one resolved address (the port is part of it), releasing
  // any earlier socket and TLS state first.
  virtual int Connect(const sockaddr* address, int32_t address_length, int32_t timeout) = 0;
  virtual int32_t Read(char* buffer, int32_t size, int32_t timeout) = 0;
  // Reads one line into *line (cleared first), the line feed included;
  // returns its length. The line may grow beyond chunk_size, but not beyond
  // kMaxLineLength: a longer one fails with "Read Error: Line too long".
  virtual int32_t ReadLine(String* line, int32_t chunk_size, int32_t timeout) = 0;
  // Sends every byte; returns the length.
  virtual int32_t Write(const char* bytes, int32_t length, int32_t timeout) = 0;
  virtual const String& ErrorText() const { return error_; }
  virtual void SetErrorText(const String& text) { error_ = text; }
  virtual void Close() = 0;

  // The numeric text of the peer's address, filled at connect.
  virtual const String& PeerAddress() const = 0;
  // The socket, or -1 when not connected.
  virtual int Socket() const = 0;
  // The TLS session of an upgraded connection, else null.
  virtual TlsSession* Tls() = 0;
  // Installs the session StartTLS built (null releases it).
  virtual void SetTls(std::unique_ptr<TlsSession> session) = 0;

 protected:
  String error_;
};

}  // namespace pexo

#endif  // PEXO_NET_NETWORK_CONNECTION_H_
