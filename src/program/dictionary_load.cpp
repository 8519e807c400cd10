// Dictionary::load: reads the "dict" section into a fresh table and swaps it
// in only when every check passed.
#include <cstring>
#include <new>
#include <vector>

#include "values/dictionary.h"
#include "program/little_endian.h"
#include "program/section_reader.h"
#include "program/tagged_file.h"

namespace pexo {

namespace {

constexpr int32_t kHeaderSize = 12;
constexpr int32_t kRecordSize = 8;
constexpr int32_t kMaxBlocks = 262143;
constexpr int32_t kEntryStep = 128;

}  // namespace

bool Dictionary::load(TaggedFile& file) {
  String error;
  bool ok = false;
  if (SelectSection(file, SectionId("dict"), &error)) {
    ok = load_section(file, &error);
    file.clear();
  }
  if (!ok) error_ = error;
  return ok;
}

bool Dictionary::load_section(TaggedFile& file, String* error) {
  unsigned char header[kHeaderSize];
  if (!ReadExact(file, header, kHeaderSize, error)) return false;
  uint32_t entries = DecodeU32(header);
  int32_t data_size = DecodeI32(header + 4);
  uint32_t flags = DecodeU32(header + 8);
  if (entries >= 0x08000000u) {
    error->assign("dictionary_header.entries out of range");
    return false;
  }
  // A negative size would make a block smaller than its own data.
  if (data_size < 0 || data_size / TF_DATA_BLOCK_SIZE + 1 > kMaxBlocks) {
    error->assign("( dictionary_header.data_size / TF_DATA_BLOCK_SIZE ) + 1 out of range");
    return false;
  }
  int64_t table_bytes = static_cast<int64_t>(entries) * kRecordSize;
  if (!HasRoom(file, table_bytes, error)) return false;
  std::vector<unsigned char> table(static_cast<size_t>(table_bytes));
  if (!ReadExact(file, table.data(), table_bytes, error)) return false;

  std::vector<Entry> loaded;
  loaded.reserve((entries / kEntryStep + 1) * kEntryStep);
  for (uint32_t i = 0; i < entries; ++i) {
    const unsigned char* p = table.data() + static_cast<size_t>(i) * kRecordSize;
    int32_t offset = DecodeI32(p);
    int32_t size = DecodeI32(p + 4);
    if (offset < 0 || offset > static_cast<int64_t>(data_size) - 1) {
      error->assign("dictionary_entry.offset out of range");
      return false;
    }
    if (size < 0 || static_cast<int64_t>(offset) + size > data_size) {
      error->assign("dictionary_entry.offset + dictionary_entry.size out of range");
      return false;
    }
    loaded.push_back(Entry{0, offset, size});
  }

  if (!HasRoom(file, data_size, error)) return false;
  int32_t capacity = (data_size / TF_DATA_BLOCK_SIZE + 1) * TF_DATA_BLOCK_SIZE;
  Block block{std::unique_ptr<char[]>(new (std::nothrow) char[static_cast<size_t>(capacity)]()),
              capacity, data_size};
  if (!block.bytes) {
    error->assign("Allocation failed");
    return false;
  }
  if (!ReadExact(file, block.bytes.get(), data_size, error)) return false;

  base_.reset();
  base_count_ = 0;
  blocks_.clear();
  blocks_.push_back(std::move(block));
  entries_ = std::move(loaded);
  count_ = static_cast<int32_t>(entries);
  flags_ = flags;
  return true;
}

}  // namespace pexo
