#include "db/xbase/xbase_rebuild.h"

#include <memory>
#include <string>

namespace pexo {

namespace {

// The rename list is small: a bounded read guards against a stray file.
constexpr int32_t kMaxJournal = 1 << 16;
// The last line of a complete list.
const char kEnd[] = "end\n";

bool Exists(DatabaseFileManager* files, const char* name) {
  std::unique_ptr<DatabaseFile> file(files->Open(name, kDbOpenRead));
  return file != nullptr;
}

bool FileManagerError(DatabaseFileManager* files, const char* what, const String& name,
                      String* error) {
  error->assign(what);
  error->append(name);
  error->append("': ");
  error->append(files->ErrorText());
  return false;
}

}  // namespace

String RebuildJournalName(const String& table) {
  String name(table);
  name.append(".rbj");
  return name;
}

bool MakeTemporaryBeside(DatabaseFileManager* files, const String& original,
                         XBaseTemporaryFile* out, String* error) {
  out->original = original;
  std::unique_ptr<DatabaseFile> file(files->CreateTemporary(original.c_str(), &out->temporary));
  if (!file) return FileManagerError(files, "Error creating a temporary file beside '", original, error);
  return true;
}

bool CommitRebuild(DatabaseFileManager* files, const String& table,
                   const std::vector<XBaseTemporaryFile>& swaps, String* error) {
  std::string list;
  for (const XBaseTemporaryFile& swap : swaps) {
    list.append(swap.temporary.data(), static_cast<size_t>(swap.temporary.length()));
    list.push_back('\t');
    list.append(swap.original.data(), static_cast<size_t>(swap.original.length()));
    list.push_back('\n');
  }
  list.append(kEnd);
  String journal = RebuildJournalName(table);
  {
    std::unique_ptr<DatabaseFile> file(files->Open(journal.c_str(), kDbOpenCreate));
    if (!file) return FileManagerError(files, "Error opening '", journal, error);
    if (!file->WriteAt(0, list.data(), static_cast<int32_t>(list.size())) || !file->Flush()) {
      String detail = file->ErrorText();
      file.reset();
      files->Remove(journal.c_str());
      error->assign("Error writing to '");
      error->append(journal);
      error->append("': ");
      error->append(detail);
      return false;
    }
  }
  return RecoverRebuild(files, table, error);
}

bool RecoverRebuild(DatabaseFileManager* files, const String& table, String* error) {
  String journal = RebuildJournalName(table);
  std::string list;
  {
    std::unique_ptr<DatabaseFile> file(files->Open(journal.c_str(), kDbOpenRead));
    if (!file) return true;
    int64_t size = file->Size();
    if (size < 0 || size > kMaxJournal) {
      error->assign("Error reading from '");
      error->append(journal);
      error->append("': the rename list is damaged");
      return false;
    }
    list.resize(static_cast<size_t>(size));
    if (size > 0 && file->ReadAt(0, &list[0], static_cast<int32_t>(size)) != size)
      return FileManagerError(files, "Error reading from '", journal, error);
  }
  // A list without its last line was cut short while being written: no
  // file was renamed yet, so the originals stand and the list goes.
  const size_t end_length = sizeof kEnd - 1;
  if (list.size() < end_length || list.compare(list.size() - end_length, end_length, kEnd) != 0) {
    if (!files->Remove(journal.c_str())) return FileManagerError(files, "Error removing '", journal, error);
    return true;
  }
  list.resize(list.size() - end_length);
  size_t start = 0;
  while (start < list.size()) {
    size_t end = list.find('\n', start);
    if (end == std::string::npos) break;
    std::string line = list.substr(start, end - start);
    start = end + 1;
    size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    std::string from = line.substr(0, tab);
    std::string to = line.substr(tab + 1);
    // Already renamed by an earlier run of this list.
    if (!Exists(files, from.c_str())) continue;
    if (!files->Replace(from.c_str(), to.c_str())) {
      String name;
      name.assign(to.c_str());
      return FileManagerError(files, "Error renaming over '", name, error);
    }
  }
  if (!files->Remove(journal.c_str())) return FileManagerError(files, "Error removing '", journal, error);
  return true;
}

void DiscardRebuild(DatabaseFileManager* files, const std::vector<XBaseTemporaryFile>& swaps) {
  for (const XBaseTemporaryFile& swap : swaps)
    if (!swap.temporary.empty()) files->Remove(swap.temporary.c_str());
}

}  // namespace pexo
