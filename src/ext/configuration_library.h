// ConfigurationLibrary: the one configuration library a configuration may
// name. Open loads it (kind 2), takes its descriptor from
// "pexo_config_library" and runs its initialiser, during which the library
// registers libraries and settings through the configuration object. The
// library may then supply settings before the built-in defaults apply, and
// load per-script configuration. Destroying the object calls the library's
// shutdown (when a descriptor was obtained). Lives with its configuration.
#ifndef PEXO_EXT_CONFIGURATION_LIBRARY_H_
#define PEXO_EXT_CONFIGURATION_LIBRARY_H_

#include <cstdint>

#include "ext/library_descriptors.h"
#include "values/string.h"

namespace pexo {

class Config;
struct ConfigValue;
class ExternalLibraryManager;

class ConfigurationLibrary {
 public:
  // Neither argument is owned; `config` is what the library is handed.
  ConfigurationLibrary(ExternalLibraryManager* libraries, Config* config)
      : libraries_(libraries), config_(config) {}
  ConfigurationLibrary(const ConfigurationLibrary&) = delete;
  ConfigurationLibrary& operator=(const ConfigurationLibrary&) = delete;
  ~ConfigurationLibrary();

  // Loads and initialises; 1 on success, else 0 with ErrorText().
  int Open(const char* path, void* host_arguments);
  // The value the library supplies for `key` (integer keys: type 1 in bits
  // 24-27; text keys: type 2), or null when the built-in default applies.
  ConfigValue* Setting(int32_t key);
  // Per-script configuration; 1 on success, else 0 with ErrorText().
  int LoadScript(void* host_arguments);

  const String& ErrorText() const { return error_; }
  void* data() const { return data_; }

 private:
  void TakeLibraryError(const char* fallback);

  ExternalLibraryManager* libraries_;
  Config* config_;
  const PexoConfigLibrary* descriptor_ = nullptr;
  void* data_ = nullptr;
  String error_;
};

}  // namespace pexo

#endif  // PEXO_EXT_CONFIGURATION_LIBRARY_H_
