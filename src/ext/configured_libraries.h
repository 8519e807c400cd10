// Hands the libraries a request's configuration names to the managers that
// use them: function libraries (no code) to the ExternalCallManager, named
// system libraries to the SystemLibraryManager, commerce methods to the
// CommerceLibraryManager. Database libraries belong to the database manager
// and are skipped here. A function library that fails to register leaves its
// functions unresolved; nothing stops the request.
#ifndef PEXO_EXT_CONFIGURED_LIBRARIES_H_
#define PEXO_EXT_CONFIGURED_LIBRARIES_H_

#include <cstdint>

namespace pexo {

class CommerceLibraryManager;
class ExternalCallManager;
class ServerConfig;
class SystemLibraryManager;

// Any manager may be null. Returns the number of function libraries that
// failed to register.
int32_t RegisterConfiguredLibraries(const ServerConfig& config, ExternalCallManager* calls,
                                    SystemLibraryManager* system,
                                    CommerceLibraryManager* commerce);

}  // namespace pexo

#endif  // PEXO_EXT_CONFIGURED_LIBRARIES_H_
