#include "ext/posix_external_library_manager.h"

#include <dlfcn.h>

#include <atomic>

#include "ext/posix_external_library.h"

namespace pexo {
namespace {

void* MainProgramHandle() { return dlopen(nullptr, RTLD_LAZY); }

// The one manager of the process.
std::atomic<ExternalLibraryManager*> process_manager{nullptr};

}  // namespace

void* EngineModuleHandle() {
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&EngineModuleHandle), &info) && info.dli_fname) {
    // RTLD_NOLOAD: only a handle of what is already mapped, never a new load.
    void* handle = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
    if (handle) return handle;
  }
  return MainProgramHandle();
}

PosixExternalLibraryManager::PosixExternalLibraryManager(void* engine_module, bool owns_module)
    : ExternalLibraryManager(engine_module ? engine_module : MainProgramHandle()),
      owns_module_(owns_module || engine_module == nullptr) {}

PosixExternalLibraryManager::~PosixExternalLibraryManager() {
  // Unloading a library never uses the engine handle, so closing it before
  // the base destroys the libraries is safe.
  if (owns_module_ && engine_module()) dlclose(engine_module());
}

ExternalLibrary* PosixExternalLibraryManager::Open(const char* path, int32_t /*kind*/) {
  PosixExternalLibrary* library = new PosixExternalLibrary(engine_module());
  if (!library->Load(path)) {
    error_ = library->ErrorText();
    delete library;
    return nullptr;
  }
  return library;
}

bool StartExternalLibraries() {
  if (process_manager.load()) return false;
  ExternalLibraryManager* manager = new PosixExternalLibraryManager(EngineModuleHandle(), true);
  ExternalLibraryManager* expected = nullptr;
  if (!process_manager.compare_exchange_strong(expected, manager)) {
    delete manager;
    return false;
  }
  return true;
}

void StopExternalLibraries() { delete process_manager.exchange(nullptr); }

ExternalLibraryManager* ProcessLibraryManager() { return process_manager.load(); }

}  // namespace pexo
