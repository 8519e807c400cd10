// The engine's system variables, made for each request's system scope:
// the start-time fields, "globaltimeout", "pexoversion", the live clock
// variables, "dyn_time_remaining", the four setting variables, whether
// secure connections are available, the process name and "pexo_config".
//
// All are immutable from the start. The live ones compute their value on
// read; the four setting variables alone accept assignments, which go to
// the host's setting and are kept as text.
#ifndef PEXO_VALUES_SYSTEM_VARIABLES_H_
#define PEXO_VALUES_SYSTEM_VARIABLES_H_

#include <sys/time.h>

#include <cstdint>

#include "values/string.h"
#include "values/system_variable_hash.h"
#include "values/time_variables.h"
#include "values/variable.h"

namespace pexo {

class Config;
class VariableHash;

constexpr const char* kPexoVersion = "5.52";

// The four settings a script can change.
enum RequestSetting : int32_t {
  SETTING_LANGUAGE = 0,
  SETTING_DEFAULT_LANGUAGE = 1,
  SETTING_DEFAULT_DATABASE = 2,
  SETTING_CHARACTER_SET = 3,
  SETTING_COUNT = 4,
};

// Library kinds of the pexo_config lists and lookups.
enum SystemLibraryKind : int32_t {
  LIBRARIES_COMMERCE = 0,
  LIBRARIES_DATABASE = 1,
  LIBRARIES_SYSTEM = 2,
};

// What the live variables ask of the request's host.
class SystemVariableHost {
 public:
  virtual ~SystemVariableHost() = default;
  virtual const String& Setting(int32_t setting) = 0;
  // Sets a setting and counts the change.
  virtual void SetSetting(int32_t setting, const char* text, int32_t length) = 0;
  // A counter that changes on every SetSetting of that setting.
  virtual int32_t SettingChanges(int32_t setting) = 0;
  // Whether secure connections can be made (1) or not (0).
  virtual int32_t SSLAvailable() = 0;
  virtual const String& ProcessName() = 0;
  // The request's global deadline in seconds since 1970; 0 = none.
  virtual const volatile int64_t* GlobalDeadline() = 0;
  // Registered libraries of a kind, in registration order: its name and
  // what the lookup structure holds for it. False past the last one.
  virtual bool Library(int32_t kind, int32_t index, String* name, String* value) = 0;
};

// The settings with their change counters, for hosts to embed.
class RequestSettings {
 public:
  const String& Get(int32_t setting) const;
  void Set(int32_t setting, const char* text, int32_t length);
  int32_t Changes(int32_t setting) const;

 private:
  String values_[SETTING_COUNT];
  int32_t changes_[SETTING_COUNT] = {};
};

// "pexo_language" and its siblings.
class SettingVariable : public DynamicImmutableVariable {
 public:
  SettingVariable(SystemVariableHost* host, int32_t setting, const char* name);

  int IsCurrent() override;
  void Refresh() override;
  int SetValue_Variable(Variable* source) override;
  int SetValue(const char* text, int32_t length = -1) override;
  int SetValue_Nocopy(char* text, int32_t length, int32_t size) override;
  int SetValue_Integer(int32_t value) override;
  int SetValue_Decimal(const mpd_t* value) override;
  int SetValue_Decimal_Nocopy(mpd_t* value) override;

 private:
  int Assign(const char* text, int32_t length);

  SystemVariableHost* host_;
  int32_t setting_;
  int32_t seen_changes_ = 0;
  bool seen_ = false;
};

class LanguageVariable : public SettingVariable {
 public:
  explicit LanguageVariable(SystemVariableHost* host)
      : SettingVariable(host, SETTING_LANGUAGE, "pexo_language") {}
};
class DefaultLanguageVariable : public SettingVariable {
 public:
  explicit DefaultLanguageVariable(SystemVariableHost* host)
      : SettingVariable(host, SETTING_DEFAULT_LANGUAGE, "pexo_defaultlanguage") {}
};
class DefaultDatabaseVariable : public SettingVariable {
 public:
  explicit DefaultDatabaseVariable(SystemVariableHost* host)
      : SettingVariable(host, SETTING_DEFAULT_DATABASE, "pexo_defaultdatabase") {}
};
class CharacterSetVariable : public SettingVariable {
 public:
  explicit CharacterSetVariable(SystemVariableHost* host)
      : SettingVariable(host, SETTING_CHARACTER_SET, "pexo_charset") {}
};

// "pexo_sslavailable" (integer) and "process_name" (text): read from the
// host once, on first access.
class SSLAvailableVariable : public DynamicImmutableVariable {
 public:
  explicit SSLAvailableVariable(SystemVariableHost* host);
  int IsCurrent() override { return done_; }
  void Refresh() override;

 private:
  SystemVariableHost* host_;
  int done_ = 0;
};

class ProcessNameVariable : public DynamicImmutableVariable {
 public:
  explicit ProcessNameVariable(SystemVariableHost* host);
  int IsCurrent() override { return done_; }
  void Refresh() override;

 private:
  SystemVariableHost* host_;
  int done_ = 0;
};

// Makes every system variable above and inserts it into `scope` in the
// fixed order. `start` is the request's start time; `config` and `host`
// must outlive the scope's variables. False (with `error`) only when out of
// memory or the scope refuses an entry.
bool FillSystemVariables(VariableHash* scope, Config* config, SystemVariableHost* host,
                         const struct timeval& start, String* error);
// Only the variables that read the host or the clock when used (the live
// clock, the time remaining, the settings, the secure-connection flag,
// "pexo_config" and the process name), replacing those of the same names:
// what a background task's own host gives the copy of its parent's scope.
bool FillLiveSystemVariables(VariableHash* scope, Config* config, SystemVariableHost* host,
                             String* error);

// What FillSystemVariables gives, for a request that may read none of it:
// Fill declares the same entries in the same order in a system table and
// each variable is made on first use (see SystemVariableHash::Defer), the
// same variable FillSystemVariables would have stored. The start time and
// "globaltimeout" are read by Fill, the live variables when read. The object,
// `config` and `host` must outlive the scope's deferred entries.
class DeferredSystemVariables : public SystemVariableSource {
 public:
  bool Fill(SystemVariableHash* scope, Config* config, SystemVariableHost* host,
            const struct timeval& start, String* error);
  Variable* Make(int32_t kind, const char* name, int32_t length) override;

 private:
  Config* config_ = nullptr;
  SystemVariableHost* host_ = nullptr;
  TimeReading start_;
  int32_t global_timeout_ = 0;
};

}  // namespace pexo

#endif  // PEXO_VALUES_SYSTEM_VARIABLES_H_
