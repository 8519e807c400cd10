// Failing writes and locks: every message names the file, every lock taken
// is released, and a failed append leaves the cached count as it was.
#include <memory>
#include <string>

#include "db/xbase/xbase_table.h"
#include "xbase_fixture.h"

namespace pexo {
namespace {

// Forwards to a real file; fails the chosen operation on the chosen file
// and counts the locks held.
struct Faults {
  std::string file;      // name whose operations fail
  bool fail_write = false;
  bool fail_lock = false;
  int locks_held = 0;
};

class FaultyFile : public DatabaseFile {
 public:
  FaultyFile(DatabaseFile* real, Faults* faults, bool target)
      : real_(real), faults_(faults), target_(target) {}
  int32_t ReadAt(int64_t offset, void* buffer, int32_t count) override {
    return real_->ReadAt(offset, buffer, count);
  }
  bool WriteAt(int64_t offset, const void* buffer, int32_t count) override {
    if (target_ && faults_->fail_write) return Fail("No space left on device");
    return real_->WriteAt(offset, buffer, count);
  }
  int64_t Size() override { return real_->Size(); }
  bool Flush() override { return real_->Flush(); }
  bool Lock(int64_t offset, int64_t length, bool exclusive) override {
    if (target_ && faults_->fail_lock) return Fail("Resource deadlock avoided");
    if (!real_->Lock(offset, length, exclusive)) return false;
    ++faults_->locks_held;
    return true;
  }
  bool Unlock(int64_t offset, int64_t length) override {
    --faults_->locks_held;
    return real_->Unlock(offset, length);
  }
  const String& ErrorText() const override { return failed_ ? error_ : real_->ErrorText(); }

 private:
  bool Fail(const char* text) {
    error_.assign(text);
    failed_ = true;
    return false;
  }
  std::unique_ptr<DatabaseFile> real_;
  Faults* faults_;
  bool target_;
  bool failed_ = false;
  String error_;
};

class FaultyManager : public DatabaseFileManager {
 public:
  FaultyManager(DatabaseFileManager* real, Faults* faults) : real_(real), faults_(faults) {}
  DatabaseFile* Open(const char* name, int32_t mode) override {
    DatabaseFile* file = real_->Open(name, mode);
    return file ? new FaultyFile(file, faults_, faults_->file == name) : nullptr;
  }
  DatabaseFile* CreateTemporary(const char* beside, String* name) override {
    return real_->CreateTemporary(beside, name);
  }
  bool Replace(const char* from, const char* to) override { return real_->Replace(from, to); }
  bool Remove(const char* name) override { return real_->Remove(name); }
  const String& ErrorText() const override { return real_->ErrorText(); }

 private:
  DatabaseFileManager* real_;
  Faults* faults_;
};

using XBaseFailuresTest = XBaseFixture;

TEST_F(XBaseFailuresTest, FailedWritesAndLocksReportAndReleaseEverything) {
  {
    XBaseTable maker(files_.get());
    ASSERT_TRUE(maker.CreateTable("f.dbf", "f.dbt", {Column("NAME", kXBaseCharacter, 4),
                                                     Column("NOTE", kXBaseMemo, 10)}));
    ASSERT_TRUE(Append(&maker, {"one", "memo"}));
  }
  const std::string before = ReadFile("f.dbf");
  enum Operation { kAppend, kAppendMemo, kRewrite, kDelete };
  struct Case {
    const char* file;
    bool write, lock;
    Operation operation;
    const char* message;
  } cases[] = {
      {"f.dbf", true, false, kAppend, "Error writing to 'f.dbf': No space left on device"},
      {"f.dbf", false, true, kAppend, "Error locking 'f.dbf' for write: Resource deadlock avoided"},
      {"f.dbt", true, false, kAppendMemo, "Error writing to 'f.dbt': No space left on device"},
      {"f.dbt", false, true, kAppendMemo,
       "Error locking 'f.dbt' for write: Resource deadlock avoided"},
      {"f.dbf", true, false, kRewrite, "Error writing to 'f.dbf': No space left on device"},
      {"f.dbf", false, true, kRewrite, "Error locking 'f.dbf' for write: Resource deadlock avoided"},
      {"f.dbf", true, false, kDelete, "Error writing to 'f.dbf': No space left on device"},
      {"f.dbf", false, true, kDelete, "Error locking 'f.dbf' for write: Resource deadlock avoided"},
  };
  {
    Faults faults;
    faults.file = "f.dbt";
    faults.fail_lock = true;
    FaultyManager manager(files_.get(), &faults);
    XBaseTable table(&manager);
    EXPECT_FALSE(table.OpenTable("f.dbf", kDbOpenExisting));
    EXPECT_EQ(Text(table.ErrorText()), "Error locking 'f.dbt' for read: Resource deadlock avoided");
    EXPECT_FALSE(table.is_open());
  }
  for (const Case& c : cases) {
    Faults faults;
    faults.file = c.file;
    FaultyManager manager(files_.get(), &faults);
    XBaseTable table(&manager);
    ASSERT_TRUE(table.OpenTable("f.dbf", kDbOpenExisting)) << Text(table.ErrorText());
    ASSERT_TRUE(table.ReadRecord(1));
    faults.fail_write = c.write;
    faults.fail_lock = c.lock;
    bool ok = true;
    switch (c.operation) {
      case kAppend:
        ok = Append(&table, {"two", ""});
        break;
      case kAppendMemo:
        ok = Append(&table, {"two", "a new memo"});
        break;
      case kRewrite:
        table.Fields()[0]->SetValue("ONE", 3);
        ok = table.RewriteRecord();
        break;
      case kDelete:
        ok = table.SetDeleted(true);
        EXPECT_FALSE(table.Deleted()) << c.message;
        break;
    }
    EXPECT_FALSE(ok) << c.message;
    EXPECT_EQ(Text(table.ErrorText()), c.message);
    EXPECT_EQ(faults.locks_held, 0) << c.message;
    EXPECT_EQ(table.RecordCount(), 1u) << c.message;
    EXPECT_EQ(ReadFile("f.dbf"), before) << c.message;
  }
}

TEST_F(XBaseFailuresTest, MemoTableWithoutItsMemoFileOrWithACorruptMemoHeader) {
  {
    XBaseTable maker(files_.get());
    ASSERT_TRUE(maker.CreateTable("g.dbf", "g.dbt", {Column("NOTE", kXBaseMemo, 10)}));
  }
  std::string memo = ReadFile("g.dbt");
  WriteFile("g.dbt", std::string("\xff\xff\xff\x7f", 4) + memo.substr(4));
  XBaseTable table(files_.get());
  ASSERT_TRUE(table.OpenTable("g.dbf", kDbOpenExisting));
  EXPECT_FALSE(Append(&table, {"text"}));
  EXPECT_EQ(Text(table.ErrorText()), "Error reading from 'g.dbt': Invalid next free block");
  EXPECT_EQ(ReadFile("g.dbt").size(), memo.size());  // nothing written far past the end

  // A header that another writer corrupted after the open: the append stops
  // rather than writing far past the end.
  const std::string good = ReadFile("g.dbf");
  std::string bytes = good;
  bytes[4] = 100;
  WriteFile("g.dbf", bytes);
  EXPECT_FALSE(Append(&table, {""}));
  EXPECT_EQ(Text(table.ErrorText()),
            "Error reading from 'g.dbf': Record count exceeds the file size");
  EXPECT_EQ(ReadFile("g.dbf"), bytes);
  EXPECT_EQ(table.RecordCount(), 0u);

  WriteFile("g.dbf", good);
  ASSERT_EQ(std::remove(Path("g.dbt").c_str()), 0);
  EXPECT_FALSE(table.OpenTable("g.dbf", kDbOpenExisting));
  EXPECT_EQ(Text(table.ErrorText()), "Error opening 'g.dbt': No such file or directory");
}

}  // namespace
}  // namespace pexo
