// Runs the C contract library, built only against the public header, on a
// live context, then checks what its calls left behind in the engine.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <mutex>
#include <string>

#include "api_fixture.h"
#include "api/api_context.h"
#include "ext/persistent_table.h"
#include "values/server_config.h"
#include "pexo/pexo.h"

namespace pexo {
namespace {

typedef int (*ProgramCheck)(PexoProgram*, char*, int);
typedef int (*ConfigCheck)(PexoConfig*, char*, int);

class ContractLibrary {
 public:
  ContractLibrary() {
    std::string path = std::string(PEXO_TEST_LIB_DIR) + "/contract.so";
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) return;
    // What the loader does after loading: hand over the engine module.
    auto reg = reinterpret_cast<PxRegisterEntry>(dlsym(handle_, PEXO_ENTRY_REGISTER));
    engine_ = dlopen(nullptr, RTLD_NOW);
    if (reg) reg(engine_);
  }
  ~ContractLibrary() {
    if (handle_) dlclose(handle_);
    if (engine_) dlclose(engine_);
  }
  void* Symbol(const char* name) { return handle_ ? dlsym(handle_, name) : nullptr; }
  bool loaded() const { return handle_ != nullptr; }

 private:
  void* handle_ = nullptr;
  void* engine_ = nullptr;
};

TEST(ApiContract, EveryExportIsLinkedIntoTheProgram) {
  // The header's functions, all of them, resolve in this executable.
  EXPECT_GE(ApiExportCount(), 250);
  void* self = dlopen(nullptr, RTLD_NOW);
  ASSERT_NE(self, nullptr);
  EXPECT_NE(dlsym(self, "pxVariable_Value_Decimal_Size"), nullptr);
  EXPECT_NE(dlsym(self, "pexo_variablelist_to_url"), nullptr);
  EXPECT_NE(dlsym(self, "pxDatabaseVariable_data"), nullptr);
  dlclose(self);
}

TEST(ApiContract, LibraryChecksPassAgainstALiveProgram) {
  ContractLibrary library;
  ASSERT_TRUE(library.loaded()) << dlerror();
  auto run = reinterpret_cast<ProgramCheck>(library.Symbol("contract_program"));
  ASSERT_NE(run, nullptr);

  ApiWorld world;
  PersistentTable shared;
  std::mutex lock;
  world.context->SetSharedPersistent(&shared, &lock);
  char report[8192];
  int failures = run(AsHandle(world.context), report, sizeof report);
  EXPECT_EQ(failures, 0) << report;

  // What the library's calls did to the host.
  EXPECT_EQ(world.app.output, "Hello World");
  EXPECT_EQ(world.app.header_lines(), "X-Test: 1\n");
  EXPECT_EQ(world.app.last_fatal(), "stop here");
  EXPECT_EQ(shared.count(), 1);
  EXPECT_NE(shared.Lookup("shared", -1), nullptr);
}

TEST(ApiContract, FunctionTableUsesTheDescriptorLayout) {
  ContractLibrary library;
  ASSERT_TRUE(library.loaded()) << dlerror();
  auto entry = reinterpret_cast<PxFunctionTableEntry>(library.Symbol(PEXO_ENTRY_FUNCTION_TABLE));
  ASSERT_NE(entry, nullptr);
  const PxFunctionTable* table = entry();
  ASSERT_NE(table, nullptr);
  const PxFunctionDescriptor& twice = table->functions[0];
  EXPECT_EQ(std::string(twice.name, static_cast<size_t>(twice.name_length)), "Twice");
  ASSERT_EQ(twice.parameter_count, 1);
  EXPECT_EQ(twice.parameters[0].flags, 0);
  EXPECT_EQ(table->functions[1].name, nullptr);

  // Called the way the machine calls it.
  PexoVariableHash* parameters = pxVariableHash_Allocate();
  pxVariableHash_SetVariable(parameters, "x", 1, "21", 2);
  PexoVariable* result = pxVariable_Allocate("", 0, nullptr, 0);
  void* data = nullptr;
  twice.function(nullptr, parameters, result, &data);
  EXPECT_EQ(pxVariable_Value_Integer(result), 42);
  pxVariable_Free(result);
  pxVariableHash_Free(parameters);
}

class AcceptIf : public ErrorSettingsSink {
 public:
  bool SetTagErrorFlags(const char* name, int32_t length, int32_t value) override {
    if (!equals_nocase(name, length, "PxIF", 4)) return false;
    flags = value;
    return true;
  }
  int32_t flags = -1;
};

TEST(ApiContract, ConfigurationCallsReachTheStore) {
  ContractLibrary library;
  ASSERT_TRUE(library.loaded()) << dlerror();
  auto run = reinterpret_cast<ConfigCheck>(library.Symbol("contract_config"));
  ASSERT_NE(run, nullptr);
  ServerConfig config;
  AcceptIf sink;
  config.SetErrorSettingsSink(&sink);
  char report[4096];
  EXPECT_EQ(run(reinterpret_cast<PexoConfig*>(&config), report, sizeof report), 0) << report;

  int32_t length = 0;
  EXPECT_STREQ(config.GetString(0x2000006, &length), "/tmp/debug.log");
  EXPECT_EQ(config.GetInteger(0x1000005), 3);
  EXPECT_EQ(sink.flags, 1);
  const auto& libraries = config.Libraries();
  ASSERT_EQ(libraries.size(), 4u);
  EXPECT_EQ(libraries[0].type, LIBRARY_SYSTEM);  // function libraries
  EXPECT_STREQ(libraries[0].library.c_str(), "/lib/functions.so");
  EXPECT_EQ(libraries[1].type, LIBRARY_EXTERNAL_CALL);  // named system libraries
  EXPECT_STREQ(libraries[1].code.c_str(), "crypto");
  EXPECT_EQ(libraries[2].type, LIBRARY_COMMERCE);
  EXPECT_EQ(libraries[3].type, LIBRARY_DATABASE);
  const auto& variables = config.StartupVariables();
  ASSERT_EQ(variables.size(), 2u);
  EXPECT_FALSE(variables[0].system);
  EXPECT_STREQ(variables[0].value.c_str(), "main");
  EXPECT_TRUE(variables[1].system);
  EXPECT_STREQ(variables[1].name.c_str(), "edition");
}

}  // namespace
}  // namespace pexo
