#include "host/civetweb/connection_socket.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdlib>

namespace pexo {

namespace {

std::string Join(const char* address, int port) {
  return std::string(address) + ":" + std::to_string(port);
}

// Fills the peer texts of `address`; false for other families.
bool Describe(const sockaddr_storage& address, std::string* peer, std::string* mapped_peer) {
  char text[INET6_ADDRSTRLEN] = "";
  if (address.ss_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(&address);
    if (!inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text)) return false;
    *peer = Join(text, ntohs(v4->sin_port));
    return true;
  }
  if (address.ss_family != AF_INET6) return false;
  const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&address);
  int port = ntohs(v6->sin6_port);
  if (!inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text)) return false;
  *peer = Join(text, port);
  if (IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr) &&
      inet_ntop(AF_INET, &v6->sin6_addr.s6_addr[12], text, sizeof text)) {
    *mapped_peer = Join(text, port);
  }
  return true;
}

int LocalPort(int fd) {
  sockaddr_storage local{};
  socklen_t length = sizeof local;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) return -1;
  if (local.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&local)->sin_port);
  if (local.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&local)->sin6_port);
  return -1;
}

// Peer texts of a connected socket; false when `fd` is not one (ENOTSOCK,
// ENOTCONN) or not IPv4/IPv6.
bool PeerOf(int fd, std::string* peer, std::string* mapped_peer) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return false;
  return Describe(address, peer, mapped_peer);
}

}  // namespace

std::vector<ConnectionSocket> ListConnectionSockets(int local_port) {
  std::vector<ConnectionSocket> found;
  DIR* fds = opendir("/proc/self/fd");
  if (!fds) return found;
  while (dirent* entry = readdir(fds)) {
    char* end = nullptr;
    long number = std::strtol(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0' || number == dirfd(fds)) continue;
    ConnectionSocket socket{static_cast<int>(number), "", ""};
    if (!PeerOf(socket.fd, &socket.peer, &socket.mapped_peer)) continue;
    if (LocalPort(socket.fd) == local_port) found.push_back(std::move(socket));
  }
  closedir(fds);
  return found;
}

std::string SocketPeer(int fd) {
  std::string peer, mapped_peer;
  return PeerOf(fd, &peer, &mapped_peer) ? peer : std::string();
}

int FindConnectionSocket(const char* remote_address, int remote_port, int local_port) {
  std::string wanted = Join(remote_address, remote_port);
  for (const ConnectionSocket& socket : ListConnectionSockets(local_port)) {
    if (socket.peer == wanted || socket.mapped_peer == wanted) return socket.fd;
  }
  return -1;
}

}  // namespace pexo
