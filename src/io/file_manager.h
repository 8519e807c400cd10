// FileManager: the request's sandboxed file access, as the engine sees it.
//
// Every script-supplied path names a location (0 data, 1 script,
// 2 temporary) and is resolved against that location's root; a path that
// leaves the root is refused. Each operation comes as a located form and a
// raw form taking a full path that the caller resolved with ResolvePath. The
// manager may cap the operating-system handles held at once; the File
// objects it returns hide that. It also names unique and temporary files and
// implements the cross-process lock files. Failures return
// 0/false/null/-1 and leave the message in ErrorText(). One manager belongs
// to one request thread, and every File it opened must be deleted before
// the manager is. The platform part lives in the host (PosixFileManager).
#ifndef PEXO_IO_FILE_MANAGER_H_
#define PEXO_IO_FILE_MANAGER_H_

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "io/file.h"
#include "values/string.h"

namespace pexo {

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

class FileManager {
 public:
  FileManager() = default;
  FileManager(const FileManager&) = delete;
  FileManager& operator=(const FileManager&) = delete;
  virtual ~FileManager() = default;

  // The operating system's text for an error code, or "Unknown error %d".
  virtual String SystemErrorText(int code) const = 0;

  virtual File* Open(int32_t location, const char* path, int32_t flags) = 0;
  virtual File* OpenRaw(const char* full, int32_t flags) = 0;

  // LockResult.
  virtual int32_t AcquireLock(int32_t location, const char* path) = 0;
  virtual int32_t AcquireLockRaw(const char* full) = 0;
  // LockState.
  virtual int32_t InspectLock(int32_t location, const char* path) = 0;
  virtual int32_t InspectLockRaw(const char* full) = 0;
  virtual bool ReleaseLock(int32_t location, const char* path) = 0;
  virtual bool ReleaseLockRaw(const char* full) = 0;

  virtual bool Delete(int32_t location, const char* path) = 0;
  virtual bool DeleteRaw(const char* full) = 0;
  virtual bool Copy(int32_t from_location, const char* from, int32_t to_location,
                    const char* to) = 0;
  virtual bool CopyRaw(const char* from, const char* to) = 0;
  virtual bool Rename(int32_t from_location, const char* from, int32_t to_location,
                      const char* to) = 0;
  virtual bool RenameRaw(const char* from, const char* to) = 0;
  // Creates the file when missing and sets its times to now.
  virtual bool Touch(int32_t location, const char* path) = 0;
  virtual bool TouchRaw(const char* full) = 0;
  virtual bool Exists(int32_t location, const char* path) = 0;
  virtual bool ExistsRaw(const char* full) = 0;
  virtual int64_t FileSize(int32_t location, const char* path) = 0;
  virtual int64_t FileSizeRaw(const char* full) = 0;
  virtual bool IsDirectory(int32_t location, const char* path) = 0;
  virtual bool IsDirectoryRaw(const char* full) = 0;
  virtual bool SetModificationTime(int32_t location, const char* path, time_t when) = 0;
  virtual bool SetModificationTimeRaw(const char* full, time_t when) = 0;
  virtual time_t ModificationTime(int32_t location, const char* path) = 0;
  virtual time_t ModificationTimeRaw(const char* full) = 0;
  virtual bool MakeDirectory(int32_t location, const char* path) = 0;
  virtual bool MakeDirectoryRaw(const char* full) = 0;
  virtual bool RemoveDirectory(int32_t location, const char* path) = 0;
  virtual bool RemoveDirectoryRaw(const char* full) = 0;
  virtual bool MakeSymbolicLink(int32_t location, const char* target, const char* path) = 0;
  virtual bool MakeSymbolicLinkRaw(const char* target, const char* full) = 0;
  virtual bool IsFile(int32_t location, const char* path) = 0;
  virtual bool IsFileRaw(const char* full) = 0;
  // FILE_MUST_EXIST (0x80) in `flags` makes the file writable, else read-only.
  virtual bool SetWritable(int32_t location, const char* path, int32_t flags) = 0;
  virtual bool SetWritableRaw(const char* full, int32_t flags) = 0;

  // Creates directory/prefix.<hex> exclusively; `name` receives the name
  // relative to the location.
  virtual File* CreateTemporaryFile(int32_t location, const char* directory, const char* prefix,
                                    String* name, int32_t flags) = 0;
  // `full_name` receives the full path of the created file.
  virtual File* CreateUniqueFileRaw(const char* full_base, String* full_name,
                                    int32_t flags) = 0;
  virtual File* CreateUniqueFile(int32_t location, const char* base, String* name,
                                 int32_t flags) = 0;
  // Names in a directory, without "." and "..", in no particular order.
  virtual bool ListDirectory(int32_t location, const char* path,
                             std::vector<std::string>* names) = 0;

  virtual const String& ErrorText() const = 0;
  virtual void SetError(const char* message) = 0;

  // Handle accounting: makes room for `count` more handles under the limit.
  virtual bool Reserve(int32_t count) = 0;
  // Releases a file's handle voluntarily; it is reopened on its next use.
  virtual void Deactivate(File* file) = 0;
  virtual bool Activate(File* file) = 0;
  // 0: no limit.
  virtual void SetHandleLimit(int32_t limit) = 0;

  // Roots: must be absolute, not a reserved name, an existing directory.
  virtual bool SetScriptDirectory(const char* path, int32_t length) = 0;
  virtual bool SetDataDirectory(const char* path, int32_t length) = 0;
  virtual bool SetTemporaryDirectory(const char* path, int32_t length) = 0;
  // The full path of `path` under the location's root, or false.
  virtual bool ResolvePath(int32_t location, const char* path, int32_t length,
                           String* full) = 0;
  // A device name (AUX, CON, NUL, PRN, COM1-9, LPT1-9, alone or before ".").
  virtual bool IsReservedName(const char* name, int32_t length) const = 0;
};

}  // namespace pexo

#endif  // PEXO_IO_FILE_MANAGER_H_
