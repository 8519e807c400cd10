// MachineNetwork: a machine's network state (the manager its connections
// go through, the message files a mailbox loop left behind), kept for the
// layer that runs network tags so that vm/ does not depend on it.
//
// A host names the factory in ProgramContext::network; the machine makes
// the state on first use, owns it and destroys it after its services and
// its extensions, so nothing that still uses a connection outlives it. A
// machine without a factory has no network.
#ifndef PEXO_VM_MACHINE_NETWORK_H_
#define PEXO_VM_MACHINE_NETWORK_H_

#include <memory>

namespace pexo {

class PexoVM;
struct ProgramContext;

class MachineNetwork {
 public:
  virtual ~MachineNetwork() = default;
};

using MachineNetworkFactory = std::unique_ptr<MachineNetwork> (*)(PexoVM* machine,
                                                                  const ProgramContext& context);

}  // namespace pexo

#endif  // PEXO_VM_MACHINE_NETWORK_H_
