#include "ext/system_library_manager.h"

#include "ext/external_library.h"
#include "ext/external_library_manager.h"

namespace pexo {

void SystemLibraryManager::Register(const char* name, int32_t name_length, const char* path,
                                    int32_t path_length) {
  if (!name) return;
  name_length = text_length(name, name_length);
  SystemLibrary* entry = new SystemLibrary;
  entry->name.assign(name, name_length);
  entry->path.assign(path ? path : "", path ? path_length : 0);
  table_.insert_or_replace(name, name_length, entry);
}

SystemLibrary* SystemLibraryManager::Get(const char* name, int32_t length) {
  if (!name) name = "";
  length = text_length(name, length);
  SystemLibrary* entry = table_.find(name, length);
  if (!entry) {
    error_.assign("System library '");
    error_.append(name, length);
    error_.append("' is not configured");
    return nullptr;
  }
  if (entry->library) return entry;
  String reason;
  entry->library =
      libraries_ ? libraries_->Get(entry->path.c_str(), kSystemLibrary, &reason) : nullptr;
  if (!entry->library) {
    entry->error = reason;
    error_ = reason;
    return nullptr;
  }
  return entry;
}

void* SystemLibraryManager::GetFunction(SystemLibrary* library, const char* name) {
  if (!library || !library->library) return nullptr;
  return library->library->Symbol(name, &library->error);
}

const String& SystemLibraryManager::ErrorText(const SystemLibrary* library) const {
  return library ? library->error : error_;
}

}  // namespace pexo
