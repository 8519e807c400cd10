// DatabaseLibraryManager: the configured database types of a request, type
// name (case-insensitive) to library path, and their descriptor tables. A
// type's library is loaded (kind 3) on its first lookup, its
// "pexo_database_library" entry called once and the table kept.
#ifndef PEXO_EXT_DATABASE_LIBRARY_MANAGER_H_
#define PEXO_EXT_DATABASE_LIBRARY_MANAGER_H_

#include <cstdint>

#include "db/database_libraries.h"
#include "values/hash_table.h"
#include "values/string.h"

namespace pexo {

class ExternalLibraryManager;
class ServerConfig;

class DatabaseLibraryManager : public DatabaseLibraries {
 public:
  // `libraries` may be null: every type then fails to load.
  explicit DatabaseLibraryManager(ExternalLibraryManager* libraries) : libraries_(libraries) {}

  void Register(const char* type, int32_t type_length, const char* path, int32_t path_length);
  // Registers every database library the configuration names.
  void RegisterConfigured(const ServerConfig& config);
  const PxDatabaseLibrary* Find(const char* type, int32_t length, String* error) override;

 private:
  struct Entry {
    String path;
    const PxDatabaseLibrary* table = nullptr;
  };

  ExternalLibraryManager* libraries_;
  HashTable<Entry> types_{true, true, 12, 512};
};

}  // namespace pexo

#endif  // PEXO_EXT_DATABASE_LIBRARY_MANAGER_H_
