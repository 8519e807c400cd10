// LocalizedIndex: one language's table from a key to the first piece of its
// localized text, read from the language's own section: code
// (language number << 16) + 0x584C ("LX" and the 16-bit number), or code 0
// in files older than format 0x10008 that lack it. Same slot function and
// chain order as the name hashes.
#ifndef PEXO_L10N_LOCALIZED_INDEX_H_
#define PEXO_L10N_LOCALIZED_INDEX_H_

#include <cstdint>
#include <vector>

#include "values/string.h"

namespace pexo {

class TaggedFile;

constexpr uint32_t kLocalizedIndexTag = 0x584C;
constexpr int32_t kLocalizedIndexFallbackBefore = 0x10008;

struct LocalizedKey {
  int32_t key;          // dictionary index
  int32_t next;         // next entry in the chain, -1 ends
  int32_t first_piece;  // into the localized dictionary
};

class LocalizedIndex {
 public:
  explicit LocalizedIndex(int32_t language) : language_(language) {}

  // Reads the language's section; on failure the index is unchanged.
  bool load(TaggedFile& file);

  int32_t language() const { return language_; }
  int32_t bucket_bits() const { return bucket_bits_; }
  const std::vector<int32_t>& buckets() const { return buckets_; }
  const std::vector<LocalizedKey>& keys() const { return keys_; }
  const String& error() const { return error_; }

  static uint32_t SectionCodeFor(int32_t language) {
    return (static_cast<uint32_t>(language) << 16) + kLocalizedIndexTag;
  }

 private:
  int32_t language_;
  int32_t bucket_bits_ = 0;
  std::vector<int32_t> buckets_;
  std::vector<LocalizedKey> keys_;
  String error_;
};

}  // namespace pexo

#endif  // PEXO_L10N_LOCALIZED_INDEX_H_
