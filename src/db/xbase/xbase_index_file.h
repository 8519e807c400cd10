// XBaseIndexFile: one index file, a B-tree of (key, record number) entries
// in pages of the header's page size, with its cursor.
//
// Header (427 bytes of page 0, little-endian): "VRKI", version (refused
// from 4), change counter, total pages, root page, maximum keys per page,
// page size, entry size (8 + key size), flags, the expression text (400
// bytes). Every insertion and deletion raises the change counter; a cursor
// that sees another counter than at its last move re-finds its entry first.
//
// Sharing: each operation holds a lock on the header bytes for its whole
// length, shared to read and exclusive to write; pages are not locked apart.
// A page number of 0 or at or above the total pages, a key count that does
// not fit the page or a path deeper than the page count is corruption: an
// error, never a read past a page or an endless walk.
//
// Pages read or written are kept decoded while the header's change counter
// and page count stay as they were when they were read: any other writer
// raises the counter, so a changed counter drops them all.
//
// Every operation returns false on failure with the message in ErrorText().
#ifndef PEXO_DB_XBASE_XBASE_INDEX_FILE_H_
#define PEXO_DB_XBASE_XBASE_INDEX_FILE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "db/database_file.h"
#include "db/xbase/vrk_index_page.h"
#include "values/string.h"

namespace pexo {

struct VRKIndexHeader {
  uint32_t version = kVRKVersion;
  uint32_t changes = 0;
  uint32_t total_pages = 2;
  uint32_t root = 1;
  int32_t max_keys = kVRKMaxKeys;
  int32_t page_size = kVRKPageSize;
  int32_t entry_size = 8 + kVRKKeySize;
  uint32_t flags = 0;
  std::string expression;
};

class XBaseIndexFile {
 public:
  // `files` is not owned and must outlive the index.
  explicit XBaseIndexFile(DatabaseFileManager* files) : files_(files) {}
  XBaseIndexFile(const XBaseIndexFile&) = delete;
  XBaseIndexFile& operator=(const XBaseIndexFile&) = delete;

  bool CreateIndex(const char* file, const std::string& expression, uint32_t flags);
  // Between the two, for a new file no one else has yet (a rebuild's
  // temporary file): no locks, and the header is written once at the end.
  void BeginBuild();
  bool EndBuild();
  bool OpenIndex(const char* file);
  void Close();
  bool Flush();

  bool InsertKey(uint32_t record, const std::string& key);
  bool DeleteKey(uint32_t record, const std::string& key);
  // Positions on the first entry matching `key` (full comparison when
  // exact, else prefix); `record` is its record or, when none matches, the
  // record of the first greater entry (0 when there is none).
  bool FindKey(const std::string& key, bool exact, bool* found, uint32_t* record);
  // Positions on the entry of that key and record; false when absent.
  bool FindEntry(const std::string& key, uint32_t record);
  // Move the cursor; `record` is 0 past either end.
  bool First(uint32_t* record);
  bool Last(uint32_t* record);
  bool Next(uint32_t* record);
  bool Previous(uint32_t* record);
  // Whether the key of the current entry matches `key` (0 when it compares
  // equal as FindKey compared it).
  bool CurrentMatches(const std::string& key, bool exact) const;
  // The record of the current entry, 0 without one.
  uint32_t CurrentRecord() const;

  // Reads page `number` checked; for the checker.
  bool ReadPage(uint32_t number, VRKIndexPage* page);
  bool ReadHeader();

  bool is_open() const { return file_ != nullptr; }
  const VRKIndexHeader& header() const { return header_; }
  uint32_t flags() const { return header_.flags; }
  const String& FileName() const { return name_; }
  const String& ErrorText() const { return error_; }
  // The key as stored: cut to key size - 1 bytes and at a zero byte.
  std::string CutKey(const std::string& key) const;

 private:
  class HeaderLock;
  struct Pushed {
    bool pushed = false;
    VRKIndexEntry entry;
    uint32_t right = 0;
  };

  bool WriteHeader();
  bool WritePage(const VRKIndexPage& page);
  bool NewPage(VRKIndexPage* page);
  bool Insert(uint32_t number, const VRKIndexEntry& entry, uint32_t depth, Pushed* up);
  bool Delete(uint32_t number, const VRKIndexEntry& entry, uint32_t depth, bool* found);
  bool DeleteMin(uint32_t number, uint32_t depth, VRKIndexEntry* removed);
  // Repairs child `i` of `parent` when it has too few keys.
  bool Repair(VRKIndexPage* parent, int32_t i);
  int32_t MinKeys() const { return header_.max_keys / 2 - 1; }
  bool Find(const std::string& key, bool exact, bool* found, uint32_t* record);
  bool DescendEdge(uint32_t number, bool leftmost, uint32_t* record);
  bool Step(bool forward, uint32_t* record);
  bool Move(bool forward, uint32_t* record);
  bool Refind();
  bool CheckDepth(uint32_t depth);
  // The header as just read or written: pages kept from another state go.
  void StampPages(bool written);
  bool Corrupt(const char* text);
  bool Fail(const char* what, const String& detail);
  void SetError(const std::string& text) { error_.assign(text.data(), static_cast<int32_t>(text.size())); }

  DatabaseFileManager* files_;
  std::unique_ptr<DatabaseFile> file_;
  String name_;
  String error_;
  VRKIndexHeader header_;
  VRKIndexPageStack cursor_;
  uint32_t seen_changes_ = 0;
  std::unordered_map<uint32_t, VRKIndexPage> pages_;
  // The header's counter and page count the kept pages belong to.
  uint32_t pages_changes_ = 0;
  uint32_t pages_total_ = 0;
  // The page count last found to fit the file's size.
  uint32_t checked_total_ = 0;
  bool building_ = false;
  // Cursor steps since the last positioning search.
  uint64_t steps_ = 0;
};

}  // namespace pexo

#endif  // PEXO_DB_XBASE_XBASE_INDEX_FILE_H_
