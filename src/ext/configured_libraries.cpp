#include "ext/configured_libraries.h"

#include <dlfcn.h>
#include <unistd.h>

#include "ext/commerce_library_manager.h"
#include "ext/external_call_manager.h"
#include "ext/system_library_manager.h"
#include "host/server_config.h"

namespace pexo {

const char kDefaultFunctionLibrary[] = "libpexostd.so";

String DefaultFunctionLibraryPath() {
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&DefaultFunctionLibraryPath), &info) && info.dli_fname) {
    String path(info.dli_fname);
    int32_t slash = path.length();
    while (slash > 0 && path.data()[slash - 1] != '/') --slash;
    if (slash > 0) {
      String beside(path.data(), slash);
      beside.append(kDefaultFunctionLibrary);
      if (access(beside.c_str(), R_OK) == 0) return beside;
    }
  }
  return String(kDefaultFunctionLibrary);
}

int32_t RegisterConfiguredLibraries(const ServerConfig& config, ExternalCallManager* calls,
                                    SystemLibraryManager* system,
                                    CommerceLibraryManager* commerce) {
  int32_t failed = 0;
  bool named_function_library = false;
  for (const ConfiguredLibrary& entry : config.Libraries()) {
    switch (entry.type) {
      case LIBRARY_SYSTEM:
        named_function_library = true;
        if (calls && !calls->AddLibrary(entry.library.c_str())) ++failed;
        break;
      case LIBRARY_EXTERNAL_CALL:
        if (system)
          system->Register(entry.code.data(), entry.code.length(), entry.library.data(),
                           entry.library.length());
        break;
      case LIBRARY_COMMERCE:
        if (commerce)
          commerce->Register(entry.code.data(), entry.code.length(), entry.library.data(),
                             entry.library.length());
        break;
      default:
        break;
    }
  }
  if (calls && !named_function_library) calls->AddLibrary(DefaultFunctionLibraryPath().c_str());
  return failed;
}

}  // namespace pexo
