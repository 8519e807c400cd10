// Localizer: chooses a program's localized texts for the request's current
// language, falling back to its default language ("en-US" while a setting
// is empty), and keeps the tokens the next text fills in.
//
// The language entries are cached, each with the change counter of its
// setting: a language is looked up by name again only after the script
// changed the setting. A language's key index is read from its section the
// first time it is needed; an index that fails to load is not kept, and
// Lookup reports its message.
#ifndef PEXO_L10N_LOCALIZER_H_
#define PEXO_L10N_LOCALIZER_H_

#include <cstdint>
#include <vector>

#include "program/name_hash_writer.h"
#include "values/string.h"

namespace pexo {

class Dictionary;
class LocalizedTables;
class SystemVariableHost;
class TaggedFile;

class Localizer {
 public:
  // All borrowed; `file` and `settings` may be null (no lazy indexes, and
  // both languages "en-US").
  Localizer(LocalizedTables* tables, Dictionary* dictionary, TaggedFile* file,
            SystemVariableHost* settings);

  // The first piece of the text whose key is dictionary string `key`: in
  // the current language, else in the default one; -1 when neither has it.
  // False with the message when a language's index failed to load.
  bool Lookup(int32_t key, int32_t* first_piece, String* error);

  // Tokens: names are compared without regard to case; a later token of
  // the same name hides an earlier one.
  void AddToken(const char* name, int32_t name_length, const char* value, int32_t length);
  // The token's value, or null.
  const String* Token(const char* name, int32_t length) const;
  void ClearTokens() { tokens_.clear(); }

  LocalizedTables* tables() const { return tables_; }
  Dictionary* dictionary() const { return dictionary_; }
  SystemVariableHost* settings() const { return settings_; }

 private:
  struct Cached {
    int32_t changes = -1;   // the setting's counter when resolved; -1: never
    int32_t language = -1;  // its number, -1 when the program lacks it
  };
  int32_t Language(int32_t setting, Cached* cache);
  // -1 when the language lacks the key; -2 when its index failed.
  int32_t Find(int32_t language, const char* key, int32_t length, String* error);

  LocalizedTables* tables_;
  Dictionary* dictionary_;
  TaggedFile* file_;
  SystemVariableHost* settings_;
  NameText text_;  // of dictionary_
  Cached current_;
  Cached default_;
  struct TokenEntry {
    String name;
    String value;
  };
  std::vector<TokenEntry> tokens_;
};

}  // namespace pexo

#endif  // PEXO_L10N_LOCALIZER_H_
