#include "values/config.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace pexo {
namespace {

// Expansions of the settings table's columns.
#define PEXO_TYPE_TEXT SettingType::kText
#define PEXO_TYPE_INTEGER SettingType::kInteger
#define PEXO_TYPE_BOOLEAN SettingType::kBoolean
#define PEXO_TYPE_BITS SettingType::kBits
#define PEXO_DEF_NONE SettingDefault::kNone, 0, nullptr
#define PEXO_DEF_INT(v) SettingDefault::kBuiltIn, v, nullptr
#define PEXO_DEF_TEXT(s) SettingDefault::kBuiltIn, 0, s
#define PEXO_DEF_POSIX(s) SettingDefault::kPlatform, 0, s
#define PEXO_DEF_SERVER_NAME SettingDefault::kServerName, 0, nullptr
#define PEXO_XML_NO_XML nullptr, nullptr
#define PEXO_XML_XML(element, attributes) element, attributes
#define PEXO_XML_XML_SECTION(attribute) "", attribute
#define PEXO_SCRIPT_SHOWN true
#define PEXO_SCRIPT_HIDDEN false
#define PEXO_SETTING_ROW(id, key, name, type, unit, def, xml, script)                      \
  {CFG_##id, name, PEXO_TYPE_##type, unit, PEXO_DEF_##def, PEXO_XML_##xml, PEXO_SCRIPT_##script},

constexpr Setting kSettings[] = {PEXO_CONFIG_LIST(PEXO_SETTING_ROW)};

#define PEXO_KEY_NAME_SHOWN(id, name) {name, CFG_##id},
#define PEXO_KEY_NAME_HIDDEN(id, name)
#define PEXO_KEY_NAME(id, key, name, type, unit, def, xml, script) PEXO_KEY_NAME_##script(id, name)

const ConfigKeyName kKeys[] = {PEXO_CONFIG_LIST(PEXO_KEY_NAME){nullptr, 0}};

#undef PEXO_TYPE_TEXT
#undef PEXO_TYPE_INTEGER
#undef PEXO_TYPE_BOOLEAN
#undef PEXO_TYPE_BITS
#undef PEXO_DEF_NONE
#undef PEXO_DEF_INT
#undef PEXO_DEF_TEXT
#undef PEXO_DEF_POSIX
#undef PEXO_DEF_SERVER_NAME
#undef PEXO_XML_NO_XML
#undef PEXO_XML_XML
#undef PEXO_XML_XML_SECTION
#undef PEXO_SCRIPT_SHOWN
#undef PEXO_SCRIPT_HIDDEN
#undef PEXO_SETTING_ROW
#undef PEXO_KEY_NAME_SHOWN
#undef PEXO_KEY_NAME_HIDDEN
#undef PEXO_KEY_NAME

constexpr bool SameName(const char* a, const char* b) {
  for (; *a && *a == *b; ++a) ++b;
  return *a == *b;
}

// A row's kind bit matches its type; keys and names are unique.
constexpr bool TableIsConsistent() {
  constexpr int32_t count = static_cast<int32_t>(sizeof kSettings / sizeof kSettings[0]);
  for (int32_t i = 0; i < count; ++i) {
    const Setting& s = kSettings[i];
    bool text = (s.key & CONFIG_STRING) != 0;
    if (text == ((s.key & CONFIG_INTEGER) != 0)) return false;
    if (text != (s.type == SettingType::kText)) return false;
    if (s.text_default && !text) return false;
    for (int32_t j = 0; j < i; ++j)
      if (kSettings[j].key == s.key || SameName(kSettings[j].name, s.name)) return false;
  }
  return true;
}
static_assert(TableIsConsistent(), "settings table: kind bit, type or uniqueness wrong");

ConfigValue* NewDefault(const Setting& s) {
  if (s.text_default) return new ConfigValue(s.key, s.text_default, -1);
  return new ConfigValue(s.key, s.integer_default);
}

bool IsListSeparator(char c) { return c == ',' || std::isspace(static_cast<unsigned char>(c)); }

}  // namespace

const Setting* Settings(int32_t* count) {
  *count = static_cast<int32_t>(sizeof kSettings / sizeof kSettings[0]);
  return kSettings;
}

const Setting* FindSetting(int32_t key) {
  for (const Setting& s : kSettings)
    if (s.key == key) return &s;
  return nullptr;
}

const ConfigKeyName* ConfigKeys() { return kKeys; }

int32_t FindConfigKey(const char* name, int32_t length) {
  length = text_length(name, length);
  for (const ConfigKeyName* k = kKeys; k->name; ++k)
    if (equals_nocase(name, length, k->name, static_cast<int32_t>(std::strlen(k->name))))
      return k->key;
  return 0;
}

ConfigValue::ConfigValue(int32_t k, const char* text_in, int32_t length_in) : key(k) {
  length = text_length(text_in, length_in);
  text = copy_text(text_in, length);
  owned = true;
}

ConfigValue::~ConfigValue() {
  if (owned) std::free(text);
}

// Keys are hashed by their four bytes in a case-sensitive table.
Config::Config() : values_(true, false, 12, 512) {}

Config::Config(const Config& parent) : values_(true, false, 12, 512) {
  for (int32_t i = 0; i < parent.values_.count(); ++i) {
    const ConfigValue* v = parent.values_.at(i);
    if (!v) continue;
    if (v->key & CONFIG_STRING)
      Store(new ConfigValue(v->key, v->text ? v->text : "", v->length));
    else
      Store(new ConfigValue(v->key, v->integer));
  }
}

Config::~Config() = default;

ConfigValue* Config::Lookup(int32_t key, bool with_default) {
  ConfigValue* value = values_.find(reinterpret_cast<const char*>(&key), sizeof key);
  if (value || !with_default) return value;
  value = DefaultValue(key);
  if (value) Store(value);
  return value;
}

void Config::Store(ConfigValue* value) {
  const char* name = reinterpret_cast<const char*>(&value->key);
  int32_t index = values_.find_index(name, sizeof value->key);
  if (index >= 0)
    values_.replace(index, value);  // destroys the previous entry
  else
    values_.insert(name, sizeof value->key, value);
  if (value->key == CFG_ENABLE_DEPRECATED) deprecated_parsed_ = false;
}

bool Config::IsStored(int32_t key) const {
  return values_.find(reinterpret_cast<const char*>(&key), sizeof key) != nullptr;
}

int32_t Config::GetInteger(int32_t key) {
  if (!(key & CONFIG_INTEGER)) return -1;
  ConfigValue* value = Lookup(key, true);
  return value ? value->integer : -1;
}

const char* Config::GetString(int32_t key, int32_t* length) {
  *length = 0;
  if (!(key & CONFIG_STRING)) return nullptr;
  ConfigValue* value = Lookup(key, true);
  if (!value || !value->text) return nullptr;
  *length = value->length;
  return value->text;
}

int Config::SetString(int32_t key, const char* text, int32_t length, bool owned) {
  if (!(key & CONFIG_STRING)) {
    if (owned) std::free(const_cast<char*>(text));
    return 0;
  }
  length = text_length(text, length);
  ConfigValue* value;
  if (owned) {
    value = new ConfigValue(key, 0);
    value->text = const_cast<char*>(text);
    value->length = length;
    value->owned = true;
  } else {
    value = new ConfigValue(key, text, length);
  }
  Store(value);
  return 1;
}

int Config::SetInteger(int32_t key, int32_t value) {
  if (!(key & CONFIG_INTEGER)) return 0;
  Store(new ConfigValue(key, value));
  return 1;
}

ConfigValue* Config::DefaultValue(int32_t key) {
  const Setting* s = FindSetting(key);
  if (!s || s->default_kind != SettingDefault::kBuiltIn) return nullptr;
  return NewDefault(*s);
}

bool Config::DeprecatedEnabled(const char* name, int32_t length) {
  length = text_length(name, length);
  if (!deprecated_parsed_) {
    deprecated_.clear();
    int32_t list_length = 0;
    const char* list = GetString(CFG_ENABLE_DEPRECATED, &list_length);
    int32_t i = 0;
    while (i < list_length) {
      while (i < list_length && IsListSeparator(list[i])) ++i;
      int32_t start = i;
      while (i < list_length && !IsListSeparator(list[i])) ++i;
      if (i > start) deprecated_.emplace_back(list + start, i - start);
    }
    deprecated_parsed_ = true;
  }
  for (const String& feature : deprecated_)
    if (feature.equals_nocase(name, length)) return true;
  return false;
}

ConfigValue* PosixConfig::DefaultValue(int32_t key) {
  const Setting* s = FindSetting(key);
  if (s && s->default_kind == SettingDefault::kPlatform) return NewDefault(*s);
  return Config::DefaultValue(key);
}

}  // namespace pexo
