// The configuration family of the extension API: what a configuration
// library may do while it initialises. The handle is the request's
// ServerConfig. Built-in function libraries are the configuration's "system"
// entries and named system libraries its "externalCall" entries, so they
// reach the library managers exactly as configured ones do.
#include <cstring>

#include "api/api_context.h"
#include "values/server_config.h"

using namespace pexo;

namespace {

ServerConfig* AsConfig(PexoConfig* config) { return reinterpret_cast<ServerConfig*>(config); }

bool Usable(const char* text) { return text && *text; }

int32_t Length(const char* text) { return static_cast<int32_t>(strlen(text)); }

}  // namespace

extern "C" {

int pxConfig_Register_Library_Builtin(PexoConfig* config, const char* path) {
  if (!config || !Usable(path)) return 0;
  AsConfig(config)->AddSystemLibrary(path, Length(path));
  return 1;
}

int pxConfig_Register_Library_System(PexoConfig* config, const char* name, const char* path) {
  if (!config || !Usable(name) || !Usable(path)) return 0;
  AsConfig(config)->AddExternalCallLibrary(name, Length(name), path, Length(path));
  return 1;
}

int pxConfig_Register_Library_Commerce(PexoConfig* config, const char* name, const char* path) {
  if (!config || !Usable(name) || !Usable(path)) return 0;
  AsConfig(config)->AddCommerceLibrary(name, Length(name), path, Length(path));
  return 1;
}

int pxConfig_Register_Library_Database(PexoConfig* config, const char* name, const char* path) {
  if (!config || !Usable(name) || !Usable(path)) return 0;
  AsConfig(config)->AddDatabaseLibrary(name, Length(name), path, Length(path));
  return 1;
}

int pxConfig_SetValue(PexoConfig* config, int32_t setting, const char* text) {
  if (!config || !text) return 0;
  return AsConfig(config)->SetString(setting, text, Length(text));
}

int pxConfig_SetValue_Integer(PexoConfig* config, int32_t setting, int32_t value) {
  if (!config) return 0;
  return AsConfig(config)->SetInteger(setting, value);
}

int pxConfig_SetVariable_Global(PexoConfig* config, const char* name, int32_t length,
                                const char* value, int32_t value_length) {
  if (!config || !name || (length < 0 ? !*name : length == 0)) return 0;
  if (!value) value_length = 0;
  AsConfig(config)->AddStartupVariable(false, name, length, value ? value : "", value_length);
  return 1;
}

int pxConfig_SetVariable_System(PexoConfig* config, const char* name, int32_t length,
                                const char* value, int32_t value_length) {
  if (!config || !name || (length < 0 ? !*name : length == 0)) return 0;
  if (!value) value_length = 0;
  AsConfig(config)->AddStartupVariable(true, name, length, value ? value : "", value_length);
  return 1;
}

int pxConfig_Set_DefaultErrorSetting(PexoConfig* config, const char* tag, int32_t length,
                                     int32_t setting) {
  if (!config || !tag) return 0;
  return AsConfig(config)->SetErrorSetting(tag, length, setting);
}

}  // extern "C"
