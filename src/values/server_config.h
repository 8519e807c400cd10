// ServerConfig: the request's Config as filled from the server's
// configuration file (see ConfigFile), plus the hooks that the loader feeds:
// the configured extension libraries and the per-tag error settings.
//
// Libraries are recorded in the order they were configured; the library
// managers read them through Libraries(). Error settings go to the sink the
// machine registers (the process-wide tag error table); without a sink they
// are refused.
#ifndef PEXO_VALUES_SERVER_CONFIG_H_
#define PEXO_VALUES_SERVER_CONFIG_H_

#include <cstdint>
#include <vector>

#include "values/config.h"
#include "values/string.h"

namespace pexo {

// Library kinds as the "type" attribute of a libraries entry gives them.
enum ConfigLibraryType : int32_t {
  LIBRARY_SYSTEM = 0,
  LIBRARY_COMMERCE = 1,
  LIBRARY_DATABASE = 2,
  LIBRARY_EXTERNAL_CALL = 3,
};

// A variable every program run starts with: global, or an immutable system
// variable.
struct StartupVariable {
  bool system;
  String name;
  String value;
};

struct ConfiguredLibrary {
  int32_t type;
  String code;  // empty for system libraries
  String library;
};

// Receives tag error settings; implemented by the machine's error table.
class ErrorSettingsSink {
 public:
  virtual ~ErrorSettingsSink() = default;
  // Stores `flags` (1 display, 2 fatal) for the tag whose name matches
  // without regard to letter case; false when no tag has that name.
  virtual bool SetTagErrorFlags(const char* name, int32_t length, int32_t flags) = 0;
};

class ServerConfig : public PosixConfig {
 public:
  ServerConfig() = default;
  ServerConfig(const ServerConfig& parent);

  virtual void AddSystemLibrary(const char* library, int32_t length);
  virtual void AddDatabaseLibrary(const char* code, int32_t code_length, const char* library,
                                  int32_t length);
  virtual void AddCommerceLibrary(const char* code, int32_t code_length, const char* library,
                                  int32_t length);
  virtual void AddExternalCallLibrary(const char* code, int32_t code_length, const char* library,
                                      int32_t length);
  // Forgets every library configured so far (a <clear/> in a collection).
  void ClearLibraries() { libraries_.clear(); }
  const std::vector<ConfiguredLibrary>& Libraries() const { return libraries_; }

  // Later values of the same name (and scope) replace earlier ones.
  void AddStartupVariable(bool system, const char* name, int32_t length, const char* value,
                          int32_t value_length);
  const std::vector<StartupVariable>& StartupVariables() const { return startup_; }

  void SetErrorSettingsSink(ErrorSettingsSink* sink) { error_sink_ = sink; }
  // 1 when a tag of that name took the flags, else 0.
  int SetErrorSetting(const char* name, int32_t length, int32_t flags);
  // Flags from a text: 2 when it contains "fatal", plus 1 for "display".
  int SetErrorSettingText(const char* name, int32_t length, const char* text);
  static int32_t ErrorFlagsFromText(const char* text);

  // The request's SERVER_NAME: what `lock_hostname` becomes on first read
  // when nothing set it.
  void SetServerName(const char* name, int32_t length) { server_name_.assign(name, length); }
  ConfigValue* DefaultValue(int32_t key) override;

 private:
  void AddLibrary(int32_t type, const char* code, int32_t code_length, const char* library,
                  int32_t length);

  std::vector<ConfiguredLibrary> libraries_;
  std::vector<StartupVariable> startup_;
  ErrorSettingsSink* error_sink_ = nullptr;
  String server_name_;
};

}  // namespace pexo

#endif  // PEXO_VALUES_SERVER_CONFIG_H_
