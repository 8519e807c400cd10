// The descriptor of an accepted TCP connection, found by its two ends, for
// a server library that does not hand its sockets out. Used to cut a body
// read short at its deadline (shutdown of the reading side wakes a thread
// blocked on the socket; the response can still be written).
#ifndef PEXO_HOST_CIVETWEB_CONNECTION_SOCKET_H_
#define PEXO_HOST_CIVETWEB_CONNECTION_SOCKET_H_

namespace pexo {

// The socket whose peer is `remote_address`:`remote_port` (numeric text as
// inet_ntop writes it) and whose local port is `local_port`; -1 if none.
// Scans the process's descriptors: call it once per request at most.
int FindConnectionSocket(const char* remote_address, int remote_port, int local_port);

}  // namespace pexo

#endif  // PEXO_HOST_CIVETWEB_CONNECTION_SOCKET_H_
