// Segment: one block of byte code. Owns its bytes; capacity is what is
// allocated, length what holds code. Loaded segments have capacity ==
// length. The writers (used by the run-time expression compiler) grow the
// capacity to the next multiple of 8192 with zeroed bytes and raise the
// length to the end of the write; the readers fail for any item that would
// run past the length, so code is never read beyond what it holds.
//
// decoded() translates the code once for the machine and keeps the result
// until the next write; code is never written while a machine runs it.
// Decoding is guarded, so machines on several threads may share a segment.
// A frozen segment (one shared by a program cache) refuses every write.
#ifndef PEXO_PROGRAM_SEGMENT_H_
#define PEXO_PROGRAM_SEGMENT_H_

#include <cstdint>
#include <cstdlib>
#include <atomic>
#include <memory>
#include <mutex>

#include "program/decoded_code.h"

namespace pexo {

constexpr int32_t kSegmentBlockSize = 8192;
// Flag bit: code compiled at run time (may not call private functions).
constexpr uint32_t kSegmentRuntimeCode = 0x1;

class Segment {
 public:
  // An empty segment of `capacity` zero bytes. Null when allocation fails.
  static std::unique_ptr<Segment> Create(int32_t number, int32_t capacity);
  ~Segment();
  Segment(const Segment&) = delete;
  Segment& operator=(const Segment&) = delete;

  int32_t number() const { return number_; }
  const unsigned char* code() const { return bytes_; }
  unsigned char* mutable_code() { return bytes_; }
  int32_t capacity() const { return capacity_; }
  int32_t length() const { return length_; }
  uint32_t flags() const { return flags_; }
  void set_flags(uint32_t flags) {
    if (!frozen_) flags_ = flags;
  }
  // For loaders that filled the bytes themselves; 0 <= length <= capacity.
  void set_length(int32_t length);

  // Decodes the code now and refuses writes from then on. Before the
  // segment is shared between threads.
  void Freeze();
  bool frozen() const { return frozen_; }
  // Bytes held: the code and its decoded form.
  int64_t MemoryBytes() const;

  bool put_byte(int32_t position, uint8_t value);
  bool put_word(int32_t position, uint16_t value);
  bool put_dword(int32_t position, int32_t value);
  bool put_double(int32_t position, double value);

  // The decoded form of the code, made on first use; null when memory runs
  // out (the machine then reads the bytes).
  const DecodedCode* decoded() const {
    const DecodedCode* done = decoded_.load(std::memory_order_acquire);
    return done ? done : Decode();
  }

  bool read_word(int32_t position, uint16_t* value) const;
  bool read_dword(int32_t position, int32_t* value) const;
  bool read_double(int32_t position, double* value) const;

 private:
  Segment(int32_t number, unsigned char* bytes, int32_t capacity)
      : number_(number), bytes_(bytes), capacity_(capacity) {}
  bool put(int32_t position, const unsigned char* bytes, int32_t count);
  bool fits(int32_t position, int32_t count) const;
  const DecodedCode* Decode() const;
  void DropDecoded();

  int32_t number_;
  unsigned char* bytes_;
  int32_t capacity_;
  int32_t length_ = 0;
  uint32_t flags_ = 0;
  bool frozen_ = false;
  mutable std::mutex decode_lock_;
  mutable std::atomic<DecodedCode*> decoded_{nullptr};
};

}  // namespace pexo

#endif  // PEXO_PROGRAM_SEGMENT_H_
