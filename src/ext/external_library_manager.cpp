#include "ext/external_library_manager.h"

namespace pexo {

ExternalLibrary* ExternalLibraryManager::Get(const char* path, int32_t kind, String* error) {
  std::lock_guard<std::mutex> hold(lock_);
  if (!path) path = "";
  ExternalLibrary* library = libraries_.find(path);
  if (library) return library;
  library = Open(path, kind);
  if (!library) {
    if (error) error->assign(error_);
    return nullptr;
  }
  libraries_.insert(path, -1, library);
  return library;
}

String ExternalLibraryManager::ErrorText() const {
  std::lock_guard<std::mutex> hold(lock_);
  return error_;
}

int32_t ExternalLibraryManager::count() const {
  std::lock_guard<std::mutex> hold(lock_);
  return libraries_.count();
}

}  // namespace pexo
