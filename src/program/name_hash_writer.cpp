#include "program/name_hash_writer.h"

#include <algorithm>

#include "program/byte_sink.h"
#include "values/lookup2.h"

namespace pexo {

bool EncodeHashChains(const std::vector<int32_t>& names, int32_t bits, const NameText& text,
                      std::string* buckets, int32_t* bucket_entries, std::vector<int32_t>* next,
                      String* error) {
  if (bits < 0 || bits > kMaxWrittenBucketBits) {
    if (error) error->assign("bucket bits must be between 0 and 15");
    return false;
  }
  uint32_t mask = (1u << bits) - 1;
  std::vector<std::vector<int32_t>> slots(static_cast<size_t>(mask) + 1);
  for (size_t i = 0; i < names.size(); ++i) {
    NameBytes s = text(names[i]);
    uint32_t slot = lookup2_nocase(s.data, static_cast<uint32_t>(s.length)) & mask;
    slots[slot].push_back(static_cast<int32_t>(i));
  }
  next->assign(names.size(), -1);
  ByteSink records;
  int32_t used = 0;
  for (size_t slot = 0; slot < slots.size(); ++slot) {
    std::vector<int32_t>& chain = slots[slot];
    if (chain.empty()) continue;
    std::stable_sort(chain.begin(), chain.end(), [&](int32_t a, int32_t b) {
      NameBytes x = text(names[static_cast<size_t>(a)]);
      NameBytes y = text(names[static_cast<size_t>(b)]);
      if (x.length != y.length) return x.length < y.length;
      return compare_nocase(x.data, x.length, y.data, y.length) < 0;
    });
    for (size_t k = 0; k + 1 < chain.size(); ++k) (*next)[static_cast<size_t>(chain[k])] = chain[k + 1];
    records.put16(static_cast<uint32_t>(slot));
    records.put32(static_cast<uint32_t>(chain[0]));
    ++used;
  }
  *buckets = records.bytes();
  *bucket_entries = used;
  return true;
}

}  // namespace pexo
