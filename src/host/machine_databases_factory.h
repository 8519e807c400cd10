// The factory a host names in ProgramContext::databases: a DatabaseManager
// over the request's sandboxed data directory, the configured database
// libraries and the function libraries a filter may call.
#ifndef PEXO_HOST_MACHINE_DATABASES_FACTORY_H_
#define PEXO_HOST_MACHINE_DATABASES_FACTORY_H_

#include <memory>

#include "vm/machine_databases.h"

namespace pexo {

std::unique_ptr<MachineDatabases> MakeMachineDatabases(PexoVM* machine,
                                                       const ProgramContext& context);

}  // namespace pexo

#endif  // PEXO_HOST_MACHINE_DATABASES_FACTORY_H_
