// The Date header value of an outgoing message: the local time as
// "Tue, 08 Dec 2026 19:55:02 +0530", the zone offset with its minutes.
#ifndef PEXO_NET_MAIL_DATE_H_
#define PEXO_NET_MAIL_DATE_H_

#include <ctime>

#include "values/string.h"

namespace pexo {

// `local` is the broken-down local time; offset_seconds its distance from
// UTC (east positive).
String FormatMailDate(const struct tm& local, long offset_seconds);
// The current local time.
String MailDateNow();

}  // namespace pexo

#endif  // PEXO_NET_MAIL_DATE_H_
