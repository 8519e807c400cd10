#include "net/socket_error.h"

#include <errno.h>

#include <cstring>

namespace pexo {
namespace {

struct NumberText {
  int number;
  int error;  // errno equivalent, 0 when the platform has none
  const char* text;
};

const NumberText kTexts[] = {
    {10004, EINTR, "Interrupted function call"},
    {10013, EACCES, "Permission denied"},
    {10014, EFAULT, "Bad address"},
    {10022, EINVAL, "Invalid argument"},
    {10024, EMFILE, "Too many open files"},
    {10035, EAGAIN, "Resource temporarily unavailable"},
    {10036, EINPROGRESS, "Operation now in progress"},
    {10037, EALREADY, "Operation already in progress"},
    {10038, ENOTSOCK, "Socket operation on non-socket"},
    {10039, EDESTADDRREQ, "Destination address required"},
    {10040, EMSGSIZE, "Message too long"},
    {10041, EPROTOTYPE, "Protocol wrong type for socket"},
    {10042, ENOPROTOOPT, "Bad protocol option"},
    {10043, EPROTONOSUPPORT, "Protocol not supported"},
    {10044, ESOCKTNOSUPPORT, "Socket type not supported"},
    {10045, EOPNOTSUPP, "Operation not supported"},
    {10046, EPFNOSUPPORT, "Protocol family not supported"},
    {10047, EAFNOSUPPORT, "Address family not supported by protocol family"},
    {10048, EADDRINUSE, "Address already in use"},
    {10049, EADDRNOTAVAIL, "Cannot assign requested address"},
    {10050, ENETDOWN, "Network is down"},
    {10051, ENETUNREACH, "Network is unreachable"},
    {10052, ENETRESET, "Network dropped connection on reset"},
    {10053, ECONNABORTED, "Software caused connection abort"},
    {10054, ECONNRESET, "Connection reset by peer"},
    {10055, ENOBUFS, "No buffer space available"},
    {10056, EISCONN, "Socket is already connected"},
    {10057, ENOTCONN, "Socket is not connected"},
    {10058, ESHUTDOWN, "Cannot send after socket shutdown"},
    {10060, ETIMEDOUT, "Connection timed out"},
    {10061, ECONNREFUSED, "Connection refused"},
    {10064, EHOSTDOWN, "Host is down"},
    {10065, EHOSTUNREACH, "No route to host"},
    {10067, 0, "Too many processes"},
};

}  // namespace

const char* SocketErrorNumberText(int number) {
  for (const NumberText& t : kTexts)
    if (t.number == number) return t.text;
  return nullptr;
}

String SocketErrorText(int error) {
  if (error == EWOULDBLOCK) error = EAGAIN;
  if (error == EPIPE) error = ESHUTDOWN;
  for (const NumberText& t : kTexts)
    if (t.error != 0 && t.error == error) return String(t.text);
  char buffer[256];
  return String(strerror_r(error, buffer, sizeof buffer));
}

}  // namespace pexo
