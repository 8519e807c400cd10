// Encoding the prepared name hashes a compiled file stores: each name goes
// to slot lookup2(lower-cased name) & (2^bits - 1), and each chain runs
// shorter names first, then case-insensitively smaller ones, so lookups
// may stop early. Names are dictionary indexes whose bytes `text` gives.
#ifndef PEXO_PROGRAM_NAME_HASH_WRITER_H_
#define PEXO_PROGRAM_NAME_HASH_WRITER_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "values/string.h"

namespace pexo {

struct NameBytes {
  const char* data;
  int32_t length;
};
using NameText = std::function<NameBytes(int32_t index)>;

constexpr int32_t kMaxWrittenBucketBits = 15;  // slot numbers are stored as 16 bits

// The bucket records (16-bit slot, 32-bit first entry) in `buckets`, their
// count, and the chain link of every name in `next`. False when `bits` is
// outside 0..15.
bool EncodeHashChains(const std::vector<int32_t>& names, int32_t bits, const NameText& text,
                      std::string* buckets, int32_t* bucket_entries, std::vector<int32_t>* next,
                      String* error);

}  // namespace pexo

#endif  // PEXO_PROGRAM_NAME_HASH_WRITER_H_
