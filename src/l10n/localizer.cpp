#include "l10n/localizer.h"

#include <cctype>

#include "l10n/localized_index.h"
#include "l10n/localized_tables.h"
#include "values/dictionary.h"
#include "values/system_variables.h"

namespace pexo {

namespace {

constexpr char kDefaultLanguage[] = "en-US";

}  // namespace

Localizer::Localizer(LocalizedTables* tables, Dictionary* dictionary, TaggedFile* file,
                     SystemVariableHost* settings)
    : tables_(tables),
      dictionary_(dictionary),
      file_(file),
      settings_(settings),
      text_(DictionaryText(*dictionary)) {}

int32_t Localizer::Language(int32_t setting, Cached* cache) {
  int32_t changes = settings_ ? settings_->SettingChanges(setting) : 0;
  if (cache->changes == changes) return cache->language;
  const String* name = settings_ ? &settings_->Setting(setting) : nullptr;
  if (name && name->length() > 0)
    cache->language = tables_->FindLanguage(text_, name->data(), name->length());
  else
    cache->language = tables_->FindLanguage(text_, kDefaultLanguage,
                                            static_cast<int32_t>(sizeof kDefaultLanguage - 1));
  cache->changes = changes;
  return cache->language;
}

int32_t Localizer::Find(int32_t language, const char* key, int32_t length, String* error) {
  if (language < 0) return -1;
  LocalizedIndex* index = file_ ? tables_->index(*file_, language) : tables_->loaded_index(language);
  if (!index) {
    error->assign(file_ ? tables_->error() : String("Invalid section"));
    return -2;
  }
  return index->Find(text_, key, length);
}

bool Localizer::Lookup(int32_t key, int32_t* first_piece, String* error) {
  *first_piece = -1;
  int32_t length = 0;
  const char* text = dictionary_->get(key, &length);
  if (!text) {
    error->assign("Invalid dictionary reference");
    return false;
  }
  int32_t found = Find(Language(SETTING_LANGUAGE, &current_), text, length, error);
  if (found == -1) found = Find(Language(SETTING_DEFAULT_LANGUAGE, &default_), text, length, error);
  if (found == -2) return false;
  *first_piece = found;
  return true;
}

void Localizer::AddToken(const char* name, int32_t name_length, const char* value,
                         int32_t length) {
  tokens_.push_back(TokenEntry{String(name, name_length), String(value, length)});
}

const String* Localizer::Token(const char* name, int32_t length) const {
  for (size_t i = tokens_.size(); i-- > 0;) {
    const String& token = tokens_[i].name;
    if (token.length() != length) continue;
    bool same = true;
    for (int32_t c = 0; c < length && same; ++c)
      same = std::tolower(static_cast<unsigned char>(token.data()[c])) ==
             std::tolower(static_cast<unsigned char>(name[c]));
    if (same) return &tokens_[i].value;
  }
  return nullptr;
}

}  // namespace pexo
