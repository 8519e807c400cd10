#include "l10n/localized_tables.h"

#include "program/byte_sink.h"
#include "program/hash_section.h"
#include "program/little_endian.h"
#include "program/section_reader.h"
#include "program/tagged_file.h"
#include "values/dictionary.h"

namespace pexo {

namespace {

constexpr uint32_t kMaxPieces = 178956971;
constexpr int32_t kPieceSize = 12;
constexpr size_t kPieceStep = 128;

}  // namespace

bool LocalizedTables::LoadLanguages(TaggedFile& file) {
  String error;
  NameTable loaded;
  bool ok = false;
  if (SelectSection(file, SectionId("locl"), &error)) {
    ok = LoadNameTable(file, kLanguageHashFormat, &loaded, &error);
    file.clear();
  }
  if (!ok) {
    error_ = error;
    return false;
  }
  languages_ = std::move(loaded);
  indexes_.clear();
  indexes_.resize(static_cast<size_t>(languages_.count()));
  return true;
}

bool LocalizedTables::LoadDictionary(TaggedFile& file) {
  String error;
  std::vector<LocalizedPiece> loaded;
  bool ok = false;
  if (SelectSection(file, SectionId("locd"), &error)) {
    ok = read_pieces(file, &loaded, &error);
    file.clear();
  }
  if (!ok) {
    error_ = error;
    return false;
  }
  pieces_ = std::move(loaded);
  return true;
}

bool LocalizedTables::read_pieces(TaggedFile& file, std::vector<LocalizedPiece>* out,
                                  String* error) {
  unsigned char header[4];
  if (!ReadExact(file, header, 4, error)) return false;
  uint32_t count = DecodeU32(header);
  if (count >= kMaxPieces) {
    error->assign("loc_dictionary_header.entries out of range");
    return false;
  }
  int64_t bytes = static_cast<int64_t>(count) * kPieceSize;
  if (!HasRoom(file, bytes, error)) return false;
  std::vector<unsigned char> raw(static_cast<size_t>(bytes));
  if (!ReadExact(file, raw.data(), bytes, error)) return false;
  out->reserve((count / kPieceStep + 1) * kPieceStep);
  for (uint32_t i = 0; i < count; ++i) {
    const unsigned char* p = raw.data() + static_cast<size_t>(i) * kPieceSize;
    uint32_t type = DecodeU32(p);
    if (type != LocalizedPiece::kToken && type != LocalizedPiece::kText) {
      error->assign("Invalid localized dictionary entry type");
      return false;
    }
    out->push_back(LocalizedPiece{static_cast<int32_t>(type), DecodeI32(p + 4), DecodeI32(p + 8)});
  }
  return true;
}

LocalizedIndex* LocalizedTables::index(TaggedFile& file, int32_t language) {
  if (language < 0 || language >= static_cast<int32_t>(indexes_.size())) {
    error_.assign("Invalid section");
    return nullptr;
  }
  std::unique_ptr<LocalizedIndex>& slot = indexes_[static_cast<size_t>(language)];
  if (!slot) {
    auto loaded = std::make_unique<LocalizedIndex>(language);
    if (!loaded->load(file)) {
      error_ = loaded->error();
      return nullptr;
    }
    slot = std::move(loaded);
  }
  return slot.get();
}

bool LocalizedTables::LoadAllIndexes(TaggedFile& file) {
  for (int32_t language = 0; language < static_cast<int32_t>(indexes_.size()); ++language)
    if (!index(file, language)) return false;
  return true;
}

}  // namespace pexo

namespace pexo {

namespace {

constexpr int32_t kLanguageBits = 8;
constexpr size_t kLanguageStep = 8;

}  // namespace

int32_t LocalizedTables::FindLanguage(const NameText& text, const char* name,
                                      int32_t length) const {
  return FindHashedName(
      languages_.buckets, text, name, length,
      [this](int32_t e) { return e < languages_.count() ? languages_.names[e] : -1; },
      [this](int32_t e) { return e < languages_.count() ? languages_.next[e] : -1; });
}

int32_t LocalizedTables::AddLanguage(int32_t name, const NameText& text) {
  NameBytes bytes = text(name);
  if (!bytes.data) return -1;
  int32_t number = FindLanguage(text, bytes.data, bytes.length);
  if (number >= 0) return number;
  if (languages_.buckets.empty()) {
    languages_.bucket_bits = kLanguageBits;
    languages_.buckets.assign(size_t{1} << kLanguageBits, -1);
  }
  if (languages_.names.size() == languages_.names.capacity()) {
    languages_.names.reserve(languages_.names.size() + kLanguageStep);
    languages_.next.reserve(languages_.names.size() + kLanguageStep);
  }
  number = languages_.count();
  int32_t* link =
      &languages_.buckets[HashedNameSlot(bytes.data, bytes.length, languages_.buckets.size())];
  while (*link >= 0 &&
         HashedNameBefore(text, languages_.names[static_cast<size_t>(*link)], bytes.data,
                          bytes.length))
    link = &languages_.next[static_cast<size_t>(*link)];
  int32_t next = *link;
  *link = number;
  languages_.names.push_back(name);
  languages_.next.push_back(next);
  indexes_.push_back(std::make_unique<LocalizedIndex>(number));
  return number;
}

bool LocalizedTables::AddKey(int32_t language, int32_t key, int32_t first_piece,
                             const NameText& text) {
  if (language < 0 || language >= static_cast<int32_t>(indexes_.size())) return false;
  std::unique_ptr<LocalizedIndex>& slot = indexes_[static_cast<size_t>(language)];
  if (!slot) slot = std::make_unique<LocalizedIndex>(language);
  return slot->Add(text, key, first_piece);
}

bool LocalizedTables::Add(Dictionary* dictionary, const char* language, int32_t language_length,
                          const char* key, int32_t key_length, int32_t first_piece) {
  NameText text = DictionaryText(*dictionary);
  int32_t number = FindLanguage(text, language, language_length);
  if (number < 0) {
    int32_t name = dictionary->add(language, language_length);
    number = name < 0 ? -1 : AddLanguage(name, text);
  }
  if (number < 0) return false;
  int32_t key_index = dictionary->add(key, key_length);
  return key_index >= 0 && AddKey(number, key_index, first_piece, text);
}

int32_t LocalizedTables::AddPiece(int32_t type, int32_t text, int32_t next) {
  if (pieces_.size() == pieces_.capacity()) pieces_.reserve(pieces_.size() + kPieceStep);
  pieces_.push_back(LocalizedPiece{type, text, next});
  return static_cast<int32_t>(pieces_.size()) - 1;
}

std::unique_ptr<LocalizedTables> LocalizedTables::Clone() const {
  auto copy = std::make_unique<LocalizedTables>();
  copy->languages_ = languages_;
  copy->pieces_ = pieces_;
  copy->error_ = error_;
  copy->indexes_.resize(indexes_.size());
  for (size_t i = 0; i < indexes_.size(); ++i)
    if (indexes_[i]) copy->indexes_[i] = std::make_unique<LocalizedIndex>(*indexes_[i]);
  return copy;
}

}  // namespace pexo

namespace pexo {

bool LocalizedTables::Write(const NameText& text, int32_t language_bits, int32_t key_bits,
                            std::vector<std::pair<uint32_t, std::string>>* sections,
                            String* error) const {
  if (languages_.names.size() > 0xFFFF) {
    error->assign("too many languages");
    return false;
  }
  std::string buckets;
  int32_t bucket_entries = 0;
  std::vector<int32_t> next;
  if (!EncodeHashChains(languages_.names, language_bits, text, &buckets, &bucket_entries, &next,
                        error))
    return false;
  ByteSink locl;
  locl.put16(static_cast<uint32_t>(bucket_entries));
  locl.put8(static_cast<uint32_t>(language_bits));
  locl.put32(static_cast<uint32_t>(languages_.names.size()));
  locl.put_bytes(buckets);
  for (size_t i = 0; i < languages_.names.size(); ++i) {
    locl.put32(static_cast<uint32_t>(languages_.names[i]));
    locl.put32(static_cast<uint32_t>(next[i]));
  }
  sections->emplace_back(SectionId("locl"), locl.bytes());

  ByteSink locd;
  locd.put32(static_cast<uint32_t>(pieces_.size()));
  for (const LocalizedPiece& p : pieces_) {
    locd.put32(static_cast<uint32_t>(p.type));
    locd.put32(static_cast<uint32_t>(p.text));
    locd.put32(static_cast<uint32_t>(p.next));
  }
  sections->emplace_back(SectionId("locd"), locd.bytes());

  for (size_t n = 0; n < languages_.names.size(); ++n) {
    const LocalizedIndex* index = indexes_[n].get();
    std::vector<int32_t> keys;
    if (index)
      for (const LocalizedKey& k : index->keys()) keys.push_back(k.key);
    if (!EncodeHashChains(keys, key_bits, text, &buckets, &bucket_entries, &next, error))
      return false;
    ByteSink out;
    out.put16(static_cast<uint32_t>(bucket_entries));
    out.put8(static_cast<uint32_t>(key_bits));
    out.put32(static_cast<uint32_t>(keys.size()));
    out.put32(0);  // reserved
    out.put_bytes(buckets);
    for (size_t i = 0; i < keys.size(); ++i) {
      out.put32(static_cast<uint32_t>(keys[i]));
      out.put32(static_cast<uint32_t>(next[i]));
      out.put32(static_cast<uint32_t>(index->keys()[i].first_piece));
    }
    sections->emplace_back(LocalizedIndex::SectionCodeFor(static_cast<int32_t>(n)), out.bytes());
  }
  return true;
}

}  // namespace pexo
