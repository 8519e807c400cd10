#include "io/lockfile_service.h"

#include "io/file_manager.h"

namespace pexo {

Lockfile::Lockfile(PexoVM* vm, FileManager* files, const char* name, int32_t length)
    : Feature(vm, kFeatureLockfile), files_(files) {
  path_.assign(name, length);
  path_.append(".lck");
}

Lockfile::~Lockfile() {
  if (held_) files_->ReleaseLock(FILE_DATA, path_.c_str());
}

int Lockfile::Start() {
  error_.assign("Error creating lockfile '");
  error_.append(path_);
  error_.append("': ");
  if (!files_) {
    error_.append("No file access");
    return 0;
  }
  if (files_->AcquireLock(FILE_DATA, path_.c_str()) != LOCK_ACQUIRED) {
    error_.append(files_->ErrorText());
    return 0;
  }
  error_.clear();
  held_ = true;
  return 1;
}

}  // namespace pexo
