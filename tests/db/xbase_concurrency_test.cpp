// Several processes appending to and updating one table at once lose and
// corrupt nothing; a writer killed in the middle of appends leaves a table
// that opens with every completed record intact.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <utility>

#include "db/xbase/xbase_table.h"
#include "xbase_fixture.h"

namespace pexo {
namespace {

constexpr int kWorkers = 4;
constexpr int kPerWorker = 400;

std::string Pad(const std::string& text, size_t width, bool right) {
  std::string blanks(width - text.size(), ' ');
  return right ? blanks + text : text + blanks;
}

std::string PadText(int worker, int i) { return "w" + std::to_string(worker) + "-" + std::to_string(i); }
std::string MemoText(int worker, int i) {
  return "memo of " + std::to_string(worker) + "/" + std::to_string(i) + std::string(i % 700, '.');
}

class XBaseConcurrencyTest : public XBaseFixture {
 protected:
  // W N(2), I N(6), PAD C(20), U N(6), NOTE M: record length 45.
  static std::vector<XBaseFieldDefinition> Fields() {
    return {Column("W", kXBaseNumeric, 2), Column("I", kXBaseNumeric, 6),
            Column("PAD", kXBaseCharacter, 20), Column("U", kXBaseNumeric, 6),
            Column("NOTE", kXBaseMemo, 10)};
  }
  // The body of a child process: its own file manager over the same
  // directory. Returns the exit status.
  int Worker(int worker, int count, bool updates) {
    PosixFileManager posix(nullptr);
    if (!posix.SetDataDirectory(Path("").c_str(), -1)) return 2;
    PosixDatabaseFileManager files(&posix);
    XBaseTable table(&files);
    if (!table.OpenTable("c.dbf", kDbOpenExisting)) return 3;
    for (int i = 0; count < 0 || i < count; ++i) {
      if (!Append(&table, {std::to_string(worker), std::to_string(i), PadText(worker, i), "0",
                           MemoText(worker, i)}))
        return 4;
      if (updates && i % 10 == 0) {
        uint32_t mine = table.CurrentRecord();
        if (!table.ReadRecord(mine)) return 5;
        table.Fields()[3]->SetValue("1", 1);
        if (!table.RewriteRecord()) return 6;
      }
      if (updates && i % 7 == 0 && !table.SetDeleted(true)) return 7;
    }
    return 0;
  }
  pid_t Spawn(int worker, int count, bool updates) {
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(Worker(worker, count, updates));
    return pid;
  }
  uint32_t HeaderCount() {
    std::string bytes = ReadFile("c.dbf");
    if (bytes.size() < 8) return 0;
    uint32_t count = 0;
    std::memcpy(&count, bytes.data() + 4, 4);
    return count;
  }
  // Checks every record against what its writer wrote; `complete` (a run
  // with updates) demands that no record is missing and no byte follows the
  // last one but 0x1A.
  void CheckTable(bool complete, std::set<std::pair<int, int>>* seen) {
    std::string bytes = ReadFile("c.dbf");
    const size_t header = 32 * 5 + 33, length = 45;
    uint32_t count = 0;
    std::memcpy(&count, bytes.data() + 4, 4);
    ASSERT_GE(bytes.size(), header + count * length);
    if (complete) {
      EXPECT_EQ(count, static_cast<uint32_t>(kWorkers * kPerWorker));
      EXPECT_EQ(bytes.size(), header + count * length + 1);
      EXPECT_EQ(bytes.back(), '\x1a');
    }
    XBaseTable table(files_.get());
    ASSERT_TRUE(table.OpenTable("c.dbf", kDbOpenExisting)) << Text(table.ErrorText());
    ASSERT_EQ(table.RecordCount(), count);
    for (uint32_t n = 1; n <= count; ++n) {
      std::string record = bytes.substr(header + (n - 1) * length, length);
      int worker = std::atoi(record.substr(1, 2).c_str());
      int i = std::atoi(record.substr(3, 6).c_str());
      bool deleted = complete && i % 7 == 0, updated = complete && i % 10 == 0;
      std::string expected = std::string(deleted ? "*" : " ") +
                             Pad(std::to_string(worker), 2, true) +
                             Pad(std::to_string(i), 6, true) + Pad(PadText(worker, i), 20, false) +
                             Pad(updated ? "1" : "0", 6, true);
      EXPECT_EQ(record.substr(0, 35), expected) << "record " << n;
      ASSERT_TRUE(table.ReadRecord(n));
      EXPECT_EQ(Text(table.Fields()[4]->Value()), MemoText(worker, i)) << "record " << n;
      EXPECT_TRUE(seen->insert({worker, i}).second) << "record " << n << " written twice";
    }
  }
};

TEST_F(XBaseConcurrencyTest, ConcurrentWritersLoseAndCorruptNothing) {
  XBaseTable table(files_.get());
  ASSERT_TRUE(table.CreateTable("c.dbf", "c.dbt", Fields()));
  table.CloseTable();
  pid_t pids[kWorkers];
  for (int w = 0; w < kWorkers; ++w) pids[w] = Spawn(w, kPerWorker, true);
  for (pid_t pid : pids) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  std::set<std::pair<int, int>> seen;
  CheckTable(true, &seen);
  EXPECT_EQ(seen.size(), static_cast<size_t>(kWorkers * kPerWorker));
}

TEST_F(XBaseConcurrencyTest, KilledWriterLeavesEveryCompletedRecord) {
  XBaseTable table(files_.get());
  ASSERT_TRUE(table.CreateTable("c.dbf", "c.dbt", Fields()));
  table.CloseTable();
  int run = 0;
  for (uint32_t target : {5u, 60u, 200u}) {
    pid_t pid = Spawn(++run, -1, false);  // one worker number per run
    ASSERT_GT(pid, 0);
    for (int spins = 0; HeaderCount() < target && spins < 20000; ++spins) ::usleep(200);
    ::kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status));
    std::set<std::pair<int, int>> seen;
    CheckTable(false, &seen);
    ASSERT_GE(HeaderCount(), target);
  }
  // The table still takes appends after the kills.
  XBaseTable after(files_.get());
  ASSERT_TRUE(after.OpenTable("c.dbf", kDbOpenExisting));
  uint32_t before = after.RecordCount();
  ASSERT_TRUE(Append(&after, {"9", "1", PadText(9, 1), "0", MemoText(9, 1)}));
  EXPECT_EQ(after.RecordCount(), before + 1);
}

}  // namespace
}  // namespace pexo
