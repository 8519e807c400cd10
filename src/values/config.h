// Config: the per-request key/value store of engine settings.
//
// A key is a 32-bit number: bit 0x1000000 marks an integer key, bit
// 0x2000000 a text key, the low bits number the key. The store starts empty;
// a key read before it was set is given its built-in default on first read
// and the default is then stored. Keys without a default read as -1 (integer)
// or as none with length 0 (text). Reads of the wrong kind return the same.
// Not thread-safe: a store belongs to one request (a background task gets a
// copy of its parent's store).
#ifndef PEXO_VALUES_CONFIG_H_
#define PEXO_VALUES_CONFIG_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "values/hash_table.h"
#include "values/string.h"

namespace pexo {

constexpr int32_t CONFIG_INTEGER = 0x1000000;
constexpr int32_t CONFIG_STRING = 0x2000000;

// Key numbers. The names of the pexo_config members are in ConfigKeys().
enum ConfigKey : int32_t {
  CFG_DIR_PEXO = 0x2000001,
  CFG_DIR_COMMERCE = 0x2000002,
  CFG_DIR_TEMP = 0x2000003,
  CFG_DIR_DATA = 0x2000004,
  CFG_DIR_USER = 0x2000019,
  CFG_DIR_BUILTIN = 0x200001e,
  CFG_DIR_CA = 0x2000016,
  CFG_FILE_CA = 0x2000033,
  CFG_LOG_LEVEL = 0x1000005,
  CFG_LOG_FILE = 0x2000006,
  CFG_LOG_FILTER = 0x2000025,
  CFG_LOG_COOKIE = 0x2000028,
  CFG_TIMEOUT_GLOBAL = 0x1000007,
  CFG_TIMEOUT_MAIL = 0x1000008,
  CFG_TIMEOUT_CALL = 0x1000009,
  CFG_TIMEOUT_FILE = 0x100000a,
  CFG_TIMEOUT_POST = 0x1000026,
  CFG_TIMEOUT_ASYNC = 0x1000031,
  CFG_TIMEOUT_ASYNC_SLEEP = 0x1000032,
  CFG_DELAY_FILE = 0x100000b,
  CFG_COOKIES = 0x100000c,
  CFG_BUFSZ_IMPORT = 0x100000d,
  CFG_BUFSZ_TEMPLATE = 0x100000e,
  CFG_BUFSZ_CALL = 0x100000f,
  CFG_BUFSZ_SMTP = 0x1000010,
  CFG_BUFSZ_CONTENT = 0x1000011,
  CFG_BUFSZ_OUTPUT = 0x1000012,
  CFG_BUFSZ_OUTPUT_FLUSH = 0x100001d,
  CFG_MAX_FILES = 0x1000013,
  CFG_MAX_DOCACHE = 0x1000021,
  CFG_MAX_POST_VARS = 0x1000027,
  CFG_MAX_UNKNOWN_CONTENT_LENGTH = 0x1000028,
  CFG_MAX_ASYNC_TASKS = 0x1000030,
  CFG_MAX_REQUEST_MEMORY = 0x1000042,  // MiB; 0 = no limit
  CFG_LOCK_EXPIRATION = 0x1000014,
  CFG_LOCK_HOSTNAME = 0x2000015,
  CFG_DEFAULT_FILE = 0x2000017,
  CFG_FLAGS_SECURITY = 0x1000018,
  CFG_INFO_SERVERADMIN = 0x200001a,
  CFG_SSL_CONFIG = 0x200001d,
  CFG_SSL_OPENSSL = 0x200001b,
  CFG_SSL_CRYPTO = 0x200001c,
  CFG_SSL_SNI = 0x1000029,
  CFG_ERROR_SYSLOG = 0x2000034,
  CFG_ERROR_SYSLOG_IDENT = 0x2000035,
  CFG_ERROR_SYSLOG_FACILITY = 0x2000036,
  CFG_ERROR_SYSLOG_PRIORITY = 0x2000037,
  CFG_SLOWREQUEST_SYSLOG = 0x100003d,
  CFG_SLOWREQUEST_SYSLOG_IDENT = 0x200003e,
  CFG_SLOWREQUEST_SYSLOG_FACILITY = 0x200003f,
  CFG_SLOWREQUEST_SYSLOG_PRIORITY = 0x2000040,
  CFG_SOCKS_VERSION = 0x1000038,
  CFG_SOCKS_HOST = 0x2000039,
  CFG_SOCKS_PORT = 0x100003a,
  CFG_SOCKS_USERNAME = 0x200003b,
  CFG_SOCKS_PASSWORD = 0x200003c,  // not a member of pexo_config
  CFG_ENABLE_DEPRECATED = 0x2000041,
};

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
