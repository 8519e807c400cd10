// ByteStream: the positioned byte source under a compiled-file container.
//
// read() returns the count read (0 at the end, -1 on failure) and seek() the
// position it landed on (-1 on failure). Seeks are confined to 0..size(): a
// seek past the end lands at the end, so callers comparing the result with
// what they asked for see the mismatch. error() holds the last failure.
#ifndef PEXO_PROGRAM_BYTE_STREAM_H_
#define PEXO_PROGRAM_BYTE_STREAM_H_

#include <cstdint>
#include <memory>

#include "values/string.h"

namespace pexo {

class ByteStream {
 public:
  ByteStream() = default;
  ByteStream(const ByteStream&) = delete;
  ByteStream& operator=(const ByteStream&) = delete;
  virtual ~ByteStream();

  virtual int32_t read(void* buffer, int32_t length) = 0;
  virtual int64_t seek(int64_t position) = 0;
  // Total bytes in the stream, or -1 when unknown.
  virtual int64_t size() const = 0;

  const String& error() const { return error_; }

 protected:
  String error_;
};

// A stream over a private copy of a byte range.
class MemoryByteStream : public ByteStream {
 public:
  MemoryByteStream(const void* bytes, size_t length);
  int32_t read(void* buffer, int32_t length) override;
  int64_t seek(int64_t position) override;
  int64_t size() const override { return static_cast<int64_t>(length_); }

 private:
  std::unique_ptr<unsigned char[]> bytes_;
  size_t length_;
  size_t position_ = 0;
};

// A stream over an open file descriptor, which it closes.
class PosixFileStream : public ByteStream {
 public:
  // Opens `path` for reading; null with the system's reason in `error`.
  static std::unique_ptr<PosixFileStream> Open(const char* path, String* error);
  ~PosixFileStream() override;
  int32_t read(void* buffer, int32_t length) override;
  int64_t seek(int64_t position) override;
  int64_t size() const override { return size_; }

 private:
  PosixFileStream(int fd, int64_t size) : fd_(fd), size_(size) {}
  int fd_;
  int64_t size_;
};

}  // namespace pexo

#endif  // PEXO_PROGRAM_BYTE_STREAM_H_
