#include "values/config.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace pexo {
namespace {

const ConfigKeyName kKeys[] = {
    {"dir_pexo", CFG_DIR_PEXO},
    {"dir_commerce", CFG_DIR_COMMERCE},
    {"dir_temp", CFG_DIR_TEMP},
    {"dir_data", CFG_DIR_DATA},
    {"dir_user", CFG_DIR_USER},
    {"dir_builtin", CFG_DIR_BUILTIN},
    {"dir_ca", CFG_DIR_CA},
    {"file_ca", CFG_FILE_CA},
    {"log_level", CFG_LOG_LEVEL},
    {"log_file", CFG_LOG_FILE},
    {"log_filter", CFG_LOG_FILTER},
    {"log_cookie", CFG_LOG_COOKIE},
    {"timeout_global", CFG_TIMEOUT_GLOBAL},
    {"timeout_mail", CFG_TIMEOUT_MAIL},
    {"timeout_call", CFG_TIMEOUT_CALL},
    {"timeout_file", CFG_TIMEOUT_FILE},
    {"timeout_post", CFG_TIMEOUT_POST},
    {"timeout_async", CFG_TIMEOUT_ASYNC},
    {"timeout_async_sleep", CFG_TIMEOUT_ASYNC_SLEEP},
    {"delay_file", CFG_DELAY_FILE},
    {"cookies", CFG_COOKIES},
    {"bufsz_import", CFG_BUFSZ_IMPORT},
    {"bufsz_template", CFG_BUFSZ_TEMPLATE},
    {"bufsz_call", CFG_BUFSZ_CALL},
    {"bufsz_smtp", CFG_BUFSZ_SMTP},
    {"bufsz_content", CFG_BUFSZ_CONTENT},
    {"bufsz_output", CFG_BUFSZ_OUTPUT},
    {"bufsz_output_flush", CFG_BUFSZ_OUTPUT_FLUSH},
    {"max_files", CFG_MAX_FILES},
    {"max_docache", CFG_MAX_DOCACHE},
    {"max_post_vars", CFG_MAX_POST_VARS},
    {"max_unknown_content_length", CFG_MAX_UNKNOWN_CONTENT_LENGTH},
    {"max_async_tasks", CFG_MAX_ASYNC_TASKS},
    {"max_request_memory", CFG_MAX_REQUEST_MEMORY},
    {"lock_expiration", CFG_LOCK_EXPIRATION},
    {"lock_hostname", CFG_LOCK_HOSTNAME},
    {"default_file", CFG_DEFAULT_FILE},
    {"flags_security", CFG_FLAGS_SECURITY},
    {"info_serveradmin", CFG_INFO_SERVERADMIN},
    {"ssl_config", CFG_SSL_CONFIG},
    {"ssl_openssl", CFG_SSL_OPENSSL},
    {"ssl_crypto", CFG_SSL_CRYPTO},
    {"ssl_sni", CFG_SSL_SNI},
    {"error_syslog", CFG_ERROR_SYSLOG},
    {"error_syslog_ident", CFG_ERROR_SYSLOG_IDENT},
    {"error_syslog_facility", CFG_ERROR_SYSLOG_FACILITY},
    {"error_syslog_priority", CFG_ERROR_SYSLOG_PRIORITY},
    {"slowrequest_syslog", CFG_SLOWREQUEST_SYSLOG},
    {"slowrequest_syslog_ident", CFG_SLOWREQUEST_SYSLOG_IDENT},
    {"slowrequest_syslog_facility", CFG_SLOWREQUEST_SYSLOG_FACILITY},
    {"slowrequest_syslog_priority", CFG_SLOWREQUEST_SYSLOG_PRIORITY},
    {"socks_version", CFG_SOCKS_VERSION},
    {"socks_host", CFG_SOCKS_HOST},
    {"socks_port", CFG_SOCKS_PORT},
    {"socks_username", CFG_SOCKS_USERNAME},
    {"enable_deprecated", CFG_ENABLE_DEPRECATED},
    {nullptr, 0},
};

struct IntegerDefault {
  int32_t key;
  int32_t value;
};

const IntegerDefault kIntegerDefaults[] = {
    {CFG_LOG_LEVEL, 0},
    {CFG_TIMEOUT_GLOBAL, 90},
    {CFG_TIMEOUT_MAIL, 30},
    {CFG_TIMEOUT_CALL, 30},
    {CFG_TIMEOUT_FILE, 30},
    {CFG_TIMEOUT_POST, 30},
    {CFG_TIMEOUT_ASYNC, 3600},
    {CFG_TIMEOUT_ASYNC_SLEEP, 86400},
    {CFG_DELAY_FILE, 100},
    {CFG_COOKIES, 0},
    {CFG_BUFSZ_IMPORT, 8192},
    {CFG_BUFSZ_TEMPLATE, 8192},
    {CFG_BUFSZ_CALL, 8192},
    {CFG_BUFSZ_SMTP, 8192},
    {CFG_BUFSZ_CONTENT, 8192},
    {CFG_BUFSZ_OUTPUT, 8192},
    {CFG_BUFSZ_OUTPUT_FLUSH, 1048576},
    {CFG_MAX_FILES, 0},
    {CFG_MAX_DOCACHE, 0},
    {CFG_MAX_POST_VARS, 2000},
    {CFG_MAX_UNKNOWN_CONTENT_LENGTH, 1048576},
    {CFG_MAX_ASYNC_TASKS, 0},
    {CFG_MAX_REQUEST_MEMORY, 256},
    {CFG_LOCK_EXPIRATION, 90},
    {CFG_FLAGS_SECURITY, 0},
    {CFG_SSL_SNI, -1},
    {CFG_SOCKS_VERSION, 4},
    {CFG_SOCKS_PORT, 1080},
};

struct StringDefault {
  int32_t key;
  const char* text;
};

const StringDefault kStringDefaults[] = {
    {CFG_DIR_USER, "public_vrk"},
    {CFG_DEFAULT_FILE, "index.pxc"},
    {CFG_INFO_SERVERADMIN, "webmaster@example.com"},
};

bool IsListSeparator(char c) { return c == ',' || std::isspace(static_cast<unsigned char>(c)); }

}  // namespace

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
  for (const IntegerDefault& d : kIntegerDefaults)
    if (d.key == key) return new ConfigValue(key, d.value);
  for (const StringDefault& d : kStringDefaults)
    if (d.key == key) return new ConfigValue(key, d.text, -1);
  return nullptr;
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
  if (key == CFG_SSL_OPENSSL) return new ConfigValue(key, "libssl.so", -1);
  if (key == CFG_SSL_CRYPTO) return new ConfigValue(key, "libcrypto.so", -1);
  return Config::DefaultValue(key);
}

}  // namespace pexo
