#include "program/segment.h"

#include <cstring>

#include "program/little_endian.h"

namespace pexo {

std::unique_ptr<Segment> Segment::Create(int32_t number, int32_t capacity) {
  if (capacity < 0) return nullptr;
  void* bytes = std::calloc(capacity ? static_cast<size_t>(capacity) : 1, 1);
  if (!bytes) return nullptr;
  return std::unique_ptr<Segment>(new Segment(number, static_cast<unsigned char*>(bytes), capacity));
}

Segment::~Segment() {
  DropDecoded();
  std::free(bytes_);
}

const DecodedCode* Segment::Decode() const {
  std::lock_guard<std::mutex> hold(decode_lock_);
  DecodedCode* done = decoded_.load(std::memory_order_relaxed);
  if (!done) {
    done = DecodedCode::Decode(bytes_, length_).release();
    decoded_.store(done, std::memory_order_release);
  }
  return done;
}

void Segment::DropDecoded() {
  std::lock_guard<std::mutex> hold(decode_lock_);
  delete decoded_.exchange(nullptr, std::memory_order_acq_rel);
}

void Segment::Freeze() {
  decoded();
  frozen_ = true;
}

int64_t Segment::MemoryBytes() const {
  const DecodedCode* done = decoded_.load(std::memory_order_acquire);
  return capacity_ + (done ? done->MemoryBytes() : 0);
}

void Segment::set_length(int32_t length) {
  if (!frozen_ && length >= 0 && length <= capacity_) {
    DropDecoded();
    length_ = length;
  }
}

bool Segment::put(int32_t position, const unsigned char* bytes, int32_t count) {
  if (position < 0 || frozen_) return false;
  DropDecoded();
  int64_t end = static_cast<int64_t>(position) + count;
  if (end > capacity_) {
    int64_t grown = (end / kSegmentBlockSize + 1) * kSegmentBlockSize;
    if (grown > INT32_MAX) return false;
    void* moved = std::realloc(bytes_, static_cast<size_t>(grown));
    if (!moved) return false;
    bytes_ = static_cast<unsigned char*>(moved);
    std::memset(bytes_ + capacity_, 0, static_cast<size_t>(grown - capacity_));
    capacity_ = static_cast<int32_t>(grown);
  }
  std::memcpy(bytes_ + position, bytes, static_cast<size_t>(count));
  if (end > length_) length_ = static_cast<int32_t>(end);
  return true;
}

bool Segment::put_byte(int32_t position, uint8_t value) { return put(position, &value, 1); }

bool Segment::put_word(int32_t position, uint16_t value) {
  unsigned char raw[2];
  EncodeU16(raw, value);
  return put(position, raw, 2);
}

bool Segment::put_dword(int32_t position, int32_t value) {
  unsigned char raw[4];
  EncodeU32(raw, static_cast<uint32_t>(value));
  return put(position, raw, 4);
}

bool Segment::put_double(int32_t position, double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  unsigned char raw[8];
  EncodeU32(raw, static_cast<uint32_t>(bits));
  EncodeU32(raw + 4, static_cast<uint32_t>(bits >> 32));
  return put(position, raw, 8);
}

bool Segment::fits(int32_t position, int32_t count) const {
  return position >= 0 && static_cast<int64_t>(position) + count <= length_;
}

bool Segment::read_word(int32_t position, uint16_t* value) const {
  if (!fits(position, 2)) return false;
  *value = DecodeU16(bytes_ + position);
  return true;
}

bool Segment::read_dword(int32_t position, int32_t* value) const {
  if (!fits(position, 4)) return false;
  *value = DecodeI32(bytes_ + position);
  return true;
}

bool Segment::read_double(int32_t position, double* value) const {
  if (!fits(position, 8)) return false;
  uint64_t bits = DecodeU32(bytes_ + position) |
                  static_cast<uint64_t>(DecodeU32(bytes_ + position + 4)) << 32;
  std::memcpy(value, &bits, sizeof bits);
  return true;
}

}  // namespace pexo
