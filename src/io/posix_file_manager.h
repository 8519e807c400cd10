// PosixFileManager: the request's sandboxed file access.
//
// Every script-supplied path names a location (0 data, 1 script,
// 2 temporary) and is resolved against that location's root; a path that
// leaves the root, textually or through a symbolic link, is refused. Each
// operation comes as a located form and a raw form taking a full path. The
// manager caps the operating-system handles held at once (max_files, 0 = no
// limit) by closing the least recently used file and reopening it on its next
// use. It also names unique and temporary files and implements the
// cross-process lock files. Failures return 0/false/null/-1 and leave the
// message in ErrorText(). One manager belongs to one request thread, and
// every PosixFile it opened must be deleted before the manager is.
#ifndef PEXO_IO_POSIX_FILE_MANAGER_H_
#define PEXO_IO_POSIX_FILE_MANAGER_H_

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "io/file_path.h"
#include "io/posix_file.h"
#include "values/list.h"
#include "values/string.h"

namespace pexo {

class Config;

enum FileLocation : int32_t { FILE_DATA = 0, FILE_SCRIPT = 1, FILE_TEMP = 2 };

// Open flags.
enum : int32_t {
  FILE_READ = 0x01,
  FILE_WRITE = 0x02,
  FILE_CREATE = 0x04,
  FILE_TRUNCATE = 0x08,
  FILE_CREATE_MISSING = 0x10,
  FILE_CREATE_NEW = 0x20,
  FILE_UNACCOUNTED = 0x40,
  FILE_MUST_EXIST = 0x80,
  // Every write goes to the end of the file, atomically against other
  // writers (shared trace files).
  FILE_APPEND = 0x100,
};

// AcquireLock results.
enum LockResult : int32_t { LOCK_ACQUIRED = 0, LOCK_TIMED_OUT = 1, LOCK_ERROR = 2,
                            LOCK_DEADLOCK = 3 };
// InspectLock results.
enum LockState : int32_t { LOCK_HELD = 0, LOCK_STALE = 1, LOCK_GONE = 2, LOCK_SELF = 3 };

class PosixFileManager {
 public:
  // `config` (not owned, may be null) supplies max_files, lock_hostname,
  // lock_expiration, delay_file and timeout_file.
  explicit PosixFileManager(Config* config);
  PosixFileManager(const PosixFileManager&) = delete;
  PosixFileManager& operator=(const PosixFileManager&) = delete;
  ~PosixFileManager();

  // The request's timed-out flag, polled while waiting for a lock. Without
  // one a lock wait ends after timeout_file seconds.
  void SetTimedOutFlag(const volatile int* flag) { timed_out_ = flag; }

  // Roots: must be absolute, not a reserved name, an existing directory.
  bool SetScriptDirectory(const char* path, int32_t length);
  bool SetDataDirectory(const char* path, int32_t length);
  bool SetTemporaryDirectory(const char* path, int32_t length);
  bool ResolvePath(int32_t location, const char* path, int32_t length, String* full);
  static bool IsReservedName(const char* name, int32_t length);

  PosixFile* Open(int32_t location, const char* path, int32_t flags);
  PosixFile* OpenRaw(const char* full, int32_t flags);

  int32_t AcquireLock(int32_t location, const char* path);
  int32_t AcquireLockRaw(const char* full);
  int32_t InspectLock(int32_t location, const char* path);
  int32_t InspectLockRaw(const char* full);
  bool ReleaseLock(int32_t location, const char* path);
  bool ReleaseLockRaw(const char* full);

  bool Delete(int32_t location, const char* path);
  bool DeleteRaw(const char* full);
  bool Copy(int32_t from_location, const char* from, int32_t to_location, const char* to);
  bool CopyRaw(const char* from, const char* to);
  bool Rename(int32_t from_location, const char* from, int32_t to_location, const char* to);
  bool RenameRaw(const char* from, const char* to);
  bool Touch(int32_t location, const char* path);
  bool TouchRaw(const char* full);
  bool Exists(int32_t location, const char* path);
  bool ExistsRaw(const char* full);
  int64_t FileSize(int32_t location, const char* path);
  int64_t FileSizeRaw(const char* full);
  bool IsDirectory(int32_t location, const char* path);
  bool IsDirectoryRaw(const char* full);
  bool SetModificationTime(int32_t location, const char* path, time_t when);
  bool SetModificationTimeRaw(const char* full, time_t when);
  time_t ModificationTime(int32_t location, const char* path);
  time_t ModificationTimeRaw(const char* full);
  bool MakeDirectory(int32_t location, const char* path);
  bool MakeDirectoryRaw(const char* full);
  bool RemoveDirectory(int32_t location, const char* path);
  bool RemoveDirectoryRaw(const char* full);
  // Refused: a link could carry later accesses outside the roots.
  bool MakeSymbolicLink(int32_t location, const char* target, const char* path);
  bool MakeSymbolicLinkRaw(const char* target, const char* full);
  bool IsFile(int32_t location, const char* path);
  bool IsFileRaw(const char* full);
  // FILE_MUST_EXIST (0x80) in `flags` makes the file writable, else read-only.
  bool SetWritable(int32_t location, const char* path, int32_t flags);
  bool SetWritableRaw(const char* full, int32_t flags);

  // Creates directory/prefix.<hex> exclusively; `name` receives the name
  // relative to the location.
  PosixFile* CreateTemporaryFile(int32_t location, const char* directory, const char* prefix,
                                 String* name, int32_t flags);
  PosixFile* CreateUniqueFile(int32_t location, const char* base, String* name, int32_t flags);
  // `full_name` receives the full path of the created file.
  PosixFile* CreateUniqueFileRaw(const char* full_base, String* full_name, int32_t flags);
  // Names in a directory, without "." and "..", in no particular order.
  bool ListDirectory(int32_t location, const char* path, std::vector<std::string>* names);

  const String& ErrorText() const { return error_; }
  void SetError(const char* message) { error_.assign(message); }
  // The text of the last system error (errno), or "Unknown error %d".
  static String SystemErrorText(int code);

  // Handle accounting.
  bool Reserve(int32_t count);
  bool Activate(PosixFile* file);
  // Releases a file's handle voluntarily; it is reopened on its next use.
  void Deactivate(PosixFile* file);
  void SetHandleLimit(int32_t limit) { limit_ = limit < 0 ? 0 : limit; }
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

#endif  // PEXO_IO_POSIX_FILE_MANAGER_H_
