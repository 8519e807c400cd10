// Background tasks: the isolation text, how a request starts a task and
// when it refuses, what the task runs on, where its output goes, its own
// time-out, and the limit under load.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "host/engine_process.h"
#include "task_fixture.h"
#include "values/string.h"
#include "vm/cloned_pexo_vm.h"

namespace pexo {
namespace testing_tasks {
namespace {

using std::chrono::milliseconds;

TEST(TaskIsolation, ParsesWordsAndNamesTheFirstUnsupportedOne) {
  struct Case {
    const char* text;
    bool ok;
    int32_t bits;
    const char* unsupported;
  } cases[] = {
      {"system,global", true, kIsolateSystem | kIsolateGlobal, ""},
      {"  GLOBAL  ", true, kIsolateGlobal, ""},
      {"System", true, kIsolateSystem, ""},
      {"", true, 0, ""},
      {" , ,global,", true, kIsolateGlobal, ""},
      {"local", false, 0, "local"},
      {"global, loc al ", false, 0, "loc al"},
      {"globals", false, 0, "globals"},
  };
  for (const Case& c : cases) {
    int32_t bits = -1;
    String unsupported;
    bool ok = ParseTaskIsolation(c.text, static_cast<int32_t>(std::strlen(c.text)), &bits,
                                 &unsupported);
    EXPECT_EQ(ok, c.ok) << c.text;
    if (ok) {
      EXPECT_EQ(bits, c.bits) << c.text;
    } else {
      EXPECT_STREQ(unsupported.c_str(), c.unsupported) << c.text;
    }
  }
}

class Tasks : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(process_.Start()); }
  void TearDown() override { process_.Stop(); }
  ThreadManager* threads() { return process_.threads(); }
  // Waits for every task to finish (bounded).
  bool Drained() {
    return WaitUntil([this] { return threads()->ActiveTasks() == 0; }, milliseconds(20000));
  }

  EngineProcess process_{milliseconds(100)};
  TaskSite site_;
};

// The task sees the state of the moment it was started, not what its parent
// does afterwards, and the parent never sees the task's changes.
TEST_F(Tasks, RunOnACopyTakenAtTheStartAndWriteToTheLog) {
  site_.AddProgram("copy.pxc",
                   ".global g\n"
                   ".segment main start\n"
                   "  pushc \"before\"\n"
                   "  popg g\n"
                   "  async parent\n"
                   "  pushc \"task saw \"\n"
                   "  pushg g\n"
                   "  cat\n"
                   "  out\n"
                   "  pushc \"task\"\n"
                   "  popg g\n"
                   "  pushc \"\\ntask set \"\n"
                   "  pushg g\n"
                   "  cat\n"
                   "  out\n"
                   "  retn\n"
                   "parent:\n"
                   "  pushc \"after\"\n"
                   "  popg g\n"
                   "  pushc \"page \"\n"
                   "  pushg g\n"
                   "  cat\n"
                   "  out\n"
                   "  exit\n");
  std::string page = site_.Get("copy.pxc", threads());
  EXPECT_EQ(page, "page after");
  ASSERT_TRUE(site_.log().WaitFor("task set task", 1, milliseconds(10000)));
  EXPECT_EQ(site_.log().Count("task saw before"), 1);
  EXPECT_EQ(site_.log().Count("task saw after"), 0);
  ASSERT_TRUE(Drained());
}

// Started inside a function, the task runs with a copy of that call's
// locals, and its return ends the task rather than returning anywhere.
TEST_F(Tasks, StartedInAFunctionTheTaskHasACopyOfItsLocals) {
  site_.AddProgram("local.pxc",
                   ".segment main start\n"
                   "  call f\n"
                   "  pop\n"
                   "  pushc \"page\"\n"
                   "  out\n"
                   "  exit\n"
                   ".function f()\n"
                   ".local x\n"
                   "  pushc \"local\"\n"
                   "  popl x\n"
                   "  async back\n"
                   "  pushc \"task local [\"\n"
                   "  pushl x\n"
                   "  cat\n"
                   "  pushc \"]\"\n"
                   "  cat\n"
                   "  out\n"
                   "  retn\n"
                   "back:\n"
                   "  pushc \"changed\"\n"
                   "  popl x\n"
                   "  retn\n"
                   ".end\n");
  EXPECT_EQ(site_.Get("local.pxc", threads()), "page");
  ASSERT_TRUE(Drained());
  EXPECT_EQ(site_.log().Count("task local [local]"), 1);
  EXPECT_EQ(site_.log().Count("page"), 0);
}

// The task's debug-log lines land in the trace file next to the request's.
TEST_F(Tasks, TaskWritesItsStartAndEndToTheTraceFile) {
  std::string trace = site_.data() + "/trace.log";
  site_.Configure("<debugLog file=\"" + trace + "\" level=\"0x6000000\"/>");
  site_.AddProgram("traced.pxc",
                   ".segment main start\n"
                   "  async done\n"
                   "  pushc \"in task\"\n"
                   "  out\n"
                   "  retn\n"
                   "done:\n"
                   "  pushc \"answered\"\n"
                   "  out\n"
                   "  exit\n");
  EXPECT_EQ(site_.Get("traced.pxc", threads()), "answered");
  auto count = [&](const std::string& what) {
    std::string text = ReadFile(trace);
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  };
  // Request and task each log a start and an end; the task's output reaches
  // the error log when the task has finished, which may be after its end line.
  auto finished = [&] { return count("Request End") == 2 && site_.log().Count("in task") == 1; };
  EXPECT_TRUE(WaitUntil(finished, milliseconds(10000)))
      << ReadFile(trace);
  EXPECT_EQ(count("Request Start"), 2);
  ASSERT_TRUE(Drained());
}

TEST_F(Tasks, StartFailuresAreRuntimeErrorsAndSkipTheBlock) {
  struct Case {
    const char* name;
    const char* config;
    const char* body;  // code before the block; the block prints "ran"
    bool with_threads;
    const char* page_has;
  } cases[] = {
      {"unsupported.pxc", "", "  async skip\n", false, "Asynchronoust tasks are not supported"},
      {"local.pxc", "", "  pushc \" Local \"\n  asyncn skip 1\n", true,
       "Unsupported isolation flag &quot;Local&quot;"},
      {"limit.pxc", "<limits maxAsynchronousTasks=\"1\"/>",
       "  async first\n  spin:\n  jmp spin\nfirst:\n  async skip\n", true,
       "Maximum number of asynchronous tasks exceeded"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    site_.Configure(std::string("<timeouts asynchronous=\"1\"/>") + c.config);
    site_.AddProgram(c.name, std::string(".segment main start\n") + c.body +
                                 "  pushc \"ran\"\n  out\n  retn\n"
                                 "skip:\n  pushc \"|end\"\n  out\n  exit\n");
    std::string page = site_.Get(c.name, c.with_threads ? threads() : nullptr);
    EXPECT_NE(page.find(c.page_has), std::string::npos) << page;
    EXPECT_EQ(page.find("ran"), std::string::npos) << page;
    EXPECT_NE(page.find("|end"), std::string::npos) << page;
    ASSERT_TRUE(Drained());
  }
  EXPECT_EQ(site_.log().Count("ran"), 0);
}

TEST_F(Tasks, ATaskMayNotStartATask) {
  site_.AddProgram("nested.pxc",
                   ".segment main start\n"
                   "  async done\n"
                   "  async inner\n"
                   "  pushc \"inner ran\"\n"
                   "  out\n"
                   "  retn\n"
                   "inner:\n"
                   "  pushc \"outer goes on\"\n"
                   "  out\n"
                   "  retn\n"
                   "done:\n"
                   "  exit\n");
  site_.Get("nested.pxc", threads());
  ASSERT_TRUE(site_.log().WaitFor("outer goes on", 1, milliseconds(10000)));
  EXPECT_EQ(
      site_.log().Count("Asynchronous tasks may not start additional asynchronous tasks"), 1);
  ASSERT_TRUE(Drained());
  EXPECT_EQ(site_.log().Count("inner ran"), 0);
}

TEST_F(Tasks, IsolationStartsTheTaskWithEmptyGlobals) {
  site_.AddProgram("isolated.pxc",
                   ".global g\n"
                   ".segment main start\n"
                   "  pushc \"set\"\n"
                   "  popg g\n"
                   "  pushc \"global\"\n"
                   "  asyncn one 1\n"
                   "  pushc \"isolated [\"\n"
                   "  pushg g\n"
                   "  cat\n"
                   "  pushc \"]\"\n"
                   "  cat\n"
                   "  out\n"
                   "  retn\n"
                   "one:\n"
                   "  async two\n"
                   "  pushc \"copied [\"\n"
                   "  pushg g\n"
                   "  cat\n"
                   "  pushc \"]\"\n"
                   "  cat\n"
                   "  out\n"
                   "  retn\n"
                   "two:\n"
                   "  exit\n");
  site_.Get("isolated.pxc", threads());
  ASSERT_TRUE(Drained());
  EXPECT_EQ(site_.log().Count("isolated []"), 1);
  EXPECT_EQ(site_.log().Count("copied [set]"), 1);
}

TEST_F(Tasks, AsyncnWithMoreThanOneAttributeStopsTheRequest) {
  site_.AddProgram("two.pxc",
                   ".segment main start\n"
                   "  pushc \"system\"\n"
                   "  pushc \"global\"\n"
                   "  asyncn skip 2\n"
                   "  retn\n"
                   "skip:\n"
                   "  pushc \"after\"\n"
                   "  out\n"
                   "  exit\n");
  std::string page = site_.Get("two.pxc", threads());
  EXPECT_NE(page.find("Invalid number of parameters to ASYNCN"), std::string::npos) << page;
  EXPECT_EQ(page.find("after"), std::string::npos) << page;
  EXPECT_EQ(threads()->ActiveTasks(), 0);
}

// The task runs after the request ended and its tables were freed: it
// writes localized texts in the language the request had set, and opens
// databases of its own (the request's open table is not among them).
TEST_F(Tasks, AfterTheRequestEndedATaskLocalizesAndOpensItsOwnDatabases) {
  site_.AddProgram(
      "late.pxc",
      ".localized \"en-US\" \"w\" \"word\"\n"
      ".localized \"de-DE\" \"w\" \"Wort \" who\n"
      ".localized \"en-US\" \"x\" \"loaded late\"\n"
      ".system pexo_language\n"
      ".segment main start\n"
      "  pushc \"de-DE\"\n"
      "  pops pexo_language\n"
      "  pushc \"Ann\"\n"
      "  poplvnc \"who\"\n"
      "  localize \"w\"\n"
      "  pushc \"parent\"\n  pushc \"parent.dbf\"\n  pushc \"\"\n"
      "  pushc \"NAME CHAR(10)\"\n  pushc \"\"\n  dbcreate\n"
      "  async done\n"
      // Waits until the test removes the gate, after the request is gone.
      "  pushc \"gate\"\n  lockfile\n  lockfile_end\n"
      "  pushc \"\\ntext \"\n  out\n"
      "  pushc \"Bo\"\n  poplvnc \"who\"\n"
      "  localize \"w\"\n"
      "  pushc \"|\"\n  out\n"
      "  localize \"x\"\n"
      "  pushc \"|\"\n  out\n"
      "  pushc \"en-US\"\n  pops pexo_language\n"
      "  localize \"w\"\n"
      "  pushc \"\\n\"\n  out\n"
      "  pushc \"parent\"\n  dbclose\n"
      "  pushc \"t\"\n  pushc \"task.dbf\"\n  pushc \"\"\n"
      "  pushc \"NAME CHAR(10)\"\n  pushc \"\"\n  dbcreate\n"
      "  pushc \"kept\"\n  popnc \"d.name\"\n"
      "  pushc \"\"\n  pushc \"\"\n  dbadd\n"
      "  pushc \"field \"\n  pushnc \"t.d.name\"\n  cat\n  out\n"
      "  retn\n"
      "done:\n"
      "  exit\n");
  std::string gate = site_.data() + "/gate.lck";
  std::ofstream(gate) << "held by the test";
  EXPECT_EQ(site_.Get("late.pxc", threads()), "Wort Ann");
  ASSERT_EQ(std::remove(gate.c_str()), 0);
  ASSERT_TRUE(site_.log().WaitFor("field ", 1, milliseconds(20000)));
  ASSERT_TRUE(Drained());
  EXPECT_EQ(site_.log().Count("text Wort Bo|loaded late|word"), 1);
  EXPECT_EQ(site_.log().Count("Database 'parent' is not open"), 1);
  EXPECT_EQ(site_.log().Count("field kept"), 1);
}

// A task started inside a called file runs that file's code, with that
// file's localized texts, and may call files of its own.
TEST_F(Tasks, ATaskStartedInACalledFileKeepsItsFileAndCallsOthers) {
  site_.AddProgram("leaf.pxc", ".segment main start\n  pushc \"leaf ran\"\n  out\n");
  site_.AddProgram("called.pxc",
                   ".localized \"en-US\" \"k\" \"called text\"\n"
                   ".segment main start\n"
                   "  async back\n"
                   "  localize \"k\"\n"
                   "  pushc \" then \"\n  out\n"
                   "  pushc \"leaf.pxc\"\n  op_do_file\n"
                   "  retn\n"
                   "back:\n");
  site_.AddProgram("main.pxc",
                   ".localized \"en-US\" \"k\" \"main text\"\n"
                   ".segment main start\n"
                   "  pushc \"called.pxc\"\n  op_do_file\n"
                   "  pushc \"page\"\n  out\n");
  EXPECT_EQ(site_.Get("main.pxc", threads()), "page");
  ASSERT_TRUE(Drained());
  EXPECT_EQ(site_.log().Count("called text then leaf ran"), 1);
}

// A task that never ends is stopped at its own time-out; requests are
// served meanwhile.
TEST_F(Tasks, ALoopingTaskStopsAtItsTimeOutWhileRequestsGoOn) {
  site_.Configure("<timeouts asynchronous=\"1\"/>");
  site_.AddProgram("forever.pxc",
                   ".segment main start\n"
                   "  async done\n"
                   "spin:\n"
                   "  jmp spin\n"
                   "done:\n"
                   "  pushc \"started\"\n"
                   "  out\n"
                   "  exit\n");
  site_.AddProgram("ok.pxc", ".segment main start\n  pushc \"ok\"\n  out\n  exit\n");
  EXPECT_EQ(site_.Get("forever.pxc", threads()), "started");
  auto start = std::chrono::steady_clock::now();
  int served = 0;
  while (threads()->ActiveTasks() > 0 &&
         std::chrono::steady_clock::now() - start < std::chrono::seconds(20)) {
    if (site_.Get("ok.pxc", threads()) == "ok") ++served;
    std::this_thread::sleep_for(milliseconds(50));
  }
  EXPECT_EQ(threads()->ActiveTasks(), 0);
  EXPECT_GT(served, 3);
  EXPECT_EQ(site_.log().Count("Application timed out"), 1);
}

// 100 requests on four threads each start one task; a refusal at the limit
// is retried, so all 100 tasks run, never more than the limit at once.
TEST_F(Tasks, HundredTasksFromHundredRequestsRespectTheLimit) {
  constexpr int kLimit = 3;
  site_.Configure("<limits maxAsynchronousTasks=\"3\"/>");
  site_.AddProgram("work.pxc",
                   ".global i\n"
                   ".segment main start\n"
                   "  async done\n"
                   "  storegi i 0\n"
                   "count:\n"
                   "  incg i 1\n"
                   "  cmpgi i 20000\n"
                   "  jmp_lt count\n"
                   "  pushc \"task done\"\n"
                   "  out\n"
                   "  retn\n"
                   "done:\n"
                   "  pushc \"ok\"\n"
                   "  out\n"
                   "  exit\n");
  std::atomic<bool> sampling{true};
  std::atomic<int> peak{0};
  std::thread sampler([&] {
    while (sampling) {
      int active = threads()->ActiveTasks();
      int seen = peak.load();
      while (active > seen && !peak.compare_exchange_weak(seen, active)) {
      }
      std::this_thread::sleep_for(milliseconds(1));
    }
  });
  std::atomic<int> refused{0};
  std::vector<std::thread> clients;
  for (int t = 0; t < 4; ++t) {
    clients.emplace_back([&] {
      for (int r = 0; r < 25; ++r) {
        for (int attempt = 0; attempt < 2000; ++attempt) {
          std::string page = site_.Get("work.pxc", threads());
          if (page == "ok") break;
          if (page.find("Maximum number of asynchronous tasks exceeded") == std::string::npos)
            break;
          refused.fetch_add(1);
          std::this_thread::sleep_for(milliseconds(2));
        }
      }
    });
  }
  for (std::thread& client : clients) client.join();
  ASSERT_TRUE(Drained());
  sampling = false;
  sampler.join();
  EXPECT_EQ(site_.log().Count("task done"), 100);
  EXPECT_LE(peak.load(), kLimit);
  EXPECT_GT(peak.load(), 0);
  // Four clients against three slots: the limit was reached and enforced.
  EXPECT_GT(refused.load(), 0);
}

}  // namespace
}  // namespace testing_tasks
}  // namespace pexo
