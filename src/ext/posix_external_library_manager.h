// PosixExternalLibraryManager: the ExternalLibraryManager that loads with
// dlopen, and the process-wide instance every request shares (made at
// start-up, released at shut-down, after which no library function may be
// called).
#ifndef PEXO_EXT_POSIX_EXTERNAL_LIBRARY_MANAGER_H_
#define PEXO_EXT_POSIX_EXTERNAL_LIBRARY_MANAGER_H_

#include "ext/external_library_manager.h"

namespace pexo {

class PosixExternalLibraryManager : public ExternalLibraryManager {
 public:
  // Without an engine module handle the main program's handle is used.
  // `owns_module`: the handle was opened for this manager and is closed with
  // it.
  explicit PosixExternalLibraryManager(void* engine_module = nullptr, bool owns_module = false);
  ~PosixExternalLibraryManager() override;

 protected:
  ExternalLibrary* Open(const char* path, int32_t kind) override;

 private:
  bool owns_module_ = false;
};

// The handle of the module that holds the engine (the shared engine library
// when the engine is one, else the main program); null when unavailable.
void* EngineModuleHandle();

// Makes the process-wide manager (idempotent); false when it already exists
// or cannot be made.
bool StartExternalLibraries();
// Destroys it, unloading every library.
void StopExternalLibraries();
// The process-wide manager, or null outside start-up and shut-down.
ExternalLibraryManager* ProcessLibraryManager();

}  // namespace pexo

#endif  // PEXO_EXT_POSIX_EXTERNAL_LIBRARY_MANAGER_H_
