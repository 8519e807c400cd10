// LocalizedTables: what a compiled file carries for localized texts.
//   - the language hash ("locl"): language names as a name hash, a
//     language's number being its place in that hash;
//   - the localized dictionary ("locd"): pieces of texts, each a literal
//     text (type 1) or a token filled in at run time (type 0), chained by
//     `next` (-1 ends);
//   - one key index per language, read from its own section when first
//     needed (load_index).
// Each load leaves the tables as they were when it fails.
#ifndef PEXO_L10N_LOCALIZED_TABLES_H_
#define PEXO_L10N_LOCALIZED_TABLES_H_

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "l10n/localized_index.h"
#include "program/name_hash_writer.h"
#include "values/name_table.h"
#include "values/string.h"

namespace pexo {

class Dictionary;
class TaggedFile;

struct LocalizedPiece {
  static constexpr int32_t kToken = 0;  // a value supplied at run time
  static constexpr int32_t kText = 1;   // literal text
  int32_t type;  // kToken or kText
  int32_t text;  // dictionary index of the text or of the token's name
  int32_t next;  // next piece of the same text, -1 ends
};

class LocalizedTables {
 public:
  LocalizedTables() = default;
  LocalizedTables(const LocalizedTables&) = delete;
  LocalizedTables& operator=(const LocalizedTables&) = delete;

  bool LoadLanguages(TaggedFile& file);   // "locl"
  bool LoadDictionary(TaggedFile& file);  // "locd"
  // The key index of a language, loaded from its section on first use. Null
  // when the language does not exist or its section fails to load (the
  // reason is in error()); a failed index is not kept.
  LocalizedIndex* index(TaggedFile& file, int32_t language);
  // Loads every language's index now (tables about to be shared); false at
  // the first that fails, with the reason in error().
  bool LoadAllIndexes(TaggedFile& file);
  // The index of a language if it is loaded or was made at run time.
  LocalizedIndex* loaded_index(int32_t language) const {
    return language >= 0 && language < static_cast<int32_t>(indexes_.size())
               ? indexes_[static_cast<size_t>(language)].get()
               : nullptr;
  }

  // The number of the language named `name` (any letter case), or -1;
  // `text` gives the bytes of dictionary indexes.
  int32_t FindLanguage(const NameText& text, const char* name, int32_t length) const;

  // Additions (at run time, or by a writer of compiled files). Add interns
  // the language name and the key in `dictionary`, creates the language on
  // demand and enters the key with its first piece; false when the
  // language has the key already (or the strings cannot be stored).
  // AddLanguage and AddKey do the same with names already interned.
  // AddPiece appends a piece and returns its number.
  bool Add(Dictionary* dictionary, const char* language, int32_t language_length,
           const char* key, int32_t key_length, int32_t first_piece);
  int32_t AddLanguage(int32_t name, const NameText& text);
  bool AddKey(int32_t language, int32_t key, int32_t first_piece, const NameText& text);
  int32_t AddPiece(int32_t type, int32_t text, int32_t next);

  // The tables as the sections of a compiled file: "locl", "locd" and one
  // key index per language, hashed with the given bucket bits (0..15).
  // Languages whose index was never loaded are written without keys.
  bool Write(const NameText& text, int32_t language_bits, int32_t key_bits,
             std::vector<std::pair<uint32_t, std::string>>* sections, String* error) const;

  // A deep copy for a background task: loaded indexes are copied, the
  // others load from the copy's own file when first needed.
  std::unique_ptr<LocalizedTables> Clone() const;

  const NameTable& languages() const { return languages_; }
  const std::vector<LocalizedPiece>& pieces() const { return pieces_; }
  const String& error() const { return error_; }

 private:
  bool read_pieces(TaggedFile& file, std::vector<LocalizedPiece>* out, String* error);

  NameTable languages_;
  std::vector<std::unique_ptr<LocalizedIndex>> indexes_;  // one slot per language
  std::vector<LocalizedPiece> pieces_;
  String error_;
};

}  // namespace pexo

#endif  // PEXO_L10N_LOCALIZED_TABLES_H_
