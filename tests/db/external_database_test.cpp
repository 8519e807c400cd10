// Databases of a type an external library carries out: the descriptor
// table's version rules, the unsupported-operation messages, the library's
// own errors, and views and field variables made through the extension API.
#include <dlfcn.h>

#include <string>
#include <vector>

#include "../vm/vm_harness.h"
#include "db/database_manager.h"
#include "ext/database_library_manager.h"
#include "ext/posix_external_library_manager.h"
#include "host/tag_instruction_set.h"

namespace pexo {
namespace {

const char kLibrary[] = PEXO_TEST_LIB_DIR "/memdb.so";

std::unique_ptr<MachineDatabases> MemdbDatabases(PexoVM* vm, const ProgramContext&) {
  static PosixExternalLibraryManager loader;
  auto libraries = std::make_unique<DatabaseLibraryManager>(&loader);
  libraries->Register("memdb", -1, kLibrary, -1);
  libraries->Register("broken", -1, "/nonexistent/broken.so", -1);
  DatabaseServices services;
  services.libraries = std::move(libraries);
  return std::make_unique<DatabaseManager>(vm, std::move(services));
}

std::string Tag(const std::string& mnemonic, const std::vector<std::string>& operands) {
  std::string code;
  for (const std::string& operand : operands) code += " pushc \"" + operand + "\"\n";
  return code + " " + mnemonic + "\n";
}
std::string Open(const std::string& file, const std::string& type = "memdb",
                 const std::string& indexes = "") {
  return Tag("dbopen", {"m", file, type, indexes, "t1", "t2"});
}
std::string Show(const std::string& name) { return " pushnc \"" + name + "\"\n out\n"; }

class ExternalDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    handle_ = dlopen(kLibrary, RTLD_NOW);
    ASSERT_NE(handle_, nullptr) << dlerror();
    configure_ = reinterpret_cast<void (*)(int, int)>(dlsym(handle_, "memdb_configure"));
    log_ = reinterpret_cast<const char* (*)()>(dlsym(handle_, "memdb_log"));
    ASSERT_TRUE(configure_ && log_);
  }
  void TearDown() override { dlclose(handle_); }

  // Runs `body` against a library of `version` and `flags`; the library's log.
  std::string Run(int version, int flags, const std::string& body) {
    configure_(version, flags);
    testing_vm::Machine m;
    m.databases = MemdbDatabases;
    m.tag_instructions = EngineTagInstructions();
    m.Run(".segment main start\n tagerror 32 1\n" + body);
    output_ = m.app.output;
    errors_.clear();
    for (const char* tag : {"PxOPEN", "PxSKIP", "PxGO", "PxADD", "PxUPDATE", "PxCLOSE", "PxPRIMARY",
                            "PxQUERY", "PxFILTER", "PxDBCOMMAND", "PxCOMMIT", "PxCREATE"}) {
      std::string error = m.Global((std::string(tag) + "_Error").c_str());
      if (error != "<none>" && !error.empty()) errors_ += std::string(tag) + ": " + error + "\n";
    }
    return log_();
  }

  void* handle_ = nullptr;
  void (*configure_)(int, int) = nullptr;
  const char* (*log_)() = nullptr;
  std::string output_;
  std::string errors_;
};

TEST_F(ExternalDatabaseTest, VersionsDecideWhatIsCalled) {
  const std::string body = Tag("dbopenx", {"m", "f", "memdb", "", "a", "b", "c"}) +
                           Tag("dbcommit", {""}) + Tag("dbtransact", {""}) +
                           Tag("dbcommand", {"", "x", "y"}) + Tag("dbclose", {""});
  const struct {
    int version;
    const char* log;
    const char* errors;
  } cases[] = {
      {1, "open1 f a b;close;", ""},
      {2, "open2 f a b c;commit;close;", ""},
      {5, "open3 f a b c m;commit;transact;close;",
       "PxDBCOMMAND: PxDBCOMMAND is an unsupported operation\n"},
      {6, "open3 f a b c m;commit;transact;close;release;",
       "PxDBCOMMAND: PxDBCOMMAND is an unsupported operation\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version);
    EXPECT_EQ(Run(c.version, 0, body), c.log);
    EXPECT_EQ(errors_, c.errors);
  }
}

TEST_F(ExternalDatabaseTest, ViewsAndFieldsComeFromTheLibrary) {
  std::string log = Run(3, 0, Open("f") + Show("d.name") + Tag("dbskip", {"", "", "1"}) +
                                  Show("m.d.name") + Show("d.pos") +
                                  Tag("dbgo", {"m", "main", "bottom"}) + Show("d.name") +
                                  " pushc \"zed\"\n popnc \"d.name\"\n" +
                                  Tag("dbupdate", {"", ""}));
  EXPECT_EQ(output_, "annbob2cy");
  EXPECT_EQ(log, "open3 f t1 t2 (null) m;update zed at 3;");
  EXPECT_EQ(errors_, "");
}

TEST_F(ExternalDatabaseTest, Refusals) {
  const struct {
    const char* what;
    int flags;
    std::string body;
    const char* errors;
  } cases[] = {
      {"no skip", 4, Open("f") + Tag("dbskip", {"", "", "1"}),
       "PxSKIP: PxSKIP is an Unsupported Operation\n"},
      {"no add", 0, Open("f") + Tag("dbadd", {"", ""}), "PxADD: PxADD is an Unsupported Operation\n"},
      {"no close", 2, Open("f") + Tag("dbclose", {""}),
       "PxCLOSE: PxCLOSE is an Unsupported Operation\n"},
      {"no indexes at open", 0, Open("f", "memdb", "i1"),
       "PxOPEN: PxOPEN with INDEXES attribute is an Unsupported Operation\n"},
      {"no primary index", 0, Open("f") + Tag("dbprimary", {"m", "", "i1"}),
       "PxPRIMARY: PxPRIMARY with INDEXES attribute is an Unsupported Operation\n"},
      {"no query", 0, Open("f") + Tag("dbquery", {"", "q", "a,b"}),
       "PxQUERY: PxRUNQUERY is an Unsupported Operation\n"},
      {"no filter", 0, Open("f") + Tag("dbfilter", {"", "", "1"}),
       "PxFILTER: PxFILTER is an Unsupported Operation\n"},
      {"no create", 0, Tag("dbcreate", {"m", "f", "memdb", "a CHAR(1)", ""}),
       "PxCREATE: PxCREATE is an Unsupported Operation\n"},
      {"library error on open", 0, Open("fail"), "PxOPEN: memdb cannot open 'fail'\n"},
      {"library error on go", 0, Open("f") + Tag("dbgo", {"", "", "9"}),
       "PxGO: memdb has no record 9\n"},
      {"no view", 0, Open("noview") + Tag("dbgo", {"", "", "1"}),
       "PxGO: Database 'm' has no primary view\n"},
      {"unknown view", 0, Open("f") + Tag("dbgo", {"", "other", "1"}),
       "PxGO: Database 'm' has no view named 'other'\n"},
      {"unconfigured type", 0, Open("f", "nosuch"),
       "PxOPEN: Database type 'nosuch' is unsupported or not configured\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Run(3, c.flags, c.body);
    EXPECT_EQ(errors_, c.errors);
  }
  Run(3, 0, Open("f", "broken"));
  EXPECT_EQ(errors_.rfind("PxOPEN: ", 0), 0u);
  EXPECT_NE(errors_.find("broken.so"), std::string::npos) << errors_;
}

}  // namespace
}  // namespace pexo
