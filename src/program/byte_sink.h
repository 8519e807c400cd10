// ByteSink: appends little-endian integers, doubles and raw bytes to a
// growing byte string, and patches them in place. Compiled files and code
// segments are built with it.
#ifndef PEXO_PROGRAM_BYTE_SINK_H_
#define PEXO_PROGRAM_BYTE_SINK_H_

#include <cstdint>
#include <cstring>
#include <string>

namespace pexo {

class ByteSink {
 public:
  void put8(uint32_t v) { bytes_.push_back(static_cast<char>(v & 0xFF)); }
  void put16(uint32_t v) {
    put8(v);
    put8(v >> 8);
  }
  void put32(uint32_t v) {
    put16(v);
    put16(v >> 16);
  }
  void put_double(double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    put32(static_cast<uint32_t>(bits));
    put32(static_cast<uint32_t>(bits >> 32));
  }
  void put_bytes(const void* p, size_t n) { bytes_.append(static_cast<const char*>(p), n); }
  void put_bytes(const std::string& s) { bytes_.append(s); }

  // Overwrites 4 bytes at `at`, which must already exist.
  void patch32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_[at + static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
  }

  size_t size() const { return bytes_.size(); }
  const std::string& bytes() const { return bytes_; }
  std::string& mutable_bytes() { return bytes_; }

 private:
  std::string bytes_;
};

}  // namespace pexo

#endif  // PEXO_PROGRAM_BYTE_SINK_H_
