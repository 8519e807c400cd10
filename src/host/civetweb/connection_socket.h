// The descriptors of accepted TCP connections, for a server library that
// does not hand its sockets out. They are found by listing the process's
// descriptors, so callers do it once per request or once per watch pass, not
// per read. A descriptor may be closed (and its number reused) right after
// it is listed: check SocketPeer on a duplicate before acting on it.
#ifndef PEXO_HOST_CIVETWEB_CONNECTION_SOCKET_H_
#define PEXO_HOST_CIVETWEB_CONNECTION_SOCKET_H_

#include <string>
#include <vector>

namespace pexo {

struct ConnectionSocket {
  int fd;
  // "address:port" of the client as inet_ntop writes the address; an
  // IPv4-mapped IPv6 client also in its plain IPv4 form (else empty).
  std::string peer;
  std::string mapped_peer;
};

// The connected sockets whose local port is `local_port` (the listening
// socket itself is not connected and never listed).
std::vector<ConnectionSocket> ListConnectionSockets(int local_port);

// "address:port" of the socket's peer; "" when it is not a connected
// IPv4/IPv6 socket.
std::string SocketPeer(int fd);

// The socket whose peer is `remote_address`:`remote_port` (either form of a
// mapped address) and whose local port is `local_port`; -1 if none.
int FindConnectionSocket(const char* remote_address, int remote_port, int local_port);

}  // namespace pexo

#endif  // PEXO_HOST_CIVETWEB_CONNECTION_SOCKET_H_
