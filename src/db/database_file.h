// DatabaseFile and DatabaseFileManager: the narrow file access the database
// engines need, kept abstract so the engines never depend on the host. The
// host implements it over its sandboxed file manager, so every name a script
// gives is confined to the configured roots.
//
// Contract: failures return -1/false/null and leave the message in
// ErrorText() of the object concerned. Locks wait until granted; a file
// holds its locks until it unlocks them or is destroyed, and two open files
// conflict even inside one process. Destroying a file closes it.
#ifndef PEXO_DB_DATABASE_FILE_H_
#define PEXO_DB_DATABASE_FILE_H_

#include <cstdint>

#include "values/string.h"

namespace pexo {

// Open modes (bits of the file manager's open flags).
enum : int32_t {
  kDbOpenRead = 0x01,
  kDbOpenWrite = 0x02,
  kDbOpenExisting = 0x03,  // read and write, the file must exist
  kDbOpenCreate = 0x0F,    // read and write, created or truncated
};

class DatabaseFile {
 public:
  DatabaseFile() = default;
  DatabaseFile(const DatabaseFile&) = delete;
  DatabaseFile& operator=(const DatabaseFile&) = delete;
  virtual ~DatabaseFile();

  // Bytes read at `offset` (fewer only at the end of the file), or -1.
  virtual int32_t ReadAt(int64_t offset, void* buffer, int32_t count) = 0;
  // Writes all bytes at `offset`.
  virtual bool WriteAt(int64_t offset, const void* buffer, int32_t count) = 0;
  virtual int64_t Size() = 0;
  virtual bool Flush() = 0;
  virtual bool Lock(int64_t offset, int64_t length, bool exclusive) = 0;
  virtual bool Unlock(int64_t offset, int64_t length) = 0;
  virtual const String& ErrorText() const = 0;
};

class DatabaseFileManager {
 public:
  DatabaseFileManager() = default;
  DatabaseFileManager(const DatabaseFileManager&) = delete;
  DatabaseFileManager& operator=(const DatabaseFileManager&) = delete;
  virtual ~DatabaseFileManager();

  // A new file object owned by the caller, or null.
  virtual DatabaseFile* Open(const char* name, int32_t mode) = 0;
  // A new, empty file with a unique name in the directory of `beside`
  // (rebuilds write there, then Replace the original); `name` receives it.
  virtual DatabaseFile* CreateTemporary(const char* beside, String* name) = 0;
  // Moves `from` over `to`, replacing it.
  virtual bool Replace(const char* from, const char* to) = 0;
  virtual bool Remove(const char* name) = 0;
  virtual const String& ErrorText() const = 0;
};

}  // namespace pexo

#endif  // PEXO_DB_DATABASE_FILE_H_
