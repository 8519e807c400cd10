// NetworkState: what one machine's network tags share: the network manager
// (settings read from the request's configuration once, the request's
// global deadline applied before every use) and the mailbox message files
// that stay until the request ends and are removed with the state.
#ifndef PEXO_NET_NETWORK_STATE_H_
#define PEXO_NET_NETWORK_STATE_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "net/posix_network_manager.h"
#include "vm/machine_network.h"

namespace pexo {

class Config;
class FileManager;

// The connection layer's settings from a configuration (null: defaults).
NetworkSettings NetworkSettingsFrom(Config* config);

class NetworkState : public MachineNetwork {
 public:
  // The factory a host puts in ProgramContext::network.
  static std::unique_ptr<MachineNetwork> Make(PexoVM* machine, const ProgramContext& context);
  // The machine's state; null when its host gave it no network.
  static NetworkState* Of(PexoVM* machine);

  NetworkState(PexoVM* machine, Config* config, FileManager* files);
  ~NetworkState() override;

  // The manager, its deadline brought up to the request's.
  NetworkManager* manager();
  Config* config() const { return config_; }
  // Null when the host has no file layer.
  FileManager* files() const { return files_; }
  // A file (data location) to remove when the request ends.
  void KeepUntilEnd(const String& path);

 private:
  PexoVM* machine_;
  Config* config_;
  FileManager* files_;
  PosixNetworkManager manager_;
  std::vector<String> files_to_remove_;
};

}  // namespace pexo

#endif  // PEXO_NET_NETWORK_STATE_H_
