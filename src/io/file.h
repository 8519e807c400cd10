// File: an open file of the sandboxed file layer, as the engine sees it.
//
// Made only by a FileManager (see io/file_manager.h), which may release the
// operating-system handle behind it while it is idle and reopen it, at the
// same position, on its next use; callers never notice. Deleting the object
// closes the file. Failures return -1/false and leave the message in
// ErrorText(). Calls are per buffer, never per byte.
#ifndef PEXO_IO_FILE_H_
#define PEXO_IO_FILE_H_

#include <cstdint>

#include "values/string.h"

namespace pexo {

class File {
 public:
  File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  virtual ~File() = default;

  // Bytes read (0 at the end) or -1.
  virtual int32_t Read(void* buffer, int32_t count) = 0;
  // Writes all bytes; false on failure.
  virtual bool Write(const void* buffer, int32_t count) = 0;
  virtual bool Seek(int64_t position) = 0;
  virtual int64_t Position() = 0;
  virtual int64_t Size() = 0;
  virtual bool Truncate(int64_t size) = 0;
  virtual bool Sync() = 0;

  // Blocking byte-range locks, shared or exclusive, for the xBase engine.
  // Locks belong to this open file, so two File objects conflict even
  // inside one process.
  virtual bool LockRange(int64_t offset, int64_t length, bool exclusive) = 0;
  virtual bool UnlockRange(int64_t offset, int64_t length) = 0;

  // The full path the file was opened with.
  virtual const String& path() const = 0;
  virtual const String& ErrorText() const = 0;
};

}  // namespace pexo

#endif  // PEXO_IO_FILE_H_
