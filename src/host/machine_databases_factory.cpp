#include "host/machine_databases_factory.h"

#include "db/database_manager.h"
#include "ext/database_library_manager.h"
#include "ext/external_call_resolver.h"
#include "ext/posix_external_library_manager.h"
#include "host/posix_file_manager.h"
#include "host/xbase_file_manager_adapter.h"
#include "values/server_config.h"
#include "vm/pexo_vm.h"

namespace pexo {

std::unique_ptr<MachineDatabases> MakeMachineDatabases(PexoVM* machine,
                                                       const ProgramContext& context) {
  DatabaseServices services;
  if (auto* files = dynamic_cast<PosixFileManager*>(context.files))
    services.files = std::make_unique<PosixDatabaseFileManager>(files);
  auto libraries = std::make_unique<DatabaseLibraryManager>(ProcessLibraryManager());
  if (auto* config = dynamic_cast<ServerConfig*>(context.config))
    libraries->RegisterConfigured(*config);
  services.libraries = std::move(libraries);
  services.externals = std::make_unique<ExternalCallResolver>(context.calls);
  return std::make_unique<DatabaseManager>(machine, std::move(services));
}

}  // namespace pexo
