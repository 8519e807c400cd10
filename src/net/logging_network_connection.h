// LoggingNetworkConnection: wraps another connection (owned) and hands every
// block read or written to a logging callback; otherwise behaves exactly as
// the wrapped connection, whose error text it reports. The machine's logging
// variant derives from this and supplies the callback.
#ifndef PEXO_NET_LOGGING_NETWORK_CONNECTION_H_
#define PEXO_NET_LOGGING_NETWORK_CONNECTION_H_

#include "net/network_connection.h"

namespace pexo {

class LoggingNetworkConnection : public NetworkConnection {
 public:
  enum Direction { kReceived = 0, kSent = 1 };
  typedef void (*Callback)(void* context, Direction direction, const char* bytes, int32_t length);

  LoggingNetworkConnection(std::unique_ptr<NetworkConnection> inner, Callback callback,
                           void* context);
  ~LoggingNetworkConnection() override;

  int Connect(const sockaddr* address, int32_t address_length, int32_t timeout) override;
  int32_t Read(char* buffer, int32_t size, int32_t timeout) override;
  int32_t ReadLine(String* line, int32_t chunk_size, int32_t timeout) override;
  int32_t Write(const char* bytes, int32_t length, int32_t timeout) override;
  const String& ErrorText() const override { return inner_->ErrorText(); }
  void SetErrorText(const String& text) override { inner_->SetErrorText(text); }
  void Close() override { inner_->Close(); }
  const String& PeerAddress() const override { return inner_->PeerAddress(); }
  int Socket() const override { return inner_->Socket(); }
  TlsSession* Tls() override { return inner_->Tls(); }
  void SetTls(std::unique_ptr<TlsSession> session) override;

 protected:
  virtual void Log(Direction direction, const char* bytes, int32_t length);

 private:
  std::unique_ptr<NetworkConnection> inner_;
  Callback callback_;
  void* context_;
};

}  // namespace pexo

#endif  // PEXO_NET_LOGGING_NETWORK_CONNECTION_H_
