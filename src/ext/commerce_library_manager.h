// CommerceLibraryManager: the configured commerce methods of a request,
// method name (case-insensitive) to library path, and the lookup the
// commerce tag uses. A method's library is loaded (kind 1) on its first
// lookup and its four functions resolved: from the "pexo_commerce_library"
// descriptor when the library exports one, else from the entries
// "pexo_commerce_init", "pexo_commerce_loop", "pexo_commerce_cleanup" and
// "pexo_commerce_error", which must then all exist. Registering a method
// again replaces the entry.
#ifndef PEXO_EXT_COMMERCE_LIBRARY_MANAGER_H_
#define PEXO_EXT_COMMERCE_LIBRARY_MANAGER_H_

#include <cstdint>

#include "ext/library_descriptors.h"
#include "values/hash_table.h"
#include "values/string.h"

namespace pexo {

class ExternalLibraryManager;

struct CommerceLibrary {
  String name;
  String path;
  String error;
  bool loaded = false;
  PexoCommerceInit init = nullptr;
  PexoCommerceLoop loop = nullptr;
  PexoCommerceCleanup cleanup = nullptr;
  PexoCommerceError error_text = nullptr;
};

class CommerceLibraryManager {
 public:
  explicit CommerceLibraryManager(ExternalLibraryManager* libraries) : libraries_(libraries) {}
  CommerceLibraryManager(const CommerceLibraryManager&) = delete;
  CommerceLibraryManager& operator=(const CommerceLibraryManager&) = delete;

  void Register(const char* name, int32_t name_length, const char* path, int32_t path_length);
  // The loaded library of a method, or null with ErrorText() set.
  CommerceLibrary* Get(const char* name, int32_t length);
  const String& ErrorText() const { return error_; }
  int32_t count() const { return table_.count(); }

 private:
  bool Load(CommerceLibrary* entry);

  ExternalLibraryManager* libraries_;
  HashTable<CommerceLibrary> table_{true, true, 12, 512};
  String error_;
};

}  // namespace pexo

#endif  // PEXO_EXT_COMMERCE_LIBRARY_MANAGER_H_
