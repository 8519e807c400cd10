// A connection whose peer is a fixed byte string (the fuzz input), handed
// out at most `piece` bytes per read so that readers meet every split, and a
// manager that hands it out, so the clients can be driven whole without a
// socket. Writes are accepted and dropped.
#ifndef PEXO_FUZZ_SCRIPTED_CONNECTION_H_
#define PEXO_FUZZ_SCRIPTED_CONNECTION_H_

#include <cstdint>
#include <cstring>
#include <memory>

#include "net/network_connection.h"
#include "net/network_manager.h"

namespace fuzz {

class ScriptedConnection : public pexo::NetworkConnection {
 public:
  ScriptedConnection(const uint8_t* data, size_t size, int32_t piece = INT32_MAX)
      : data_(data), size_(size), piece_(piece > 0 ? piece : 1) {}
  int Connect(const sockaddr*, int32_t, int32_t) override { return 1; }
  int32_t Read(char* buffer, int32_t size, int32_t) override {
    size_t take = static_cast<size_t>(size < piece_ ? size : piece_);
    if (take > size_ - at_) take = size_ - at_;
    memcpy(buffer, data_ + at_, take);
    at_ += take;
    return static_cast<int32_t>(take);
  }
  int32_t ReadLine(pexo::String* line, int32_t, int32_t) override {
    line->clear();
    while (at_ < size_) {
      char c = static_cast<char>(data_[at_++]);
      if (line->length() >= kMaxLineLength) {
        SetErrorText("Read Error: Line too long");
        return -1;
      }
      line->append(c);
      if (c == '\n') return line->length();
    }
    SetErrorText("Read Error: Connection closed by remote host");
    return -1;
  }
  int32_t Write(const char*, int32_t length, int32_t) override { return length; }
  void Close() override {}
  const pexo::String& PeerAddress() const override { return address_; }
  int Socket() const override { return -1; }
  pexo::TlsSession* Tls() override { return nullptr; }
  void SetTls(std::unique_ptr<pexo::TlsSession>) override {}
  size_t consumed() const { return at_; }

 private:
  const uint8_t* data_;
  size_t size_;
  int32_t piece_;
  size_t at_ = 0;
  pexo::String address_;
};

class ScriptedManager : public pexo::NetworkManager {
 public:
  ScriptedManager(const uint8_t* data, size_t size)
      : pexo::NetworkManager(pexo::NetworkSettings()), data_(data), size_(size) {}
  bool IsIPAddress(const pexo::String&) const override { return true; }
  bool LookUp(const pexo::String&, pexo::String*) override { return false; }
  bool LookUpIPv4(const pexo::String&, unsigned char*) override { return false; }
  bool SocksAddress(const pexo::String&, pexo::String*) override { return false; }
  std::unique_ptr<pexo::NetworkConnection> OpenDirectConnection(const pexo::String&, int32_t,
                                                                int32_t) override {
    return std::unique_ptr<pexo::NetworkConnection>(new ScriptedConnection(data_, size_));
  }
  // No TLS without a peer to shake hands with.
  int StartTLS(pexo::NetworkConnection*, const pexo::TlsOptions&, int32_t) override {
    SetErrorText("no TLS here");
    return 0;
  }

 private:
  const uint8_t* data_;
  size_t size_;
};

}  // namespace fuzz

#endif  // PEXO_FUZZ_SCRIPTED_CONNECTION_H_
