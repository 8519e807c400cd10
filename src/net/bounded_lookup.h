// BoundedLookup: getaddrinfo that gives up after a wait. The system's
// resolver has no time-out of its own that the caller controls, so a name
// is resolved on a helper thread; when the wait ends first, the caller
// leaves and the thread frees the late result itself. Numeric addresses
// need no resolver and are answered at once.
#ifndef PEXO_NET_BOUNDED_LOOKUP_H_
#define PEXO_NET_BOUNDED_LOOKUP_H_

#include <netdb.h>

namespace pexo {

// As getaddrinfo; wait_ms < 0 waits without limit. A lookup that does not
// finish in time returns EAI_AGAIN and leaves *result null.
int BoundedLookup(const char* host, const char* service, const addrinfo* hints, int wait_ms,
                  addrinfo** result);

}  // namespace pexo

#endif  // PEXO_NET_BOUNDED_LOOKUP_H_
