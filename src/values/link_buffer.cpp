#include "values/link_buffer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "values/conversions.h"
#include "values/memory_account.h"
#include "values/string.h"

namespace pexo {

LinkBuffer::LinkBuffer(int32_t first_size, int32_t growth_size)
    : first_size_(first_size > 0 ? first_size : 512),
      growth_size_(growth_size > 0 ? growth_size : 512) {}

LinkBuffer::~LinkBuffer() { clear(); }

void LinkBuffer::clear() {
  for (Chunk& c : chunks_) {
    CreditMemory(c.capacity);
    std::free(c.bytes);
  }
  chunks_.clear();
  length_ = 0;
}

void LinkBuffer::reset(int32_t keep) {
  if (chunks_.empty() || chunks_[0].capacity > keep) {
    clear();
    return;
  }
  for (size_t i = 1; i < chunks_.size(); ++i) {
    CreditMemory(chunks_[i].capacity);
    std::free(chunks_[i].bytes);
  }
  chunks_.resize(1);
  chunks_[0].used = 0;
  length_ = 0;
}

bool LinkBuffer::add_chunk(int32_t at_least) {
  int64_t size;
  if (chunks_.empty() && at_least <= first_size_) {
    size = first_size_;
  } else {
    size = (static_cast<int64_t>(at_least) / growth_size_ + 1) * growth_size_;
  }
  if (size > INT32_MAX) size = INT32_MAX;
  if (!ChargeMemory(size)) return false;
  char* bytes = static_cast<char*>(std::malloc(static_cast<size_t>(size)));
  if (!bytes) {
    CreditMemory(size);
    return false;
  }
  chunks_.push_back(Chunk{bytes, static_cast<int32_t>(size), 0});
  return true;
}

void LinkBuffer::append_general(const char* bytes, int32_t length) {
  length = text_length(bytes, length);
  if (length <= 0) return;
  if (static_cast<int64_t>(length_) + length >= INT32_MAX) {
    RefuseTooLong();
    return;
  }
  if (!chunks_.empty()) {
    Chunk& last = chunks_.back();
    int32_t room = last.capacity - last.used;
    int32_t part = room < length ? room : length;
    if (part > 0) {
      std::memcpy(last.bytes + last.used, bytes, static_cast<size_t>(part));
      last.used += part;
      length_ += part;
      bytes += part;
      length -= part;
    }
  }
  if (length == 0) return;
  if (!add_chunk(length)) return;
  Chunk& fresh = chunks_.back();
  std::memcpy(fresh.bytes, bytes, static_cast<size_t>(length));
  fresh.used = length;
  length_ += length;
}

void LinkBuffer::append_hex(unsigned char byte) {
  static const char digits[] = "0123456789ABCDEF";
  char pair[2] = {digits[byte >> 4], digits[byte & 15]};
  append(pair, 2);
}

void LinkBuffer::append_int(int32_t value) {
  char text[16];
  int n = std::snprintf(text, sizeof text, "%d", value);
  append(text, n);
}

void LinkBuffer::append_double(double value) {
  char text[kDoubleTextSize];
  append(text, FormatDouble(value, text));
}

void LinkBuffer::append_nocopy(char* bytes, int32_t length, int32_t size) {
  if (!bytes) return;
  if (length <= 0) {
    std::free(bytes);
    return;
  }
  if (static_cast<int64_t>(length_) + length >= INT32_MAX) {
    RefuseTooLong();
    std::free(bytes);
    return;
  }
  int32_t capacity = size > length ? size : length;
  CountMemory(capacity);
  chunks_.push_back(Chunk{bytes, capacity, length});
  length_ += length;
}

void LinkBuffer::append_buffer(LinkBuffer& other, bool move) {
  if (&other == this) {
    int32_t n = 0;
    const char* text = data(&n);
    if (!MemoryAllows(static_cast<int64_t>(n) + 1)) return;
    char* copy = copy_text(text, n);
    if (copy) append_nocopy(copy, n, n + 1);
    return;
  }
  if (static_cast<int64_t>(length_) + other.length_ >= INT32_MAX) {
    RefuseTooLong();
    return;
  }
  if (!move) {
    for (const Chunk& c : other.chunks_) append(c.bytes, c.used);
    return;
  }
  for (Chunk& c : other.chunks_) chunks_.push_back(c);
  length_ += other.length_;
  other.chunks_.clear();
  other.length_ = 0;
}

void LinkBuffer::prepend(const char* bytes, int32_t length) {
  length = text_length(bytes, length);
  if (length <= 0) return;
  if (!chunks_.empty() && chunks_.front().capacity - chunks_.front().used >= length) {
    Chunk& first = chunks_.front();
    std::memmove(first.bytes + length, first.bytes, static_cast<size_t>(first.used));
    std::memcpy(first.bytes, bytes, static_cast<size_t>(length));
    first.used += length;
    length_ += length;
    return;
  }
  if (static_cast<int64_t>(length_) + length >= INT32_MAX) {
    RefuseTooLong();
    return;
  }
  int32_t size = length < first_size_ ? first_size_ : length;
  if (!ChargeMemory(size)) return;
  char* fresh = static_cast<char*>(std::malloc(static_cast<size_t>(size)));
  if (!fresh) {
    CreditMemory(size);
    return;
  }
  std::memcpy(fresh, bytes, static_cast<size_t>(length));
  chunks_.insert(chunks_.begin(), Chunk{fresh, size, length});
  length_ += length;
}

void LinkBuffer::join(int32_t spare) {
  if (chunks_.size() == 1 && chunks_[0].capacity - chunks_[0].used >= spare) return;
  int64_t size = static_cast<int64_t>(length_) + spare;
  if (size > INT32_MAX) size = INT32_MAX;
  if (size < 1) size = 1;
  if (!ChargeMemory(size)) return;
  char* joined = static_cast<char*>(std::malloc(static_cast<size_t>(size)));
  if (!joined) {
    CreditMemory(size);
    return;
  }
  int32_t at = 0;
  for (Chunk& c : chunks_) {
    std::memcpy(joined + at, c.bytes, static_cast<size_t>(c.used));
    at += c.used;
    CreditMemory(c.capacity);
    std::free(c.bytes);
  }
  chunks_.clear();
  chunks_.push_back(Chunk{joined, static_cast<int32_t>(size), at});
}

const char* LinkBuffer::data(int32_t* length) {
  if (length) *length = 0;
  if (chunks_.empty()) return "";
  join(1);
  // A join that could not allocate yields no text rather than a part of it.
  if (chunks_.size() != 1) return "";
  if (length) *length = length_;
  Chunk& only = chunks_[0];
  if (only.used < only.capacity) only.bytes[only.used] = 0;
  return only.bytes;
}

char* LinkBuffer::release(int32_t* length, int32_t* size, int32_t spare) {
  if (spare < 0) spare = 0;
  if (chunks_.empty()) {
    char* one = static_cast<char*>(std::malloc(static_cast<size_t>(spare) + 1));
    if (length) *length = 0;
    if (size) *size = one ? spare + 1 : 0;
    return one;
  }
  join(spare);
  if (chunks_.size() != 1) {  // could not join: hand out an empty text
    clear();
    return release(length, size, 0);
  }
  Chunk only = chunks_[0];
  chunks_.clear();
  length_ = 0;
  CreditMemory(only.capacity);
  if (length) *length = only.used;
  if (size) *size = only.capacity;
  return only.bytes;
}

const char* LinkBuffer::chunk_data(int32_t index, int32_t* length) const {
  const Chunk& c = chunks_[static_cast<size_t>(index)];
  if (length) *length = c.used;
  return c.bytes;
}

}  // namespace pexo
