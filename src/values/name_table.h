// NameTable: a prepared name hash as a compiled file stores it (system and
// global variable declarations, a function's locals, the language hash).
// Slot of a name = lookup2 over the lower-cased bytes & (2^bits - 1); chains
// are ordered by length, then case-insensitively. A name's number is its
// position in `names`; compiled code addresses variables by that number.
// VariableHash builds its live table from one of these.
// Tables loaded from a file have safe chains: every link is -1 or a valid
// name number, and no chain revisits a name.
#ifndef PEXO_VALUES_NAME_TABLE_H_
#define PEXO_VALUES_NAME_TABLE_H_

#include <cstdint>
#include <vector>

namespace pexo {

class TaggedFile;
class String;
struct HashSectionFormat;

struct NameTable {
  int32_t bucket_bits = 0;       // as stored (0..32); slots = 2^(bits mod 32)
  std::vector<int32_t> buckets;  // head name number per slot, -1 empty
  std::vector<int32_t> names;    // dictionary index per name number
  std::vector<int32_t> next;     // next name number in the same chain, -1 ends

  int32_t slot_count() const { return static_cast<int32_t>(buckets.size()); }
  int32_t count() const { return static_cast<int32_t>(names.size()); }
};

// The loaders are part of the compiled format: program/name_table_load.cpp.
// Reads a name hash from the current section position of `file`. On failure
// returns false with the message in `error` and leaves `table` untouched.
bool LoadNameTable(TaggedFile& file, NameTable* table, String* error);
// The same with another section's header limits and messages (the language
// hash).
bool LoadNameTable(TaggedFile& file, const HashSectionFormat& format, NameTable* table,
                   String* error);

}  // namespace pexo

#endif  // PEXO_VALUES_NAME_TABLE_H_
