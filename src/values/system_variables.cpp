#include "values/system_variables.h"

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

}  // namespace

bool FillSystemVariables(VariableHash* scope, Config* config, SystemVariableHost* host,
                         const struct timeval& start, String* error) {
  String ignored;
  if (!error) error = &ignored;
  TimeReading reading = ReadTime(start);
  for (int32_t field = 0; field < TIME_FIELD_COUNT; ++field)
    if (!Put(scope, NewStartTimeVariable(reading, field), error)) return false;
  if (!Put(scope, NewFixed("globaltimeout", nullptr, config->GetInteger(CFG_TIMEOUT_GLOBAL), false),
           error) ||
      !Put(scope, NewFixed("pexoversion", kPexoVersion, 0, true), error))
    return false;
  return FillLiveSystemVariables(scope, config, host, error);
}

bool FillLiveSystemVariables(VariableHash* scope, Config* config, SystemVariableHost* host,
                             String* error) {
  String ignored;
  if (!error) error = &ignored;
  for (int32_t field = 0; field < TIME_FIELD_COUNT; ++field)
    if (!Put(scope, new (std::nothrow) DynamicTimeVariable(field), error)) return false;
  Variable* rest[] = {
      new (std::nothrow) TimeRemainingVariable(host->GlobalDeadline()),
      new (std::nothrow) LanguageVariable(host),
      new (std::nothrow) DefaultLanguageVariable(host),
      new (std::nothrow) DefaultDatabaseVariable(host),
      new (std::nothrow) CharacterSetVariable(host),
      new (std::nothrow) SSLAvailableVariable(host),
      new (std::nothrow) ConfigurationAggregateVariable(config, host),
      new (std::nothrow) ProcessNameVariable(host),
  };
  bool ok = true;
  for (Variable* v : rest) {
    if (!ok) {
      if (v) v->Release();
      continue;
    }
    ok = Put(scope, v, error);
  }
  return ok;
}

}  // namespace pexo
