#include "ext/configured_libraries.h"

#include "ext/commerce_library_manager.h"
#include "ext/external_call_manager.h"
#include "ext/system_library_manager.h"
#include "host/server_config.h"

namespace pexo {

int32_t RegisterConfiguredLibraries(const ServerConfig& config, ExternalCallManager* calls,
                                    SystemLibraryManager* system,
                                    CommerceLibraryManager* commerce) {
  int32_t failed = 0;
  for (const ConfiguredLibrary& entry : config.Libraries()) {
    switch (entry.type) {
      case LIBRARY_SYSTEM:
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
  return failed;
}

}  // namespace pexo
