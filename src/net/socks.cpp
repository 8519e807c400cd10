#include "net/socks.h"

#include <cstdio>

namespace pexo {
namespace {

int Fail(String* error, const char* message, const NetworkConnection* connection = nullptr) {
  error->assign(message);
  if (connection) error->append(connection->ErrorText());
  return 0;
}

void AppendPort(String* packet, int32_t port) {
  packet->append(static_cast<char>((port >> 8) & 0xff));
  packet->append(static_cast<char>(port & 0xff));
}

bool Send(NetworkConnection* connection, const String& packet, int32_t timeout) {
  return connection->Write(packet.data(), packet.length(), timeout) == packet.length();
}

}  // namespace

bool ReadExactly(NetworkConnection* connection, char* buffer, int32_t size, int32_t timeout) {
  int32_t have = 0;
  while (have < size) {
    int32_t got = connection->Read(buffer + have, size - have, timeout);
    if (got < 0) return false;
    if (got == 0) {
      connection->SetErrorText("Connection closed by remote host");
      return false;
    }
    have += got;
  }
  return true;
}

int Socks4Handshake(NetworkConnection* connection, const unsigned char address[4], int32_t port,
                    const String& user, int32_t timeout, String* error) {
  String packet;
  packet.append('\x04');
  packet.append('\x01');
  AppendPort(&packet, port);
  packet.append(reinterpret_cast<const char*>(address), 4);
  packet.append(user);
  packet.append('\0');
  if (!Send(connection, packet, timeout))
    return Fail(error, "SOCKS4: Connect error: ", connection);
  unsigned char reply[8];
  if (!ReadExactly(connection, reinterpret_cast<char*>(reply), 8, timeout))
    return Fail(error, "SOCKS4: Connect read error: ", connection);
  if (reply[0] != 0) return Fail(error, "SOCKS4: Unexpected version");
  if (reply[1] != 0x5a) {
    char text[64];
    snprintf(text, sizeof text, "SOCKS4: Failed to connect to host (%d)", reply[1]);
    return Fail(error, text);
  }
  return 1;
}

int Socks5Handshake(NetworkConnection* connection, const String& address_field, int32_t port,
                    const String& user, const String& password, int32_t timeout, String* error) {
  bool authenticate = !user.empty() && !password.empty();
  String greeting(authenticate ? "\x05\x02\x00\x02" : "\x05\x01\x00", authenticate ? 4 : 3);
  if (!Send(connection, greeting, timeout))
    return Fail(error, "SOCKS5: Greeting write error: ", connection);
  unsigned char reply[4];
  if (!ReadExactly(connection, reinterpret_cast<char*>(reply), 2, timeout))
    return Fail(error, "SOCKS5: Greeting read error: ", connection);
  if (reply[0] != 5) return Fail(error, "SOCKS5: Unexpected version");
  if (reply[1] == 2) {
    // Only offered with both texts set; a proxy choosing it unasked gets
    // the empty texts and its own verdict.
    String login;
    login.append('\x01');
    login.append(static_cast<char>(user.length()));
    login.append(user);
    login.append(static_cast<char>(password.length()));
    login.append(password);
    if (!Send(connection, login, timeout))
      return Fail(error, "SOCKS5: Client authentication write error: ", connection);
    if (!ReadExactly(connection, reinterpret_cast<char*>(reply), 2, timeout))
      return Fail(error, "SOCKS5: Client authentication read error: ", connection);
    if (reply[0] != 1) return Fail(error, "SOCKS5: Unexpected version");
    if (reply[1] != 0) return Fail(error, "SOCKS5: Authentication failed");
  } else if (reply[1] != 0) {
    return Fail(error, "SOCKS5: No acceptable authentication methods");
  }
  String request("\x05\x01\x00", 3);
  request.append(address_field);
  AppendPort(&request, port);
  if (!Send(connection, request, timeout))
    return Fail(error, "SOCKS5: Client connection request error: ", connection);
  if (!ReadExactly(connection, reinterpret_cast<char*>(reply), 4, timeout))
    return Fail(error, "SOCKS5: Client connection response error: ", connection);
  if (reply[0] != 5) return Fail(error, "SOCKS5: Unexpected version");
  switch (reply[1]) {
    case 0: break;
    case 2: return Fail(error, "SOCKS5: Connection not allowed by ruleset");
    case 4: return Fail(error, "SOCKS5: Host unreachable");
    default: {
      char text[64];
      snprintf(text, sizeof text, "SOCKS5: Failed to connect to host (%d)", reply[1]);
      return Fail(error, text);
    }
  }
  if (reply[2] != 0) return Fail(error, "SOCKS5: Unexpected response packet");
  int32_t rest;
  if (reply[3] == 1)
    rest = 4;
  else if (reply[3] == 4)
    rest = 16;
  else
    return Fail(error, "SOCKS5: Unexpected address type");
  char bound[18];
  if (!ReadExactly(connection, bound, rest + 2, timeout))
    return Fail(error, "SOCKS5: Client connection response error");
  return 1;
}

}  // namespace pexo
