// FileByteStream: an open file of the sandboxed file layer read as the byte
// stream under a compiled-file container, so a script is opened through the
// file manager (roots, handle limit) rather than by raw path.
//
// The stream owns the file and deletes it when destroyed; it must therefore
// be destroyed before the manager that opened the file. The size is taken
// once at construction: a compiled file does not change while it is read.
#ifndef PEXO_HOST_FILE_BYTE_STREAM_H_
#define PEXO_HOST_FILE_BYTE_STREAM_H_

#include <cstdint>
#include <memory>

#include "host/posix_file.h"
#include "program/byte_stream.h"

namespace pexo {

class PosixFileManager;

class FileByteStream : public ByteStream {
 public:
  // Takes `file` (opened for reading, not null).
  explicit FileByteStream(PosixFile* file);
  ~FileByteStream() override;

  // Opens `path` for reading in `location` through `manager`; null with the
  // manager's message in `error`.
  static std::unique_ptr<FileByteStream> Open(PosixFileManager* manager, int32_t location,
                                              const char* path, String* error);

  int32_t read(void* buffer, int32_t length) override;
  int64_t seek(int64_t position) override;
  int64_t size() const override { return size_; }

  PosixFile* file() { return file_; }

 private:
  PosixFile* file_;
  int64_t size_;
};

}  // namespace pexo

#endif  // PEXO_HOST_FILE_BYTE_STREAM_H_
