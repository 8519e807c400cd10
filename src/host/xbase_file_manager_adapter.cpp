#include "host/xbase_file_manager_adapter.h"

#include <memory>
#include <string>

#include "host/posix_file.h"

namespace pexo {
namespace {

class PosixDatabaseFile : public DatabaseFile {
 public:
  explicit PosixDatabaseFile(PosixFile* file) : file_(file) {}

  int32_t ReadAt(int64_t offset, void* buffer, int32_t count) override {
    if (!file_->Seek(offset)) return -1;
    char* bytes = static_cast<char*>(buffer);
    int32_t done = 0;
    while (done < count) {
      int32_t n = file_->Read(bytes + done, count - done);
      if (n < 0) return -1;
      if (n == 0) break;
      done += n;
    }
    return done;
  }
  bool WriteAt(int64_t offset, const void* buffer, int32_t count) override {
    return file_->Seek(offset) && file_->Write(buffer, count);
  }
  int64_t Size() override { return file_->Size(); }
  bool Flush() override { return file_->Sync(); }
  bool Lock(int64_t offset, int64_t length, bool exclusive) override {
    return file_->LockRange(offset, length, exclusive);
  }
  bool Unlock(int64_t offset, int64_t length) override {
    return file_->UnlockRange(offset, length);
  }
  const String& ErrorText() const override { return file_->ErrorText(); }

 private:
  std::unique_ptr<PosixFile> file_;
};

}  // namespace

DatabaseFile* PosixDatabaseFileManager::Open(const char* name, int32_t mode) {
  PosixFile* file = files_->Open(location_, name, mode);
  if (!file) return nullptr;
  return new PosixDatabaseFile(file);
}

DatabaseFile* PosixDatabaseFileManager::CreateTemporary(const char* beside, String* name) {
  std::string directory(beside);
  size_t slash = directory.find_last_of('/');
  directory.resize(slash == std::string::npos ? 0 : slash);
  PosixFile* file = files_->CreateTemporaryFile(location_, directory.c_str(), "pexo_xb", name,
                                                kDbOpenRead | kDbOpenWrite);
  if (!file) return nullptr;
  return new PosixDatabaseFile(file);
}

bool PosixDatabaseFileManager::Replace(const char* from, const char* to) {
  return files_->Rename(location_, from, location_, to);
}

bool PosixDatabaseFileManager::Remove(const char* name) { return files_->Delete(location_, name); }

}  // namespace pexo
