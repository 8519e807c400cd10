#include "db/xbase/xbase_table.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace pexo {
namespace {

const char kEndOfFile = 0x1A;
const char kHeaderEnd = 0x0D;

uint32_t Get32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
int32_t Get16(const unsigned char* p) { return p[0] | p[1] << 8; }
void Put32(unsigned char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
void Put16(unsigned char* p, int32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}

}  // namespace

XBaseTable::XBaseTable(DatabaseFileManager* files) : files_(files) {}

XBaseTable::~XBaseTable() = default;

String XBaseTable::MemoName(const char* file) {
  String name(file);
  const char* text = name.data();
  int32_t slash = -1, dot = -1;
  for (int32_t i = 0; i < name.length(); ++i) {
    if (text[i] == '/') slash = i;
    if (text[i] == '.') dot = i;
  }
  if (dot > slash) name.resize(dot);
  name.append(".dbt");
  return name;
}

XBaseField* XBaseTable::FindField(const char* name, int32_t length) const {
  for (const auto& field : fields_)
    if (field->Name().equals_nocase(name, length)) return field.get();
  return nullptr;
}

bool XBaseTable::FileError(const char* what, const String& file, const char* text) {
  error_.assign(what);
  error_.append(" '");
  error_.append(file);
  error_.append("': ");
  error_.append(text);
  return false;
}

bool XBaseTable::ReadError(const String& file, const char* text) {
  return FileError("Error reading from", file, text);
}

bool XBaseTable::WriteError(const String& file, const char* text) {
  return FileError("Error writing to", file, text);
}

bool XBaseTable::LockError(const String& file, bool write, const char* text) {
  error_.assign("Error locking '");
  error_.append(file);
  error_.append(write ? "' for write: " : "' for read: ");
  error_.append(text);
  return false;
}

void XBaseTable::Reset() {
  table_.reset();
  memo_.reset();
  fields_.clear();
  record_.clear();
  version_ = 3;
  count_ = 0;
  header_length_ = 0;
  record_length_ = 0;
  current_ = 0;
  deleted_ = false;
  next_memo_block_ = 1;
}

void XBaseTable::CloseTable() {
  Reset();
  file_name_.clear();
  memo_name_.clear();
}

bool XBaseTable::OpenTable(const char* file, int32_t mode) {
  CloseTable();
  file_name_.assign(file);
  memo_name_ = MemoName(file);
  table_.reset(files_->Open(file, mode));
  if (!table_) {
    error_.assign("Error opening '");
    error_.append(file_name_);
    error_.append("': ");
    error_.append(files_->ErrorText());
    return false;
  }
  if (!ReadHeader() || !CheckHeaderAgainstSize() || !ReadDescriptors() ||
      (version_ == 0x83 && !OpenMemo(mode))) {
    Reset();
    return false;
  }
  return true;
}

bool XBaseTable::ReadHeader() {
  unsigned char header[kXBaseHeaderSize];
  int32_t n = table_->ReadAt(0, header, kXBaseHeaderSize);
  if (n < 0) return ReadError(file_name_, table_->ErrorText().c_str());
  if (n < kXBaseHeaderSize) return ReadError(file_name_, "Unexpected end of file");
  if ((header[0] & 0x7F) != 3) {
    char version[8];
    std::snprintf(version, sizeof version, "0x%02X", header[0]);
    error_.assign("'");
    error_.append(file_name_);
    error_.append("': Unsupported xBase file version (");
    error_.append(version);
    error_.append(")");
    return false;
  }
  int32_t header_length = Get16(header + 8);
  int32_t record_length = Get16(header + 10);
  // Buffers are sized from the first read; a later header must agree.
  if (!record_.empty() && (header_length != header_length_ || record_length != record_length_))
    return ReadError(file_name_, "The table header has changed");
  // A memo descriptor may have raised the version; keep that.
  if (version_ != 0x83) version_ = header[0];
  year_ = header[1];
  month_ = header[2];
  day_ = header[3];
  count_ = Get32(header + 4);
  header_length_ = header_length;
  record_length_ = record_length;
  return true;
}

// The header must describe a file no longer than the one on disk: records
// that a killed writer left half-written lie past the count and are ignored.
bool XBaseTable::CheckHeaderAgainstSize() {
  if (header_length_ <= kXBaseHeaderSize) return ReadError(file_name_, "Invalid header length");
  if (record_length_ < 1) return ReadError(file_name_, "Invalid record length");
  int64_t size = table_->Size();
  if (size < 0) return ReadError(file_name_, table_->ErrorText().c_str());
  if (header_length_ > size) return ReadError(file_name_, "Header length exceeds the file size");
  if (static_cast<int64_t>(count_) * record_length_ > size - header_length_)
    return ReadError(file_name_, "Record count exceeds the file size");
  return true;
}

bool XBaseTable::ReadDescriptors() {
  if (header_length_ <= kXBaseHeaderSize) return ReadError(file_name_, "Invalid header length");
  int32_t size = header_length_ - kXBaseHeaderSize;
  std::vector<unsigned char> bytes(static_cast<size_t>(size));
  int32_t n = table_->ReadAt(kXBaseHeaderSize, bytes.data(), size);
  if (n < 0) return ReadError(file_name_, table_->ErrorText().c_str());
  if (n < size) return ReadError(file_name_, "Unexpected end of file");
  int32_t count = (header_length_ - 33) / 32;
  int32_t used = 1;
  fields_.clear();
  for (int32_t i = 0; i < count; ++i) {
    const unsigned char* d = bytes.data() + 32 * i;
    if (d[0] == kHeaderEnd) break;  // a writer that padded its header
    int32_t name_length = 0;
    while (name_length < 11 && d[name_length]) ++name_length;
    const char* name = reinterpret_cast<const char*>(d);
    int32_t type = XBaseTypeCode(static_cast<char>(d[11]));
    if (type < 0) {
      char letter[2] = {static_cast<char>(d[11]), 0};
      error_.assign("'");
      error_.append(file_name_);
      error_.append("' contains an unsupported field (");
      error_.append(name, name_length);
      error_.append(") of type '");
      error_.append(letter, 1);
      error_.append("'");
      fields_.clear();
      return false;
    }
    int32_t length = d[16];
    used += length;
    if (used > record_length_) {
      fields_.clear();
      return ReadError(file_name_, "The fields exceed the record length");
    }
    if (type == kXBaseMemo) {
      version_ = 0x83;
      fields_.emplace_back(new XBaseMemoField(this, name, name_length, length));
    } else {
      fields_.emplace_back(new XBaseField(this, name, name_length, type, length, d[17]));
    }
  }
  record_.assign(static_cast<size_t>(record_length_) + 1, ' ');
  return true;
}

bool XBaseTable::OpenMemo(int32_t mode) {
  memo_.reset(files_->Open(memo_name_.c_str(), mode));
  if (!memo_) {
    error_.assign("Error opening '");
    error_.append(memo_name_);
    error_.append("': ");
    error_.append(files_->ErrorText());
    return false;
  }
  if (!memo_->Lock(0, kXBaseMemoBlock, false))
    return LockError(memo_name_, false, memo_->ErrorText().c_str());
  bool ok = ReadMemoHeader(&next_memo_block_);
  memo_->Unlock(0, kXBaseMemoBlock);
  return ok;
}

bool XBaseTable::ReadMemoHeader(uint32_t* next_free) {
  unsigned char header[4];
  int32_t n = memo_->ReadAt(0, header, 4);
  if (n < 0) return ReadError(memo_name_, memo_->ErrorText().c_str());
  if (n < 4) return ReadError(memo_name_, "Unexpected end of file");
  *next_free = Get32(header);
  return true;
}

bool XBaseTable::WriteMemoHeader(uint32_t next_free) {
  unsigned char header[kXBaseMemoBlock] = {0};
  Put32(header, next_free);
  if (!memo_->WriteAt(0, header, kXBaseMemoBlock))
    return WriteError(memo_name_, memo_->ErrorText().c_str());
  return true;
}

bool XBaseTable::ReadMemo(int64_t block, String* text) {
  text->clear();
  if (!memo_) return ReadError(memo_name_, "The table has no memo file");
  char chunk[kXBaseMemoBlock];
  // Bounded by the file: a hostile block number reads nothing.
  for (int64_t at = block * kXBaseMemoBlock;; at += kXBaseMemoBlock) {
    int32_t n = memo_->ReadAt(at, chunk, kXBaseMemoBlock);
    if (n < 0) return ReadError(memo_name_, memo_->ErrorText().c_str());
    const void* end = std::memchr(chunk, kEndOfFile, static_cast<size_t>(n));
    if (end) {
      text->append(chunk, static_cast<int32_t>(static_cast<const char*>(end) - chunk));
      return true;
    }
    text->append(chunk, n);
    if (n < kXBaseMemoBlock) return true;
  }
}

bool XBaseTable::AppendMemo(const char* text, int32_t length, int32_t* block) {
  if (!memo_) return WriteError(memo_name_, "The table has no memo file");
  if (!memo_->Lock(0, kXBaseMemoBlock, true))
    return LockError(memo_name_, true, memo_->ErrorText().c_str());
  uint32_t next = 0;
  bool ok = ReadMemoHeader(&next);
  int64_t size = ok ? memo_->Size() : 0;
  // Never write over the header, and never leave a hole past the end.
  int64_t end_block = (size + kXBaseMemoBlock - 1) / kXBaseMemoBlock;
  if (ok && (next < 1 || next > end_block ||
             static_cast<int64_t>(next) > INT32_MAX - 1 - length / kXBaseMemoBlock))
    ok = ReadError(memo_name_, "Invalid next free block");
  if (ok) {
    std::vector<char> bytes(static_cast<size_t>(length) + 2);
    std::memcpy(bytes.data(), text, static_cast<size_t>(length));
    bytes[length] = bytes[length + 1] = kEndOfFile;
    ok = memo_->WriteAt(static_cast<int64_t>(next) * kXBaseMemoBlock, bytes.data(), length + 2);
    if (!ok) WriteError(memo_name_, memo_->ErrorText().c_str());
  }
  uint32_t blocks = static_cast<uint32_t>((static_cast<int64_t>(length) + 2 + kXBaseMemoBlock - 1) /
                                          kXBaseMemoBlock);
  if (ok) ok = WriteMemoHeader(next + blocks);
  memo_->Unlock(0, kXBaseMemoBlock);
  if (!ok) return false;
  next_memo_block_ = next + blocks;
  *block = static_cast<int32_t>(next);
  return true;
}

bool XBaseTable::WriteHeader() {
  time_t now = std::time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  year_ = (local.tm_year) & 0xFF;  // the byte wraps past 2155
  month_ = local.tm_mon + 1;
  day_ = local.tm_mday;
  unsigned char header[kXBaseHeaderSize] = {0};
  header[0] = static_cast<unsigned char>(version_);
  header[1] = static_cast<unsigned char>(year_);
  header[2] = static_cast<unsigned char>(month_);
  header[3] = static_cast<unsigned char>(day_);
  Put32(header + 4, count_);
  Put16(header + 8, header_length_);
  Put16(header + 10, record_length_);
  if (!table_->WriteAt(0, header, kXBaseHeaderSize))
    return WriteError(file_name_, table_->ErrorText().c_str());
  return true;
}

bool XBaseTable::WriteDescriptors() {
  std::vector<unsigned char> bytes(static_cast<size_t>(header_length_ - kXBaseHeaderSize), 0);
  for (size_t i = 0; i < fields_.size(); ++i) {
    unsigned char* d = bytes.data() + 32 * i;
    const String& name = fields_[i]->Name();
    std::memcpy(d, name.data(), static_cast<size_t>(name.length() < 10 ? name.length() : 10));
    d[11] = static_cast<unsigned char>(XBaseTypeLetter(fields_[i]->Type()));
    d[16] = static_cast<unsigned char>(fields_[i]->Length());
    d[17] = static_cast<unsigned char>(fields_[i]->Decimals());
  }
  bytes.back() = kHeaderEnd;
  if (!table_->WriteAt(kXBaseHeaderSize, bytes.data(), static_cast<int32_t>(bytes.size())))
    return WriteError(file_name_, table_->ErrorText().c_str());
  return true;
}

bool XBaseTable::LockHeader() {
  if (table_->Lock(0, header_length_, true)) return true;
  return LockError(file_name_, true, table_->ErrorText().c_str());
}

void XBaseTable::UnlockHeader() { table_->Unlock(0, header_length_); }

bool XBaseTable::ReadRecord(uint32_t number) {
  if (!table_) return ReadError(file_name_, "The table is not open");
  if (number == 0) {
    error_.assign("Invalid record number");
    return false;
  }
  if (number > count_) {
    // Another writer may have appended since the last header read.
    uint32_t known = count_;
    if (!LockHeader()) return false;
    bool ok = ReadHeader();
    UnlockHeader();
    if (!ok) {
      count_ = known;
      return false;
    }
    if (number > count_) {
      error_.assign("Invalid record number");
      return false;
    }
  }
  int64_t at = header_length_ + static_cast<int64_t>(number - 1) * record_length_;
  int32_t n = table_->ReadAt(at, record_.data(), record_length_);
  if (n < 0) return ReadError(file_name_, table_->ErrorText().c_str());
  if (n < record_length_) return ReadError(file_name_, "Unexpected end of file");
  deleted_ = record_[0] == '*';
  int32_t offset = 1;
  for (auto& field : fields_) {
    field->Parse(record_.data() + offset);
    offset += field->Length();
  }
  current_ = number;
  return true;
}

bool XBaseTable::BuildRecord() {
  record_[0] = deleted_ ? '*' : ' ';
  int32_t offset = 1;
  for (auto& field : fields_) {
    if (!field->Store(record_.data() + offset)) return false;
    offset += field->Length();
  }
  // Filler a foreign writer left between the last field and the record end.
  std::memset(record_.data() + offset, ' ', static_cast<size_t>(record_length_ - offset));
  return true;
}

bool XBaseTable::AppendRecord() {
  if (!table_) return WriteError(file_name_, "The table is not open");
  if (!LockHeader()) return false;
  uint32_t known = count_;
  bool was_deleted = deleted_;
  deleted_ = false;
  // A count past the end of the file would put the record far beyond it.
  bool ok = ReadHeader() && CheckHeaderAgainstSize();
  if (ok && count_ == UINT32_MAX) ok = WriteError(file_name_, "The table is full");
  if (ok) ok = BuildRecord();
  if (ok) {
    record_[record_length_] = kEndOfFile;
    int64_t at = header_length_ + static_cast<int64_t>(count_) * record_length_;
    ok = table_->WriteAt(at, record_.data(), record_length_ + 1);
    if (!ok) WriteError(file_name_, table_->ErrorText().c_str());
  }
  if (ok) {
    ++count_;
    ok = WriteHeader();
    if (!ok) --count_;
  }
  UnlockHeader();
  if (!ok) {
    count_ = known;
    deleted_ = was_deleted;
    return false;
  }
  current_ = count_;
  for (auto& field : fields_) field->SaveReadValue();
  return true;
}

bool XBaseTable::RewriteRecord() {
  if (!table_ || current_ == 0) {
    error_.assign("Invalid record number");
    return false;
  }
  int64_t at = header_length_ + static_cast<int64_t>(current_ - 1) * record_length_;
  if (!table_->Lock(at, record_length_, true))
    return LockError(file_name_, true, table_->ErrorText().c_str());
  bool ok = BuildRecord();
  if (ok) {
    ok = table_->WriteAt(at, record_.data(), record_length_);
    if (!ok) WriteError(file_name_, table_->ErrorText().c_str());
  }
  table_->Unlock(at, record_length_);
  if (!ok) return false;
  for (auto& field : fields_) field->SaveReadValue();
  return TouchHeader();
}

bool XBaseTable::SetDeleted(bool deleted) {
  if (!table_ || current_ == 0) {
    error_.assign("Invalid record number");
    return false;
  }
  int64_t at = header_length_ + static_cast<int64_t>(current_ - 1) * record_length_;
  if (!table_->Lock(at, record_length_, true))
    return LockError(file_name_, true, table_->ErrorText().c_str());
  char flag = deleted ? '*' : ' ';
  bool ok = table_->WriteAt(at, &flag, 1);
  if (!ok) WriteError(file_name_, table_->ErrorText().c_str());
  table_->Unlock(at, record_length_);
  if (!ok) return false;
  deleted_ = deleted;
  return TouchHeader();
}

// Re-reads and rewrites the header under its lock, which refreshes the
// update date without losing another writer's appends.
bool XBaseTable::TouchHeader() {
  if (!LockHeader()) return false;
  uint32_t known = count_;
  bool ok = ReadHeader() && WriteHeader();
  UnlockHeader();
  if (!ok) count_ = known;
  return ok;
}

bool XBaseTable::FlushFiles() {
  if (table_ && !table_->Flush()) return WriteError(file_name_, table_->ErrorText().c_str());
  if (memo_ && !memo_->Flush()) return WriteError(memo_name_, memo_->ErrorText().c_str());
  return true;
}

}  // namespace pexo
