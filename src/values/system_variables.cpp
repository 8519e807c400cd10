#include "values/system_variables.h"

#include <cstring>
#include <new>

#include "values/config.h"
#include "values/configuration_variables.h"
#include "values/conversions.h"
#include "values/time_variables.h"
#include "values/variable_hash.h"

namespace pexo {

// ------------------------------------------------------- RequestSettings

const String& RequestSettings::Get(int32_t setting) const {
  static const String kEmpty;
  return setting >= 0 && setting < SETTING_COUNT ? values_[setting] : kEmpty;
}

void RequestSettings::Set(int32_t setting, const char* text, int32_t length) {
  if (setting < 0 || setting >= SETTING_COUNT) return;
  values_[setting].assign(text ? text : "", text ? length : 0);
  ++changes_[setting];
}

int32_t RequestSettings::Changes(int32_t setting) const {
  return setting >= 0 && setting < SETTING_COUNT ? changes_[setting] : 0;
}

// ------------------------------------------------------- SettingVariable

SettingVariable::SettingVariable(SystemVariableHost* host, int32_t setting, const char* name)
    : DynamicImmutableVariable(name), host_(host), setting_(setting) {
  MakeImmutable();
}

int SettingVariable::IsCurrent() {
  return seen_ && seen_changes_ == host_->SettingChanges(setting_);
}

void SettingVariable::Refresh() {
  const String& value = host_->Setting(setting_);
  StoreText(value.data(), value.length());
  seen_changes_ = host_->SettingChanges(setting_);
  seen_ = true;
}

int SettingVariable::Assign(const char* text, int32_t length) {
  host_->SetSetting(setting_, text, length);
  StoreText(text, length);
  seen_changes_ = host_->SettingChanges(setting_);
  seen_ = true;
  return 1;
}

int SettingVariable::SetValue_Variable(Variable* source) {
  if (!source) return 0;
  if (source == this) return 1;
  const String& text = source->Value();
  String copy(text.data(), text.length());  // the source may be this scope's own text
  return Assign(copy.data(), copy.length());
}

int SettingVariable::SetValue(const char* text, int32_t length) {
  String copy(text ? text : "", text ? length : 0);
  return Assign(copy.data(), copy.length());
}

int SettingVariable::SetValue_Nocopy(char* text, int32_t length, int32_t size) {
  String adopted;
  if (text) adopted.adopt(text, length, size);
  return Assign(adopted.data(), adopted.length());
}

int SettingVariable::SetValue_Integer(int32_t value) {
  char digits[kIntegerTextSize];
  int32_t length = FormatInteger(value, digits);
  return Assign(digits, length);
}

int SettingVariable::SetValue_Decimal(const mpd_t* value) {
  String text;
  if (value && !DecimalToString(value, &text)) return 0;
  return Assign(text.data(), text.length());
}

int SettingVariable::SetValue_Decimal_Nocopy(mpd_t* value) {
  int done = SetValue_Decimal(value);
  if (value && value != decimal_) mpd_del(value);
  return done;
}

// --------------------------------------------- SSL and process name

SSLAvailableVariable::SSLAvailableVariable(SystemVariableHost* host)
    : DynamicImmutableVariable("pexo_sslavailable"), host_(host) {
  MakeImmutable();
}

void SSLAvailableVariable::Refresh() {
  done_ = 1;
  StoreInteger(host_->SSLAvailable());
}

ProcessNameVariable::ProcessNameVariable(SystemVariableHost* host)
    : DynamicImmutableVariable("process_name"), host_(host) {
  MakeImmutable();
}

void ProcessNameVariable::Refresh() {
  done_ = 1;
  const String& name = host_->ProcessName();
  StoreText(name.data(), name.length());
}

// --------------------------------------------------------------- filling

namespace {

// The system variables in their order of entry: the start-time fields,
// "globaltimeout", "pexoversion", then the live ones (clock fields, time
// remaining, the four settings, SSL, "pexo_config", process name).
enum SystemVariableKind : int32_t {
  kStartTime = 0,
  kGlobalTimeout = kStartTime + TIME_FIELD_COUNT,
  kVersion,
  kLiveTime,
  kTimeRemaining = kLiveTime + TIME_FIELD_COUNT,
  kLanguage,
  kDefaultLanguage,
  kDefaultDatabase,
  kCharacterSet,
  kSslAvailable,
  kConfiguration,
  kProcessName,
  kSystemVariableKinds,
};

// The entry name of a kind: the name its variable carries.
const char* KindName(int32_t kind) {
  static const char* const kLiveTimeNames[TIME_FIELD_COUNT] = {
      "dyn_time_t",  "dyn_tm_usec", "dyn_tm_sec",   "dyn_tm_min",   "dyn_tm_hour",
      "dyn_tm_mday", "dyn_tm_mon",  "dyn_stm_mon",  "dyn_tm_year",  "dyn_tm_wday",
      "dyn_stm_wday", "dyn_tm_yday", "dyn_tm_isdst", "dyn_stm_zone"};
  static const char* const kOtherNames[] = {
      "dyn_time_remaining",   "pexo_language",     "pexo_defaultlanguage",
      "pexo_defaultdatabase", "pexo_charset",      "pexo_sslavailable",
      "pexo_config",          "process_name"};
  if (kind < kGlobalTimeout) return TimeFieldName(kind - kStartTime);
  if (kind == kGlobalTimeout) return "globaltimeout";
  if (kind == kVersion) return "pexoversion";
  if (kind < kTimeRemaining) return kLiveTimeNames[kind - kLiveTime];
  return kOtherNames[kind - kTimeRemaining];
}

// The kinds' names with their hashes, the same on every request. They are
// all lower case, which every locale folds to itself, so the hash does not
// depend on the locale in force when it is taken.
struct KindNames {
  KindNames() {
    for (int32_t kind = 0; kind < kSystemVariableKinds; ++kind) {
      text[kind] = KindName(kind);
      length[kind] = static_cast<int32_t>(std::strlen(text[kind]));
      hash[kind] = VariableHash::NameHash(text[kind], length[kind]);
    }
  }
  const char* text[kSystemVariableKinds];
  int32_t length[kSystemVariableKinds];
  uint32_t hash[kSystemVariableKinds];
};

const KindNames& PreparedKindNames() {
  static const KindNames names;
  return names;
}

ImmutableVariable* NewFixed(const char* name, const char* text, int32_t integer, bool is_text) {
  ImmutableVariable* v = new (std::nothrow) ImmutableVariable(name);
  if (!v) return nullptr;
  if (is_text)
    v->SetValue(text);
  else
    v->SetValue_Integer(integer);
  v->MakeImmutable();
  return v;
}

// A new variable of a kind (count 1), or null when out of memory.
Variable* NewSystemVariable(int32_t kind, const TimeReading& start, int32_t global_timeout,
                            Config* config, SystemVariableHost* host) {
  if (kind < kGlobalTimeout) return NewStartTimeVariable(start, kind - kStartTime);
  if (kind >= kLiveTime && kind < kTimeRemaining)
    return new (std::nothrow) DynamicTimeVariable(kind - kLiveTime);
  switch (kind) {
    case kGlobalTimeout: return NewFixed("globaltimeout", nullptr, global_timeout, false);
    case kVersion: return NewFixed("pexoversion", kPexoVersion, 0, true);
    case kTimeRemaining: return new (std::nothrow) TimeRemainingVariable(host->GlobalDeadline());
    case kLanguage: return new (std::nothrow) LanguageVariable(host);
    case kDefaultLanguage: return new (std::nothrow) DefaultLanguageVariable(host);
    case kDefaultDatabase: return new (std::nothrow) DefaultDatabaseVariable(host);
    case kCharacterSet: return new (std::nothrow) CharacterSetVariable(host);
    case kSslAvailable: return new (std::nothrow) SSLAvailableVariable(host);
    case kConfiguration: return new (std::nothrow) ConfigurationAggregateVariable(config, host);
    case kProcessName: return new (std::nothrow) ProcessNameVariable(host);
    default: return nullptr;
  }
}

// Inserts `variable` (whose reference is handed over) into the scope. A
// name the program declared keeps its entry number and gets this variable.
bool Put(VariableHash* scope, Variable* variable, String* error) {
  if (!variable) {
    error->assign("Out of memory creating system variables");
    return false;
  }
  int32_t index = scope->ReplaceVariable(variable);
  variable->Release();
  if (index < 0) {
    error->assign("Unable to create system variable ");
    error->append(variable->Name());
    return false;
  }
  return true;
}

bool PutKinds(VariableHash* scope, int32_t first, int32_t end, const TimeReading& start,
              int32_t global_timeout, Config* config, SystemVariableHost* host,
              String* error) {
  for (int32_t kind = first; kind < end; ++kind)
    if (!Put(scope, NewSystemVariable(kind, start, global_timeout, config, host), error))
      return false;
  return true;
}

}  // namespace

bool FillSystemVariables(VariableHash* scope, Config* config, SystemVariableHost* host,
                         const struct timeval& start, String* error) {
  String ignored;
  if (!error) error = &ignored;
  return PutKinds(scope, kStartTime, kSystemVariableKinds, ReadTime(start),
                  config->GetInteger(CFG_TIMEOUT_GLOBAL), config, host, error);
}

bool FillLiveSystemVariables(VariableHash* scope, Config* config, SystemVariableHost* host,
                             String* error) {
  String ignored;
  if (!error) error = &ignored;
  return PutKinds(scope, kLiveTime, kSystemVariableKinds, TimeReading(), 0, config, host, error);
}

bool DeferredSystemVariables::Fill(SystemVariableHash* scope, Config* config,
                                   SystemVariableHost* host, const struct timeval& start,
                                   String* error) {
  String ignored;
  if (!error) error = &ignored;
  config_ = config;
  host_ = host;
  start_ = ReadTime(start);
  global_timeout_ = config->GetInteger(CFG_TIMEOUT_GLOBAL);
  const KindNames& names = PreparedKindNames();
  for (int32_t kind = kStartTime; kind < kSystemVariableKinds; ++kind) {
    // What cannot be deferred is made at once, with its errors.
    if (scope->Defer(names.text[kind], names.length[kind], names.hash[kind], this, kind, true) < 0 &&
        !Put(scope, Make(kind, nullptr, 0), error))
      return false;
  }
  return true;
}

Variable* DeferredSystemVariables::Make(int32_t kind, const char*, int32_t) {
  return NewSystemVariable(kind, start_, global_timeout_, config_, host_);
}

}  // namespace pexo
