#include "net/network_connection.h"

#include "net/tls_session.h"

namespace pexo {

NetworkConnection::~NetworkConnection() = default;

}  // namespace pexo
