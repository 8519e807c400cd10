// LinkBuffer: a chained text builder. Text is appended into the last chunk;
// when it is full a new chunk of ((remaining / growth) + 1) * growth bytes is
// linked after it, so appending never moves what was written before. A no-copy
// append links the caller's malloc'd buffer itself as a chunk. Reading the
// whole text joins the chunks into one zero-terminated allocation.
#ifndef PEXO_VALUES_LINK_BUFFER_H_
#define PEXO_VALUES_LINK_BUFFER_H_

#include <cstdint>
#include <cstring>
#include <vector>

namespace pexo {

class LinkBuffer {
 public:
  LinkBuffer(int32_t first_size, int32_t growth_size);
  LinkBuffer(const LinkBuffer&) = delete;
  LinkBuffer& operator=(const LinkBuffer&) = delete;
  ~LinkBuffer();

  // length -1: up to a zero byte. A text that fits the last chunk is copied
  // in place; everything else (new chunks, limits) is append_general's.
  void append(const char* bytes, int32_t length) {
    if (length > 0 && !chunks_.empty() && length < INT32_MAX - length_) {
      Chunk& last = chunks_.back();
      if (last.capacity - last.used >= length) {
        std::memcpy(last.bytes + last.used, bytes, static_cast<size_t>(length));
        last.used += length;
        length_ += length;
        return;
      }
    }
    append_general(bytes, length);
  }
  void append_char(char byte) { append(&byte, 1); }
  // A byte as two uppercase hexadecimal digits ("0A" for 10).
  void append_hex(unsigned char byte);
  void append_int(int32_t value);
  // A double in the engine's spelling: shortest round-trip digits, never an
  // exponent ("0.1", "1e21" as "1000000000000000000000", "NaN").
  void append_double(double value);
  // Takes ownership of a malloc'd buffer of `size` bytes holding `length`.
  void append_nocopy(char* bytes, int32_t length, int32_t size);
  // Moves (when `move`) or copies the other buffer's text to the end of this
  // one; a moved-from buffer is left empty.
  void append_buffer(LinkBuffer& other, bool move);
  // Puts text in front of everything appended so far.
  void prepend(const char* bytes, int32_t length);

  int32_t length() const { return length_; }
  bool empty() const { return length_ == 0; }
  void clear();
  // Empties the buffer but keeps its first chunk when that is no larger
  // than `keep` bytes, so the next text needs no allocation.
  void reset(int32_t keep);

  // The joined text, zero-terminated, owned by the buffer; valid until the
  // next change. `length` may be null.
  const char* data(int32_t* length = nullptr);
  // Detaches the joined text as one malloc'd allocation with at least `spare`
  // bytes of room after it (not terminated) and leaves the buffer empty. An
  // empty buffer yields a fresh one-byte allocation, length 0, size 1.
  char* release(int32_t* length, int32_t* size, int32_t spare = 0);

  // Chunks in order, for writers that send text piece by piece.
  int32_t chunk_count() const { return static_cast<int32_t>(chunks_.size()); }
  const char* chunk_data(int32_t index, int32_t* length) const;

 private:
  struct Chunk {
    char* bytes;
    int32_t capacity;
    int32_t used;
  };
  void append_general(const char* bytes, int32_t length);
  bool add_chunk(int32_t at_least);
  void join(int32_t spare);

  std::vector<Chunk> chunks_;
  int32_t length_ = 0;
  int32_t first_size_;
  int32_t growth_size_;
};

}  // namespace pexo

#endif  // PEXO_VALUES_LINK_BUFFER_H_
