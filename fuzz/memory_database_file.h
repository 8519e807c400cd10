// An in-memory DatabaseFileManager for the xBase fuzz targets: named byte
// strings, locks that always succeed, and an abort on any write that would
// leave a large hole past the end (a hostile header must never steer a
// write far beyond the file).
#ifndef PEXO_FUZZ_MEMORY_DATABASE_FILE_H_
#define PEXO_FUZZ_MEMORY_DATABASE_FILE_H_

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "db/database_file.h"
#include "db/xbase/xbase_table.h"

namespace pexo {

class MemoryDatabaseFile : public DatabaseFile {
 public:
  explicit MemoryDatabaseFile(std::string* bytes) : bytes_(bytes) {}
  int32_t ReadAt(int64_t offset, void* buffer, int32_t count) override {
    if (offset < 0 || count < 0) std::abort();
    if (offset >= static_cast<int64_t>(bytes_->size())) return 0;
    size_t n = std::min(static_cast<size_t>(count), bytes_->size() - static_cast<size_t>(offset));
    std::memcpy(buffer, bytes_->data() + offset, n);
    return static_cast<int32_t>(n);
  }
  bool WriteAt(int64_t offset, const void* buffer, int32_t count) override {
    if (offset < 0 || count < 0 || offset > static_cast<int64_t>(bytes_->size()) + 4096) std::abort();
    size_t end = static_cast<size_t>(offset) + static_cast<size_t>(count);
    if (end > bytes_->size()) bytes_->resize(end, '\0');
    std::memcpy(&(*bytes_)[static_cast<size_t>(offset)], buffer, static_cast<size_t>(count));
    return true;
  }
  int64_t Size() override { return static_cast<int64_t>(bytes_->size()); }
  bool Flush() override { return true; }
  bool Lock(int64_t offset, int64_t length, bool) override { return offset >= 0 && length >= 0; }
  bool Unlock(int64_t offset, int64_t length) override { return offset >= 0 && length >= 0; }
  const String& ErrorText() const override { return error_; }

 private:
  std::string* bytes_;
  String error_;
};

class MemoryDatabaseFileManager : public DatabaseFileManager {
 public:
  DatabaseFile* Open(const char* name, int32_t) override {
    auto it = files.find(name);
    if (it == files.end()) {
      error_.assign("No such file or directory");
      return nullptr;
    }
    return new MemoryDatabaseFile(&it->second);
  }
  // Rebuilds are not exercised by the fuzz targets.
  DatabaseFile* CreateTemporary(const char*, String*) override { return nullptr; }
  bool Replace(const char*, const char*) override { return false; }
  bool Remove(const char*) override { return false; }
  const String& ErrorText() const override { return error_; }

  std::map<std::string, std::string> files;

 private:
  String error_;
};

// Opens "t.dbf", reads every record (memos included) and appends one copy
// of the last record read; every failure must be a message.
inline void ExerciseTable(MemoryDatabaseFileManager* files) {
  XBaseTable table(files);
  if (!table.OpenTable("t.dbf", kDbOpenExisting)) {
    if (table.ErrorText().empty()) std::abort();
    return;
  }
  uint32_t limit = table.RecordCount() < 64 ? table.RecordCount() : 64;
  for (uint32_t n = 1; n <= limit; ++n) {
    if (!table.ReadRecord(n)) {
      if (table.ErrorText().empty()) std::abort();
      continue;
    }
    for (const auto& field : table.Fields()) field->Value();
  }
  if (!table.Fields().empty()) table.Fields()[0]->SetValue("fuzz", 4);
  for (const auto& field : table.Fields())
    if (field->Type() == kXBaseMemo) field->SetValue("a new memo", -1);
  if (!table.AppendRecord() && table.ErrorText().empty()) std::abort();
  if (table.RecordCount() > 0 && !table.ReadRecord(table.RecordCount()) &&
      table.ErrorText().empty())
    std::abort();
}

}  // namespace pexo

#endif  // PEXO_FUZZ_MEMORY_DATABASE_FILE_H_
