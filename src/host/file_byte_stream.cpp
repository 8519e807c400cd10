#include "host/file_byte_stream.h"

#include "host/posix_file_manager.h"

namespace pexo {

FileByteStream::FileByteStream(PosixFile* file) : file_(file), size_(file->Size()) {
  if (size_ < 0) error_.assign(file_->ErrorText());
}

FileByteStream::~FileByteStream() { delete file_; }

std::unique_ptr<FileByteStream> FileByteStream::Open(PosixFileManager* manager, int32_t location,
                                                     const char* path, String* error) {
  PosixFile* file = manager->Open(location, path, FILE_READ);
  if (!file) {
    if (error) error->assign(manager->ErrorText());
    return nullptr;
  }
  return std::unique_ptr<FileByteStream>(new FileByteStream(file));
}

int32_t FileByteStream::read(void* buffer, int32_t length) {
  if (length < 0) {
    error_.assign("Invalid size");
    return -1;
  }
  // The container reader treats a short count as the end of the file, so
  // keep reading until the request is met or the file really ends.
  char* out = static_cast<char*>(buffer);
  int32_t total = 0;
  while (total < length) {
    int32_t got = file_->Read(out + total, length - total);
    if (got < 0) {
      error_.assign(file_->ErrorText());
      return total ? total : -1;
    }
    if (got == 0) break;
    total += got;
  }
  return total;
}

int64_t FileByteStream::seek(int64_t position) {
  if (position < 0) {
    error_.assign("Invalid position");
    return -1;
  }
  if (size_ >= 0 && position > size_) position = size_;
  if (!file_->Seek(position)) {
    error_.assign(file_->ErrorText());
    return -1;
  }
  return position;
}

}  // namespace pexo
