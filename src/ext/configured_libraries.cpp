#include "ext/configured_libraries.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "ext/commerce_library_manager.h"
#include "ext/external_call_manager.h"
#include "ext/system_library_manager.h"
#include "values/memory_account.h"
#include "values/server_config.h"

namespace pexo {

const char kDefaultFunctionLibrary[] = "libpexostd.so";

namespace {

// `dir` + "/" + the standard library's name when that file is readable.
bool ReadableIn(const char* dir, int32_t length, String* path) {
  String candidate(dir, length);
  candidate.append("/");
  candidate.append(kDefaultFunctionLibrary);
  if (access(candidate.c_str(), R_OK) != 0) return false;
  *path = candidate;
  return true;
}

String FindDefaultFunctionLibrary() {
  String path;
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&DefaultFunctionLibraryPath), &info) && info.dli_fname) {
    const char* module = info.dli_fname;
    const char* slash = std::strrchr(module, '/');
    if (slash && ReadableIn(module, static_cast<int32_t>(slash - module), &path)) return path;
  }
#ifdef PEXO_INSTALL_LIBDIR
  if (ReadableIn(PEXO_INSTALL_LIBDIR, -1, &path)) return path;
#endif
  return String(kDefaultFunctionLibrary);
}

}  // namespace

String DefaultFunctionLibraryPath() {
  // Looked for once: the engine's place does not move while it runs, and
  // the search (a symbol lookup over every loaded object) is not cheap.
  // Kept outside any request's memory account, as it lives for the process.
  static const std::string path = [] {
    MemoryAccountScope process_memory(nullptr);
    String found = FindDefaultFunctionLibrary();
    return std::string(found.data(), static_cast<size_t>(found.length()));
  }();
  return String(path.data(), static_cast<int32_t>(path.size()));
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
