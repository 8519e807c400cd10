#include "net/logging_network_connection.h"

#include "net/tls_session.h"

namespace pexo {

LoggingNetworkConnection::LoggingNetworkConnection(std::unique_ptr<NetworkConnection> inner,
                                                   Callback callback, void* context)
    : inner_(std::move(inner)), callback_(callback), context_(context) {}

LoggingNetworkConnection::~LoggingNetworkConnection() = default;

void LoggingNetworkConnection::Log(Direction direction, const char* bytes, int32_t length) {
  if (callback_) callback_(context_, direction, bytes, length);
}

int LoggingNetworkConnection::Connect(const sockaddr* address, int32_t address_length,
                                      int32_t timeout) {
  return inner_->Connect(address, address_length, timeout);
}

int32_t LoggingNetworkConnection::Read(char* buffer, int32_t size, int32_t timeout) {
  int32_t got = inner_->Read(buffer, size, timeout);
  if (got > 0) Log(kReceived, buffer, got);
  return got;
}

int32_t LoggingNetworkConnection::ReadLine(String* line, int32_t chunk_size, int32_t timeout) {
  int32_t got = inner_->ReadLine(line, chunk_size, timeout);
  if (got > 0) Log(kReceived, line->data(), line->length());
  return got;
}

int32_t LoggingNetworkConnection::Write(const char* bytes, int32_t length, int32_t timeout) {
  int32_t sent = inner_->Write(bytes, length, timeout);
  if (sent > 0) Log(kSent, bytes, sent);
  return sent;
}

void LoggingNetworkConnection::SetTls(std::unique_ptr<TlsSession> session) {
  inner_->SetTls(std::move(session));
}

}  // namespace pexo
