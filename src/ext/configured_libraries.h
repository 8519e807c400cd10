// Hands the libraries a request's configuration names to the managers that
// use them: function libraries (no code) to the ExternalCallManager, named
// system libraries to the SystemLibraryManager, commerce methods to the
// CommerceLibraryManager. Database libraries belong to the database manager
// and are skipped here. A function library that fails to register leaves its
// functions unresolved; nothing stops the request.
//
// A configuration that names no function library gets the standard library
// (kDefaultFunctionLibrary), taken from the directory of the module that
// holds the engine (the `pexo` program, mod_pexo.so) when it is there, else
// from the directory it is installed into, else found by the system's
// library search. It is not counted as a failure when it is missing, since
// nobody asked for it.
#ifndef PEXO_EXT_CONFIGURED_LIBRARIES_H_
#define PEXO_EXT_CONFIGURED_LIBRARIES_H_

#include <cstdint>

#include "values/string.h"

namespace pexo {

class CommerceLibraryManager;
class ExternalCallManager;
class ServerConfig;
class SystemLibraryManager;

extern const char kDefaultFunctionLibrary[];

// The path the default function library is loaded from.
String DefaultFunctionLibraryPath();

// Any manager may be null. Returns the number of function libraries that
// failed to register.
int32_t RegisterConfiguredLibraries(const ServerConfig& config, ExternalCallManager* calls,
                                    SystemLibraryManager* system,
                                    CommerceLibraryManager* commerce);

}  // namespace pexo

#endif  // PEXO_EXT_CONFIGURED_LIBRARIES_H_
