// Config: the per-request key/value store of engine settings.
//
// A key is a 32-bit number: bit 0x1000000 marks an integer key, bit
// 0x2000000 a text key, the low bits number the key. The store starts empty;
// a key read before it was set is given its built-in default on first read
// and the default is then stored. Keys without a default read as -1 (integer)
// or as none with length 0 (text). Reads of the wrong kind return the same.
// Not thread-safe: a store belongs to one request (a background task gets a
// copy of its parent's store). Every key, its name, type, default and place in
// the configuration file is one row of values/config_list.h.
#ifndef PEXO_VALUES_CONFIG_H_
#define PEXO_VALUES_CONFIG_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "values/config_list.h"
#include "values/hash_table.h"
#include "values/string.h"

namespace pexo {

constexpr int32_t CONFIG_INTEGER = 0x1000000;
constexpr int32_t CONFIG_STRING = 0x2000000;

// Key numbers, from the settings table (values/config_list.h).
enum ConfigKey : int32_t {
#define PEXO_CONFIG_ENUM(id, key, ...) CFG_##id = key,
  PEXO_CONFIG_LIST(PEXO_CONFIG_ENUM)
#undef PEXO_CONFIG_ENUM
};

// How the configuration file reads a setting (see config_list.h).
enum class SettingType { kText, kInteger, kBoolean, kBits };

enum class SettingDefault {
  kNone,
  kBuiltIn,     // Config's own
  kPlatform,    // PosixConfig's
  kServerName,  // the request's server name (ServerConfig)
};

// One row of the settings table.
struct Setting {
  int32_t key;
  const char* name;
  SettingType type;
  const char* unit;  // "" for none
  SettingDefault default_kind;
  int32_t integer_default;
  const char* text_default;  // null unless a text default
  const char* element;       // null: not in the file; "": the section itself
  const char* attributes;    // null when not in the file
  bool shown;                // a member of pexo_config
};

// The whole table in row order.
const Setting* Settings(int32_t* count);
// The row of a key, or null.
const Setting* FindSetting(int32_t key);

struct ConfigKeyName {
  const char* name;
  int32_t key;
};

// Every key visible as a member of pexo_config, in table order; ends with a
// null name.
const ConfigKeyName* ConfigKeys();
// Key of a pexo_config member name (case-insensitive), or 0.
int32_t FindConfigKey(const char* name, int32_t length);

struct ConfigValue {
  ConfigValue(int32_t k, int32_t value) : key(k), integer(value) {}
  // Copies the text (owned).
  ConfigValue(int32_t k, const char* text, int32_t length);
  ConfigValue(const ConfigValue&) = delete;
  ConfigValue& operator=(const ConfigValue&) = delete;
  ~ConfigValue();

  int32_t key;
  int32_t integer = 0;
  char* text = nullptr;
  int32_t length = 0;
  bool owned = false;
};

class Config {
 public:
  Config();
  // A background task's store: every stored value, texts copied.
  Config(const Config& parent);
  Config& operator=(const Config&) = delete;
  virtual ~Config();

  virtual int32_t GetInteger(int32_t key);
  // Text of a key (zero-terminated) and its length, or null with length 0.
  virtual const char* GetString(int32_t key, int32_t* length);
  // `owned`: the store takes the malloc'd text; otherwise it is copied.
  // Returns 0 for a key of the wrong kind (an owned text is then freed).
  virtual int SetString(int32_t key, const char* text, int32_t length, bool owned = false);
  virtual int SetInteger(int32_t key, int32_t value);
  // Built-in default of a key, or null.
  virtual ConfigValue* DefaultValue(int32_t key);

  // Whether the key has a stored value (set or already defaulted).
  bool IsStored(int32_t key) const;
  // enable_deprecated is a list of feature names separated by whitespace or
  // commas; a feature is enabled when its name is in the list (letter case
  // ignored).
  bool DeprecatedEnabled(const char* name, int32_t length);

 protected:
  ConfigValue* Lookup(int32_t key, bool with_default);
  void Store(ConfigValue* value);

 private:
  HashTable<ConfigValue> values_;
  bool deprecated_parsed_ = false;
  std::vector<String> deprecated_;
};

// Config with the defaults of this platform (library names for TLS).
class PosixConfig : public Config {
 public:
  PosixConfig() = default;
  PosixConfig(const PosixConfig& parent) : Config(parent) {}
  ConfigValue* DefaultValue(int32_t key) override;
};

}  // namespace pexo

#endif  // PEXO_VALUES_CONFIG_H_
