// MD5 message digest (RFC 1321), the engine's own implementation.
//
// Used for caller ids, lock-owner file names and the SMTP CRAM-MD5 and
// DIGEST-MD5 exchanges. Feed bytes with Update in any number of pieces, then
// Final once; the object may be Reset and reused.
#ifndef PEXO_IO_MD5_H_
#define PEXO_IO_MD5_H_

#include <cstddef>
#include <cstdint>

namespace pexo {

class Md5 {
 public:
  static constexpr int kDigestSize = 16;
  // 32 lowercase hexadecimal digits and a terminating zero.
  static constexpr int kHexSize = 33;

  Md5() { Reset(); }
  void Reset();
  void Update(const void* bytes, size_t length);
  // Writes the 16-byte digest; the object must be Reset before further use.
  void Final(uint8_t digest[kDigestSize]);

  // One-shot helpers.
  static void Digest(const void* bytes, size_t length, uint8_t digest[kDigestSize]);
  static void HexDigest(const void* bytes, size_t length, char hex[kHexSize]);

 private:
  void Transform(const uint8_t block[64]);

  uint32_t state_[4];
  uint64_t bit_count_;
  uint8_t buffer_[64];
};

// Writes `length` bytes as lowercase hex digits plus a terminating zero into
// `out`, which must hold 2 * length + 1 bytes.
void HexEncodeLower(const uint8_t* bytes, size_t length, char* out);

}  // namespace pexo

#endif  // PEXO_IO_MD5_H_
