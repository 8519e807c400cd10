#include "net/network_state.h"

#include "io/file_manager.h"
#include "values/config.h"
#include "vm/machine_host.h"
#include "vm/pexo_vm.h"

namespace pexo {
namespace {

String Text(Config* config, int32_t key) {
  int32_t length = 0;
  const char* text = config->GetString(key, &length);
  return text ? String(text, length) : String();
}

}  // namespace

NetworkSettings NetworkSettingsFrom(Config* config) {
  NetworkSettings settings;
  if (!config) return settings;
  settings.timeout_global = config->GetInteger(CFG_TIMEOUT_GLOBAL);
  settings.socks_version = config->GetInteger(CFG_SOCKS_VERSION);
  settings.socks_host = Text(config, CFG_SOCKS_HOST);
  settings.socks_port = config->GetInteger(CFG_SOCKS_PORT);
  settings.socks_username = Text(config, CFG_SOCKS_USERNAME);
  settings.socks_password = Text(config, CFG_SOCKS_PASSWORD);
  settings.ssl_openssl = Text(config, CFG_SSL_OPENSSL);
  settings.ssl_crypto = Text(config, CFG_SSL_CRYPTO);
  settings.ssl_config = Text(config, CFG_SSL_CONFIG);
  settings.ssl_sni = config->GetInteger(CFG_SSL_SNI);
  settings.file_ca = Text(config, CFG_FILE_CA);
  settings.dir_ca = Text(config, CFG_DIR_CA);
  settings.flags_security = config->GetInteger(CFG_FLAGS_SECURITY);
  if (settings.timeout_global < 0) settings.timeout_global = 0;
  if (settings.flags_security < 0) settings.flags_security = 0;
  return settings;
}

std::unique_ptr<MachineNetwork> NetworkState::Make(PexoVM* machine,
                                                   const ProgramContext& context) {
  return std::unique_ptr<MachineNetwork>(new NetworkState(machine, context.config, context.files));
}

NetworkState* NetworkState::Of(PexoVM* machine) {
  // NetworkState::Make is the only factory hosts are given.
  return static_cast<NetworkState*>(machine->network());
}

NetworkState::NetworkState(PexoVM* machine, Config* config, FileManager* files)
    : machine_(machine), config_(config), files_(files), manager_(NetworkSettingsFrom(config)) {}

NetworkState::~NetworkState() {
  if (!files_) return;
  for (const String& path : files_to_remove_) files_->Delete(FILE_DATA, path.c_str());
}

NetworkManager* NetworkState::manager() {
  PexoApplication* app = machine_->application();
  manager_.deadline()->Set(app ? app->GlobalDeadline() : 0);
  return &manager_;
}

void NetworkState::KeepUntilEnd(const String& path) {
  for (const String& kept : files_to_remove_)
    if (kept == path) return;
  files_to_remove_.push_back(path);
}

}  // namespace pexo
