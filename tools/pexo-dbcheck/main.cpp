// pexo-dbcheck: checks index files against their table.
//
//   pexo-dbcheck TABLE [INDEX...]
//
// For each index: the B-tree invariants (entries in order under the index's
// comparison, page fill, every page reached once, all leaves at one depth)
// and one entry per record of the table, deleted records included. When the
// index expression names a single field ("name", "d.name", "db.d.name") the
// keys are compared with the field as read; for other expressions only the
// record numbers are.
//
// Exit status: 0 every check passed, 1 a check failed or a file could not
// be read, 2 usage.
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "db/xbase/xbase_index_check.h"
#include "db/xbase/xbase_index_file.h"
#include "db/xbase/xbase_table.h"
#include "host/posix_file_manager.h"
#include "host/xbase_file_manager_adapter.h"

namespace {

std::string Text(const pexo::String& s) { return std::string(s.data(), static_cast<size_t>(s.length())); }

// The field a plain field reference names, or null.
pexo::XBaseField* KeyField(const pexo::XBaseTable& table, const std::string& expression) {
  size_t start = expression.find_first_not_of(" \t");
  size_t end = expression.find_last_not_of(" \t");
  if (start == std::string::npos) return nullptr;
  std::string text = expression.substr(start, end - start + 1);
  for (char c : text)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '.') return nullptr;
  std::string name = text.substr(text.find_last_of('.') == std::string::npos ? 0 : text.find_last_of('.') + 1);
  return table.FindField(name.c_str(), static_cast<int32_t>(name.size()));
}

// An absolute path: the file layer resolves names below the root "/".
std::string Absolute(const char* path) {
  if (path[0] == '/') return path;
  char cwd[PATH_MAX];
  if (!getcwd(cwd, sizeof cwd)) return path;
  return std::string(cwd) + "/" + path;
}

bool CheckOne(pexo::DatabaseFileManager* files, pexo::XBaseTable* table, const char* name) {
  pexo::XBaseIndexFile index(files);
  std::string path = Absolute(name);
  if (!index.OpenIndex(path.c_str())) {
    std::printf("%s: %s\n", name, Text(index.ErrorText()).c_str());
    return false;
  }
  std::vector<pexo::VRKIndexEntry> entries;
  std::string error;
  if (!pexo::CheckIndexTree(&index, &entries, &error)) {
    std::printf("%s: %s\n", name, error.c_str());
    return false;
  }
  pexo::XBaseField* field = KeyField(*table, index.header().expression);
  std::vector<pexo::VRKIndexEntry> expected;
  for (uint32_t n = 1; n <= table->RecordCount(); ++n) {
    std::string key;
    if (field) {
      if (!table->ReadRecord(n)) {
        std::printf("%s: %s\n", name, Text(table->ErrorText()).c_str());
        return false;
      }
      key = Text(field->Value());
    }
    expected.push_back({n, key});
  }
  if (!field)
    for (pexo::VRKIndexEntry& entry : entries) entry.key.clear();
  if (!pexo::CompareIndexEntries(index, entries, expected, &error)) {
    std::printf("%s: %s\n", name, error.c_str());
    return false;
  }
  std::printf("%s: ok, %zu entries%s\n", name, entries.size(),
              field ? "" : " (record numbers only: the expression is not a field)");
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: pexo-dbcheck TABLE [INDEX...]\n");
    return 2;
  }
  pexo::PosixFileManager posix(nullptr);
  if (!posix.SetDataDirectory("/", -1)) {
    std::fprintf(stderr, "pexo-dbcheck: %s\n", Text(posix.ErrorText()).c_str());
    return 1;
  }
  pexo::PosixDatabaseFileManager files(&posix);
  pexo::XBaseTable table(&files);
  std::string path = Absolute(argv[1]);
  if (!table.OpenTable(path.c_str(), pexo::kDbOpenRead)) {
    std::printf("%s: %s\n", argv[1], Text(table.ErrorText()).c_str());
    return 1;
  }
  std::printf("%s: %u records\n", argv[1], table.RecordCount());
  bool ok = true;
  for (int i = 2; i < argc; ++i) ok = CheckOne(&files, &table, argv[i]) && ok;
  return ok ? 0 : 1;
}
