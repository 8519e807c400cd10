#include "program/byte_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

namespace pexo {

ByteStream::~ByteStream() = default;

MemoryByteStream::MemoryByteStream(const void* bytes, size_t length)
    : bytes_(new (std::nothrow) unsigned char[length ? length : 1]), length_(bytes_ ? length : 0) {
  if (length_) std::memcpy(bytes_.get(), bytes, length_);
}

int32_t MemoryByteStream::read(void* buffer, int32_t length) {
  if (length < 0) {
    error_.assign("Invalid size");
    return -1;
  }
  size_t count = length_ - position_;
  if (count > static_cast<size_t>(length)) count = static_cast<size_t>(length);
  if (count) std::memcpy(buffer, bytes_.get() + position_, count);
  position_ += count;
  return static_cast<int32_t>(count);
}

int64_t MemoryByteStream::seek(int64_t position) {
  if (position < 0) {
    error_.assign("Invalid position");
    return -1;
  }
  position_ = static_cast<uint64_t>(position) > length_ ? length_ : static_cast<size_t>(position);
  return static_cast<int64_t>(position_);
}

std::unique_ptr<PosixFileStream> PosixFileStream::Open(const char* path, String* error) {
  int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  struct stat info;
  if (fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
    return std::unique_ptr<PosixFileStream>(new PosixFileStream(fd, info.st_size));
  int code = fd >= 0 ? EISDIR : errno;
  if (fd >= 0) ::close(fd);
  if (error) error->assign(std::strerror(code));
  return nullptr;
}

PosixFileStream::~PosixFileStream() { ::close(fd_); }

int32_t PosixFileStream::read(void* buffer, int32_t length) {
  if (length < 0) {
    error_.assign("Invalid size");
    return -1;
  }
  int32_t total = 0;
  char* out = static_cast<char*>(buffer);
  while (total < length) {
    ssize_t got = ::read(fd_, out + total, static_cast<size_t>(length - total));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error_.assign(std::strerror(errno));
      return total ? total : -1;
    }
    if (got == 0) break;
    total += static_cast<int32_t>(got);
  }
  return total;
}

int64_t PosixFileStream::seek(int64_t position) {
  if (position < 0) {
    error_.assign("Invalid position");
    return -1;
  }
  if (position > size_) position = size_;
  off_t landed = ::lseek(fd_, static_cast<off_t>(position), SEEK_SET);
  if (landed < 0) error_.assign(std::strerror(errno));
  return landed;
}

}  // namespace pexo
