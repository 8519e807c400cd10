// PexoVMLoggingNetworkConnection: the machine's logging connection. Every
// block read or written becomes one debug-trace event of the given kind
// (the call or mail bit), carrying the program, the source file and line
// the machine is at, "sent" or "received", and the bytes (a zero byte ends
// the logged text). Made only when the machine's trace mask has the kind;
// the log filter on source file and line applies as for every event.
#ifndef PEXO_NET_PEXO_VM_LOGGING_NETWORK_CONNECTION_H_
#define PEXO_NET_PEXO_VM_LOGGING_NETWORK_CONNECTION_H_

#include <cstdint>
#include <memory>

#include "net/logging_network_connection.h"

namespace pexo {

class PexoVM;

class PexoVMLoggingNetworkConnection : public LoggingNetworkConnection {
 public:
  // The machine is borrowed and outlives the connection.
  PexoVMLoggingNetworkConnection(std::unique_ptr<NetworkConnection> inner, PexoVM* machine,
                                 uint32_t kind);

  // `inner` wrapped when the machine traces `kind`, else `inner` itself.
  static std::unique_ptr<NetworkConnection> Wrap(std::unique_ptr<NetworkConnection> inner,
                                                 PexoVM* machine, uint32_t kind);

 protected:
  void Log(Direction direction, const char* bytes, int32_t length) override;

 private:
  PexoVM* machine_;
  uint32_t kind_;
};

}  // namespace pexo

#endif  // PEXO_NET_PEXO_VM_LOGGING_NETWORK_CONNECTION_H_
