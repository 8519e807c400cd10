#include "db/xbase/vrk_index_page.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace pexo {

namespace {

uint32_t Load32(const char* p) {
  const unsigned char* u = reinterpret_cast<const unsigned char*>(p);
  return u[0] | (u[1] << 8) | (u[2] << 16) | (static_cast<uint32_t>(u[3]) << 24);
}

void Store32(char* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// Whether the whole text is a number that does not overflow.
bool ToNumber(const std::string& text, double* value) {
  if (text.empty()) return false;
  const char* start = text.c_str();
  char* end = nullptr;
  errno = 0;
  *value = std::strtod(start, &end);
  if (end == start || *end != '\0') return false;
  return !(errno == ERANGE && std::isinf(*value));
}

}  // namespace

int CompareIndexKeys(const std::string& search, const std::string& entry, uint32_t flags,
                     bool partial) {
  int result;
  if (partial) {
    result = std::strncmp(search.c_str(), entry.c_str(), search.size());
  } else {
    double a = 0;
    double b = 0;
    if (!(flags & kVRKString) && ToNumber(search, &a) && ToNumber(entry, &b)) {
      result = a < b ? -1 : a > b ? 1 : 0;
    } else {
      result = std::strcmp(search.c_str(), entry.c_str());
    }
  }
  result = result < 0 ? -1 : result > 0 ? 1 : 0;
  return (flags & kVRKDescending) ? -result : result;
}

bool VRKIndexPage::leaf() const {
  for (uint32_t child : children_)
    if (child != 0) return false;
  return true;
}

bool VRKIndexPage::Decode(const char* bytes) {
  uint32_t count = Load32(bytes);
  if (count > static_cast<uint32_t>(Capacity(entry_size_, page_size_))) return false;
  int32_t key_size = entry_size_ - 8;
  entries_.resize(count);
  children_.resize(count + 1);
  for (uint32_t i = 0; i < count; ++i) {
    const char* entry = bytes + 4 + static_cast<size_t>(i) * entry_size_;
    children_[i] = Load32(entry);
    entries_[i].record = Load32(entry + 4);
    const char* key = entry + 8;
    const void* zero = std::memchr(key, 0, static_cast<size_t>(key_size));
    size_t length = zero ? static_cast<const char*>(zero) - key : static_cast<size_t>(key_size);
    entries_[i].key.assign(key, length);
  }
  children_[count] = Load32(bytes + 4 + static_cast<size_t>(count) * entry_size_);
  return true;
}

void VRKIndexPage::Encode(std::vector<char>* bytes) const {
  bytes->assign(static_cast<size_t>(page_size_), '\0');
  char* out = bytes->data();
  Store32(out, static_cast<uint32_t>(entries_.size()));
  size_t key_size = static_cast<size_t>(entry_size_ - 8);
  for (size_t i = 0; i < entries_.size(); ++i) {
    char* entry = out + 4 + i * entry_size_;
    Store32(entry, children_[i]);
    Store32(entry + 4, entries_[i].record);
    // Keys arrive cut to key size - 1: the terminating zero always fits.
    std::memcpy(entry + 8, entries_[i].key.data(), std::min(entries_[i].key.size(), key_size - 1));
  }
  Store32(out + 4 + entries_.size() * entry_size_, children_[entries_.size()]);
}

const VRKIndexEntry* VRKIndexPageStack::Current() const {
  if (pages_.empty()) return nullptr;
  const VRKIndexPage& top = pages_.back();
  if (top.position() < 0 || top.position() >= top.count()) return nullptr;
  return &top.entries()[static_cast<size_t>(top.position())];
}

}  // namespace pexo
