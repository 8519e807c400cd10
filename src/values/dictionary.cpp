#include "values/dictionary.h"

#include <cctype>
#include <cstring>

namespace pexo {

namespace {
constexpr int32_t kEntryStep = 128;
}

Dictionary::Dictionary() { entries_.reserve(kEntryStep); }

Dictionary::Dictionary(std::shared_ptr<const Dictionary> base)
    : base_(std::move(base)), base_count_(base_->count()), count_(base_count_),
      flags_(base_->flags()) {}

Dictionary::Dictionary(const Dictionary& other)
    : base_(other.base_), base_count_(other.base_count_), count_(other.count_),
      flags_(other.flags_) {
  for (const Block& b : other.blocks_) {
    Block copy{std::unique_ptr<char[]>(new char[static_cast<size_t>(b.capacity)]), b.capacity, b.used};
    std::memcpy(copy.bytes.get(), b.bytes.get(), static_cast<size_t>(b.used));
    blocks_.push_back(std::move(copy));
  }
  entries_.reserve(other.entries_.capacity());
  entries_ = other.entries_;
}

Dictionary::~Dictionary() = default;

const char* Dictionary::get_own(int32_t index, int32_t* length) const {
  if (index < base_count_ || index >= count_) {
    if (length) *length = 0;
    return nullptr;
  }
  const Entry& e = entries_[static_cast<size_t>(index - base_count_)];
  if (length) *length = e.size;
  return blocks_[static_cast<size_t>(e.block)].bytes.get() + e.offset;
}

bool Dictionary::push_entry(int32_t block, int32_t offset, int32_t size) {
  if (entries_.size() == entries_.capacity()) entries_.reserve(entries_.size() + kEntryStep);
  entries_.push_back(Entry{block, offset, size});
  ++count_;
  return true;
}

int64_t Dictionary::MemoryBytes() const {
  int64_t bytes = static_cast<int64_t>(entries_.capacity() * sizeof(Entry));
  for (const Block& b : blocks_) bytes += b.capacity;
  return bytes;
}

int32_t Dictionary::add(const char* bytes, int32_t length) {
  length = text_length(bytes, length);
  if (!blocks_.empty()) {
    Block& block = blocks_.back();
    if (block.used >= length) {
      int32_t at = shift_search(block.bytes.get(), block.used, bytes, length);
      if (at >= 0) {
        push_entry(static_cast<int32_t>(blocks_.size()) - 1, at, length);
        return count_ - 1;
      }
    }
  }
  return append(bytes, length);
}

int32_t Dictionary::append(const char* bytes, int32_t length) {
  length = text_length(bytes, length);
  if (!blocks_.empty()) {
    Block& block = blocks_.back();
    if (block.capacity - block.used >= length) {
      std::memcpy(block.bytes.get() + block.used, bytes, static_cast<size_t>(length));
      push_entry(static_cast<int32_t>(blocks_.size()) - 1, block.used, length);
      block.used += length;
      return count_ - 1;
    }
  }
  int32_t capacity = (length / TF_DATA_BLOCK_SIZE + 1) * TF_DATA_BLOCK_SIZE;
  // Bytes past `used` are never read, so the block is not cleared.
  Block fresh{std::unique_ptr<char[]>(new char[static_cast<size_t>(capacity)]), capacity, length};
  if (length) std::memcpy(fresh.bytes.get(), bytes, static_cast<size_t>(length));
  blocks_.push_back(std::move(fresh));
  push_entry(static_cast<int32_t>(blocks_.size()) - 1, 0, length);
  return count_ - 1;
}

int32_t shift_search(const char* text, int32_t text_length, const char* pattern,
                     int32_t pattern_length, bool fold_case) {
  if (pattern_length <= 0) return 0;
  if (pattern_length > text_length) return -1;
  if (!fold_case) {
    // The C library's search finds the same leftmost occurrence, faster.
    const void* hit = memmem(text, static_cast<size_t>(text_length), pattern,
                             static_cast<size_t>(pattern_length));
    return hit ? static_cast<int32_t>(static_cast<const char*>(hit) - text) : -1;
  }
  unsigned char folded[256];
  for (int c = 0; c < 256; ++c) folded[c] = static_cast<unsigned char>(std::tolower(c));
  auto fold = [&folded](char c) { return folded[static_cast<unsigned char>(c)]; };
  int32_t shift[256];
  for (int32_t& s : shift) s = pattern_length;
  for (int32_t i = 0; i < pattern_length - 1; ++i) {
    unsigned char c = fold(pattern[i]);
    shift[c] = pattern_length - 1 - i;
    shift[std::toupper(c)] = pattern_length - 1 - i;
  }
  int32_t last = pattern_length - 1;
  for (int32_t at = 0; at + pattern_length <= text_length;) {
    int32_t i = last;
    while (i >= 0 && fold(text[at + i]) == fold(pattern[i])) --i;
    if (i < 0) return at;
    at += shift[static_cast<unsigned char>(text[at + last])];
  }
  return -1;
}

}  // namespace pexo
