// The texts of socket errors. The system names its socket errors by the
// traditional socket error numbers (10004 ...); the platform's errno values
// are mapped onto those texts, and anything unmapped gets the C library's
// message.
#ifndef PEXO_NET_SOCKET_ERROR_H_
#define PEXO_NET_SOCKET_ERROR_H_

#include "values/string.h"

namespace pexo {

// Text of a traditional socket error number, or null when it has none.
const char* SocketErrorNumberText(int number);

// Text of an errno value of the socket calls.
String SocketErrorText(int error);

}  // namespace pexo

#endif  // PEXO_NET_SOCKET_ERROR_H_
