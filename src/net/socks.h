// The SOCKS client exchanges over an open connection to the proxy. The
// caller has resolved the target: SOCKS 4 takes the four IPv4 bytes, SOCKS 5
// the ready address field (type byte and address). Each returns 1, or 0 with
// *error set; replies are read with exact lengths and nothing beyond them.
#ifndef PEXO_NET_SOCKS_H_
#define PEXO_NET_SOCKS_H_

#include <cstdint>

#include "net/network_connection.h"

namespace pexo {

// Reads exactly `size` bytes; a peer that closes early is a failure with
// "Connection closed by remote host" on the connection.
bool ReadExactly(NetworkConnection* connection, char* buffer, int32_t size, int32_t timeout);

int Socks4Handshake(NetworkConnection* connection, const unsigned char address[4], int32_t port,
                    const String& user, int32_t timeout, String* error);

int Socks5Handshake(NetworkConnection* connection, const String& address_field, int32_t port,
                    const String& user, const String& password, int32_t timeout, String* error);

}  // namespace pexo

#endif  // PEXO_NET_SOCKS_H_
