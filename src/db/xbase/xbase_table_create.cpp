// XBaseTable::CreateTable: a new, empty table file (and memo file).
#include <cstdio>

#include "db/xbase/xbase_table.h"

namespace pexo {
namespace {

const char kEndOfFile = 0x1A;

String CreateError(const String& file, const char* text) {
  String message("Error creating '");
  message.append(file);
  message.append("': ");
  message.append(text);
  return message;
}

}  // namespace

bool XBaseTable::CreateTable(const char* file, const char* memo_file,
                             const std::vector<XBaseFieldDefinition>& fields) {
  CloseTable();
  file_name_.assign(file);
  memo_name_.assign(memo_file ? memo_file : "");
  if (fields.size() > static_cast<size_t>(kXBaseMaxFields)) {
    error_ = CreateError(file_name_, "too many fields (maximum 2046)");
    return false;
  }
  bool has_memo = false;
  int32_t record_length = 1;
  for (const XBaseFieldDefinition& column : fields) {
    if (column.type < kXBaseCharacter || column.type > kXBaseMemo || column.length < 1 ||
        column.length > 255 || column.decimals < 0 || column.decimals > 255) {
      error_ = CreateError(file_name_, "invalid field");
      return false;
    }
    has_memo = has_memo || column.type == kXBaseMemo;
    record_length += column.length;
  }
  // The header stores the record length in 16 bits.
  if (record_length > 65535) {
    error_ = CreateError(file_name_, "records longer than 65535 bytes");
    return false;
  }
  table_.reset(files_->Open(file, kDbOpenCreate));
  if (table_ && has_memo) memo_.reset(files_->Open(memo_name_.c_str(), kDbOpenCreate));
  if (!table_ || (has_memo && !memo_)) {
    error_ = CreateError(file_name_, files_->ErrorText().c_str());
    Reset();
    return false;
  }
  version_ = has_memo ? 0x83 : 0x03;
  next_memo_block_ = 1;
  header_length_ = 32 * static_cast<int32_t>(fields.size()) + 33;
  record_length_ = record_length;
  count_ = 0;
  for (const XBaseFieldDefinition& column : fields) {
    if (column.type == kXBaseMemo)
      fields_.emplace_back(new XBaseMemoField(this, column.name.data(), column.name.length(),
                                              column.length));
    else
      fields_.emplace_back(new XBaseField(this, column.name.data(), column.name.length(),
                                          column.type, column.length, column.decimals));
  }
  record_.assign(static_cast<size_t>(record_length_) + 1, ' ');
  bool ok = WriteHeader() && WriteDescriptors();
  if (ok && !table_->WriteAt(header_length_, &kEndOfFile, 1))
    ok = WriteError(file_name_, table_->ErrorText().c_str());
  if (ok && has_memo) {
    ok = WriteMemoHeader(1);
    if (ok && !memo_->WriteAt(kXBaseMemoBlock, &kEndOfFile, 1))
      ok = WriteError(memo_name_, memo_->ErrorText().c_str());
  }
  if (!ok) {
    Reset();
    return false;
  }
  return true;
}

}  // namespace pexo
