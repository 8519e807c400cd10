#include "host/script_settings.h"

#include "vm/pexo_vm.h"

namespace pexo {

ScriptSettings::ScriptSettings(ServerConfig* config, const volatile int64_t* deadline)
    : config_(config), deadline_(deadline) {
  for (int32_t& flags : tag_flags_) flags = -1;
  // Both languages are "en-US" until a script sets them.
  settings_.Set(SETTING_LANGUAGE, "en-US", 5);
  settings_.Set(SETTING_DEFAULT_LANGUAGE, "en-US", 5);
}

bool ScriptSettings::Library(int32_t kind, int32_t index, String* name, String* value) {
  int32_t type = kind == LIBRARIES_COMMERCE ? LIBRARY_COMMERCE
                 : kind == LIBRARIES_DATABASE ? LIBRARY_DATABASE
                                              : LIBRARY_SYSTEM;
  int32_t seen = 0;
  for (const ConfiguredLibrary& library : config_->Libraries()) {
    if (library.type != type) continue;
    if (seen++ != index) continue;
    // Coded libraries are known by their code, system libraries by path.
    name->assign(library.code.length() > 0 ? library.code : library.library);
    value->assign(library.library);
    return true;
  }
  return false;
}

bool ScriptSettings::SetTagErrorFlags(const char* name, int32_t length, int32_t flags) {
  int32_t tag = TagErrorTable::find(name, length);
  if (tag < 0 || tag >= kTagCount) return false;
  tag_flags_[tag] = flags;
  return true;
}

void ScriptSettings::ApplyTagFlags(PexoVM* machine) const {
  for (int32_t tag = 0; tag < kTagCount; ++tag) {
    if (tag_flags_[tag] >= 0) machine->tags().set_flags(tag, tag_flags_[tag]);
  }
}

int ScriptSettings::SetLanguage(const char* name, int32_t length, bool default_language) {
  if (!name) return 0;
  SetSetting(default_language ? SETTING_DEFAULT_LANGUAGE : SETTING_LANGUAGE, name,
             text_length(name, length));
  return 1;
}

int ScriptSettings::SetDefaultDatabase(const char* name, int32_t length) {
  if (!name) return 0;
  SetSetting(SETTING_DEFAULT_DATABASE, name, text_length(name, length));
  return 1;
}

int ScriptSettings::SetProcessName(const char* name, int32_t length) {
  if (!name) return 0;
  process_name_.assign(name, text_length(name, length));
  return 1;
}

}  // namespace pexo
