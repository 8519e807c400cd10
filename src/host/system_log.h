// SystemLog: where error-log and slow-request records go.
//
// A record is an identity (the syslog tag), a facility, a priority and a
// message. PosixSystemLog sends each record as one datagram in the
// traditional syslog form "<PRI>Mmm dd hh:mm:ss ident[pid]: message" to the
// local log socket. It keeps no process-wide state (unlike openlog), so
// requests with different identities can log at once. A record that cannot
// be delivered is dropped.
//
// Facility and priority come from the configuration as names (see
// docs/configuration.md); an unknown or missing name takes the default.
#ifndef PEXO_HOST_SYSTEM_LOG_H_
#define PEXO_HOST_SYSTEM_LOG_H_

#include <cstdint>
#include <ctime>

#include "values/string.h"

namespace pexo {

class SystemLog {
 public:
  virtual ~SystemLog() = default;
  virtual void Write(const char* ident, int32_t facility, int32_t priority, const char* message,
                     int32_t length) = 0;
};

class PosixSystemLog : public SystemLog {
 public:
  // `socket_path` defaults to the system's log socket.
  explicit PosixSystemLog(const char* socket_path = "/dev/log");
  void Write(const char* ident, int32_t facility, int32_t priority, const char* message,
             int32_t length) override;

  // The datagram for a record at `now` (exposed for tests).
  static void Format(const char* ident, int32_t facility, int32_t priority, const char* message,
                     int32_t length, time_t now, String* out);

 private:
  String socket_path_;
};

constexpr const char* kDefaultSyslogIdent = "Pexo";

// Facility code (already shifted, as LOG_USER) of a name, or `fallback`.
int32_t SyslogFacility(const char* name, int32_t length, int32_t fallback);
// Priority code (LOG_ERR ...) of a name, or `fallback`.
int32_t SyslogPriority(const char* name, int32_t length, int32_t fallback);

}  // namespace pexo

#endif  // PEXO_HOST_SYSTEM_LOG_H_
