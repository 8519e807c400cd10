// ExternalLibrary: one loaded extension library (function, commerce,
// configuration, database or system library), shared by every request of
// the process once its manager has published it.
//
// Load runs once, before the library is shared; afterwards the object is
// read-only, so Symbol reports its failure into the caller's String rather
// than into the library. Load calls the library's registration entry
// ("pexo_register_library", else "PexoRegisterLibrary") once with the engine
// module handle; a library without one loads all the same.
#ifndef PEXO_EXT_EXTERNAL_LIBRARY_H_
#define PEXO_EXT_EXTERNAL_LIBRARY_H_

#include <cstdint>

#include "values/string.h"

namespace pexo {

// The kind a library is requested for; one path is loaded once whatever the
// kinds that ask for it.
enum LibraryKind : int32_t {
  kFunctionLibrary = 0,
  kCommerceLibrary = 1,
  kConfigurationLibrary = 2,
  kDatabaseLibrary = 3,
  kSystemLibrary = 4,
};

class ExternalLibrary {
 public:
  explicit ExternalLibrary(void* engine_module) : engine_module_(engine_module) {}
  ExternalLibrary(const ExternalLibrary&) = delete;
  ExternalLibrary& operator=(const ExternalLibrary&) = delete;
  virtual ~ExternalLibrary() = default;

  // 1 when loaded (and registered), else 0 with ErrorText() set.
  virtual int Load(const char* path) = 0;
  // The exported address, or null; then `error` (when given) receives
  // "Unknown symbol '<name>': " and the platform's text.
  void* Symbol(const char* name, String* error = nullptr) const;
  // Text of the last platform error on this thread.
  virtual String SystemError() const = 0;

  const String& path() const { return path_; }
  const String& ErrorText() const { return error_; }
  void* engine_module() const { return engine_module_; }

 protected:
  // The raw platform lookup.
  virtual void* Address(const char* name) const = 0;
  // Finds and calls the registration entry; part of Load.
  void Register();

  String path_;
  String error_;

 private:
  void* engine_module_;
};

}  // namespace pexo

#endif  // PEXO_EXT_EXTERNAL_LIBRARY_H_
