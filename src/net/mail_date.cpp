#include "net/mail_date.h"

#include <cstdio>

namespace pexo {
namespace {

const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

}  // namespace

String FormatMailDate(const struct tm& local, long offset_seconds) {
  // Names are fixed English whatever the process locale says.
  char sign = offset_seconds < 0 ? '-' : '+';
  long minutes = (offset_seconds < 0 ? -offset_seconds : offset_seconds) / 60;
  char text[64];
  int length = snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                        kDays[((local.tm_wday % 7) + 7) % 7],
                        local.tm_mday, kMonths[((local.tm_mon % 12) + 12) % 12],
                        local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec, sign,
                        minutes / 60 % 100, minutes % 60);
  if (length < 0 || length >= static_cast<int>(sizeof text)) return String();
  return String(text, length);
}

String MailDateNow() {
  time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  return FormatMailDate(local, local.tm_gmtoff);
}

}  // namespace pexo
