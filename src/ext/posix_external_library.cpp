#include "ext/posix_external_library.h"

#include <dlfcn.h>

#include <cerrno>
#include <cstdio>

namespace pexo {

PosixExternalLibrary::~PosixExternalLibrary() {
  if (module_) dlclose(module_);
}

int PosixExternalLibrary::Load(const char* path) {
  if (module_) return 1;
  path_.assign(path ? path : "");
  dlerror();  // forget an older failure of this thread
  module_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module_) {
    error_ = SystemError();
    return 0;
  }
  Register();
  return 1;
}

String PosixExternalLibrary::SystemError() const {
  const char* text = dlerror();
  if (text) return String(text);
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "Unknown error %d", errno);
  return String(buffer);
}

void* PosixExternalLibrary::Address(const char* name) const {
  if (!module_ || !name) return nullptr;
  dlerror();
  return dlsym(module_, name);
}

}  // namespace pexo
