#include "ext/configuration_library.h"

#include <cstdlib>

#include "ext/external_library.h"
#include "ext/external_library_manager.h"
#include "values/config.h"

namespace pexo {

ConfigurationLibrary::~ConfigurationLibrary() {
  if (descriptor_ && descriptor_->shutdown) descriptor_->shutdown(config_, data_);
}

void ConfigurationLibrary::TakeLibraryError(const char* fallback) {
  const char* text = descriptor_->error_text ? descriptor_->error_text(config_, data_) : nullptr;
  error_.assign(descriptor_->error_text && text ? text : fallback);
}

int ConfigurationLibrary::Open(const char* path, void* host_arguments) {
  if (descriptor_) return 1;
  ExternalLibrary* library =
      libraries_ ? libraries_->Get(path, kConfigurationLibrary, &error_) : nullptr;
  if (!library) return 0;
  void* entry = library->Symbol("pexo_config_library", &error_);
  if (!entry) return 0;
  descriptor_ = reinterpret_cast<PexoConfigLibraryEntry>(entry)();
  if (!descriptor_) {
    error_.assign("Unable to retrieve configuration descriptor table");
    return 0;
  }
  if (descriptor_->initialize && descriptor_->initialize(config_, &data_, host_arguments) != 0) {
    TakeLibraryError("Error initializing configuration library");
    return 0;
  }
  return 1;
}

ConfigValue* ConfigurationLibrary::Setting(int32_t key) {
  if (!descriptor_) return nullptr;
  const int32_t type = (key >> 24) & 0xF;
  if (type == 1 && descriptor_->get_integer) {
    int32_t value = 0;
    if (descriptor_->get_integer(config_, data_, key, &value) == 0)
      return new ConfigValue(key, value);
  } else if (type == 2 && descriptor_->get_text) {
    char* text = nullptr;
    int32_t length = 0;
    int32_t size = 0;
    if (descriptor_->get_text(config_, data_, key, &text, &length, &size) == 0) {
      ConfigValue* value = new ConfigValue(key, text ? text : "", text ? length : 0);
      std::free(text);
      return value;
    }
    std::free(text);
  }
  return nullptr;
}

int ConfigurationLibrary::LoadScript(void* host_arguments) {
  if (!descriptor_) return 1;
  if (descriptor_->version == 1 && descriptor_->load_script_v1) {
    error_.assign(
        "Configuration library uses no longer supported v1 API script-specific configuration "
        "load method");
    return 0;
  }
  if (descriptor_->load_script && descriptor_->load_script(config_, data_, host_arguments) != 0) {
    TakeLibraryError("Error loading script-specific configuration");
    return 0;
  }
  return 1;
}

}  // namespace pexo
