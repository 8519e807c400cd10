// LocalizedIndex: one language's table from a key to the first piece of its
// localized text, read from the language's own section: code
// (language number << 16) + 0x584C ("LX" and the 16-bit number), or code 0
// in files older than format 0x10008 that lack it. Same slot function and
// chain order as the name hashes.
#ifndef PEXO_L10N_LOCALIZED_INDEX_H_
#define PEXO_L10N_LOCALIZED_INDEX_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "program/name_hash_writer.h"
#include "values/string.h"

namespace pexo {

class Dictionary;
class TaggedFile;

// The bytes of a dictionary's entries ({null, 0} for a missing one).
NameText DictionaryText(const Dictionary& dictionary);

// Walks the chain of a prepared hash for `name` (any letter case): `heads`
// per slot, `name_of(entry)` its dictionary index, `next_of(entry)` its
// successor. The entry number, or -1.
template <typename NameOf, typename NextOf>
int32_t FindHashedName(const std::vector<int32_t>& heads, const NameText& text, const char* name,
                       int32_t length, NameOf name_of, NextOf next_of);
// Whether entry `index` equals the name without regard to case.
bool HashedNameEquals(const NameText& text, int32_t index, const char* name, int32_t length);
// Whether entry `index` goes before the name in a chain.
bool HashedNameBefore(const NameText& text, int32_t index, const char* name, int32_t length);
uint32_t HashedNameSlot(const char* name, int32_t length, size_t slots);

constexpr uint32_t kLocalizedIndexTag = 0x584C;
constexpr int32_t kLocalizedIndexFallbackBefore = 0x10008;
// A table made at run time: 2^12 slots, grown 128 keys at a time.
constexpr int32_t kLocalizedIndexBits = 12;
constexpr size_t kLocalizedIndexStep = 128;

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
  // The first piece of the key's text (any letter case), or -1.
  int32_t Find(const NameText& text, const char* key, int32_t length) const;
  // Adds a key (dictionary index) with its first piece; false when the
  // language has the key already.
  bool Add(const NameText& text, int32_t key, int32_t first_piece);

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

template <typename NameOf, typename NextOf>
int32_t FindHashedName(const std::vector<int32_t>& heads, const NameText& text, const char* name,
                       int32_t length, NameOf name_of, NextOf next_of) {
  if (heads.empty()) return -1;
  // Loaded chains are finite (broken at bad links when read).
  for (int32_t entry = heads[HashedNameSlot(name, length, heads.size())]; entry >= 0;
       entry = next_of(entry)) {
    if (HashedNameEquals(text, name_of(entry), name, length)) return entry;
  }
  return -1;
}

}  // namespace pexo

#endif  // PEXO_L10N_LOCALIZED_INDEX_H_
