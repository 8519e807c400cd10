// ExternalCallManager: the built-in function libraries in registration
// order, the cache of resolved functions and the application-wide
// persistent data of extensions.
//
// Find searches the cache, then every table in registration order and each
// table's descriptors in order; the first descriptor whose name has the same
// length and matches without regard to letter case wins and is cached, so
// when two libraries define a name the one registered first is used for the
// manager's whole life. Registering a path that is already registered adds
// nothing (configuration is loaded per request).
//
// All operations take the manager's lock: the cache is filled by whichever
// request first calls a name. The manager must be destroyed before the
// libraries are unloaded (the cached calls may call their function once
// more).
#ifndef PEXO_EXT_EXTERNAL_CALL_MANAGER_H_
#define PEXO_EXT_EXTERNAL_CALL_MANAGER_H_

#include <cstdint>
#include <mutex>
#include <vector>

#include "ext/external_call.h"
#include "ext/library_descriptors.h"
#include "values/hash_table.h"
#include "values/string.h"

namespace pexo {

class ExternalLibrary;
class ExternalLibraryManager;

// Frees persistent data: the program that registered it (null for
// application-wide data, whose program is long gone) and the data.
typedef void (*PersistentDestructor)(void* program, void* data);

class ExternalCallManager {
 public:
  // `libraries` (not owned) loads the paths given to AddLibrary.
  explicit ExternalCallManager(ExternalLibraryManager* libraries) : libraries_(libraries) {}
  ExternalCallManager(const ExternalCallManager&) = delete;
  ExternalCallManager& operator=(const ExternalCallManager&) = delete;
  virtual ~ExternalCallManager();

  // 1 when the library's descriptor table was added, else 0 with the reason
  // in `error` (when given) and ErrorText().
  virtual int AddLibrary(const char* path, String* error = nullptr);
  // The resolved function, or null when no table has the name.
  virtual ExternalCall* Find(const char* name, int32_t length);
  // The data of a persistent entry, or null.
  virtual void* LookupPersistent(const char* name, int32_t length);
  // Stores an entry, destroying one of the same name first (its destructor
  // runs under the manager's lock and must not call back into it). 1 when
  // stored.
  virtual int RegisterPersistent(const char* name, int32_t length, void* data,
                                 PersistentDestructor destructor);

  String ErrorText() const;
  int32_t library_count() const;

 private:
  struct Table {
    ExternalLibrary* library;
    const PexoFunctionDescriptor* functions;
  };
  struct PersistentEntry {
    void* data;
    PersistentDestructor destructor;
    ~PersistentEntry();
  };
  const PexoFunctionDescriptor* Search(const char* name, int32_t length) const;

  ExternalLibraryManager* libraries_;
  mutable std::mutex lock_;
  std::vector<Table> tables_;
  HashTable<ExternalCall> calls_{true, true, 12, 512};
  HashTable<PersistentEntry> persistent_{true, true, 12, 512};
  String error_;
};

}  // namespace pexo

#endif  // PEXO_EXT_EXTERNAL_CALL_MANAGER_H_
