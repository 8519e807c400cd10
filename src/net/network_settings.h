// NetworkSettings: the configuration the connection layer reads, filled by
// the caller (the request's configuration owns the values; the layer never
// reads host code). RequestDeadline: the absolute instant, on the monotonic
// clock, past which no blocking network call of the request may wait.
#ifndef PEXO_NET_NETWORK_SETTINGS_H_
#define PEXO_NET_NETWORK_SETTINGS_H_

#include <cstdint>

#include "values/string.h"

namespace pexo {

// Bits of flags_security the TLS layer tests.
enum : int32_t {
  kSecurityNoPeerVerify = 0x1000,
  kSecurityNoHostCheck = 0x2000,
  kSecurityCheckIPAddress = 0x4000,
};

struct NetworkSettings {
  int32_t timeout_global = 90;  // seconds; 0 = no limit
  int32_t socks_version = 4;
  String socks_host;  // empty: direct connections
  int32_t socks_port = 1080;
  String socks_username;
  String socks_password;
  String ssl_openssl = "libssl.so";
  String ssl_crypto = "libcrypto.so";
  String ssl_config;
  int32_t ssl_sni = -1;
  String file_ca;
  String dir_ca;
  int32_t flags_security = 0;
};

// The request's deadline: 0 means none. The clock is CLOCK_MONOTONIC in
// milliseconds, the one the host keeps its global deadline on, so the host
// hands its deadline over unchanged.
class RequestDeadline {
 public:
  static int64_t Now();
  void Set(int64_t at_milliseconds) { at_ = at_milliseconds; }
  void SetAfterSeconds(int32_t seconds) {
    at_ = seconds > 0 ? Now() + int64_t{seconds} * 1000 : 0;
  }
  int64_t at() const { return at_; }

 private:
  int64_t at_ = 0;
};

// The wait in milliseconds for poll() of an operation given `timeout`
// seconds: 0 takes `timeout_global`, which when 0 too means no limit (-1);
// the deadline, when set, bounds the result (0 once it has passed).
int WaitMilliseconds(int32_t timeout, int32_t timeout_global, const RequestDeadline& deadline);

}  // namespace pexo

#endif  // PEXO_NET_NETWORK_SETTINGS_H_
