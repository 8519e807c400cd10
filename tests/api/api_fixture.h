// A program context for the API tests: user hashes for the global and
// system scopes, a recording host, a file manager on a fresh data directory
// and a script directory holding page.pxc, which is also the configured root.
#ifndef PEXO_TESTS_API_API_FIXTURE_H_
#define PEXO_TESTS_API_API_FIXTURE_H_

#include <string>

#include "api/api_context.h"
#include "host/posix_file_manager.h"
#include "support/fake_host.h"
#include "values/server_config.h"
#include "values/variable_hash.h"

namespace pexo {

class TestContext : public ApiContext {
 public:
  TestContext(PexoApplication* application, PosixFileManager* files, Config* config)
      : ApiContext(application, files, config) {}
  VariableHash* GlobalScope() override { return &globals_; }
  VariableHash* SystemScope() override { return &system_; }
  // "twice" and "supply" stand in for script functions.
  int RunFunction(const char* name, int32_t length, VariableList* parameters,
                  Variable* result) override;

  UserVariableHash globals_;
  UserVariableHash system_;
};

// Makes the directories, the file manager and the context; removes the
// directories again.
class ApiWorld {
 public:
  ApiWorld();
  ~ApiWorld();
  std::string data_dir, script_dir;
  FakeHost app;
  ServerConfig config;
  PosixFileManager* files = nullptr;
  TestContext* context = nullptr;
};

}  // namespace pexo

#endif  // PEXO_TESTS_API_API_FIXTURE_H_
