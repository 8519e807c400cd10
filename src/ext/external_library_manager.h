// ExternalLibraryManager: every extension library of the process, keyed by
// path (case-insensitive). Get loads a path at most once, under the
// manager's lock, so concurrent requests share one loaded library; loaded
// libraries stay until the manager is destroyed. Open, the platform load,
// is what a platform subclass supplies.
#ifndef PEXO_EXT_EXTERNAL_LIBRARY_MANAGER_H_
#define PEXO_EXT_EXTERNAL_LIBRARY_MANAGER_H_

#include <cstdint>
#include <mutex>

#include "ext/external_library.h"
#include "values/hash_table.h"
#include "values/string.h"

namespace pexo {

class ExternalLibraryManager {
 public:
  explicit ExternalLibraryManager(void* engine_module) : engine_module_(engine_module) {}
  ExternalLibraryManager(const ExternalLibraryManager&) = delete;
  ExternalLibraryManager& operator=(const ExternalLibraryManager&) = delete;
  virtual ~ExternalLibraryManager() = default;

  // The library of `path`, loaded if needed; null on failure, with the
  // reason copied into `error` (when given) and kept as ErrorText().
  virtual ExternalLibrary* Get(const char* path, int32_t kind, String* error = nullptr);

  // Text of the last failed load (a copy: other threads may load meanwhile).
  String ErrorText() const;
  int32_t count() const;
  void* engine_module() const { return engine_module_; }

 protected:
  // Loads a new library; null with error_ set on failure. Called under the
  // lock.
  virtual ExternalLibrary* Open(const char* path, int32_t kind) = 0;

  String error_;

 private:
  void* engine_module_;
  mutable std::mutex lock_;
  HashTable<ExternalLibrary> libraries_{true, true, 12, 512};
};

}  // namespace pexo

#endif  // PEXO_EXT_EXTERNAL_LIBRARY_MANAGER_H_
