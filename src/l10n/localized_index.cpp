#include "l10n/localized_index.h"

#include <cctype>

#include "values/dictionary.h"
#include "values/lookup2.h"

#include "program/hash_section.h"
#include "program/section_reader.h"
#include "program/tagged_file.h"

namespace pexo {

bool LocalizedIndex::load(TaggedFile& file) {
  String error;
  bool selected = file.select_section(SectionCodeFor(language_));
  if (!selected && file.version() < kLocalizedIndexFallbackBefore)
    selected = file.select_section(0);
  if (!selected) {
    error_.assign(file.last_error());
    return false;
  }
  HashSection section;
  bool ok = ReadHashSection(file, kLocalizedIndexFormat, &section, &error);
  file.clear();
  if (!ok) {
    error_ = error;
    return false;
  }
  bucket_bits_ = section.bucket_bits;
  buckets_ = std::move(section.buckets);
  keys_.clear();
  keys_.reserve(section.names.size());
  for (size_t i = 0; i < section.names.size(); ++i)
    keys_.push_back(LocalizedKey{section.names[i], section.next[i], section.extra[i]});
  return true;
}

}  // namespace pexo

namespace pexo {

NameText DictionaryText(const Dictionary& dictionary) {
  return [&dictionary](int32_t index) {
    NameBytes bytes{nullptr, 0};
    bytes.data = dictionary.get(index, &bytes.length);
    return bytes;
  };
}

bool HashedNameEquals(const NameText& text, int32_t index, const char* name, int32_t length) {
  NameBytes entry = text(index);
  const char* stored = entry.data;
  if (!stored || entry.length != length) return false;
  for (int32_t i = 0; i < length; ++i) {
    if (std::tolower(static_cast<unsigned char>(stored[i])) !=
        std::tolower(static_cast<unsigned char>(name[i])))
      return false;
  }
  return true;
}

uint32_t HashedNameSlot(const char* name, int32_t length, size_t slots) {
  return lookup2_nocase(name, static_cast<uint32_t>(length)) &
         static_cast<uint32_t>(slots - 1);
}

int32_t LocalizedIndex::Find(const NameText& text, const char* key, int32_t length) const {
  int32_t entry = FindHashedName(
      buckets_, text, key, length,
      [this](int32_t e) { return e < static_cast<int32_t>(keys_.size()) ? keys_[e].key : -1; },
      [this](int32_t e) { return e < static_cast<int32_t>(keys_.size()) ? keys_[e].next : -1; });
  return entry < 0 ? -1 : keys_[static_cast<size_t>(entry)].first_piece;
}

bool LocalizedIndex::Add(const NameText& names, int32_t key, int32_t first_piece) {
  NameBytes bytes = names(key);
  const char* text = bytes.data;
  int32_t length = bytes.length;
  if (!text) return false;
  if (buckets_.empty()) {
    bucket_bits_ = kLocalizedIndexBits;
    buckets_.assign(size_t{1} << kLocalizedIndexBits, -1);
  }
  if (Find(names, text, length) >= 0) return false;
  if (keys_.size() == keys_.capacity()) keys_.reserve(keys_.size() + kLocalizedIndexStep);
  int32_t entry = static_cast<int32_t>(keys_.size());
  uint32_t slot = HashedNameSlot(text, length, buckets_.size());
  // Chains stay ordered: shorter names first, then by folded bytes.
  int32_t* link = &buckets_[slot];
  while (*link >= 0 &&
         HashedNameBefore(names, keys_[static_cast<size_t>(*link)].key, text, length))
    link = &keys_[static_cast<size_t>(*link)].next;
  int32_t next = *link;
  *link = entry;
  keys_.push_back(LocalizedKey{key, next, first_piece});
  return true;
}

bool HashedNameBefore(const NameText& text, int32_t index, const char* name, int32_t length) {
  NameBytes entry = text(index);
  const char* stored = entry.data;
  int32_t stored_length = entry.length;
  if (!stored) return true;
  if (stored_length != length) return stored_length < length;
  for (int32_t i = 0; i < length; ++i) {
    int a = std::tolower(static_cast<unsigned char>(stored[i]));
    int b = std::tolower(static_cast<unsigned char>(name[i]));
    if (a != b) return a < b;
  }
  return false;
}

}  // namespace pexo
