#include "program/program_image.h"

#include "program/section_reader.h"
#include "program/tagged_file.h"

namespace pexo {

ProgramImage::ProgramImage() : parts_(std::make_unique<Parts>()) {}
ProgramImage::~ProgramImage() = default;

bool LoadNameSection(TaggedFile& file, uint32_t code, NameTable* table, String* error) {
  if (!SelectSection(file, code, error)) return false;
  NameTable loaded;
  bool ok = LoadNameTable(file, &loaded, error);
  file.clear();
  if (ok) *table = std::move(loaded);
  return ok;
}

bool ProgramImage::load(TaggedFile& file) {
  auto parts = std::make_unique<Parts>();
  if (!load_parts(file, parts.get())) return false;
  parts_ = std::move(parts);
  error_.clear();
  return true;
}

bool ProgramImage::load_parts(TaggedFile& file, Parts* parts) {
  if (!parts->dictionary.load(file)) {
    error_ = parts->dictionary.error();
    return false;
  }
  if (!LoadNameSection(file, SectionId("syst"), &parts->system, &error_) ||
      !LoadNameSection(file, SectionId("glbl"), &parts->global, &error_))
    return false;
  if (!parts->localized.LoadLanguages(file) || !parts->localized.LoadDictionary(file)) {
    error_ = parts->localized.error();
    return false;
  }
  if (!parts->segments.load(file)) {
    error_ = parts->segments.error();
    return false;
  }
  if (!parts->functions.load(file)) {
    error_ = parts->functions.error();
    return false;
  }
  return true;
}

}  // namespace pexo
