// ProgramWriter: builds a complete compiled program file from an in-memory
// description.
//
// Layout written: a 32-byte header ("Pexo", version, 16-byte identity,
// directory offset, entry count), the section bodies one after another
// ("dict", "syst", "glbl", "locl", "locd", one index section per language,
// "segs", "func", then raw sections), and the directory last. Every multi-byte
// field is little-endian.
//
// Name hashes (variables, a function's locals, functions, languages, keys):
// slot = lookup2 over the lower-cased bytes & (2^bits - 1); each chain is
// ordered by length, then case-insensitively. A name's number is its
// declaration order, which is what instructions address. Names are compared
// without regard to case, so declaring one twice yields the first number.
//
// For crafting damaged files any header field can be overridden, a raw
// section replaces the generated one with the same code, generated sections
// can be left out and extra directory entries appended.
#ifndef PEXO_PROGRAM_PROGRAM_WRITER_H_
#define PEXO_PROGRAM_PROGRAM_WRITER_H_

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "l10n/localized_tables.h"  // LocalizedPiece::kText, kToken
#include "program/function.h"       // Function::kExternal, kPrivate
#include "program/name_hash_writer.h"
#include "values/string.h"

namespace pexo {

constexpr int32_t kCurrentFileVersion = 65549;

// Four bytes in reading order as the 32-bit value the directory holds (the
// run-time form of SectionCode for codes that are not literals).
uint32_t FourCharCode(const char* four);
// Code of the index section of language number `language`.
inline uint32_t LanguageSectionCode(int32_t language) {
  return (static_cast<uint32_t>(language) << 16) + 0x584C;
}

class ProgramWriter {
 public:
  enum class Hash { kSystem, kGlobal, kLocals, kFunctions, kLanguages, kKeys };

  ProgramWriter();

  // Dictionary strings, deduplicated by exact bytes. Returns the index.
  int32_t intern(const char* bytes, int32_t length = -1);
  const std::string& string_at(int32_t index) const { return strings_[static_cast<size_t>(index)]; }
  int32_t string_count() const { return static_cast<int32_t>(strings_.size()); }
  void set_dictionary_flags(uint32_t flags) { dictionary_flags_ = flags; }

  // Variable declarations. Return the name's number (existing when declared
  // already); find_* returns -1 when absent.
  int32_t add_system(const char* name, int32_t length = -1);
  int32_t add_global(const char* name, int32_t length = -1);
  int32_t find_system(const char* name, int32_t length = -1) const;
  int32_t find_global(const char* name, int32_t length = -1) const;

  // Segments; the first one added is number 0. The start segment defaults to 0.
  int32_t add_segment();
  int32_t segment_count() const { return static_cast<int32_t>(segments_.size()); }
  std::string* segment_code(int32_t segment);
  void set_start_segment(int32_t segment) { start_segment_ = segment; }
  int32_t start_segment() const { return start_segment_; }

  // Functions. add_function returns -1 when the name exists already.
  int32_t add_function(const char* name, int32_t length, uint32_t flags, int32_t segment, int32_t offset);
  int32_t find_function(const char* name, int32_t length = -1) const;
  int32_t function_count() const { return static_cast<int32_t>(functions_.size()); }
  // A parameter is also a local; returns its local number, -1 when the
  // function already has a local of that name.
  int32_t add_parameter(int32_t function, const char* name, int32_t length, bool by_reference);
  // Returns the local's number (existing when declared already).
  int32_t add_local(int32_t function, const char* name, int32_t length = -1);
  int32_t find_local(int32_t function, const char* name, int32_t length = -1) const;

  // Localized texts. Languages are numbered in order of first use.
  int32_t add_language(const char* name, int32_t length = -1);
  // Appends a piece (type LocalizedPiece::kText or LocalizedPiece::kToken, dictionary index, next
  // piece or -1) and returns its number.
  int32_t add_piece(uint32_t type, int32_t text, int32_t next);
  int32_t piece_count() const { return static_cast<int32_t>(localized_.pieces().size()); }
  // Returns false when the language already has the key.
  bool add_localized_text(int32_t language, const char* key, int32_t key_length, int32_t first_piece);

  // Bucket bits for each kind of hash (0..15: slot numbers are 16-bit).
  void set_bucket_bits(Hash hash, int32_t bits) { bits_[static_cast<int>(hash)] = bits; }

  // Damage and overrides.
  void add_raw_section(uint32_t code, std::string bytes);
  void omit_section(uint32_t code) { omitted_.push_back(code); }
  void add_directory_entry(uint32_t code, int32_t offset, int32_t size);
  void set_magic(const char* four) { magic_.assign(four, 4); }
  void set_version(int32_t version) { version_ = version; }
  void set_identity(const char* bytes, int32_t length);  // up to 16 bytes, zero padded
  void set_directory_offset(uint32_t offset) { directory_offset_ = offset; }
  void set_directory_entries(uint32_t entries) { directory_entries_ = entries; }

  // Produces the file's bytes. False with a message when the description
  // cannot be encoded.
  bool build(std::string* out, String* error) const;
  bool write_file(const char* path, String* error) const;

 private:
  struct NameList {
    std::vector<int32_t> names;  // dictionary indexes in number order
  };
  struct Parameter {
    int32_t name;
    bool by_reference;
    int32_t local;
  };
  struct Function {
    int32_t name;
    uint32_t flags;
    int32_t segment;
    int32_t offset;
    std::vector<Parameter> parameters;
    NameList locals;
  };
  struct Section {
    uint32_t code;
    std::string bytes;
  };
  struct DirectoryEntry {
    uint32_t code;
    int32_t offset;
    int32_t size;
  };

  int32_t find_name(const NameList& list, const char* name, int32_t length) const;
  int32_t add_name(NameList* list, const char* name, int32_t length);
  int32_t bits(Hash hash) const { return bits_[static_cast<int>(hash)]; }
  bool generated_sections(std::vector<Section>* sections, String* error) const;
  // Bucket records and chain links of a hash over `names` (dictionary
  // indexes); false when `bits` cannot be encoded.
  bool encode_chains(const std::vector<int32_t>& names, int32_t bits, std::string* buckets,
                     int32_t* bucket_entries, std::vector<int32_t>* next, String* error) const;
  bool encode_name_hash(const NameList& list, int32_t bits, std::string* out, String* error) const;
  // The bytes of a dictionary index, for the hash encoders.
  NameText name_text() const;

  std::vector<std::string> strings_;
  std::unordered_map<std::string, int32_t> string_index_;
  uint32_t dictionary_flags_ = 0;
  NameList system_;
  NameList global_;
  std::vector<std::string> segments_;
  int32_t start_segment_ = 0;
  std::vector<Function> functions_;
  LocalizedTables localized_;
  int32_t bits_[6];
  std::vector<Section> raw_sections_;
  std::vector<uint32_t> omitted_;
  std::vector<DirectoryEntry> extra_entries_;
  std::string magic_ = "Pexo";
  int32_t version_ = kCurrentFileVersion;
  std::string identity_ = std::string(16, '\0');
  std::optional<uint32_t> directory_offset_;
  std::optional<uint32_t> directory_entries_;
};

}  // namespace pexo

#endif  // PEXO_PROGRAM_PROGRAM_WRITER_H_
