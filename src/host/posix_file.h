// PosixFile: the File of POSIX systems, a descriptor behind the interface.
//
// Created only by PosixFileManager. While the manager's handle limit forces
// it, the file may be inactive: its descriptor is closed and its position
// saved; every operation first asks the manager to activate it, which
// reopens the same path with the same access at the saved position. A file
// that holds byte-range locks is never deactivated by the limit, because
// closing the descriptor would drop its locks. Deleting the object closes
// the file. Failures return -1/false and leave the message in ErrorText().
#ifndef PEXO_HOST_POSIX_FILE_H_
#define PEXO_HOST_POSIX_FILE_H_

#include <sys/types.h>

#include <cstdint>

#include "io/file.h"
#include "values/string.h"

namespace pexo {

class PosixFileManager;

// What tells one version of a file from another: the file itself (device
// and inode), its size and its modification time, and the inode's change
// time (which a write moves even when the modification time is set back).
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t size = 0;
  int64_t modified_ns = 0;
  int64_t changed_ns = 0;
  bool operator==(const FileIdentity& o) const {
    return device == o.device && inode == o.inode && size == o.size &&
           modified_ns == o.modified_ns && changed_ns == o.changed_ns;
  }
  bool operator!=(const FileIdentity& o) const { return !(*this == o); }
};

class PosixFile : public File {
 public:
  ~PosixFile() override;

  int32_t Read(void* buffer, int32_t count) override;
  bool Write(const void* buffer, int32_t count) override;
  bool Seek(int64_t position) override;
  int64_t Position() override;
  int64_t Size() override;
  // The open file's identity; false with the message when it cannot be read.
  bool Identity(FileIdentity* identity);
  bool Truncate(int64_t size) override;
  bool Sync() override;

  // fcntl open-file-description locks, so they belong to this object.
  bool LockRange(int64_t offset, int64_t length, bool exclusive) override;
  bool UnlockRange(int64_t offset, int64_t length) override;

  const String& path() const override { return path_; }
  const String& ErrorText() const override { return error_; }
  bool active() const { return fd_ >= 0; }
  bool accounted() const { return accounted_; }
  bool pinned() const { return locks_ > 0; }

 private:
  friend class PosixFileManager;
  PosixFile(PosixFileManager* manager, int fd, const char* path, int access, bool accounted);

  bool Use();  // activates through the manager
  bool SetSystemError();
  // Closes the descriptor, saving the position (manager side of the limit).
  void Release();
  // Reopens the path with the saved access and position.
  bool Reopen();

  PosixFileManager* manager_;
  int fd_;
  String path_;
  int access_;  // O_RDONLY, O_WRONLY or O_RDWR, with O_APPEND
  bool accounted_;
  off_t saved_position_ = 0;
  int32_t locks_ = 0;
  String error_;
};

}  // namespace pexo

#endif  // PEXO_HOST_POSIX_FILE_H_
