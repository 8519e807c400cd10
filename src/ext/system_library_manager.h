// SystemLibraryManager: the configured system libraries of a request, name
// (case-insensitive) to path. A library is loaded on its first Get through
// the process-wide loader and stays bound to its entry. Registering a name
// again replaces the entry.
#ifndef PEXO_EXT_SYSTEM_LIBRARY_MANAGER_H_
#define PEXO_EXT_SYSTEM_LIBRARY_MANAGER_H_

#include <cstdint>

#include "values/hash_table.h"
#include "values/string.h"

namespace pexo {

class ExternalLibrary;
class ExternalLibraryManager;

struct SystemLibrary {
  String name;
  String path;
  ExternalLibrary* library = nullptr;  // not owned; null until first use
  String error;
};

class SystemLibraryManager {
 public:
  explicit SystemLibraryManager(ExternalLibraryManager* libraries) : libraries_(libraries) {}
  SystemLibraryManager(const SystemLibraryManager&) = delete;
  SystemLibraryManager& operator=(const SystemLibraryManager&) = delete;

  void Register(const char* name, int32_t name_length, const char* path, int32_t path_length);
  // The loaded library of `name`, or null with ErrorText() set.
  SystemLibrary* Get(const char* name, int32_t length);
  // Whether `name` is configured (nothing is loaded).
  bool IsRegistered(const char* name, int32_t length = -1) const {
    return name && table_.find(name, length) != nullptr;
  }
  // Address of a function of a loaded library, or null with the library's
  // error text set.
  void* GetFunction(SystemLibrary* library, const char* name);
  // A library's error text, or the manager's for no library.
  const String& ErrorText(const SystemLibrary* library = nullptr) const;
  int32_t count() const { return table_.count(); }

 private:
  ExternalLibraryManager* libraries_;
  HashTable<SystemLibrary> table_{true, true, 12, 512};
  String error_;
};

}  // namespace pexo

#endif  // PEXO_EXT_SYSTEM_LIBRARY_MANAGER_H_
