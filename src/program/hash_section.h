// Reading the prepared hashes a compiled file stores: a header (bucket record
// count, bucket bits, entry count), bucket records (16-bit slot, 32-bit first
// entry) and fixed-size entry records whose first two words are the name's
// dictionary index and the next entry in the chain. Used for the variable
// hashes, the language hash and the per-language key indexes; the function
// list reuses the bucket part.
//
// Chains read from a file are made safe before anyone walks them: a link
// that leaves the entry array or comes back to an entry already reached ends
// the chain there, so every chain is finite and no entry is on two chains.
#ifndef PEXO_PROGRAM_HASH_SECTION_H_
#define PEXO_PROGRAM_HASH_SECTION_H_

#include <cstdint>
#include <vector>

#include "program/tagged_file.h"
#include "values/string.h"

namespace pexo {

// Above this many slots a table must be justified by its contents (see
// ReadBuckets): a table is never more than kSlotsPerRecord times larger
// than its records.
constexpr int64_t kFreeSlots = 4096;
constexpr int64_t kSlotsPerRecord = 16;

struct HashSectionFormat {
  int32_t header_size;   // 7, or 11 with 4 reserved bytes
  int32_t record_size;   // 8, or 12 with a third word
  uint32_t count_limit;  // entry count must be below this
  const char* bits_message;
  const char* count_message;
  const char* entries_message;
  const char* slot_message;
};

extern const HashSectionFormat kVariableHashFormat;
extern const HashSectionFormat kLanguageHashFormat;
extern const HashSectionFormat kLocalizedIndexFormat;

struct HashSection {
  int32_t bucket_bits = 0;
  std::vector<int32_t> buckets;  // head per slot, -1 empty
  std::vector<int32_t> names;    // first word of each record
  std::vector<int32_t> next;     // second word
  std::vector<int32_t> extra;    // third word (12-byte records only)
};

// Reads a whole hash from the current section position.
bool ReadHashSection(TaggedFile& file, const HashSectionFormat& format, HashSection* out,
                     String* error);

// Checks the bucket bits and gives the slot count 2^(bits mod 32).
bool CheckBucketBits(uint32_t bits, const char* bits_message, int64_t* slots, String* error);

// Reads `records` bucket records into a fresh slot table of `slots` heads.
// `entries` is how many of the entries the table indexes the section can
// actually hold (not the claimed count), for the size cap.
bool ReadBuckets(TaggedFile& file, int32_t records, int64_t slots, int64_t entries,
                 const char* slot_message, std::vector<int32_t>* heads, String* error);

// Ends every chain at its first bad or repeated link (see above).
void BreakBadChains(std::vector<int32_t>* heads, std::vector<int32_t>* next);

}  // namespace pexo

#endif  // PEXO_PROGRAM_HASH_SECTION_H_
