// PosixNetworkConnection: NetworkConnection over a non-blocking POSIX socket;
// every wait is a poll() bounded by the operation's time-out and the
// request deadline. IPv4 and IPv6 only.
#ifndef PEXO_NET_POSIX_NETWORK_CONNECTION_H_
#define PEXO_NET_POSIX_NETWORK_CONNECTION_H_

#include "net/network_connection.h"
#include "net/network_settings.h"
#include "net/tls_session.h"

namespace pexo {

class PosixNetworkConnection : public NetworkConnection {
 public:
  // Neither is owned; both outlive the connection (the manager holds them).
  PosixNetworkConnection(const NetworkSettings* settings, const RequestDeadline* deadline);
  ~PosixNetworkConnection() override;

  int Connect(const sockaddr* address, int32_t address_length, int32_t timeout) override;
  int32_t Read(char* buffer, int32_t size, int32_t timeout) override;
  int32_t ReadLine(String* line, int32_t chunk_size, int32_t timeout) override;
  int32_t Write(const char* bytes, int32_t length, int32_t timeout) override;
  void Close() override;
  const String& PeerAddress() const override { return peer_address_; }
  int Socket() const override { return socket_; }
  TlsSession* Tls() override { return tls_.get(); }
  void SetTls(std::unique_ptr<TlsSession> session) override;

  enum WaitOutcome { kReady, kTimedOut, kFailed, kNotReady };
  // Waits for `events` (poll bits) on the socket; on kFailed *error holds
  // the errno.
  WaitOutcome Wait(short events, int32_t timeout, int* error) const;
  // Waits for `events`; on failure sets "<operation> Timeout", "<operation>
  // Error: <reason>" or "<operation> Error" and returns false.
  bool AwaitReady(short events, int32_t timeout, const char* operation);

 private:
  int32_t TlsRead(char* buffer, int32_t size, int32_t timeout);
  int32_t TlsReadLine(String* line, int32_t chunk_size, int32_t timeout);
  int32_t TlsWrite(const char* bytes, int32_t length, int32_t timeout);
  // One SSL_read with its waits; fails with the "SSL Read" messages.
  int32_t TlsReceive(char* buffer, int32_t size, int32_t timeout);
  void Fail(const char* prefix, int error);

  const NetworkSettings* settings_;
  const RequestDeadline* deadline_;
  int socket_ = -1;
  String peer_address_;
  std::unique_ptr<TlsSession> tls_;
  // Decrypted bytes read ahead by a TLS line read.
  String pending_;
  int32_t pending_at_ = 0;
};

}  // namespace pexo

#endif  // PEXO_NET_POSIX_NETWORK_CONNECTION_H_
