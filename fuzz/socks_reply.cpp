// Feeds arbitrary proxy replies to the SOCKS 4 and 5 exchanges, delivered in
// pieces whose sizes the input chooses. The reader must end with success or
// a SOCKS message, and never consume more than the reply it expects.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "net/network_connection.h"
#include "net/socks.h"
#include "scripted_connection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 4096) return 0;
  int mode = data[0] & 3;  // 0/1: SOCKS 4; 2: SOCKS 5; 3: SOCKS 5 with login
  int32_t piece = 1 + (data[0] >> 2);
  fuzz::ScriptedConnection connection(data + 1, size - 1, piece);
  pexo::String error;
  int ok;
  size_t expected = 0;
  if (mode < 2) {
    const unsigned char address[4] = {127, 0, 0, 1};
    ok = pexo::Socks4Handshake(&connection, address, 80, "user", 1, &error);
    expected = 8;
  } else {
    pexo::String field("\x03\x04host", 6);
    bool login = mode == 3;
    ok = pexo::Socks5Handshake(&connection, field, 80, login ? "user" : "",
                               login ? "password" : "", 1, &error);
    if (ok) {
      const uint8_t* reply = data + 1;
      size_t login_bytes = reply[1] == 2 ? 2 : 0;
      uint8_t type = reply[2 + login_bytes + 3];
      expected = 2 + login_bytes + 4 + (type == 1 ? 4 : 16) + 2;
    }
  }
  if (ok != 0 && ok != 1) std::abort();
  if (!ok && !(error.length() > 7 && (memcmp(error.data(), "SOCKS4: ", 8) == 0 ||
                                      memcmp(error.data(), "SOCKS5: ", 8) == 0)))
    std::abort();
  if (ok && connection.consumed() != expected) std::abort();
  if (connection.consumed() > size - 1) std::abort();
  return 0;
}
