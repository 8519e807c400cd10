#include "values/string.h"

#include <cctype>
#include <cstddef>
#include <cstdlib>
#include <utility>

#include "values/memory_account.h"

namespace pexo {

String::String(const char* bytes, int32_t length) { assign(bytes, length); }

String::String(const String& other) { assign(other.data(), other.length()); }

String::String(String&& other) noexcept
    : bytes_(other.bytes_), length_(other.length_), capacity_(other.capacity_) {
  other.bytes_ = nullptr;
  other.length_ = other.capacity_ = 0;
}

String& String::operator=(const String& other) {
  if (this != &other) assign(other.data(), other.length());
  return *this;
}

String& String::operator=(String&& other) noexcept {
  if (this != &other) {
    Free();
    bytes_ = other.bytes_;
    length_ = other.length_;
    capacity_ = other.capacity_;
    other.bytes_ = nullptr;
    other.length_ = other.capacity_ = 0;
  }
  return *this;
}

void String::Free() {
  if (!bytes_) return;
  CreditMemory(capacity_);
  std::free(bytes_);
}

bool String::grow_to(int32_t needed) {
  if (needed < capacity_) return true;
  int64_t wanted = static_cast<int64_t>(needed) + 1;
  int64_t doubled = static_cast<int64_t>(capacity_) * 2;
  if (doubled > wanted) wanted = doubled;
  if (wanted < 16) wanted = 16;
  if (wanted > INT32_MAX) wanted = INT32_MAX;
  if (wanted <= needed) {
    RefuseTooLong();
    return false;
  }
  int64_t growth = wanted - capacity_;
  if (!ChargeMemory(growth)) return false;
  char* grown = static_cast<char*>(std::realloc(bytes_, static_cast<size_t>(wanted)));
  if (!grown) {
    CreditMemory(growth);
    return false;
  }
  bytes_ = grown;
  capacity_ = static_cast<int32_t>(wanted);
  return true;
}

void String::assign_slow(const char* bytes, int32_t length) {
  length = text_length(bytes, length);
  if (length == 0) {
    clear();
    return;
  }
  if (bytes >= bytes_ && bytes < bytes_ + capacity_) {  // assigning a part of itself
    std::memmove(bytes_, bytes, static_cast<size_t>(length));
  } else {
    if (!grow_to(length)) return;
    std::memcpy(bytes_, bytes, static_cast<size_t>(length));
  }
  length_ = length;
  bytes_[length_] = 0;
}

bool String::append(const char* bytes, int32_t length) {
  length = text_length(bytes, length);
  if (length <= 0) return length == 0;
  if (static_cast<int64_t>(length_) + length >= INT32_MAX) {
    RefuseTooLong();
    return false;
  }
  std::ptrdiff_t self_offset = -1;
  if (bytes_ && bytes >= bytes_ && bytes < bytes_ + capacity_) self_offset = bytes - bytes_;
  if (!grow_to(length_ + length)) return false;
  const char* source = self_offset >= 0 ? bytes_ + self_offset : bytes;
  std::memmove(bytes_ + length_, source, static_cast<size_t>(length));
  length_ += length;
  bytes_[length_] = 0;
  return true;
}

bool String::append(char byte) {
  if (!grow_to(length_ + 1)) return false;
  bytes_[length_++] = byte;
  bytes_[length_] = 0;
  return true;
}

void String::clear() {
  length_ = 0;
  if (bytes_) bytes_[0] = 0;
}

void String::reset() {
  Free();
  bytes_ = nullptr;
  length_ = capacity_ = 0;
}

bool String::reserve(int32_t capacity) { return capacity < 0 || grow_to(capacity); }

bool String::resize(int32_t length) {
  if (length < 0) return false;
  if (!grow_to(length)) return false;
  if (length > length_) std::memset(bytes_ + length_, 0, static_cast<size_t>(length - length_));
  length_ = length;
  bytes_[length_] = 0;
  return true;
}

char* String::prepare(int32_t count) {
  if (count < 0 || count > INT32_MAX - 1 - length_ || !grow_to(length_ + count)) return nullptr;
  return bytes_ + length_;
}

void String::commit(int32_t count) {
  if (count <= 0 || !bytes_ || count >= capacity_ - length_) return;
  length_ += count;
  bytes_[length_] = 0;
}

void String::adopt(char* bytes, int32_t length, int32_t capacity) {
  Free();
  bytes_ = bytes;
  length_ = bytes ? length : 0;
  capacity_ = bytes ? capacity : 0;
  if (bytes_ && capacity_ <= length_) {
    char* grown = static_cast<char*>(std::realloc(bytes_, static_cast<size_t>(length_) + 1));
    if (!grown) {  // keep the text, drop the byte past it
      length_ = capacity_ > 0 ? capacity_ - 1 : 0;
    } else {
      bytes_ = grown;
      capacity_ = length_ + 1;
    }
  }
  if (bytes_) {
    bytes_[length_] = 0;
    CountMemory(capacity_);
  }
}

char* String::release(int32_t* length, int32_t* capacity) {
  char* bytes = bytes_;
  if (bytes) CreditMemory(capacity_);
  if (length) *length = length_;
  if (capacity) *capacity = capacity_;
  bytes_ = nullptr;
  length_ = capacity_ = 0;
  return bytes;
}

bool String::equals(const char* bytes, int32_t length) const {
  length = text_length(bytes, length);
  return length == length_ && (length == 0 || std::memcmp(bytes_, bytes, static_cast<size_t>(length)) == 0);
}

bool String::equals_nocase(const char* bytes, int32_t length) const {
  return pexo::equals_nocase(data(), length_, bytes, text_length(bytes, length));
}

int compare_nocase(const char* a, int32_t a_length, const char* b, int32_t b_length) {
  int32_t shorter = a_length < b_length ? a_length : b_length;
#ifdef __GLIBC__
  // The table tolower itself reads for the thread's locale, without a call
  // per byte.
  const int32_t* lower = *__ctype_tolower_loc();
#endif
  for (int32_t i = 0; i < shorter; ++i) {
    if (a[i] == b[i]) continue;  // equal bytes fold equally in any locale
#ifdef __GLIBC__
    int x = lower[static_cast<unsigned char>(a[i])];
    int y = lower[static_cast<unsigned char>(b[i])];
#else
    int x = std::tolower(static_cast<unsigned char>(a[i]));
    int y = std::tolower(static_cast<unsigned char>(b[i]));
#endif
    if (x != y) return x - y;
  }
  return a_length == b_length ? 0 : (a_length < b_length ? -1 : 1);
}

bool equals_nocase(const char* a, int32_t a_length, const char* b, int32_t b_length) {
  return a_length == b_length && compare_nocase(a, a_length, b, b_length) == 0;
}

char* copy_text(const char* bytes, int32_t length) {
  length = text_length(bytes, length);
  char* copy = static_cast<char*>(std::malloc(static_cast<size_t>(length) + 1));
  if (!copy) return nullptr;
  if (length) std::memcpy(copy, bytes, static_cast<size_t>(length));
  copy[length] = 0;
  return copy;
}

}  // namespace pexo
