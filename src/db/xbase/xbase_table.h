// XBaseTable: one dBASE III table file and its ".dbt" memo file.
//
// File layout (little-endian): a 32-byte header (version 0x03, or 0x83 with
// memo fields; last update year-1900, month, day; record count; header
// length; record length), 32-byte field descriptors, 0x0D, then the records
// (deletion byte "*" or blank, then the field texts), then 0x1A. The memo
// file is 512-byte blocks; block 0 holds the next free block number.
//
// Sharing: appends and header rewrites hold an exclusive lock on the header
// bytes, record rewrites and deletion marks on the record's bytes, memo
// appends on the memo header. At most one lock per file is held at a time,
// and every failure path releases the lock it took. A header whose lengths
// disagree with the file size is refused before anything is allocated, so a
// hostile file is an error message, never a huge allocation or a read past
// its end.
//
// Every operation returns false on failure with the message in ErrorText().
// A table belongs to one thread.
#ifndef PEXO_DB_XBASE_XBASE_TABLE_H_
#define PEXO_DB_XBASE_XBASE_TABLE_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "db/database_file.h"
#include "db/xbase/xbase_field.h"
#include "values/string.h"

namespace pexo {

// A field to create.
struct XBaseFieldDefinition {
  String name;
  int32_t type = kXBaseCharacter;
  int32_t length = 0;
  int32_t decimals = 0;
};

constexpr int32_t kXBaseHeaderSize = 32;
constexpr int32_t kXBaseMemoBlock = 512;
constexpr int32_t kXBaseMaxFields = 2046;

class XBaseTable {
 public:
  // `files` is not owned and must outlive the table.
  explicit XBaseTable(DatabaseFileManager* files);
  XBaseTable(const XBaseTable&) = delete;
  XBaseTable& operator=(const XBaseTable&) = delete;
  ~XBaseTable();

  bool OpenTable(const char* file, int32_t mode);
  void CloseTable();
  bool CreateTable(const char* file, const char* memo_file,
                   const std::vector<XBaseFieldDefinition>& fields);

  bool ReadRecord(uint32_t number);
  bool AppendRecord();
  bool RewriteRecord();
  bool SetDeleted(bool deleted);
  bool FlushFiles();

  bool ReadHeader();
  bool WriteHeader();
  bool WriteDescriptors();
  bool ReadMemo(int64_t block, String* text);
  // Appends `text` as a new memo; `block` receives its first block.
  bool AppendMemo(const char* text, int32_t length, int32_t* block);

  bool is_open() const { return table_ != nullptr; }
  uint32_t RecordCount() const { return count_; }
  uint32_t CurrentRecord() const { return current_; }
  bool Deleted() const { return deleted_; }
  const std::vector<std::unique_ptr<XBaseField>>& Fields() const { return fields_; }
  // The field of that name (case-insensitive), or null.
  XBaseField* FindField(const char* name, int32_t length) const;
  int32_t HeaderLength() const { return header_length_; }
  int32_t RecordLength() const { return record_length_; }
  int32_t Version() const { return version_; }
  const String& FileName() const { return file_name_; }
  const String& MemoFileName() const { return memo_name_; }
  const String& ErrorText() const { return error_; }
  void SetErrorText(const String& text) { error_ = text; }

  // The memo file name of a table file: its extension replaced by ".dbt".
  static String MemoName(const char* file);

 private:
  bool CheckHeaderAgainstSize();
  bool ReadDescriptors();
  bool OpenMemo(int32_t mode);
  bool ReadMemoHeader(uint32_t* next_free);
  bool WriteMemoHeader(uint32_t next_free);
  bool BuildRecord();
  // "<what> '<file>': <text>" as the error; always false.
  bool FileError(const char* what, const String& file, const char* text);
  bool ReadError(const String& file, const char* text);
  bool WriteError(const String& file, const char* text);
  bool LockError(const String& file, bool write, const char* text);
  bool LockHeader();
  bool TouchHeader();
  void UnlockHeader();
  void Reset();

  DatabaseFileManager* files_;
  std::unique_ptr<DatabaseFile> table_;
  std::unique_ptr<DatabaseFile> memo_;
  String file_name_;
  String memo_name_;
  String error_;
  int32_t version_ = 3;
  int32_t year_ = 0;
  int32_t month_ = 0;
  int32_t day_ = 0;
  uint32_t count_ = 0;
  int32_t header_length_ = 0;
  int32_t record_length_ = 0;
  uint32_t current_ = 0;
  bool deleted_ = false;
  std::vector<std::unique_ptr<XBaseField>> fields_;
  std::vector<char> record_;  // record length + 1 bytes
  uint32_t next_memo_block_ = 1;
};

}  // namespace pexo

#endif  // PEXO_DB_XBASE_XBASE_TABLE_H_
