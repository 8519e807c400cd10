// ScriptSettings: what a script may change about its request and what the
// live system variables read: the settings with their change counters
// (language, default language, default database), the process name, the
// registered libraries of `pexo_config`, and the configured tag error
// flags, kept until the machine exists and then applied to it.
//
// The configuration and the deadline are borrowed from the application.
#ifndef PEXO_HOST_SCRIPT_SETTINGS_H_
#define PEXO_HOST_SCRIPT_SETTINGS_H_

#include <cstdint>

#include "values/server_config.h"
#include "values/string.h"
#include "values/system_variables.h"
#include "vm/error_table.h"

namespace pexo {

class PexoVM;

class ScriptSettings : public SystemVariableHost, public ErrorSettingsSink {
 public:
  // `deadline`: the global deadline the request thread last set.
  ScriptSettings(ServerConfig* config, const volatile int64_t* deadline);

  // SystemVariableHost.
  const String& Setting(int32_t setting) override { return settings_.Get(setting); }
  void SetSetting(int32_t setting, const char* text, int32_t length) override {
    settings_.Set(setting, text, length);
  }
  int32_t SettingChanges(int32_t setting) override { return settings_.Changes(setting); }
  int32_t SSLAvailable() override { return 0; }
  const String& ProcessName() override { return process_name_; }
  const volatile int64_t* GlobalDeadline() override { return deadline_; }
  bool Library(int32_t kind, int32_t index, String* name, String* value) override;

  // ErrorSettingsSink.
  bool SetTagErrorFlags(const char* name, int32_t length, int32_t flags) override;
  // The configured tag flags onto a new machine.
  void ApplyTagFlags(PexoVM* machine) const;

  // The program handle's changes: 1 when made, 0 for a null name.
  int SetLanguage(const char* name, int32_t length, bool default_language);
  int SetDefaultDatabase(const char* name, int32_t length);
  int SetProcessName(const char* name, int32_t length);

 private:
  ServerConfig* config_;
  const volatile int64_t* deadline_;
  RequestSettings settings_;
  String process_name_;
  // Tag error flags from the configuration; -1 = keep the default.
  int32_t tag_flags_[kTagCount];
};

}  // namespace pexo

#endif  // PEXO_HOST_SCRIPT_SETTINGS_H_
