// The swap of rebuilt files: a process killed at any step of it leaves,
// once the table is opened again, either every old file or every new one.
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "db/xbase/xbase_rebuild.h"
#include "xbase_fixture.h"

namespace pexo {
namespace {

// Passes everything through and ends the process at its `kill_at`-th step
// (journal write, flush, each rename, journal removal).
class KillingFileManager : public DatabaseFileManager {
 public:
  KillingFileManager(DatabaseFileManager* inner, int kill_at) : inner_(inner), kill_at_(kill_at) {}
  class File : public DatabaseFile {
   public:
    File(DatabaseFile* inner, KillingFileManager* owner) : inner_(inner), owner_(owner) {}
    int32_t ReadAt(int64_t offset, void* buffer, int32_t count) override {
      return inner_->ReadAt(offset, buffer, count);
    }
    bool WriteAt(int64_t offset, const void* buffer, int32_t count) override {
      owner_->Step();
      return inner_->WriteAt(offset, buffer, count);
    }
    int64_t Size() override { return inner_->Size(); }
    bool Flush() override {
      owner_->Step();
      return inner_->Flush();
    }
    bool Lock(int64_t o, int64_t l, bool e) override { return inner_->Lock(o, l, e); }
    bool Unlock(int64_t o, int64_t l) override { return inner_->Unlock(o, l); }
    const String& ErrorText() const override { return inner_->ErrorText(); }

   private:
    std::unique_ptr<DatabaseFile> inner_;
    KillingFileManager* owner_;
  };
  DatabaseFile* Open(const char* name, int32_t mode) override {
    DatabaseFile* file = inner_->Open(name, mode);
    return file ? new File(file, this) : nullptr;
  }
  DatabaseFile* CreateTemporary(const char* beside, String* name) override {
    return inner_->CreateTemporary(beside, name);
  }
  bool Replace(const char* from, const char* to) override {
    Step();
    return inner_->Replace(from, to);
  }
  bool Remove(const char* name) override {
    Step();
    return inner_->Remove(name);
  }
  const String& ErrorText() const override { return inner_->ErrorText(); }
  void Step() {
    if (++steps_ == kill_at_) ::_exit(0);
  }

 private:
  DatabaseFileManager* inner_;
  int kill_at_;
  int steps_ = 0;
};

class XBaseRebuildTest : public XBaseFixture {
 protected:
  const std::vector<std::string> kNames = {"t.dbf", "t.dbt", "a.ndx", "b.ndx"};

  // Originals hold "old <name>", temporaries "new <name>".
  std::vector<XBaseTemporaryFile> Prepare() {
    std::vector<XBaseTemporaryFile> swaps;
    for (const std::string& name : kNames) {
      WriteFile(name, "old " + name);
      XBaseTemporaryFile swap;
      String error;
      EXPECT_TRUE(MakeTemporaryBeside(files_.get(), String(name.c_str()), &swap, &error));
      WriteFile(Text(swap.temporary), "new " + name);
      swaps.push_back(swap);
    }
    return swaps;
  }
  // "old", "new", or "mixed".
  std::string State() {
    int old_count = 0, new_count = 0;
    for (const std::string& name : kNames) {
      std::string content = ReadFile(name);
      if (content == "old " + name) ++old_count;
      if (content == "new " + name) ++new_count;
    }
    if (old_count == static_cast<int>(kNames.size())) return "old";
    if (new_count == static_cast<int>(kNames.size())) return "new";
    return "mixed";
  }
};

TEST_F(XBaseRebuildTest, KilledAtEveryStepLeavesOldOrNew) {
  // Steps: journal write, flush, four renames, journal removal; then none.
  for (int kill_at = 1; kill_at <= 8; ++kill_at) {
    SCOPED_TRACE(kill_at);
    std::vector<XBaseTemporaryFile> swaps = Prepare();
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      KillingFileManager killing(files_.get(), kill_at);
      String error;
      ::_exit(CommitRebuild(&killing, String("t.dbf"), swaps, &error) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // The next open of the table finishes or forgets the swap.
    String error;
    ASSERT_TRUE(RecoverRebuild(files_.get(), String("t.dbf"), &error)) << Text(error);
    // Once the list is written (a killed process loses no written bytes,
    // flushed or not) the swap goes through.
    EXPECT_EQ(State(), kill_at == 1 ? "old" : "new");
    EXPECT_EQ(ReadFile("t.dbf.rbj"), "<missing>");
    DiscardRebuild(files_.get(), swaps);
  }
}

TEST_F(XBaseRebuildTest, ARenameListCutShortRenamesNothing) {
  std::vector<XBaseTemporaryFile> swaps = Prepare();
  WriteFile("t.dbf.rbj", Text(swaps[0].temporary) + "\tt.dbf\n" + Text(swaps[1].temporary) + "\tt.dbt\n");
  String error;
  ASSERT_TRUE(RecoverRebuild(files_.get(), String("t.dbf"), &error)) << Text(error);
  EXPECT_EQ(State(), "old");
  EXPECT_EQ(ReadFile("t.dbf.rbj"), "<missing>");
}

}  // namespace
}  // namespace pexo
