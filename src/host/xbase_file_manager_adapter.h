// PosixDatabaseFileManager: the database engines' file access over the
// request's sandboxed PosixFileManager. Names resolve in one location (the
// data directory unless told otherwise), so a table can never be opened
// outside its root.
#ifndef PEXO_HOST_XBASE_FILE_MANAGER_ADAPTER_H_
#define PEXO_HOST_XBASE_FILE_MANAGER_ADAPTER_H_

#include <cstdint>

#include "db/database_file.h"
#include "host/posix_file_manager.h"

namespace pexo {

class PosixDatabaseFileManager : public DatabaseFileManager {
 public:
  // `files` is not owned and must outlive every file opened here.
  explicit PosixDatabaseFileManager(PosixFileManager* files, int32_t location = FILE_DATA)
      : files_(files), location_(location) {}

  DatabaseFile* Open(const char* name, int32_t mode) override;
  DatabaseFile* CreateTemporary(const char* beside, String* name) override;
  bool Replace(const char* from, const char* to) override;
  bool Remove(const char* name) override;
  const String& ErrorText() const override { return files_->ErrorText(); }

 private:
  PosixFileManager* files_;
  int32_t location_;
};

}  // namespace pexo

#endif  // PEXO_HOST_XBASE_FILE_MANAGER_ADAPTER_H_
