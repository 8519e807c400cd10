#include "host/posix_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/posix_file_manager.h"

namespace pexo {

PosixFile::PosixFile(PosixFileManager* manager, int fd, const char* path, int access,
                     bool accounted)
    : manager_(manager), fd_(fd), path_(path), access_(access), accounted_(accounted) {}

PosixFile::~PosixFile() {
  if (fd_ >= 0) ::close(fd_);
  if (accounted_) manager_->Forget(this);
}

bool PosixFile::SetSystemError() {
  error_ = manager_->SystemErrorText(errno);
  return false;
}

bool PosixFile::Use() {
  if (fd_ >= 0 && !accounted_) return true;
  if (manager_->Activate(this)) return true;
  if (error_.empty()) error_ = manager_->ErrorText();
  return false;
}

void PosixFile::Release() {
  if (fd_ < 0) return;
  off_t at = ::lseek(fd_, 0, SEEK_CUR);
  saved_position_ = at < 0 ? 0 : at;
  ::close(fd_);
  fd_ = -1;
}

bool PosixFile::Reopen() {
  int fd = ::open(path_.c_str(), access_ | O_CLOEXEC);
  if (fd < 0) return SetSystemError();
  if (::lseek(fd, saved_position_, SEEK_SET) < 0) {
    SetSystemError();
    ::close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

int32_t PosixFile::Read(void* buffer, int32_t count) {
  if (count < 0 || !Use()) return -1;
  ssize_t n;
  do n = ::read(fd_, buffer, static_cast<size_t>(count));
  while (n < 0 && errno == EINTR);
  if (n < 0) {
    SetSystemError();
    return -1;
  }
  return static_cast<int32_t>(n);
}

bool PosixFile::Write(const void* buffer, int32_t count) {
  if (count < 0 || !Use()) return false;
  const char* bytes = static_cast<const char*>(buffer);
  while (count > 0) {
    ssize_t n = ::write(fd_, bytes, static_cast<size_t>(count));
    if (n < 0) {
      if (errno == EINTR) continue;
      return SetSystemError();
    }
    bytes += n;
    count -= static_cast<int32_t>(n);
  }
  return true;
}

bool PosixFile::Seek(int64_t position) {
  if (position < 0) {
    error_.assign("Invalid file position");
    return false;
  }
  if (!Use()) return false;
  if (::lseek(fd_, static_cast<off_t>(position), SEEK_SET) < 0) return SetSystemError();
  return true;
}

int64_t PosixFile::Position() {
  if (!Use()) return -1;
  off_t at = ::lseek(fd_, 0, SEEK_CUR);
  if (at < 0) SetSystemError();
  return at;
}

int64_t PosixFile::Size() {
  if (!Use()) return -1;
  struct stat info;
  if (::fstat(fd_, &info) != 0) {
    SetSystemError();
    return -1;
  }
  return info.st_size;
}

bool PosixFile::Identity(FileIdentity* identity) {
  if (!Use()) return false;
  struct stat info;
  if (::fstat(fd_, &info) != 0) return SetSystemError();
  identity->device = static_cast<uint64_t>(info.st_dev);
  identity->inode = static_cast<uint64_t>(info.st_ino);
  identity->size = info.st_size;
  identity->modified_ns =
      static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  identity->changed_ns =
      static_cast<int64_t>(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
  return true;
}

bool PosixFile::Truncate(int64_t size) {
  if (size < 0 || !Use()) return false;
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) return SetSystemError();
  return true;
}

bool PosixFile::Sync() {
  if (!Use()) return false;
  if (::fsync(fd_) != 0) return SetSystemError();
  return true;
}

bool PosixFile::LockRange(int64_t offset, int64_t length, bool exclusive) {
  if (offset < 0 || length < 0 || !Use()) return false;
  struct flock lock;
  std::memset(&lock, 0, sizeof lock);
  lock.l_type = exclusive ? F_WRLCK : F_RDLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(offset);
  lock.l_len = static_cast<off_t>(length);
  int rc;
  do rc = ::fcntl(fd_, F_OFD_SETLKW, &lock);
  while (rc != 0 && errno == EINTR);
  if (rc != 0) return SetSystemError();
  ++locks_;
  return true;
}

bool PosixFile::UnlockRange(int64_t offset, int64_t length) {
  if (offset < 0 || length < 0 || !Use()) return false;
  struct flock lock;
  std::memset(&lock, 0, sizeof lock);
  lock.l_type = F_UNLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(offset);
  lock.l_len = static_cast<off_t>(length);
  if (::fcntl(fd_, F_OFD_SETLK, &lock) != 0) return SetSystemError();
  if (locks_ > 0) --locks_;
  return true;
}

}  // namespace pexo
