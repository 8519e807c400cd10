#include "ext/external_library.h"

#include "ext/library_descriptors.h"

namespace pexo {

void* ExternalLibrary::Symbol(const char* name, String* error) const {
  void* address = Address(name);
  if (!address && error) {
    error->assign("Unknown symbol '");
    error->append(name);
    error->append("': ");
    error->append(SystemError());
  }
  return address;
}

void ExternalLibrary::Register() {
  void* entry = Address("pexo_register_library");
  if (!entry) entry = Address("PexoRegisterLibrary");
  if (entry) reinterpret_cast<PexoRegisterEntry>(entry)(engine_module_);
}

}  // namespace pexo
