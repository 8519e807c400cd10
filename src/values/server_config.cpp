#include "values/server_config.h"

#include <cstring>

namespace pexo {

ServerConfig::ServerConfig(const ServerConfig& parent)
    : PosixConfig(parent),
      libraries_(parent.libraries_),
      startup_(parent.startup_),
      error_sink_(parent.error_sink_),
      server_name_(parent.server_name_) {}

ConfigValue* ServerConfig::DefaultValue(int32_t key) {
  const Setting* setting = FindSetting(key);
  if (setting && setting->default_kind == SettingDefault::kServerName && server_name_.length() > 0)
    return new ConfigValue(key, server_name_.data(), server_name_.length());
  return PosixConfig::DefaultValue(key);
}

void ServerConfig::AddStartupVariable(bool system, const char* name, int32_t length,
                                      const char* value, int32_t value_length) {
  String key(name, length);
  for (StartupVariable& v : startup_) {
    if (v.system == system && equals_nocase(v.name.data(), v.name.length(), key.data(),
                                            key.length())) {
      v.value.assign(value, value_length);
      return;
    }
  }
  startup_.push_back(StartupVariable{system, key, String(value, value_length)});
}

void ServerConfig::AddLibrary(int32_t type, const char* code, int32_t code_length,
                              const char* library, int32_t length) {
  libraries_.push_back(ConfiguredLibrary{type, String(code ? code : "", code ? code_length : 0),
                                         String(library, length)});
}

void ServerConfig::AddSystemLibrary(const char* library, int32_t length) {
  AddLibrary(LIBRARY_SYSTEM, nullptr, 0, library, length);
}

void ServerConfig::AddDatabaseLibrary(const char* code, int32_t code_length, const char* library,
                                      int32_t length) {
  AddLibrary(LIBRARY_DATABASE, code, code_length, library, length);
}

void ServerConfig::AddCommerceLibrary(const char* code, int32_t code_length, const char* library,
                                      int32_t length) {
  AddLibrary(LIBRARY_COMMERCE, code, code_length, library, length);
}

void ServerConfig::AddExternalCallLibrary(const char* code, int32_t code_length,
                                          const char* library, int32_t length) {
  AddLibrary(LIBRARY_EXTERNAL_CALL, code, code_length, library, length);
}

int ServerConfig::SetErrorSetting(const char* name, int32_t length, int32_t flags) {
  if (!error_sink_) return 0;
  return error_sink_->SetTagErrorFlags(name, text_length(name, length), flags) ? 1 : 0;
}

int32_t ServerConfig::ErrorFlagsFromText(const char* text) {
  if (!text) return 0;
  int32_t flags = 0;
  if (std::strstr(text, "fatal")) flags |= 2;
  if (std::strstr(text, "display")) flags |= 1;
  return flags;
}

int ServerConfig::SetErrorSettingText(const char* name, int32_t length, const char* text) {
  return SetErrorSetting(name, length, ErrorFlagsFromText(text));
}

}  // namespace pexo
