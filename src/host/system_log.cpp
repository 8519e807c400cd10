#include "host/system_log.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "values/calendar_names.h"

namespace pexo {

namespace {

struct Code {
  const char* name;
  int32_t code;
};

const Code kFacilities[] = {
    {"kern", LOG_KERN},     {"user", LOG_USER},         {"mail", LOG_MAIL},
    {"daemon", LOG_DAEMON}, {"auth", LOG_AUTH},         {"syslog", LOG_SYSLOG},
    {"lpr", LOG_LPR},       {"news", LOG_NEWS},         {"uucp", LOG_UUCP},
    {"cron", LOG_CRON},     {"authpriv", LOG_AUTHPRIV}, {"ftp", LOG_FTP},
    {"local0", LOG_LOCAL0}, {"local1", LOG_LOCAL1},     {"local2", LOG_LOCAL2},
    {"local3", LOG_LOCAL3}, {"local4", LOG_LOCAL4},     {"local5", LOG_LOCAL5},
    {"local6", LOG_LOCAL6}, {"local7", LOG_LOCAL7},     {nullptr, 0},
};

const Code kPriorities[] = {
    {"emerg", LOG_EMERG},     {"alert", LOG_ALERT}, {"crit", LOG_CRIT},
    {"err", LOG_ERR},         {"error", LOG_ERR},   {"warning", LOG_WARNING},
    {"warn", LOG_WARNING},    {"notice", LOG_NOTICE}, {"info", LOG_INFO},
    {"debug", LOG_DEBUG},     {nullptr, 0},
};

int32_t FindCode(const Code* table, const char* name, int32_t length, int32_t fallback) {
  if (!name) return fallback;
  length = text_length(name, length);
  for (const Code* c = table; c->name; ++c)
    if (equals_nocase(name, length, c->name, static_cast<int32_t>(std::strlen(c->name))))
      return c->code;
  return fallback;
}

}  // namespace

int32_t SyslogFacility(const char* name, int32_t length, int32_t fallback) {
  return FindCode(kFacilities, name, length, fallback);
}

int32_t SyslogPriority(const char* name, int32_t length, int32_t fallback) {
  return FindCode(kPriorities, name, length, fallback);
}

PosixSystemLog::PosixSystemLog(const char* socket_path) : socket_path_(socket_path) {}

void PosixSystemLog::Format(const char* ident, int32_t facility, int32_t priority,
                            const char* message, int32_t length, time_t now, String* out) {
  struct tm local;
  localtime_r(&now, &local);
  char head[96];
  int n = std::snprintf(head, sizeof head, "<%d>%s %2d %02d:%02d:%02d ",
                        (facility & LOG_FACMASK) | (priority & LOG_PRIMASK),
                        MonthAbbreviation(local.tm_mon), local.tm_mday, local.tm_hour,
                        local.tm_min, local.tm_sec);
  out->append(head, n);
  out->append(ident && *ident ? ident : kDefaultSyslogIdent);
  std::snprintf(head, sizeof head, "[%u]: ", static_cast<unsigned>(getpid()));
  out->append(head);
  out->append(message, text_length(message, length));
}

void PosixSystemLog::Write(const char* ident, int32_t facility, int32_t priority,
                           const char* message, int32_t length) {
  struct sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  if (socket_path_.length() >= static_cast<int32_t>(sizeof address.sun_path)) return;
  std::memcpy(address.sun_path, socket_path_.data(), static_cast<size_t>(socket_path_.length()));
  String record;
  Format(ident, facility, priority, message, length, time(nullptr), &record);
  int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  // A log socket that is missing or full drops the record.
  ::sendto(fd, record.data(), static_cast<size_t>(record.length()), MSG_DONTWAIT,
           reinterpret_cast<struct sockaddr*>(&address), sizeof address);
  ::close(fd);
}

}  // namespace pexo
