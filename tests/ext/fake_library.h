// In-process stand-ins for loaded libraries: a FakeLibraryManager "loads" a
// path by finding it in its table of symbol sets, so the loader's caching,
// locking and registration run for real without shared objects on disk.
#ifndef PEXO_TESTS_EXT_FAKE_LIBRARY_H_
#define PEXO_TESTS_EXT_FAKE_LIBRARY_H_

#include <atomic>
#include <map>
#include <string>

#include "ext/external_library.h"
#include "ext/external_library_manager.h"

namespace pexo {

using SymbolSet = std::map<std::string, void*>;

class FakeLibrary : public ExternalLibrary {
 public:
  FakeLibrary(void* engine, const SymbolSet& symbols) : ExternalLibrary(engine), symbols_(symbols) {}
  int Load(const char* path) override {
    path_.assign(path);
    Register();
    return 1;
  }
  String SystemError() const override { return String("no such export"); }

 protected:
  void* Address(const char* name) const override {
    auto it = symbols_.find(name);
    return it == symbols_.end() ? nullptr : it->second;
  }

 private:
  SymbolSet symbols_;
};

class FakeLibraryManager : public ExternalLibraryManager {
 public:
  explicit FakeLibraryManager(void* engine = reinterpret_cast<void*>(0x5eed))
      : ExternalLibraryManager(engine) {}
  void Add(const std::string& path, const SymbolSet& symbols) { files_[path] = symbols; }
  int opens() const { return opens_.load(); }

 protected:
  ExternalLibrary* Open(const char* path, int32_t /*kind*/) override {
    ++opens_;
    auto it = files_.find(path);
    if (it == files_.end()) {
      error_.assign(path);
      error_.append(": cannot open shared object file");
      return nullptr;
    }
    FakeLibrary* library = new FakeLibrary(engine_module(), it->second);
    library->Load(path);
    return library;
  }

 private:
  std::map<std::string, SymbolSet> files_;
  std::atomic<int> opens_{0};
};

template <typename F>
void* AsSymbol(F function) {
  return reinterpret_cast<void*>(function);
}

}  // namespace pexo

#endif  // PEXO_TESTS_EXT_FAKE_LIBRARY_H_
