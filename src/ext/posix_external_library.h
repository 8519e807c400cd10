// PosixExternalLibrary: an ExternalLibrary loaded with dlopen. The platform
// error text is dlerror()'s; when the loader gives none, "Unknown error %d"
// with errno. The destructor unloads the module.
#ifndef PEXO_EXT_POSIX_EXTERNAL_LIBRARY_H_
#define PEXO_EXT_POSIX_EXTERNAL_LIBRARY_H_

#include "ext/external_library.h"

namespace pexo {

class PosixExternalLibrary : public ExternalLibrary {
 public:
  explicit PosixExternalLibrary(void* engine_module) : ExternalLibrary(engine_module) {}
  ~PosixExternalLibrary() override;

  int Load(const char* path) override;
  String SystemError() const override;

 protected:
  void* Address(const char* name) const override;

 private:
  void* module_ = nullptr;
};

}  // namespace pexo

#endif  // PEXO_EXT_POSIX_EXTERNAL_LIBRARY_H_
