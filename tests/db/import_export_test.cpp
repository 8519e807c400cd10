// PxEXPORT and the PxIMPORT loop run as assembled programs on the engine's
// own instruction table, against files in a sandboxed data directory.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "../vm/vm_harness.h"
#include "api/api_context.h"
#include "ext/external_call_manager.h"
#include "ext/external_call_resolver.h"
#include "ext/posix_external_library_manager.h"
#include "host/posix_file_manager.h"
#include "host/tag_instruction_set.h"
#include "values/memory_account.h"

namespace pexo {
namespace testing_vm {
namespace {

// The body every import test runs: "recno=a|b;" per record, then "end".
const char kImportBody[] =
    "body:\n"
    " pushg recno\n out\n pushc \"=\"\n out\n pushg a\n out\n"
    " pushc \"|\"\n out\n pushg b\n out\n pushc \";\"\n out\n"
    " import_loop body\n"
    "done:\n"
    " pushc \"end\"\n out\n";

class ImportExport : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pexo_ieXXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    top_ = pattern;
    ASSERT_EQ(mkdir((top_ + "/data").c_str(), 0755), 0);
    files_ = std::make_unique<PosixFileManager>(nullptr);
    ASSERT_TRUE(files_->SetDataDirectory((top_ + "/data").c_str(), -1));
  }
  void TearDown() override {
    files_.reset();
    ASSERT_EQ(std::system(("rm -rf '" + top_ + "'").c_str()), 0);
  }

  std::string Path(const std::string& name) const { return top_ + "/data/" + name; }
  void WriteFile(const std::string& path, const std::string& content) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(content.data(), 1, content.size(), f), content.size());
    std::fclose(f);
  }
  std::string ReadFile(const std::string& path) const {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return "<missing>";
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
    return text;
  }

  // Loads `program` (globals a, b, c, d, recno declared) on a machine with
  // the engine's tag instructions and this fixture's files; the caller runs it.
  std::unique_ptr<Machine> Make(const std::string& program) {
    auto m = std::make_unique<Machine>();
    m->files = files_.get();
    m->tag_instructions = EngineTagInstructions();
    if (!m->Load(".global a, b, c, d, recno\n.segment main start\n" + program)) return nullptr;
    return m;
  }
  // Runs an import of `file` into a, b with `delimiter` (and a filter when
  // given); the output.
  std::string Import(const std::string& file, const std::string& delimiter,
                     const char* filter = nullptr, std::unique_ptr<Machine>* kept = nullptr) {
    std::string program = " pushc \"" + file + "\"\n pushc \"a, b\"\n pushc \"" + delimiter +
                          "\"\n";
    if (filter) program += std::string(" pushc \"") + filter + "\"\n importf done\n";
    else program += " import done\n";
    std::unique_ptr<Machine> m = Make(program + kImportBody);
    if (!m) return "<no program>";
    EXPECT_EQ(m->vm->run_program(), 1) << m->LastError();
    EXPECT_TRUE(m->vm->services().empty());
    std::string output = m->app.output;
    if (kept) *kept = std::move(m);
    return output;
  }

  static void SetGlobal(Machine* m, const char* name, const std::string& value) {
    Variable* variable = nullptr;
    ASSERT_TRUE(m->script.globals()->Find(name, -1, true, &variable) && variable);
    variable->SetValue(value.data(), static_cast<int32_t>(value.size()));
  }

  std::string top_;
  std::unique_ptr<PosixFileManager> files_;
};

TEST_F(ImportExport, LinesAndSplitting) {
  const std::string wide(10 * 1024 * 1024, 'w');
  const std::string block(8191, 'x');  // the reader's block is 8192 bytes
  struct Case {
    std::string content;
    std::string delimiter;
    std::string expected;
  } cases[] = {
      {"x,y\nz,w\n", ",", "1=x|y;2=z|w;end"},
      {"x,y\nz,w", ",", "1=x|y;2=z|w;end"},                         // no final line feed
      {"a\rb\r\nc\nd\r", ",", "1=a|;2=b|;3=c|;4=d|;end"},            // CR, CRLF, LF mixed
      {"a\n\nb\n", ",", "1=a|;2=|;3=b|;end"},                        // an empty line is a record
      {"", ",", "end"},                                              // empty file
      {"\n", ",", "1=|;end"},
      {"ab\n", "<<>>", "1=ab|;end"},                                 // delimiter longer than the line
      {"a:b::c\n", "::", "1=a:b|c;end"},                             // half a delimiter does not split
      {"a,b,c,d\n", ",", "1=a|b;end"},                               // text after the last field ignored
      {"a\\nb,c\\\\d\\re\n", ",", "1=a\nb|c\\d\re;end"},             // escapes undone
      {"q\\,r,s\n", ",", "1=q|r;end"},                               // escapes are undone before splitting
      {"ab\\", ",", "1=ab\\|;end"},                                  // a lone final backslash is kept
      {"ab", "", "1=ab|;end"},                                       // an empty delimiter never splits
      {block + "\r\nq", ",", "1=" + block + "|;2=q|;end"},           // CRLF across two blocks
      {block + "\\n,z", ",", "1=" + block + "\n|z;end"},             // escape across two blocks
      {wide + ",b\nc,d", ",", "1=" + wide + "|b;2=c|d;end"},         // a 10 MB line
  };
  for (const Case& c : cases) {
    WriteFile(Path("in.txt"), c.content);
    const std::string got = Import("in.txt", c.delimiter);
    EXPECT_TRUE(got == c.expected) << "content: " << c.content.substr(0, 40)
                                   << "\n got: " << got.substr(0, 60)
                                   << "\n expected: " << c.expected.substr(0, 60);
  }
}

TEST_F(ImportExport, MemoryStaysBoundedByTheLongestLine) {
  // 24 MB of 1 KB lines read under a 2 MB account: lines are streamed.
  {
    FILE* f = std::fopen(Path("many.txt").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    const std::string line = std::string(1023, 'm') + "\n";
    for (int i = 0; i < 24 * 1024; ++i) std::fwrite(line.data(), 1, line.size(), f);
    std::fclose(f);
  }
  WriteFile(Path("wide.txt"), std::string(10 * 1024 * 1024, 'w') + "\n");
  struct Case {
    const char* file;
    std::string output;
    std::string error;
  } cases[] = {
      {"many.txt", "24576", "<none>"},
      {"wide.txt", "", "Error reading from 'wide.txt': Memory limit exceeded"},
  };
  for (const Case& c : cases) {
    std::unique_ptr<Machine> m = Make(std::string(" pushc \"") + c.file +
                                      "\"\n pushc \"a\"\n pushc \",\"\n import done\n"
                                      "body:\n import_loop body\n"
                                      "done:\n pushg recno\n out\n");
    ASSERT_TRUE(m);
    MemoryAccount account;
    account.SetLimit(2 * 1024 * 1024);
    int ran = 0;
    {
      MemoryAccountScope scope(&account);
      ran = m->vm->run_program();
    }
    EXPECT_EQ(ran, 1) << m->LastError();
    EXPECT_EQ(m->app.output, c.output) << c.file;
    EXPECT_EQ(m->Global("PxIMPORT_Error"), c.error) << c.file;
    if (c.error == "<none>") {
      EXPECT_FALSE(account.exceeded()) << account.used();
    }
    EXPECT_TRUE(m->vm->services().empty());
  }
}

TEST_F(ImportExport, ExportThenImportRestoresValues) {
  const std::string program =
      " pushc \"rt.txt\"\n pushc \"a,b\"\n pushc \"|\"\n export\n"
      " pushc \"rt.txt\"\n pushc \"c,d\"\n pushc \"|\"\n import done\n"
      "body:\n import_loop body\n"
      "done:\n";
  const std::vector<std::string> values = {
      "plain", "two\nlines", "cr\rand crlf\r\n", "back\\slash", "\\n is not a line feed",
      "ends with \\", "\\", "", "\n", "tab\there",
  };
  for (const std::string& value : values) {
    std::remove(Path("rt.txt").c_str());
    std::unique_ptr<Machine> m = Make(program);
    ASSERT_TRUE(m);
    SetGlobal(m.get(), "a", value);
    SetGlobal(m.get(), "b", "second");
    ASSERT_EQ(m->vm->run_program(), 1) << m->LastError();
    const std::string file = ReadFile(Path("rt.txt"));
    // One line: its only raw line feed is the last byte, and no raw CR.
    EXPECT_EQ(file.find('\n'), file.size() - 1) << value;
    EXPECT_EQ(file.find('\r'), std::string::npos) << value;
    EXPECT_EQ(m->Global("c"), value);
    EXPECT_EQ(m->Global("d"), "second");
  }
}

TEST_F(ImportExport, ExportAppendsEscapedLines) {
  const std::string program =
      " pushc \"out.txt\"\n pushc \"a, nosuch, b\"\n pushc \"<>\"\n export\n"
      " pushc \"out.txt\"\n pushc \"b\"\n pushc \"<>\"\n export\n";
  std::unique_ptr<Machine> m = Make(program);
  ASSERT_TRUE(m);
  SetGlobal(m.get(), "a", "1\n2\\3");
  SetGlobal(m.get(), "b", "x\ry");
  ASSERT_EQ(m->vm->run_program(), 1) << m->LastError();
  EXPECT_EQ(ReadFile(Path("out.txt")), "1\\n2\\\\3<><>x\\ry\nx\\ry\n");
  EXPECT_TRUE(m->app.runtime.empty());
}

TEST_F(ImportExport, Filters) {
  WriteFile(Path("in.txt"), "x,1\ny,2\nx,3\n");
  struct Case {
    const char* filter;
    std::string expected;
  } cases[] = {
      {"a EQ 'x'", "1=x|1;2=x|3;end"},  // recno counts passing lines only
      {"b GT 1", "1=y|2;2=x|3;end"},
      {"a EQ 'none'", "end"},
      {"", "1=x|1;2=y|2;3=x|3;end"},  // an empty filter passes every line
  };
  for (const Case& c : cases) EXPECT_EQ(Import("in.txt", ",", c.filter), c.expected) << c.filter;

  // A filter that rejects every line leaves recno as it was.
  std::unique_ptr<Machine> m = Make(
      " pushi 7\n popg recno\n pushc \"in.txt\"\n pushc \"a,b\"\n pushc \",\"\n"
      " pushc \"b GT 5\"\n importf done\n" + std::string(kImportBody));
  ASSERT_TRUE(m);
  ASSERT_EQ(m->vm->run_program(), 1);
  EXPECT_EQ(m->app.output, "end");
  EXPECT_EQ(m->Global("recno"), "7");
}

TEST_F(ImportExport, FiltersCallLibraryFunctions) {
  ApiExportCount();  // keeps the engine's API linked for the library
  PosixExternalLibraryManager loader;
  std::unique_ptr<ExternalCallManager> calls(new ExternalCallManager(&loader));
  String error;
  ASSERT_EQ(calls->AddLibrary(PEXO_TEST_LIB_DIR "/flatfns.so", &error), 1) << error.c_str();
  ExternalCallResolver resolver(calls.get());
  WriteFile(Path("in.txt"), "abc,1\nabcd,2\nab,3\n");
  {
    auto m = std::make_unique<Machine>();
    m->files = files_.get();
    m->tag_instructions = EngineTagInstructions();
    m->calls = calls.get();
    m->externals = &resolver;
    ASSERT_TRUE(m->Load(".global a, b, recno\n.segment main start\n"
                        " pushc \"in.txt\"\n pushc \"a,b\"\n pushc \",\"\n"
                        " pushc \"width(a) GE 3\"\n importf done\n" +
                        std::string(kImportBody)));
    ASSERT_EQ(m->vm->run_program(), 1) << m->LastError();
    EXPECT_EQ(m->app.output, "1=abc|1;2=abcd|2;end");
  }
  calls.reset();  // before the library is unloaded
}

TEST_F(ImportExport, ImportStopEndsTheLoop) {
  WriteFile(Path("in.txt"), "x\ny\nz\n");
  std::unique_ptr<Machine> m = Make(
      " pushc \"in.txt\"\n pushc \"a\"\n pushc \",\"\n import done\n"
      "body:\n pushg a\n out\n pushg a\n pushc \"y\"\n eq\n jmp_eq next\n"
      " import_stop done\n"
      "next:\n import_loop body\n"
      "done:\n pushc \" after \"\n out\n pushg recno\n out\n");
  ASSERT_TRUE(m);
  ASSERT_EQ(m->vm->run_program(), 1) << m->LastError();
  EXPECT_EQ(m->app.output, "xy after 2");
  EXPECT_TRUE(m->vm->services().empty());
}

TEST_F(ImportExport, LoopLeftByReturnIsStopped) {
  WriteFile(Path("in.txt"), "x\ny\n");
  std::unique_ptr<Machine> m = Make(
      " call f\n pop\n pushg a\n out\n"
      ".segment lib\n"
      ".function f()\n pushc \"in.txt\"\n pushc \"a\"\n pushc \",\"\n import done\n"
      "body:\n pushi 1\n ret\n import_loop body\n"
      "done:\n pushi 0\n ret\n.end\n");
  ASSERT_TRUE(m);
  ASSERT_EQ(m->vm->run_program(), 1) << m->LastError();
  EXPECT_EQ(m->app.output, "x");
  EXPECT_TRUE(m->vm->services().empty());
}

TEST_F(ImportExport, Messages) {
  ASSERT_EQ(mkdir(Path("adir").c_str(), 0755), 0);
  WriteFile(top_ + "/secret.txt", "s,t\n");
  WriteFile(Path("in.txt"), "x\n");
  struct Case {
    std::string program;
    const char* error_variable;
    std::string expected;  // "%s": the file manager's last error text
  } cases[] = {
      {" pushc \"missing.txt\"\n pushc \"a\"\n pushc \",\"\n import done\n", "PxIMPORT_Error",
       "Error opening 'missing.txt': %s"},
      {" pushc \"../secret.txt\"\n pushc \"a\"\n pushc \",\"\n import done\n", "PxIMPORT_Error",
       "Error opening '../secret.txt': The specified path references a path outside the "
       "configured data directory"},
      {" pushc \"adir\"\n pushc \"a\"\n pushc \",\"\n import done\n", "PxIMPORT_Error",
       "Error reading from 'adir': Is a directory"},
      {" pushc \"in.txt\"\n pushc \"a\"\n pushc \",\"\n pushc \"a EQ (\"\n importf done\n",
       "PxIMPORT_Error", "Syntax error in filter: Mismatched Parentheses in Expression"},
      {" pushc \"../secret.txt\"\n pushc \"a\"\n pushc \",\"\n export\n", "PxEXPORT_Error",
       "Unable to create file '../secret.txt': The specified path references a path outside "
       "the configured data directory"},
      {" pushc \"nodir/x.txt\"\n pushc \"a\"\n pushc \",\"\n export\n", "PxEXPORT_Error",
       "Unable to create file 'nodir/x.txt': %s"},
  };
  for (const Case& c : cases) {
    const bool exporting = c.program.find("export") != std::string::npos;
    std::unique_ptr<Machine> m =
        Make(c.program + (exporting ? " pushc \"end\"\n out\n" : kImportBody));
    ASSERT_TRUE(m);
    ASSERT_EQ(m->vm->run_program(), 1) << m->LastError();
    std::string expected = c.expected;
    const size_t at = expected.find("%s");
    if (at != std::string::npos) {
      ASSERT_FALSE(files_->ErrorText().empty());
      expected.replace(at, 2, files_->ErrorText().c_str());
    }
    EXPECT_EQ(m->Global(c.error_variable), expected);
    ASSERT_EQ(m->app.runtime.size(), 1u) << c.program;
    // The loop's body never ran; the code after it did.
    EXPECT_EQ(m->app.output, "end") << c.program;
    EXPECT_TRUE(m->vm->services().empty());
  }
  EXPECT_EQ(ReadFile(top_ + "/secret.txt"), "s,t\n");
}

TEST_F(ImportExport, ShortWriteIsReported) {
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit small = saved;
  small.rlim_cur = 16;
  void (*previous)(int) = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  std::unique_ptr<Machine> m =
      Make(" pushc \"big.txt\"\n pushc \"a\"\n pushc \",\"\n export\n");
  ASSERT_TRUE(m);
  SetGlobal(m.get(), "a", std::string(100, 'v'));
  const int ran = m->vm->run_program();
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previous);
  ASSERT_EQ(ran, 1);
  EXPECT_EQ(m->Global("PxEXPORT_Error").rfind("Unable to write to file 'big.txt': ", 0), 0u)
      << m->Global("PxEXPORT_Error");
}

TEST_F(ImportExport, FilterCodeThatStopsTheImportEndsTheLoop) {
  // A malformed program: the function the filter calls ends the loop the
  // filter belongs to. The loop ends; nothing of the stopped import is used.
  WriteFile(Path("in.txt"), "x\ny\n");
  std::unique_ptr<Machine> m = Make(
      " pushc \"in.txt\"\n pushc \"a\"\n pushc \",\"\n pushc \"f(a)\"\n importf done\n"
      "body:\n pushg a\n out\n import_loop body\n"
      "done:\n pushc \"end\"\n out\n"
      ".segment lib\n"
      ".function f(v)\n import_stop x\nx:\n pushi 1\n ret\n.end\n");
  ASSERT_TRUE(m);
  ASSERT_EQ(m->vm->run_program(), 1) << m->LastError();
  EXPECT_EQ(m->app.output, "end");
  EXPECT_TRUE(m->vm->services().empty());
}

TEST_F(ImportExport, LoopEndsWithoutImportAreInvalid) {
  for (const char* program : {"x:\n import_loop x\n", " import_stop x\nx:\n"}) {
    std::unique_ptr<Machine> m = Make(program);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->vm->run_program(), 0);
    EXPECT_EQ(m->app.last_fatal().find("Invalid instruction") != std::string::npos, true)
        << m->app.last_fatal();
  }
}

}  // namespace
}  // namespace testing_vm
}  // namespace pexo
