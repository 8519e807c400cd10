// String: the engine's counted byte buffer.
//
// Texts are counted, not terminated, and may hold zero bytes. Storage comes
// from malloc so that a buffer can be handed to or taken from C callers
// (the extension API frees with free()). Invariant: when capacity > 0 the
// byte at data()[length()] is zero, so c_str() never reallocates.
// A length argument of -1 means "up to the first zero byte".
// Storage is counted in the running request's memory account: growth may be
// refused, release() takes the bytes out of the count and adopt() puts them
// in.
#ifndef PEXO_VALUES_STRING_H_
#define PEXO_VALUES_STRING_H_

#include <cstdint>
#include <cstring>

namespace pexo {

class String {
 public:
  String() = default;
  String(const char* bytes, int32_t length = -1);  // NOLINT: implicit by design
  String(const String& other);
  String(String&& other) noexcept;
  String& operator=(const String& other);
  String& operator=(String&& other) noexcept;
  ~String() {
    if (bytes_) Free();  // most Strings die empty: no call
  }

  const char* data() const { return bytes_ ? bytes_ : ""; }
  char* mutable_data() { return bytes_; }
  int32_t length() const { return length_; }
  int32_t capacity() const { return capacity_; }
  bool empty() const { return length_ == 0; }
  // Always zero-terminated (an empty String yields "").
  const char* c_str() const { return data(); }

  void assign(const char* bytes, int32_t length = -1) {
    // Inline: a text from elsewhere that fits the storage, the common case
    // of reused variables.
    if (length > 0 && length < capacity_ && (bytes < bytes_ || bytes >= bytes_ + capacity_)) {
      std::memcpy(bytes_, bytes, static_cast<size_t>(length));
      length_ = length;
      bytes_[length] = 0;
      return;
    }
    assign_slow(bytes, length);
  }
  void assign(const String& other) { assign(other.data(), other.length()); }
  // False when the text could not grow: out of memory, refused by the
  // request's memory account, or past the largest length (INT32_MAX - 1).
  bool append(const char* bytes, int32_t length = -1);
  bool append(const String& other) { return append(other.data(), other.length()); }
  bool append(char byte);
  // Empties the text but keeps the storage.
  void clear();
  // Frees the storage.
  void reset();
  // Makes room for at least `capacity` bytes of text (plus the zero byte).
  bool reserve(int32_t capacity);
  // Sets the length; new bytes are zero. Grows as needed.
  bool resize(int32_t length);
  // Room for `count` more bytes after the text, for a reader to fill in
  // place (null when the text cannot grow); commit(n), n <= count, then
  // adds the n bytes written there.
  char* prepare(int32_t count);
  void commit(int32_t count);

  // Takes ownership of a malloc'd buffer of `capacity` bytes holding `length`
  // bytes of text. If capacity <= length the buffer is grown by one byte to
  // keep the terminating zero invariant.
  void adopt(char* bytes, int32_t length, int32_t capacity);
  // Hands the malloc'd buffer to the caller (null when empty) and leaves this
  // String empty. The buffer is zero-terminated.
  char* release(int32_t* length, int32_t* capacity);

  bool equals(const char* bytes, int32_t length) const;
  bool equals_nocase(const char* bytes, int32_t length) const;
  bool operator==(const String& other) const { return equals(other.data(), other.length()); }

 private:
  bool grow_to(int32_t needed);
  void assign_slow(const char* bytes, int32_t length);
  // Frees the storage and credits it to the memory account (fields kept).
  void Free();

  char* bytes_ = nullptr;
  int32_t length_ = 0;
  int32_t capacity_ = 0;
};

// Length of a text given with the -1 convention.
inline int32_t text_length(const char* bytes, int32_t length) {
  if (length >= 0) return length;
  return bytes ? static_cast<int32_t>(std::strlen(bytes)) : 0;
}

// Case-insensitive byte comparison with the C library's tolower; a prefix is
// smaller than the longer text. Returns <0, 0 or >0.
int compare_nocase(const char* a, int32_t a_length, const char* b, int32_t b_length);
// The same answer as compare_nocase, decided inline in the common cases:
// equal bytes fold equally in any locale, and tolower changes only
// uppercase characters, which among ASCII bytes are just A-Z. The library's
// case table is consulted only from a differing pair that holds an
// uppercase ASCII letter or a byte above 127.
inline int compare_nocase_inline(const char* a, int32_t a_length, const char* b,
                                 int32_t b_length) {
  int32_t shorter = a_length < b_length ? a_length : b_length;
  int32_t i = 0;
  while (i < shorter && a[i] == b[i]) ++i;
  if (i == shorter) return a_length == b_length ? 0 : (a_length < b_length ? -1 : 1);
  unsigned x = static_cast<unsigned char>(a[i]);
  unsigned y = static_cast<unsigned char>(b[i]);
  if (x < 0x80 && y < 0x80 && x - 'A' > 'Z' - 'A' && y - 'A' > 'Z' - 'A')
    return static_cast<int>(x) - static_cast<int>(y);
  return compare_nocase(a + i, a_length - i, b + i, b_length - i);
}
bool equals_nocase(const char* a, int32_t a_length, const char* b, int32_t b_length);

// Copies a text into a fresh malloc'd zero-terminated buffer.
char* copy_text(const char* bytes, int32_t length);

}  // namespace pexo

#endif  // PEXO_VALUES_STRING_H_
