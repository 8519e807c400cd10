// PosixFileManager: the FileManager of POSIX systems.
//
// A path that leaves its root, textually or through a symbolic link, is
// refused. The manager caps the operating-system handles held at once
// (max_files, 0 = no limit) by closing the least recently used file and
// reopening it on its next use. Lock identities use the process and thread
// ids and the configured host name.
#ifndef PEXO_HOST_POSIX_FILE_MANAGER_H_
#define PEXO_HOST_POSIX_FILE_MANAGER_H_

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "host/file_path.h"
#include "host/posix_file.h"
#include "io/file_manager.h"
#include "values/list.h"
#include "values/string.h"

namespace pexo {

class Config;

class PosixFileManager : public FileManager {
 public:
  // `config` (not owned, may be null) supplies max_files, lock_hostname,
  // lock_expiration, delay_file and timeout_file.
  explicit PosixFileManager(Config* config);
  ~PosixFileManager() override;

  // The request's timed-out flag, polled while waiting for a lock. Without
  // one a lock wait ends after timeout_file seconds.
  void SetTimedOutFlag(const volatile int* flag) { timed_out_ = flag; }

  // Roots: must be absolute, not a reserved name, an existing directory.
  bool SetScriptDirectory(const char* path, int32_t length) override;
  bool SetDataDirectory(const char* path, int32_t length) override;
  bool SetTemporaryDirectory(const char* path, int32_t length) override;
  bool ResolvePath(int32_t location, const char* path, int32_t length, String* full) override;
  bool IsReservedName(const char* name, int32_t length) const override;

  PosixFile* Open(int32_t location, const char* path, int32_t flags) override;
  PosixFile* OpenRaw(const char* full, int32_t flags) override;

  int32_t AcquireLock(int32_t location, const char* path) override;
  int32_t AcquireLockRaw(const char* full) override;
  int32_t InspectLock(int32_t location, const char* path) override;
  int32_t InspectLockRaw(const char* full) override;
  bool ReleaseLock(int32_t location, const char* path) override;
  bool ReleaseLockRaw(const char* full) override;

  bool Delete(int32_t location, const char* path) override;
  bool DeleteRaw(const char* full) override;
  bool Copy(int32_t from_location, const char* from, int32_t to_location,
            const char* to) override;
  bool CopyRaw(const char* from, const char* to) override;
  bool Rename(int32_t from_location, const char* from, int32_t to_location,
              const char* to) override;
  bool RenameRaw(const char* from, const char* to) override;
  bool Touch(int32_t location, const char* path) override;
  bool TouchRaw(const char* full) override;
  bool Exists(int32_t location, const char* path) override;
  bool ExistsRaw(const char* full) override;
  int64_t FileSize(int32_t location, const char* path) override;
  int64_t FileSizeRaw(const char* full) override;
  bool IsDirectory(int32_t location, const char* path) override;
  bool IsDirectoryRaw(const char* full) override;
  bool SetModificationTime(int32_t location, const char* path, time_t when) override;
  bool SetModificationTimeRaw(const char* full, time_t when) override;
  time_t ModificationTime(int32_t location, const char* path) override;
  time_t ModificationTimeRaw(const char* full) override;
  bool MakeDirectory(int32_t location, const char* path) override;
  bool MakeDirectoryRaw(const char* full) override;
  bool RemoveDirectory(int32_t location, const char* path) override;
  bool RemoveDirectoryRaw(const char* full) override;
  // Refused: a link could carry later accesses outside the roots.
  bool MakeSymbolicLink(int32_t location, const char* target, const char* path) override;
  bool MakeSymbolicLinkRaw(const char* target, const char* full) override;
  bool IsFile(int32_t location, const char* path) override;
  bool IsFileRaw(const char* full) override;
  // FILE_MUST_EXIST (0x80) in `flags` makes the file writable, else read-only.
  bool SetWritable(int32_t location, const char* path, int32_t flags) override;
  bool SetWritableRaw(const char* full, int32_t flags) override;

  // Creates directory/prefix.<hex> exclusively; `name` receives the name
  // relative to the location.
  PosixFile* CreateTemporaryFile(int32_t location, const char* directory, const char* prefix,
                                 String* name, int32_t flags) override;
  PosixFile* CreateUniqueFile(int32_t location, const char* base, String* name,
                              int32_t flags) override;
  // `full_name` receives the full path of the created file.
  PosixFile* CreateUniqueFileRaw(const char* full_base, String* full_name,
                                 int32_t flags) override;
  // Names in a directory, without "." and "..", in no particular order.
  bool ListDirectory(int32_t location, const char* path,
                     std::vector<std::string>* names) override;

  const String& ErrorText() const override { return error_; }
  void SetError(const char* message) override { error_.assign(message); }
  String SystemErrorText(int code) const override;

  // Handle accounting.
  bool Reserve(int32_t count) override;
  // `file` must be one this manager opened.
  bool Activate(File* file) override;
  void Deactivate(File* file) override;
  void SetHandleLimit(int32_t limit) override { limit_ = limit < 0 ? 0 : limit; }
  int32_t ActiveCount() const { return active_.count(); }
  int32_t InactiveCount() const { return inactive_.count(); }

 private:
  friend class PosixFile;
  struct Root {
    bool set = false;
    PosixFilePath path;
    std::string real;  // the root with symbolic links resolved
  };

  bool SetRoot(Root* root, const char* path, int32_t length, const char* const messages[3]);
  bool InsideRealRoot(const Root& root, const std::string& full);
  bool SetSystemError(int code);
  void AddActive(PosixFile* file);
  void Forget(PosixFile* file);
  bool ResolvePair(int32_t from_location, const char* from, int32_t to_location, const char* to,
                   String* full_from, String* full_to);
  std::string LockHostName();
  int32_t ConfigInteger(int32_t key, int32_t fallback);
  bool TimedOut() const { return timed_out_ && *timed_out_; }

  Config* config_;
  const volatile int* timed_out_ = nullptr;
  Root roots_[3];
  int32_t limit_ = 0;
  List<PosixFile> active_;    // most recently used first
  List<PosixFile> inactive_;  // most recently released first
  int last_errno_ = 0;  // errno of the last failed OpenRaw
  String error_;
};

}  // namespace pexo

#endif  // PEXO_HOST_POSIX_FILE_MANAGER_H_
