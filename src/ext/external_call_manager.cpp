#include "ext/external_call_manager.h"

#include <cstdlib>
#include <cstring>

#include "ext/external_library.h"
#include "ext/external_library_manager.h"

namespace pexo {
namespace {

constexpr size_t kTableGrowth = 16;

int32_t DescriptorNameLength(const PexoFunctionDescriptor& descriptor) {
  return descriptor.name_length >= 0 ? descriptor.name_length
                                     : static_cast<int32_t>(std::strlen(descriptor.name));
}

}  // namespace

ExternalCallManager::PersistentEntry::~PersistentEntry() {
  if (destructor)
    destructor(nullptr, data);
  else
    std::free(data);
}

ExternalCallManager::~ExternalCallManager() = default;

int ExternalCallManager::AddLibrary(const char* path, String* error) {
  std::lock_guard<std::mutex> hold(lock_);
  String reason;
  ExternalLibrary* library =
      libraries_ ? libraries_->Get(path, kFunctionLibrary, &reason) : nullptr;
  const PexoFunctionTable* table = nullptr;
  if (library) {
    for (const Table& known : tables_)
      if (known.library == library) return 1;
    void* entry = library->Symbol("pexo_function_table", &reason);
    if (entry) {
      table = reinterpret_cast<PexoFunctionTableEntry>(entry)();
      if (!table || !table->functions) {
        table = nullptr;
        reason.assign("Unable to retrieve function descriptor table");
      }
    }
  }
  if (!table) {
    error_ = reason;
    if (error) error->assign(reason);
    return 0;
  }
  if (tables_.size() == tables_.capacity()) tables_.reserve(tables_.size() + kTableGrowth);
  tables_.push_back(Table{library, table->functions});
  return 1;
}

const PexoFunctionDescriptor* ExternalCallManager::Search(const char* name,
                                                          int32_t length) const {
  for (const Table& table : tables_) {
    for (const PexoFunctionDescriptor* d = table.functions; d->name; ++d) {
      if (DescriptorNameLength(*d) == length && equals_nocase(d->name, length, name, length))
        return d;
    }
  }
  return nullptr;
}

ExternalCall* ExternalCallManager::Find(const char* name, int32_t length) {
  if (!name) return nullptr;
  length = text_length(name, length);
  std::lock_guard<std::mutex> hold(lock_);
  ExternalCall* call = calls_.find(name, length);
  if (call) return call;
  const PexoFunctionDescriptor* descriptor = Search(name, length);
  if (!descriptor) return nullptr;
  call = new ExternalCall(descriptor);
  calls_.insert(name, length, call);
  return call;
}

void* ExternalCallManager::LookupPersistent(const char* name, int32_t length) {
  if (!name) return nullptr;
  std::lock_guard<std::mutex> hold(lock_);
  PersistentEntry* entry = persistent_.find(name, text_length(name, length));
  return entry ? entry->data : nullptr;
}

int ExternalCallManager::RegisterPersistent(const char* name, int32_t length, void* data,
                                            PersistentDestructor destructor) {
  if (!name) return 0;
  length = text_length(name, length);
  std::lock_guard<std::mutex> hold(lock_);
  PersistentEntry* entry = new PersistentEntry{data, destructor};
  int32_t index = persistent_.find_index(name, length);
  if (index >= 0)
    persistent_.replace(index, entry);  // destroys the old entry
  else
    persistent_.insert(name, length, entry);
  return 1;
}

String ExternalCallManager::ErrorText() const {
  std::lock_guard<std::mutex> hold(lock_);
  return error_;
}

int32_t ExternalCallManager::library_count() const {
  std::lock_guard<std::mutex> hold(lock_);
  return static_cast<int32_t>(tables_.size());
}

}  // namespace pexo
