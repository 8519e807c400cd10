#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <thread>

#include "values/config.h"
#include "host/file_path.h"
#include "io/md5.h"
#include "host/posix_file_manager.h"

namespace pexo {
namespace {

// A scratch tree: <top>/root (data), <top>/root/scripts (script),
// <top>/tmp (temporary) and a sibling <top>/ROOT for case tests.
class FileManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pexo_fmXXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    top_ = pattern;
    for (const char* d : {"/root", "/root/scripts", "/tmp", "/ROOT", "/outside"})
      ASSERT_EQ(mkdir((top_ + d).c_str(), 0755), 0);
    config_.SetString(CFG_LOCK_HOSTNAME, "host.example", -1);
    manager_ = std::make_unique<PosixFileManager>(&config_);
    ASSERT_TRUE(manager_->SetDataDirectory((top_ + "/root").c_str(), -1));
    ASSERT_TRUE(manager_->SetScriptDirectory((top_ + "/root/scripts").c_str(), -1));
    ASSERT_TRUE(manager_->SetTemporaryDirectory((top_ + "/tmp").c_str(), -1));
  }
  void TearDown() override {
    manager_.reset();
    std::string command = "rm -rf '" + top_ + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  void WriteFile(const std::string& relative, const std::string& content) {
    FILE* f = std::fopen((top_ + relative).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
  }
  std::string ReadFile(const std::string& relative) {
    FILE* f = std::fopen((top_ + relative).c_str(), "rb");
    if (!f) return "<missing>";
    std::string text;
    char buffer[512];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
    return text;
  }
  std::string Resolve(int32_t location, const char* path) {
    String full;
    if (!manager_->ResolvePath(location, path, -1, &full))
      return std::string("ERR:") + manager_->ErrorText().c_str();
    return full.c_str();
  }

  std::string top_;
  PosixConfig config_;
  std::unique_ptr<PosixFileManager> manager_;
};

TEST(FilePath, Normalisation) {
  const struct {
    const char* in;
    const char* out;
  } kCases[] = {
      {"a/../b", "b"},        {"a\\.\\b\\", "a/b"},      {"../../x", "../../x"},
      {"a/b/../../..", ".."}, {"/..", "/"},              {"/../a/./b", "/a/b"},
      {"", "."},              {"//a//b", "/a/b"},         {"a/..", "."},
  };
  for (const auto& k : kCases)
    EXPECT_EQ(PosixFilePath(k.in, -1).ToString(), k.out) << k.in;
}

TEST(FileManager, ReservedNames) {
  const struct {
    const char* name;
    bool reserved;
  } kCases[] = {{"con.txt", true}, {"Com1", true},  {"lpt9.log", true}, {"NUL", true},
                {"aux", true},     {"prn.", true},  {"com0", false},    {"console", false},
                {"lpt", false},    {"com10", false}, {"co", false},     {"", false},
                {"xcon", false},   {"LPT1.a.b", true}};
  PosixFileManager manager(nullptr);
  const FileManager& files = manager;
  for (const auto& k : kCases) EXPECT_EQ(files.IsReservedName(k.name, -1), k.reserved) << k.name;
}

TEST_F(FileManagerTest, ResolveInsideTheRoot) {
  EXPECT_EQ(Resolve(FILE_DATA, "a/../b"), top_ + "/root/b");
  EXPECT_EQ(Resolve(FILE_DATA, "/etc/x"), top_ + "/root/etc/x");  // leading separators ignored
  EXPECT_EQ(Resolve(FILE_DATA, "\\\\/x"), top_ + "/root/x");
  EXPECT_EQ(Resolve(FILE_SCRIPT, "a.pxc"), top_ + "/root/scripts/a.pxc");
  EXPECT_EQ(Resolve(FILE_TEMP, "t"), top_ + "/tmp/t");
  EXPECT_EQ(Resolve(FILE_DATA, ""), top_ + "/root");
  EXPECT_EQ(Resolve(FILE_DATA, "scripts/../x"), top_ + "/root/x");
}

TEST_F(FileManagerTest, ResolveRefusals) {
  const std::string kData = "ERR:The specified path references a path outside the configured ";
  const struct {
    int32_t location;
    const char* path;
    std::string expected;
  } kCases[] = {
      {FILE_DATA, "../../x", kData + "data directory"},
      {FILE_DATA, "..", kData + "data directory"},
      {FILE_SCRIPT, "../x.pxc", kData + "script directory"},
      {FILE_TEMP, "../root/x", kData + "temporary directory"},
      // A case variant of the root names a different directory here.
      {FILE_DATA, "../ROOT/x", kData + "data directory"},
      {FILE_DATA, "a:b", "ERR:The specified path references an NTFS alternate data stream"},
      {FILE_DATA, "dir/con.txt",
       "ERR:The specified path references a Windows reserved device name"},
      {FILE_DATA, "Com1", "ERR:The specified path references a Windows reserved device name"},
      {FILE_DATA, "a:b/x", top_ + "/root/a:b/x"},  // only the last component counts
      {7, "x", "ERR:Invalid file location"},
  };
  for (const auto& k : kCases)
    EXPECT_EQ(Resolve(k.location, k.path), k.expected) << k.location << " " << k.path;
  String full;
  EXPECT_FALSE(manager_->ResolvePath(FILE_DATA, "a\0/../../x", 10, &full));
}

TEST_F(FileManagerTest, SymbolicLinksMayNotLeaveTheRoot) {
  WriteFile("/outside/secret", "s");
  WriteFile("/root/inside", "i");
  ASSERT_EQ(symlink((top_ + "/outside").c_str(), (top_ + "/root/out").c_str()), 0);
  ASSERT_EQ(symlink((top_ + "/root/inside").c_str(), (top_ + "/root/in").c_str()), 0);
  ASSERT_EQ(symlink((top_ + "/outside/none").c_str(), (top_ + "/root/dangling").c_str()), 0);
  const std::string kOutside =
      "ERR:The specified path references a path outside the configured data directory";
  EXPECT_EQ(Resolve(FILE_DATA, "out/secret"), kOutside);
  EXPECT_EQ(Resolve(FILE_DATA, "out"), kOutside);
  EXPECT_EQ(Resolve(FILE_DATA, "out/new-file"), kOutside);
  EXPECT_EQ(Resolve(FILE_DATA, "dangling"), kOutside);  // creating through it would escape
  EXPECT_EQ(Resolve(FILE_DATA, "in"), top_ + "/root/in");
  EXPECT_EQ(manager_->Open(FILE_DATA, "out/secret", FILE_READ), nullptr);
  EXPECT_EQ(manager_->Open(FILE_DATA, "dangling", FILE_WRITE | FILE_CREATE), nullptr);
  EXPECT_EQ(ReadFile("/outside/none"), "<missing>");
}

TEST_F(FileManagerTest, RootSetterMessages) {
  PosixFileManager m(nullptr);
  String full;
  EXPECT_FALSE(m.ResolvePath(FILE_DATA, "x", -1, &full));
  EXPECT_STREQ(m.ErrorText().c_str(), "There is no configured data directory");
  EXPECT_FALSE(m.ResolvePath(FILE_TEMP, "x", -1, &full));  // falls back to data
  EXPECT_STREQ(m.ErrorText().c_str(), "There is no configured data directory");
  EXPECT_FALSE(m.ResolvePath(FILE_SCRIPT, "x", -1, &full));
  EXPECT_STREQ(m.ErrorText().c_str(), "There is no configured script directory");

  EXPECT_FALSE(m.SetScriptDirectory("relative/dir", -1));
  EXPECT_STREQ(m.ErrorText().c_str(),
               "The configured script directory is not a fully qualified path including a "
               "drive letter");
  EXPECT_FALSE(m.SetDataDirectory((top_ + "/aux").c_str(), -1));
  EXPECT_STREQ(m.ErrorText().c_str(),
               "The configured data directory references a reserved Windows device name");
  WriteFile("/plain", "x");
  EXPECT_FALSE(m.SetTemporaryDirectory((top_ + "/plain").c_str(), -1));
  EXPECT_STREQ(m.ErrorText().c_str(),
               "The configured temporary directory does not exist, or is not a directory");
  EXPECT_FALSE(m.SetDataDirectory((top_ + "/missing").c_str(), -1));
  EXPECT_STREQ(m.ErrorText().c_str(),
               "The configured data directory does not exist, or is not a directory");

  ASSERT_TRUE(m.SetDataDirectory((top_ + "/root/").c_str(), -1));
  EXPECT_TRUE(m.ResolvePath(FILE_TEMP, "x", -1, &full));
  EXPECT_EQ(std::string(full.c_str()), top_ + "/root/x");
}

TEST_F(FileManagerTest, OpenFlagsFollowTheCreationRule) {
  const struct {
    int32_t flags;
    bool existing_ok;  // opening an existing file succeeds
    bool missing_ok;   // opening a missing file succeeds (and creates it)
    bool truncates;
  } kCases[] = {
      {FILE_READ, true, false, false},
      {FILE_WRITE | FILE_CREATE_NEW, false, true, false},
      {FILE_WRITE | FILE_CREATE | FILE_TRUNCATE, true, true, true},
      {FILE_WRITE | FILE_TRUNCATE, true, false, true},
      {FILE_WRITE | FILE_CREATE | FILE_MUST_EXIST, true, false, false},
      {FILE_WRITE | FILE_CREATE, true, true, false},
      {FILE_WRITE | FILE_CREATE_MISSING | FILE_MUST_EXIST, true, false, false},
      {FILE_WRITE | FILE_CREATE_MISSING, true, true, false},
  };
  int n = 0;
  for (const auto& k : kCases) {
    std::string existing = "e" + std::to_string(n), missing = "m" + std::to_string(n++);
    WriteFile("/root/" + existing, "12345");
    std::unique_ptr<PosixFile> f(manager_->Open(FILE_DATA, existing.c_str(), k.flags));
    EXPECT_EQ(f != nullptr, k.existing_ok) << std::hex << k.flags;
    f.reset();
    EXPECT_EQ(ReadFile("/root/" + existing), k.truncates ? "" : "12345") << std::hex << k.flags;
    f.reset(manager_->Open(FILE_DATA, missing.c_str(), k.flags));
    EXPECT_EQ(f != nullptr, k.missing_ok) << std::hex << k.flags;
    if (!k.missing_ok) {
      EXPECT_STREQ(manager_->ErrorText().c_str(), "No such file or directory");
    }
  }
}

TEST_F(FileManagerTest, HandleLimitReleasesLeastRecentlyUsedAndReopensAtPosition) {
  WriteFile("/root/a", "AAAAAAAAAA");
  WriteFile("/root/b", "BBBBBBBBBB");
  WriteFile("/root/c", "0123456789");
  manager_->SetHandleLimit(2);
  std::unique_ptr<PosixFile> c(manager_->Open(FILE_DATA, "c", FILE_READ));
  ASSERT_TRUE(c);
  char buffer[8] = {0};
  ASSERT_EQ(c->Read(buffer, 3), 3);  // position 3
  std::unique_ptr<PosixFile> a(manager_->Open(FILE_DATA, "a", FILE_READ));
  std::unique_ptr<PosixFile> b(manager_->Open(FILE_DATA, "b", FILE_READ));
  ASSERT_TRUE(a && b);
  EXPECT_FALSE(c->active());  // least recently used: released
  EXPECT_TRUE(a->active());
  EXPECT_EQ(manager_->ActiveCount(), 2);
  EXPECT_EQ(manager_->InactiveCount(), 1);
  ASSERT_EQ(c->Read(buffer, 3), 3);  // reopened where it was
  EXPECT_EQ(std::string(buffer, 3), "345");
  EXPECT_TRUE(c->active());
  EXPECT_FALSE(a->active());  // now a was the least recently used
  EXPECT_EQ(b->Read(buffer, 2), 2);
  EXPECT_EQ(a->Read(buffer, 2), 2);
  EXPECT_EQ(std::string(buffer, 2), "AA");
  EXPECT_FALSE(c->active());
  c.reset();  // closing removes it from the lists
  EXPECT_EQ(manager_->ActiveCount() + manager_->InactiveCount(), 2);

  EXPECT_FALSE(manager_->Reserve(3));
  EXPECT_STREQ(manager_->ErrorText().c_str(),
               "Simultaneous request for 3 file handles exceeds the maximum number of "
               "simultaneous file handles.");
}

TEST_F(FileManagerTest, LockedFilesAndUnaccountedFilesKeepTheirHandles) {
  WriteFile("/root/table", "0123456789");
  WriteFile("/root/x", "x");
  WriteFile("/root/y", "y");
  manager_->SetHandleLimit(1);
  std::unique_ptr<PosixFile> table(manager_->Open(FILE_DATA, "table", FILE_READ | FILE_WRITE));
  ASSERT_TRUE(table->LockRange(0, 4, true));
  std::unique_ptr<PosixFile> x(manager_->Open(FILE_DATA, "x", FILE_READ));
  EXPECT_TRUE(table->active());  // closing it would drop the lock
  std::unique_ptr<PosixFile> y(manager_->Open(FILE_DATA, "y", FILE_READ | FILE_UNACCOUNTED));
  EXPECT_TRUE(x->active());
  EXPECT_EQ(manager_->ActiveCount(), 2);
  manager_->Deactivate(y.get());  // voluntarily released, reopened on use
  EXPECT_FALSE(y->active());
  char ch = 0;
  EXPECT_EQ(y->Read(&ch, 1), 1);
  EXPECT_EQ(ch, 'y');

  // Another open file description conflicts even within the process.
  std::unique_ptr<PosixFile> other(
      manager_->OpenRaw((top_ + "/root/table").c_str(), FILE_READ | FILE_UNACCOUNTED));
  struct flock probe;
  std::memset(&probe, 0, sizeof probe);
  probe.l_type = F_RDLCK;
  probe.l_whence = SEEK_SET;
  probe.l_start = 1;
  probe.l_len = 1;
  int fd = open((top_ + "/root/table").c_str(), O_RDONLY);
  ASSERT_EQ(fcntl(fd, F_OFD_GETLK, &probe), 0);
  EXPECT_EQ(probe.l_type, F_WRLCK);
  ASSERT_TRUE(table->UnlockRange(0, 4));
  probe.l_type = F_RDLCK;
  probe.l_pid = 0;  // the query sets it to -1 and refuses anything but 0
  probe.l_start = 1;
  probe.l_len = 1;
  ASSERT_EQ(fcntl(fd, F_OFD_GETLK, &probe), 0);
  EXPECT_EQ(probe.l_type, F_UNLCK);
  close(fd);
}

TEST_F(FileManagerTest, UniqueAndTemporaryFiles) {
  String name;
  std::unique_ptr<PosixFile> first(manager_->CreateUniqueFile(FILE_DATA, "up", &name, FILE_WRITE));
  ASSERT_TRUE(first);
  EXPECT_STREQ(name.c_str(), "up.0");
  std::unique_ptr<PosixFile> second(manager_->CreateUniqueFile(FILE_DATA, "up", &name, FILE_WRITE));
  EXPECT_STREQ(name.c_str(), "up.1");
  for (int i = 2; i < 16; ++i) WriteFile("/root/up." + std::to_string(i), "");
  WriteFile("/root/up.a", "");  // 10 in hex is taken too
  WriteFile("/root/up.b", "");
  std::unique_ptr<PosixFile> next(manager_->CreateUniqueFile(FILE_DATA, "up", &name, FILE_WRITE));
  EXPECT_STREQ(name.c_str(), "up.c");

  EXPECT_EQ(manager_->CreateTemporaryFile(FILE_TEMP, "", "a/b", &name, FILE_WRITE), nullptr);
  EXPECT_STREQ(manager_->ErrorText().c_str(), "Invalid temporary filename prefix");
  EXPECT_EQ(manager_->CreateTemporaryFile(FILE_TEMP, "", "a\\b", &name, FILE_WRITE), nullptr);
  ASSERT_EQ(mkdir((top_ + "/tmp/sub").c_str(), 0755), 0);
  const struct {
    const char* directory;
    const char* expected;
  } kCases[] = {{"", "PEXO_FUP.0"}, {".", "PEXO_FUP.1"}, {"sub", "sub/PEXO_FUP.0"},
                {"sub/", "sub/PEXO_FUP.1"}};
  for (const auto& k : kCases) {
    std::unique_ptr<PosixFile> t(
        manager_->CreateTemporaryFile(FILE_TEMP, k.directory, "PEXO_FUP", &name, FILE_WRITE));
    ASSERT_TRUE(t) << manager_->ErrorText().c_str();
    EXPECT_STREQ(name.c_str(), k.expected);
    EXPECT_TRUE(t->Write("z", 1));
  }
  EXPECT_EQ(ReadFile("/tmp/sub/PEXO_FUP.1"), "z");
  EXPECT_EQ(manager_->CreateTemporaryFile(FILE_TEMP, "../x", "p", &name, FILE_WRITE), nullptr);
  EXPECT_STREQ(manager_->ErrorText().c_str(),
               "The specified path references a path outside the configured temporary "
               "directory");
  EXPECT_EQ(manager_->CreateTemporaryFile(FILE_TEMP, "nodir", "p", &name, FILE_WRITE), nullptr);
  EXPECT_STREQ(manager_->ErrorText().c_str(), "No such file or directory");
}

TEST_F(FileManagerTest, WholeFileOperations) {
  WriteFile("/root/f", "content");
  EXPECT_TRUE(manager_->Exists(FILE_DATA, "f"));
  EXPECT_EQ(manager_->FileSize(FILE_DATA, "f"), 7);
  EXPECT_TRUE(manager_->IsFile(FILE_DATA, "f"));
  EXPECT_FALSE(manager_->IsDirectory(FILE_DATA, "f"));
  EXPECT_TRUE(manager_->Copy(FILE_DATA, "f", FILE_TEMP, "g"));
  EXPECT_EQ(ReadFile("/tmp/g"), "content");
  EXPECT_TRUE(manager_->Rename(FILE_TEMP, "g", FILE_DATA, "h"));
  EXPECT_EQ(ReadFile("/root/h"), "content");
  EXPECT_FALSE(manager_->Rename(FILE_DATA, "h", FILE_DATA, "../../h"));
  EXPECT_TRUE(manager_->SetModificationTime(FILE_DATA, "h", 1000000));
  EXPECT_EQ(manager_->ModificationTime(FILE_DATA, "h"), 1000000);
  EXPECT_TRUE(manager_->Touch(FILE_DATA, "h"));
  EXPECT_GE(manager_->ModificationTime(FILE_DATA, "h"), std::time(nullptr) - 5);
  EXPECT_TRUE(manager_->Touch(FILE_DATA, "new"));
  EXPECT_EQ(manager_->FileSize(FILE_DATA, "new"), 0);
  EXPECT_TRUE(manager_->MakeDirectory(FILE_DATA, "d"));
  EXPECT_TRUE(manager_->IsDirectory(FILE_DATA, "d"));
  std::vector<std::string> names;
  EXPECT_TRUE(manager_->ListDirectory(FILE_DATA, "", &names));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"d", "f", "h", "new", "scripts"}));
  EXPECT_TRUE(manager_->RemoveDirectory(FILE_DATA, "d"));
  EXPECT_FALSE(manager_->Exists(FILE_DATA, "d"));
  EXPECT_TRUE(manager_->SetWritable(FILE_DATA, "h", 0));
  struct stat info;
  ASSERT_EQ(stat((top_ + "/root/h").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0222, 0u);
  EXPECT_TRUE(manager_->SetWritable(FILE_DATA, "h", FILE_MUST_EXIST));
  ASSERT_EQ(stat((top_ + "/root/h").c_str(), &info), 0);
  EXPECT_NE(info.st_mode & S_IWUSR, 0u);
  EXPECT_TRUE(manager_->Delete(FILE_DATA, "h"));
  EXPECT_FALSE(manager_->Delete(FILE_DATA, "h"));
  EXPECT_STREQ(manager_->ErrorText().c_str(), "No such file or directory");
  EXPECT_FALSE(manager_->MakeSymbolicLink(FILE_DATA, "/etc", "l"));
  EXPECT_STREQ(manager_->ErrorText().c_str(),
               "PosixFileManager::MakeSymbolicLink is not implemented");
}

// --- lock files ---------------------------------------------------------------

std::string OwnerFileName(const std::string& lock, const char* host) {
  char digest[Md5::kHexSize];
  Md5::HexDigest(host, std::strlen(host), digest);
  return lock + "." + digest + ".";
}

TEST_F(FileManagerTest, LockFileHoldsOwnerAndDetectsDeadlock) {
  ASSERT_EQ(manager_->AcquireLock(FILE_DATA, "res.lck"), LOCK_ACQUIRED);
  std::string owner = ReadFile("/root/res.lck");
  std::string expected_prefix = std::to_string(getpid()) + "!";
  EXPECT_EQ(owner.compare(0, expected_prefix.size(), expected_prefix), 0) << owner;
  EXPECT_EQ(owner.substr(owner.size() - 13), ":host.example");
  // The per-owner file was renamed onto the lock: nothing else is left.
  std::vector<std::string> names;
  ASSERT_TRUE(manager_->ListDirectory(FILE_DATA, "", &names));
  EXPECT_EQ(names.size(), 2u);  // scripts and res.lck

  EXPECT_EQ(manager_->InspectLock(FILE_DATA, "res.lck"), LOCK_SELF);
  EXPECT_EQ(manager_->AcquireLock(FILE_DATA, "res.lck"), LOCK_DEADLOCK);
  EXPECT_STREQ(manager_->ErrorText().c_str(), "Possible deadlock detected");
  ASSERT_TRUE(manager_->ListDirectory(FILE_DATA, "", &names));
  EXPECT_EQ(names.size(), 2u);  // the second attempt cleaned up its own file
  EXPECT_TRUE(manager_->ReleaseLock(FILE_DATA, "res.lck"));
  EXPECT_EQ(ReadFile("/root/res.lck"), "<missing>");
  EXPECT_TRUE(manager_->ReleaseLock(FILE_DATA, "res.lck"));  // already gone counts as released
  EXPECT_EQ(manager_->AcquireLock(FILE_DATA, "../escape.lck"), LOCK_ERROR);
}

TEST_F(FileManagerTest, OwnerFileCollisionIsAnError) {
  // A leftover per-owner file of this very thread blocks the exclusive create.
  std::string prefix = OwnerFileName(top_ + "/root/busy.lck", "host.example");
  pid_t pid = getpid();
  unsigned tid = static_cast<unsigned>(gettid());
  WriteFile(prefix.substr(top_.size()) + std::to_string(pid) + "." + std::to_string(tid), "");
  EXPECT_EQ(manager_->AcquireLock(FILE_DATA, "busy.lck"), LOCK_ERROR);
  EXPECT_STREQ(manager_->ErrorText().c_str(), "File exists");
}

TEST_F(FileManagerTest, StaleLocksAreTakenOver) {
  // A dead owner on this host: find a pid that surely does not exist.
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(0);
  ASSERT_EQ(waitpid(child, nullptr, 0), child);
  WriteFile("/root/dead.lck", std::to_string(child) + "!1:host.example");
  EXPECT_EQ(manager_->InspectLock(FILE_DATA, "dead.lck"), LOCK_STALE);
  EXPECT_EQ(manager_->AcquireLock(FILE_DATA, "dead.lck"), LOCK_ACQUIRED);
  EXPECT_EQ(ReadFile("/root/dead.lck").compare(0, std::to_string(getpid()).size(),
                                               std::to_string(getpid())),
            0);

  // A live owner (pid 1) on this host is held whatever the file's age.
  WriteFile("/root/live.lck", "1!1:host.example");
  ASSERT_TRUE(manager_->SetModificationTime(FILE_DATA, "live.lck", 1000));
  EXPECT_EQ(manager_->InspectLock(FILE_DATA, "live.lck"), LOCK_HELD);

  // Another host's lock: judged by age against lock_expiration.
  WriteFile("/root/far.lck", "1!1:elsewhere");
  EXPECT_EQ(manager_->InspectLock(FILE_DATA, "far.lck"), LOCK_HELD);
  ASSERT_TRUE(manager_->SetModificationTime(FILE_DATA, "far.lck", std::time(nullptr) - 91));
  EXPECT_EQ(manager_->InspectLock(FILE_DATA, "far.lck"), LOCK_STALE);
  config_.SetInteger(CFG_LOCK_EXPIRATION, 0);  // never expires
  EXPECT_EQ(manager_->InspectLock(FILE_DATA, "far.lck"), LOCK_HELD);
  config_.SetInteger(CFG_LOCK_EXPIRATION, 90);
  EXPECT_EQ(manager_->AcquireLock(FILE_DATA, "far.lck"), LOCK_ACQUIRED);

  // Unparsable content and a pid too large to be one fall back to the age.
  WriteFile("/root/junk.lck", "not an owner");
  EXPECT_EQ(manager_->InspectLock(FILE_DATA, "junk.lck"), LOCK_HELD);
  WriteFile("/root/huge.lck", "4294967295!1:host.example");
  EXPECT_EQ(manager_->InspectLock(FILE_DATA, "huge.lck"), LOCK_STALE);
  EXPECT_EQ(manager_->InspectLock(FILE_DATA, "none.lck"), LOCK_GONE);
}

TEST_F(FileManagerTest, LockContendedByAnotherProcess) {
  config_.SetInteger(CFG_DELAY_FILE, 10);
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(ready[0]);
    PosixFileManager m(&config_);
    int rc = m.SetDataDirectory((top_ + "/root").c_str(), -1) &&
                     m.AcquireLock(FILE_DATA, "shared.lck") == LOCK_ACQUIRED
                 ? 0
                 : 1;
    char byte = static_cast<char>(rc);
    if (write(ready[1], &byte, 1) != 1) _exit(2);
    usleep(300000);
    m.ReleaseLock(FILE_DATA, "shared.lck");
    _exit(rc);
  }
  close(ready[1]);
  char byte = 9;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  close(ready[0]);
  ASSERT_EQ(byte, 0);
  EXPECT_EQ(manager_->InspectLock(FILE_DATA, "shared.lck"), LOCK_HELD);
  time_t start = std::time(nullptr);
  EXPECT_EQ(manager_->AcquireLock(FILE_DATA, "shared.lck"), LOCK_ACQUIRED);
  EXPECT_LE(std::time(nullptr) - start, 5);
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(ReadFile("/root/shared.lck").compare(0, std::to_string(getpid()).size() + 1,
                                                 std::to_string(getpid()) + "!"),
            0);
}

TEST_F(FileManagerTest, LockWaitEndsWhenTheRequestTimesOut) {
  config_.SetInteger(CFG_DELAY_FILE, 10);
  WriteFile("/root/held.lck", "1!1:host.example");  // pid 1 is alive
  volatile int timed_out = 0;
  manager_->SetTimedOutFlag(&timed_out);
  std::thread watchdog([&timed_out] {
    usleep(100000);
    timed_out = 1;
  });
  EXPECT_EQ(manager_->AcquireLock(FILE_DATA, "held.lck"), LOCK_TIMED_OUT);
  watchdog.join();
  EXPECT_STREQ(manager_->ErrorText().c_str(), "Timed out waiting for lock");
  std::vector<std::string> names;
  ASSERT_TRUE(manager_->ListDirectory(FILE_DATA, "", &names));
  EXPECT_EQ(names.size(), 2u);  // scripts and held.lck: the owner file is gone
}

}  // namespace
}  // namespace pexo
