#include "ext/database_library_manager.h"

#include "ext/external_library.h"
#include "ext/external_library_manager.h"
#include "values/server_config.h"

namespace pexo {

void DatabaseLibraryManager::Register(const char* type, int32_t type_length, const char* path,
                                      int32_t path_length) {
  if (!type) return;
  type_length = text_length(type, type_length);
  Entry* entry = new Entry;
  entry->path.assign(path ? path : "", path ? path_length : 0);
  types_.insert_or_replace(type, type_length, entry);
}

void DatabaseLibraryManager::RegisterConfigured(const ServerConfig& config) {
  for (const ConfiguredLibrary& library : config.Libraries())
    if (library.type == LIBRARY_DATABASE)
      Register(library.code.data(), library.code.length(), library.library.data(),
               library.library.length());
}

const PxDatabaseLibrary* DatabaseLibraryManager::Find(const char* type, int32_t length,
                                                      String* error) {
  Entry* entry = types_.find(type, length);
  if (!entry) {
    UnsupportedDatabaseTypeMessage(type, length, error);
    return nullptr;
  }
  if (entry->table) return entry->table;
  ExternalLibrary* library =
      libraries_ ? libraries_->Get(entry->path.c_str(), kDatabaseLibrary, error) : nullptr;
  if (!library) {
    if (!libraries_) error->assign("No library loader");
    return nullptr;
  }
  void* export_entry = library->Symbol(PEXO_ENTRY_DATABASE_LIBRARY, error);
  if (!export_entry) return nullptr;
  entry->table = reinterpret_cast<PxDatabaseLibraryEntry>(export_entry)();
  if (!entry->table) error->assign("Unable to retrieve database descriptor table");
  return entry->table;
}

}  // namespace pexo
