// PosixNetworkManager: name resolution with getaddrinfo and connections as
// PosixNetworkConnection.
#ifndef PEXO_NET_POSIX_NETWORK_MANAGER_H_
#define PEXO_NET_POSIX_NETWORK_MANAGER_H_

#include "net/network_manager.h"

namespace pexo {

class PosixNetworkManager : public NetworkManager {
 public:
  explicit PosixNetworkManager(const NetworkSettings& settings) : NetworkManager(settings) {}

  bool IsIPAddress(const String& text) const override;
  bool LookUp(const String& host, String* address) override;
  bool LookUpIPv4(const String& host, unsigned char address[4]) override;
  bool SocksAddress(const String& host, String* field) override;
  std::unique_ptr<NetworkConnection> OpenDirectConnection(const String& host, int32_t port,
                                                          int32_t timeout) override;
  // A new, unconnected connection of this platform.
  std::unique_ptr<NetworkConnection> NewConnection();

 private:
  // How long a name lookup may take: the time-out and the deadline rule of
  // every other wait.
  int LookupWait(int32_t timeout) const;
};

}  // namespace pexo

#endif  // PEXO_NET_POSIX_NETWORK_MANAGER_H_
