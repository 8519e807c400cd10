// Feeds arbitrary bytes to the configuration file loader and applies the
// result to a request path taken from the input's first line, then reads
// every key, so that parsing, location matching and value conversion all run.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "values/config.h"
#include "host/config_file.h"
#include "values/server_config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65536) return 0;
  const char* bytes = reinterpret_cast<const char*>(data);
  const void* newline = std::memchr(bytes, '\n', size < 256 ? size : 256);
  size_t path_length = newline ? static_cast<size_t>(static_cast<const char*>(newline) - bytes) : 0;
  pexo::ConfigFile file;
  if (!file.LoadBuffer(bytes, size, "fuzz.xml")) return 0;
  pexo::ServerConfig config;
  file.ConfigFor(bytes, static_cast<int32_t>(path_length), &config);
  for (const pexo::ConfigKeyName* k = pexo::ConfigKeys(); k->name; ++k) {
    int32_t length = 0;
    config.GetInteger(k->key);
    config.GetString(k->key, &length);
  }
  config.DeprecatedEnabled("x", 1);
  return 0;
}
