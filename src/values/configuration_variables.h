// "pexo_config": a structure exposing the request's configuration to
// scripts. Built on first read: one ConfigurationVariable per visible key
// (named as the key), then the six library members "commerce_list",
// "database_list", "systemlib_list" (arrays of registered names, 1..n) and
// "commerce_lookup", "database_lookup", "systemlib_lookup" (structures keyed
// by those names, each member holding the host's value for the library).
//
// A ConfigurationVariable reads the live configuration on every access: a
// text key reads its text (empty when unset; class code 4), an integer key
// its integer, also as "%d" text and as decimal (0 when unset; class code 3).
#ifndef PEXO_VALUES_CONFIGURATION_VARIABLES_H_
#define PEXO_VALUES_CONFIGURATION_VARIABLES_H_

#include <cstdint>

#include "values/system_variables.h"
#include "values/variable.h"

namespace pexo {

class Config;

class ConfigurationVariable : public DynamicImmutableVariable {
 public:
  ConfigurationVariable(Config* config, int32_t key, const char* name);
  int32_t ClassCode() override;
  int IsCurrent() override { return 0; }
  void Refresh() override;

 private:
  Config* config_;
  int32_t key_;
};

// An array of library names, or with `lookup` a structure keyed by them.
class ConfigurationLibraryListVariable : public DynamicImmutableVariable {
 public:
  ConfigurationLibraryListVariable(SystemVariableHost* host, int32_t kind, const char* name);
  int IsCurrent() override { return built_; }
  void Refresh() override;

 protected:
  virtual void Build();
  SystemVariableHost* host_;
  int32_t kind_;
  int built_ = 0;
};

class ConfigurationLibraryLookupVariable : public ConfigurationLibraryListVariable {
 public:
  ConfigurationLibraryLookupVariable(SystemVariableHost* host, int32_t kind, const char* name)
      : ConfigurationLibraryListVariable(host, kind, name) {}

 protected:
  void Build() override;
};

class ConfigurationAggregateVariable : public DynamicImmutableVariable {
 public:
  ConfigurationAggregateVariable(Config* config, SystemVariableHost* host);
  int IsCurrent() override { return built_; }
  void Refresh() override;

 private:
  // Stores `member` (whose reference it takes) under its own name.
  void Add(Variable* member);

  Config* config_;
  SystemVariableHost* host_;
  int built_ = 0;
};

}  // namespace pexo

#endif  // PEXO_VALUES_CONFIGURATION_VARIABLES_H_
