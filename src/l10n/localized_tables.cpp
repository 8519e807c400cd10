#include "l10n/localized_tables.h"

#include "program/hash_section.h"
#include "program/little_endian.h"
#include "program/section_reader.h"
#include "program/tagged_file.h"

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

}  // namespace pexo
