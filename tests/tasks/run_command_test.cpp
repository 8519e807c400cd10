// Background tasks under `pexo run`: the script goes on at once, the
// command returns only after its tasks, and no task text reaches the
// command's output.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "host/command_line.h"
#include "task_fixture.h"
#include "support/run_output.h"

namespace pexo {
namespace testing_tasks {
namespace {

int Occurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(RunCommandTasks, WaitsForItsTasksAndKeepsTheirOutputOffStdout) {
  TaskSite site;
  std::string trace = site.data() + "/trace.log";
  std::string config = site.dir() + "/run.config";
  std::ofstream(config) << "<configuration><PexoScript serverAdmin=\"\">"
                           "<debugLog file=\"" + trace + "\" level=\"0x6000010\"/>"
                           "</PexoScript></configuration>";
  // The task counts for a while; the page is written before it starts.
  site.AddProgram("run.pxc",
                  ".global i\n"
                  ".segment main start\n"
                  "  async page\n"
                  "  storegi i 0\n"
                  "count:\n"
                  "  incg i 1\n"
                  "  cmpgi i 300000\n"
                  "  jmp_lt count\n"
                  "  pushc \"task text\"\n"
                  "  out\n"
                  "  call finished\n"
                  "  pop\n"
                  "  retn\n"
                  "page:\n"
                  "  pushc \"page text\"\n"
                  "  out\n"
                  "  exit\n"
                  ".function finished()\n"
                  "  retn\n"
                  ".end\n");
  RunOptions options;
  options.root = site.root();
  options.data = site.data();
  options.config = config;
  options.script = site.root() + "/run.pxc";
  FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(RunScript(options, out), 0);
  std::string stdout_text = FileText(out);
  std::fclose(out);
  EXPECT_EQ(stdout_text, "page text");
  // Returned after the task ran to its end (a task stopped at shut-down
  // would log its end but not the call).
  std::string lines = ReadFile(trace);
  EXPECT_EQ(Occurrences(lines, "Request End"), 2) << lines;
  EXPECT_EQ(Occurrences(lines, "Function Call"), 1) << lines;
}

// A task that cannot start is the script's runtime error (or a fatal one
// for a malformed instruction) on the command's output.
TEST(RunCommandTasks, StartFailuresReachTheCommandsOutput) {
  struct Case {
    const char* section;
    const char* body;  // before the block, which prints "ran"
    const char* page;
  } cases[] = {
      {"", "  pushc \" system, Local \"\n  asyncn skip 1\n",
       "Runtime error in s.pxc @ [00000000:00000006]: PxASYNCHRONOUS: Unsupported isolation flag "
       "&quot;Local&quot;\n|end"},
      {"", "  pushc \"system\"\n  pushc \"global\"\n  asyncn skip 2\n",
       "Fatal error in s.pxc @ [00000000:0000000c]: Invalid number of parameters to ASYNCN\n"},
      {"<limits maxAsynchronousTasks=\"1\"/><timeouts asynchronous=\"1\"/>",
       "  async first\nspin:\n  jmp spin\nfirst:\n  async skip\n",
       "Runtime error in s.pxc @ [00000000:0000000c]: PxASYNCHRONOUS: Maximum number of "
       "asynchronous tasks exceeded\n|end"},
  };
  for (const Case& c : cases) {
    TaskSite site;
    std::string config = site.dir() + "/run.config";
    std::ofstream(config) << std::string("<configuration><PexoScript serverAdmin=\"\">") +
                                 c.section + "</PexoScript></configuration>";
    site.AddProgram("s.pxc", std::string(".segment main start\n") + c.body +
                                 "  pushc \"ran\"\n  out\n  retn\n"
                                 "skip:\n  pushc \"|end\"\n  out\n  exit\n");
    RunOptions options;
    options.root = site.root();
    options.data = site.data();
    options.config = config;
    options.script = site.root() + "/s.pxc";
    FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    RunScript(options, out);
    EXPECT_EQ(FileText(out), c.page) << c.body;
    std::fclose(out);
  }
}

TEST(RunCommandTasks, HelpSaysTheCommandWaitsForTasks) {
  FILE* out = std::tmpfile();
  FILE* err = std::tmpfile();
  const char* argv[] = {"pexo", "run", "--help"};
  EXPECT_EQ(PexoCommand(3, argv, out, err), 0);
  std::string help = FileText(out);
  std::fclose(out);
  std::fclose(err);
  EXPECT_NE(help.find("waits for every task to finish"), std::string::npos) << help;
  EXPECT_NE(help.find("never\nto standard output"), std::string::npos) << help;
}

}  // namespace
}  // namespace testing_tasks
}  // namespace pexo
