#include "net/posix_network_manager.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>

#include "net/bounded_lookup.h"
#include "net/posix_network_connection.h"

namespace pexo {
namespace {

// Owns a getaddrinfo result.
class AddressList {
 public:
  AddressList(const String& host, int family, int flags, int wait_ms,
              const char* service = nullptr) {
    addrinfo hints = {};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = flags;
    if (BoundedLookup(host.c_str(), service, &hints, wait_ms, &list_) != 0) list_ = nullptr;
  }
  ~AddressList() {
    if (list_) freeaddrinfo(list_);
  }
  AddressList(const AddressList&) = delete;
  AddressList& operator=(const AddressList&) = delete;
  const addrinfo* first() const { return list_; }

 private:
  addrinfo* list_ = nullptr;
};

}  // namespace

int PosixNetworkManager::LookupWait(int32_t timeout) const {
  return WaitMilliseconds(timeout, settings_.timeout_global, deadline_);
}

bool PosixNetworkManager::IsIPAddress(const String& text) const {
  unsigned char bytes[16];
  return inet_pton(AF_INET, text.c_str(), bytes) == 1 ||
         inet_pton(AF_INET6, text.c_str(), bytes) == 1;
}

bool PosixNetworkManager::LookUp(const String& host, String* address) {
  AddressList list(host, AF_UNSPEC, 0, LookupWait(0));
  char text[NI_MAXHOST];
  if (!list.first() || getnameinfo(list.first()->ai_addr, list.first()->ai_addrlen, text,
                                   sizeof text, nullptr, 0, NI_NUMERICHOST) != 0) {
    String message("Error looking up '");
    message.append(host);
    message.append("'");
    SetErrorText(message);
    return false;
  }
  address->assign(text);
  return true;
}

bool PosixNetworkManager::LookUpIPv4(const String& host, unsigned char address[4]) {
  AddressList list(host, AF_INET, 0, LookupWait(0));
  if (!list.first()) return false;
  const sockaddr_in* in = reinterpret_cast<const sockaddr_in*>(list.first()->ai_addr);
  memcpy(address, &in->sin_addr, 4);
  return true;
}

bool PosixNetworkManager::SocksAddress(const String& host, String* field) {
  field->clear();
  AddressList numeric(host, AF_UNSPEC, AI_NUMERICHOST, 0);
  if (!numeric.first()) {
    // A name: the proxy resolves it.
    if (host.length() > 255) {
      SetErrorText("SOCKS5: Host name must be 255 characters or less");
      return false;
    }
    field->append('\x03');
    field->append(static_cast<char>(host.length()));
    field->append(host);
    return true;
  }
  const addrinfo* entry = numeric.first();
  if (entry->ai_family == AF_INET) {
    field->append('\x01');
    field->append(reinterpret_cast<const char*>(
                      &reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr),
                  4);
    return true;
  }
  if (entry->ai_family == AF_INET6) {
    field->append('\x04');
    field->append(reinterpret_cast<const char*>(
                      &reinterpret_cast<const sockaddr_in6*>(entry->ai_addr)->sin6_addr),
                  16);
    return true;
  }
  char text[64];
  snprintf(text, sizeof text, "SOCKS5: Unsupported address family %d", entry->ai_family);
  SetErrorText(text);
  return false;
}

std::unique_ptr<NetworkConnection> PosixNetworkManager::NewConnection() {
  return std::unique_ptr<NetworkConnection>(new PosixNetworkConnection(&settings_, &deadline_));
}

std::unique_ptr<NetworkConnection> PosixNetworkManager::OpenDirectConnection(const String& host,
                                                                             int32_t port,
                                                                             int32_t timeout) {
  char service[16];
  snprintf(service, sizeof service, "%d", static_cast<int>(port & 0xffff));
  AddressList list(host, AF_UNSPEC, AI_NUMERICSERV, LookupWait(timeout), service);
  if (!list.first()) {
    String message("Error looking up '");
    message.append(host);
    message.append("'");
    SetErrorText(message);
    return nullptr;
  }
  std::unique_ptr<NetworkConnection> connection = NewConnection();
  for (const addrinfo* entry = list.first(); entry; entry = entry->ai_next) {
    if (connection->Connect(entry->ai_addr, static_cast<int32_t>(entry->ai_addrlen), timeout))
      return connection;
  }
  char number[16];
  snprintf(number, sizeof number, "%d", static_cast<int>(port));
  String message("Error connecting to ");
  message.append(host);
  message.append(" on port ");
  message.append(number);
  message.append(": ");
  message.append(connection->ErrorText());
  SetErrorText(message);
  return nullptr;
}

}  // namespace pexo
