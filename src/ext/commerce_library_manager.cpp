#include "ext/commerce_library_manager.h"

#include "ext/external_library.h"
#include "ext/external_library_manager.h"

namespace pexo {

void CommerceLibraryManager::Register(const char* name, int32_t name_length, const char* path,
                                      int32_t path_length) {
  if (!name) return;
  name_length = text_length(name, name_length);
  CommerceLibrary* entry = new CommerceLibrary;
  entry->name.assign(name, name_length);
  entry->path.assign(path ? path : "", path ? path_length : 0);
  table_.insert_or_replace(name, name_length, entry);
}

bool CommerceLibraryManager::Load(CommerceLibrary* entry) {
  ExternalLibrary* library =
      libraries_ ? libraries_->Get(entry->path.c_str(), kCommerceLibrary, &entry->error) : nullptr;
  if (!library) return false;
  void* table = library->Symbol("pexo_commerce_library");
  if (table) {
    const PexoCommerceLibrary* descriptor = reinterpret_cast<PexoCommerceLibraryEntry>(table)();
    if (descriptor) {
      entry->init = descriptor->init;
      entry->loop = descriptor->loop;
      entry->cleanup = descriptor->cleanup;
      entry->error_text = descriptor->error;
    }
  } else {
    entry->init = reinterpret_cast<PexoCommerceInit>(library->Symbol("pexo_commerce_init"));
    entry->loop = reinterpret_cast<PexoCommerceLoop>(library->Symbol("pexo_commerce_loop"));
    entry->cleanup =
        reinterpret_cast<PexoCommerceCleanup>(library->Symbol("pexo_commerce_cleanup"));
    entry->error_text = reinterpret_cast<PexoCommerceError>(library->Symbol("pexo_commerce_error"));
  }
  if (!entry->init || !entry->loop || !entry->cleanup || !entry->error_text) {
    entry->error.assign("Unable to load commerce library descriptor table/functions");
    return false;
  }
  entry->loaded = true;
  return true;
}

CommerceLibrary* CommerceLibraryManager::Get(const char* name, int32_t length) {
  if (!name) name = "";
  length = text_length(name, length);
  CommerceLibrary* entry = table_.find(name, length);
  if (!entry) {
    error_.assign("Commerce method '");
    error_.append(name, length);
    error_.append("' is unsupported or not configured");
    return nullptr;
  }
  if (!entry->loaded && !Load(entry)) {
    error_ = entry->error;
    return nullptr;
  }
  return entry;
}

}  // namespace pexo
