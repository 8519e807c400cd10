// Loading libraries: real dlopen failures and symbol texts, the
// registration entry, one load per path across threads, and the lookups of
// system, commerce and configuration libraries.
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ext/commerce_library_manager.h"
#include "ext/configuration_library.h"
#include "ext/configured_libraries.h"
#include "ext/external_call_manager.h"
#include "ext/posix_external_library.h"
#include "ext/posix_external_library_manager.h"
#include "ext/system_library_manager.h"
#include "fake_library.h"
#include "values/config.h"
#include "values/server_config.h"

namespace pexo {
namespace {

// A library every Linux system has and that exports none of our entries.
constexpr char kPlatformLibrary[] = "libm.so.6";

TEST(PosixLoaderTest, MissingFileGivesTheLoaderText) {
  PosixExternalLibraryManager manager;
  String error;
  EXPECT_EQ(manager.Get("/nonexistent/libnothing.so", kFunctionLibrary, &error), nullptr);
  EXPECT_NE(std::strstr(error.c_str(), "/nonexistent/libnothing.so"), nullptr) << error.c_str();
  EXPECT_NE(std::strstr(error.c_str(), "No such file"), nullptr) << error.c_str();
  EXPECT_STREQ(manager.ErrorText().c_str(), error.c_str());
  EXPECT_EQ(manager.count(), 0);
}

TEST(PosixLoaderTest, MissingEntryPointGivesUnknownSymbolWithThePlatformText) {
  PosixExternalLibraryManager manager;
  ExternalLibrary* library = manager.Get(kPlatformLibrary, kFunctionLibrary);
  ASSERT_NE(library, nullptr) << manager.ErrorText().c_str();
  EXPECT_NE(library->Symbol("cos"), nullptr);
  String error;
  EXPECT_EQ(library->Symbol("pexo_function_table", &error), nullptr);
  const char prefix[] = "Unknown symbol 'pexo_function_table': ";
  ASSERT_EQ(std::strncmp(error.c_str(), prefix, sizeof prefix - 1), 0) << error.c_str();
  EXPECT_NE(std::strstr(error.c_str(), "undefined symbol: pexo_function_table"), nullptr)
      << error.c_str();

  ExternalCallManager calls(&manager);
  String add_error;
  EXPECT_EQ(calls.AddLibrary(kPlatformLibrary, &add_error), 0);
  EXPECT_STREQ(add_error.c_str(), error.c_str());
  // Loaded once, whatever kind asks for it.
  EXPECT_EQ(manager.Get(kPlatformLibrary, kSystemLibrary), library);
  EXPECT_EQ(manager.count(), 1);
}

TEST(PosixLoaderTest, ProcessWideManagerLivesFromStartToStop) {
  ASSERT_EQ(ProcessLibraryManager(), nullptr);
  ASSERT_TRUE(StartExternalLibraries());
  ExternalLibraryManager* manager = ProcessLibraryManager();
  ASSERT_NE(manager, nullptr);
  EXPECT_FALSE(StartExternalLibraries());
  EXPECT_EQ(ProcessLibraryManager(), manager);
  EXPECT_NE(manager->engine_module(), nullptr);
  EXPECT_NE(manager->Get(kPlatformLibrary, kSystemLibrary), nullptr);
  StopExternalLibraries();
  EXPECT_EQ(ProcessLibraryManager(), nullptr);
}

void* registered_with = nullptr;
int registrations = 0;
void RegisterLibrary(void* engine) {
  registered_with = engine;
  ++registrations;
}
void OtherRegistration(void*) { registrations += 100; }

TEST(LibraryManagerTest, RegistrationEntryIsCalledOnceWithTheEngineHandle) {
  void* engine = reinterpret_cast<void*>(0xe41e);
  FakeLibraryManager manager(engine);
  manager.Add("both.so", {{"pexo_register_library", AsSymbol(RegisterLibrary)},
                          {"PexoRegisterLibrary", AsSymbol(OtherRegistration)}});
  manager.Add("second.so", {{"PexoRegisterLibrary", AsSymbol(RegisterLibrary)}});
  manager.Add("none.so", {});
  registrations = 0;
  registered_with = nullptr;
  ASSERT_NE(manager.Get("both.so", kFunctionLibrary), nullptr);
  ASSERT_NE(manager.Get("BOTH.SO", kDatabaseLibrary), nullptr);
  EXPECT_EQ(registrations, 1);
  EXPECT_EQ(registered_with, engine);
  ASSERT_NE(manager.Get("second.so", kFunctionLibrary), nullptr);
  EXPECT_EQ(registrations, 2);
  EXPECT_NE(manager.Get("none.so", kFunctionLibrary), nullptr);
  EXPECT_EQ(manager.opens(), 3);
}

TEST(LibraryManagerTest, ConcurrentRequestsLoadAPathOnce) {
  FakeLibraryManager manager;
  manager.Add("shared.so", {});
  std::vector<ExternalLibrary*> seen(8, nullptr);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i)
    threads.emplace_back([&, i] { seen[i] = manager.Get("shared.so", kFunctionLibrary); });
  for (auto& t : threads) t.join();
  ASSERT_NE(seen[0], nullptr);
  for (ExternalLibrary* library : seen) EXPECT_EQ(library, seen[0]);
  EXPECT_EQ(manager.opens(), 1);
  // A failed load is not remembered: the next request tries again.
  EXPECT_EQ(manager.Get("absent.so", kFunctionLibrary), nullptr);
  EXPECT_EQ(manager.Get("absent.so", kFunctionLibrary), nullptr);
  EXPECT_EQ(manager.opens(), 3);
}

int SystemFunction() { return 7; }

TEST(SystemLibraryTest, LookupLoadsOnFirstUseAndReportsEachFailure) {
  FakeLibraryManager loader;
  loader.Add("/lib/helpers.so", {{"helper", AsSymbol(SystemFunction)}});
  SystemLibraryManager manager(&loader);
  manager.Register("Helpers", -1, "/lib/broken.so", -1);
  manager.Register("HELPERS", -1, "/lib/helpers.so", -1);  // replaces
  manager.Register("gone", -1, "/lib/gone.so", -1);
  EXPECT_EQ(manager.count(), 2);

  EXPECT_EQ(manager.Get("unknown", -1), nullptr);
  EXPECT_STREQ(manager.ErrorText().c_str(), "System library 'unknown' is not configured");
  EXPECT_EQ(manager.Get("gone", -1), nullptr);
  EXPECT_STREQ(manager.ErrorText().c_str(), "/lib/gone.so: cannot open shared object file");

  EXPECT_EQ(loader.opens(), 1);
  SystemLibrary* helpers = manager.Get("helpers", -1);
  ASSERT_NE(helpers, nullptr);
  EXPECT_EQ(manager.Get("Helpers", -1), helpers);
  EXPECT_EQ(loader.opens(), 2);
  EXPECT_EQ(manager.GetFunction(helpers, "helper"), AsSymbol(SystemFunction));
  EXPECT_EQ(manager.GetFunction(helpers, "nothing"), nullptr);
  EXPECT_STREQ(manager.ErrorText(helpers).c_str(), "Unknown symbol 'nothing': no such export");
}

int CommerceInit(void*, void**, const char*, const char*, void*, void*) { return 0; }
int CommerceLoop(void*, void**, const char*, const char*, void*, void*, int32_t) { return 2; }
void CommerceCleanup(void*, void**, const char*, const char*, void*) {}
const char* CommerceError(void*, void**, const char*, const char*, void*) { return "failed"; }
const PexoCommerceLibrary kCommerce = {0, CommerceInit, CommerceLoop, CommerceCleanup,
                                       CommerceError};
const PexoCommerceLibrary* CommerceDescriptor() { return &kCommerce; }
const PexoCommerceLibrary* NoCommerceDescriptor() { return nullptr; }

TEST(CommerceLibraryTest, MethodsResolveByDescriptorOrByTheFourEntries) {
  FakeLibraryManager loader;
  loader.Add("table.so", {{"pexo_commerce_library", AsSymbol(CommerceDescriptor)}});
  loader.Add("entries.so", {{"pexo_commerce_init", AsSymbol(CommerceInit)},
                            {"pexo_commerce_loop", AsSymbol(CommerceLoop)},
                            {"pexo_commerce_cleanup", AsSymbol(CommerceCleanup)},
                            {"pexo_commerce_error", AsSymbol(CommerceError)}});
  loader.Add("three.so", {{"pexo_commerce_init", AsSymbol(CommerceInit)},
                          {"pexo_commerce_loop", AsSymbol(CommerceLoop)},
                          {"pexo_commerce_cleanup", AsSymbol(CommerceCleanup)}});
  loader.Add("nulltable.so", {{"pexo_commerce_library", AsSymbol(NoCommerceDescriptor)}});
  CommerceLibraryManager manager(&loader);
  manager.Register("card", -1, "table.so", -1);
  manager.Register("ship", -1, "entries.so", -1);
  manager.Register("partial", -1, "three.so", -1);
  manager.Register("empty", -1, "nulltable.so", -1);
  manager.Register("lost", -1, "lost.so", -1);

  for (const char* method : {"CARD", "ship"}) {
    CommerceLibrary* library = manager.Get(method, -1);
    ASSERT_NE(library, nullptr) << method;
    EXPECT_TRUE(library->loaded);
    EXPECT_EQ(library->init, CommerceInit);
    EXPECT_EQ(library->loop, CommerceLoop);
    EXPECT_EQ(library->cleanup, CommerceCleanup);
    EXPECT_EQ(library->error_text, CommerceError);
  }
  for (const char* method : {"partial", "empty"}) {
    EXPECT_EQ(manager.Get(method, -1), nullptr) << method;
    EXPECT_STREQ(manager.ErrorText().c_str(),
                 "Unable to load commerce library descriptor table/functions");
  }
  EXPECT_EQ(manager.Get("lost", -1), nullptr);
  EXPECT_STREQ(manager.ErrorText().c_str(), "lost.so: cannot open shared object file");
  EXPECT_EQ(manager.Get("paypal", 6), nullptr);
  EXPECT_STREQ(manager.ErrorText().c_str(),
               "Commerce method 'paypal' is unsupported or not configured");
}

// A configuration library whose behaviour the test steers.
struct ConfigScript {
  int init_result = 0;
  bool with_error_text = true;
  int script_result = 0;
  int shutdowns = 0;
  void* config_seen = nullptr;
} script;

int ConfigInit(void* config, void** data, void* host) {
  script.config_seen = config;
  *data = host;
  return script.init_result;
}
int ConfigGetInteger(void*, void*, int32_t setting, int32_t* value) {
  if (setting != CFG_MAX_POST_VARS) return 1;
  *value = 55;
  return 0;
}
int ConfigGetText(void*, void*, int32_t setting, char** text, int32_t* length, int32_t* size) {
  if (setting != CFG_DEFAULT_FILE) return 1;
  *text = static_cast<char*>(std::malloc(16));
  std::memcpy(*text, "home.pxc", 9);
  *length = 8;
  *size = 16;
  return 0;
}
const char* ConfigError(void*, void*) { return "library says no"; }
void ConfigShutdown(void*, void*) { ++script.shutdowns; }
int ConfigLoadScript(void*, void*, void*) { return script.script_result; }
int ConfigLoadV1(void*, void*, void*) { return 0; }

PexoConfigLibrary config_descriptor;
const PexoConfigLibrary* ConfigDescriptor() { return &config_descriptor; }
const PexoConfigLibrary* NoConfigDescriptor() { return nullptr; }

class ConfigurationLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    script = ConfigScript();
    config_descriptor = PexoConfigLibrary{2,          0,
                                          ConfigInit, nullptr,
                                          ConfigGetInteger, ConfigGetText,
                                          ConfigError, ConfigShutdown,
                                          ConfigLoadScript};
    loader_.Add("config.so", {{"pexo_config_library", AsSymbol(ConfigDescriptor)}});
    loader_.Add("nulltable.so", {{"pexo_config_library", AsSymbol(NoConfigDescriptor)}});
    loader_.Add("plain.so", {});
  }
  FakeLibraryManager loader_;
  Config config_;
};

TEST_F(ConfigurationLibraryTest, OpeningFailsWithTheStatedTexts) {
  ConfigurationLibrary missing(&loader_, &config_);
  EXPECT_EQ(missing.Open("absent.so", nullptr), 0);
  EXPECT_STREQ(missing.ErrorText().c_str(), "absent.so: cannot open shared object file");
  ConfigurationLibrary plain(&loader_, &config_);
  EXPECT_EQ(plain.Open("plain.so", nullptr), 0);
  EXPECT_STREQ(plain.ErrorText().c_str(), "Unknown symbol 'pexo_config_library': no such export");
  ConfigurationLibrary null_table(&loader_, &config_);
  EXPECT_EQ(null_table.Open("nulltable.so", nullptr), 0);
  EXPECT_STREQ(null_table.ErrorText().c_str(), "Unable to retrieve configuration descriptor table");

  script.init_result = 3;
  {
    ConfigurationLibrary refused(&loader_, &config_);
    EXPECT_EQ(refused.Open("config.so", nullptr), 0);
    EXPECT_STREQ(refused.ErrorText().c_str(), "library says no");
  }
  config_descriptor.error_text = nullptr;
  ConfigurationLibrary silent(&loader_, &config_);
  EXPECT_EQ(silent.Open("config.so", nullptr), 0);
  EXPECT_STREQ(silent.ErrorText().c_str(), "Error initializing configuration library");
}

TEST_F(ConfigurationLibraryTest, SettingsComeFromTheLibraryWhenItSuppliesThem) {
  int host_arguments = 0;
  {
    ConfigurationLibrary library(&loader_, &config_);
    ASSERT_EQ(library.Open("config.so", &host_arguments), 1) << library.ErrorText().c_str();
    EXPECT_EQ(script.config_seen, &config_);
    EXPECT_EQ(library.data(), &host_arguments);

    std::unique_ptr<ConfigValue> integer(library.Setting(CFG_MAX_POST_VARS));
    ASSERT_NE(integer, nullptr);
    EXPECT_EQ(integer->integer, 55);
    std::unique_ptr<ConfigValue> text(library.Setting(CFG_DEFAULT_FILE));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->length, 8);
    EXPECT_STREQ(text->text, "home.pxc");
    // Declined, or a key of no known type: the built-in default applies.
    EXPECT_EQ(library.Setting(CFG_TIMEOUT_CALL), nullptr);
    EXPECT_EQ(library.Setting(CFG_DIR_DATA), nullptr);
    EXPECT_EQ(library.Setting(0x3000001), nullptr);
    EXPECT_EQ(script.shutdowns, 0);
  }
  EXPECT_EQ(script.shutdowns, 1);
}

TEST_F(ConfigurationLibraryTest, ScriptConfigurationLoader) {
  ConfigurationLibrary library(&loader_, &config_);
  ASSERT_EQ(library.Open("config.so", nullptr), 1);
  EXPECT_EQ(library.LoadScript(nullptr), 1);
  script.script_result = 1;
  EXPECT_EQ(library.LoadScript(nullptr), 0);
  EXPECT_STREQ(library.ErrorText().c_str(), "library says no");
  config_descriptor.error_text = nullptr;
  EXPECT_EQ(library.LoadScript(nullptr), 0);
  EXPECT_STREQ(library.ErrorText().c_str(), "Error loading script-specific configuration");
  config_descriptor.version = 1;
  config_descriptor.load_script_v1 = ConfigLoadV1;
  EXPECT_EQ(library.LoadScript(nullptr), 0);
  EXPECT_STREQ(library.ErrorText().c_str(),
               "Configuration library uses no longer supported v1 API script-specific "
               "configuration load method");
}

const PexoFunctionDescriptor kNoFunctions[] = {{nullptr, 0, 0, nullptr, nullptr}};
const PexoFunctionTable kEmptyTable = {0, kNoFunctions};
const PexoFunctionTable* EmptyTable() { return &kEmptyTable; }

TEST(ConfiguredLibrariesTest, EachKindGoesToItsManager) {
  FakeLibraryManager loader;
  loader.Add("functions.so", {{"pexo_function_table", AsSymbol(EmptyTable)}});
  ServerConfig config;
  config.AddSystemLibrary("functions.so", -1);
  config.AddSystemLibrary("missing.so", -1);
  config.AddExternalCallLibrary("helpers", -1, "helpers.so", -1);
  config.AddCommerceLibrary("card", -1, "card.so", -1);
  config.AddDatabaseLibrary("sql", -1, "sql.so", -1);
  ExternalCallManager calls(&loader);
  SystemLibraryManager system(&loader);
  CommerceLibraryManager commerce(&loader);
  EXPECT_EQ(RegisterConfiguredLibraries(config, &calls, &system, &commerce), 1);
  EXPECT_EQ(calls.library_count(), 1);
  EXPECT_EQ(system.count(), 1);
  EXPECT_EQ(commerce.count(), 1);
  // Only the function libraries are loaded now; the others on first use.
  EXPECT_EQ(loader.opens(), 2);
  EXPECT_EQ(system.Get("HELPERS", -1), nullptr);
  EXPECT_STREQ(system.ErrorText().c_str(), "helpers.so: cannot open shared object file");
}

}  // namespace
}  // namespace pexo
