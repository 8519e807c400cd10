#include "host/civetweb/connection_socket.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdlib>
#include <cstring>

namespace pexo {

namespace {

// The port of an address and its numeric text (IPv4-mapped IPv6 addresses
// also as plain IPv4, the form a dual-stack server may report).
bool Describe(const sockaddr_storage& address, char* text, size_t size, char* mapped,
              int* port) {
  mapped[0] = '\0';
  if (address.ss_family == AF_INET) {
    const sockaddr_in* v4 = reinterpret_cast<const sockaddr_in*>(&address);
    *port = ntohs(v4->sin_port);
    return inet_ntop(AF_INET, &v4->sin_addr, text, static_cast<socklen_t>(size)) != nullptr;
  }
  if (address.ss_family == AF_INET6) {
    const sockaddr_in6* v6 = reinterpret_cast<const sockaddr_in6*>(&address);
    *port = ntohs(v6->sin6_port);
    if (IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr)) {
      inet_ntop(AF_INET, &v6->sin6_addr.s6_addr[12], mapped, static_cast<socklen_t>(size));
    }
    return inet_ntop(AF_INET6, &v6->sin6_addr, text, static_cast<socklen_t>(size)) != nullptr;
  }
  return false;
}

int LocalPort(int fd) {
  sockaddr_storage local;
  socklen_t length = sizeof local;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) return -1;
  char text[INET6_ADDRSTRLEN], mapped[INET6_ADDRSTRLEN];
  int port = -1;
  return Describe(local, text, sizeof text, mapped, &port) ? port : -1;
}

}  // namespace

int FindConnectionSocket(const char* remote_address, int remote_port, int local_port) {
  DIR* fds = opendir("/proc/self/fd");
  if (!fds) return -1;
  int found = -1;
  while (dirent* entry = readdir(fds)) {
    char* end = nullptr;
    long fd = std::strtol(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0' || fd == dirfd(fds)) continue;
    sockaddr_storage peer;
    socklen_t length = sizeof peer;
    // Not a socket, or not connected: ENOTSOCK / ENOTCONN.
    if (getpeername(static_cast<int>(fd), reinterpret_cast<sockaddr*>(&peer), &length) != 0) {
      continue;
    }
    char text[INET6_ADDRSTRLEN], mapped[INET6_ADDRSTRLEN];
    int port = -1;
    if (!Describe(peer, text, sizeof text, mapped, &port) || port != remote_port) continue;
    if (std::strcmp(text, remote_address) != 0 && std::strcmp(mapped, remote_address) != 0) {
      continue;
    }
    if (LocalPort(static_cast<int>(fd)) != local_port) continue;
    found = static_cast<int>(fd);
    break;
  }
  closedir(fds);
  return found;
}

}  // namespace pexo
