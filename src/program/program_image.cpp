#include "program/program_image.h"

#include "program/section_reader.h"
#include "program/tagged_file.h"
#include "values/system_variable_hash.h"

namespace pexo {

ProgramImage::ProgramImage()
    : parts_(std::make_unique<Parts>(std::make_unique<Dictionary>())),
      names_(&parts_->names),
      localized_(&parts_->localized) {}

ProgramImage::ProgramImage(std::shared_ptr<ProgramImage> shared)
    : shared_(std::move(shared)),
      parts_(std::make_unique<Parts>(std::make_unique<Dictionary>(
          std::shared_ptr<const Dictionary>(shared_, shared_->parts_->dictionary.get())))),
      names_(shared_->names_),
      localized_(shared_->localized_) {
  parts_->segments.ShareFrom(shared_->parts_->segments);
  parts_->functions.ShareFrom(shared_->parts_->functions);
}
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
  auto parts = std::make_unique<Parts>(std::make_unique<Dictionary>());
  if (!load_parts(file, parts.get())) return false;
  shared_.reset();
  parts_ = std::move(parts);
  names_ = &parts_->names;
  localized_ = &parts_->localized;
  frozen_ = false;
  system_prototype_.reset();
  global_prototype_.reset();
  error_.clear();
  return true;
}

bool ProgramImage::Freeze(TaggedFile& file) {
  if (shared_) return false;
  if (!parts_->localized.LoadAllIndexes(file)) {
    error_ = parts_->localized.error();
    return false;
  }
  std::unique_ptr<VariableHash> system(
      NewSystemVariableHashFromTable(names_->system, parts_->dictionary.get(), &error_));
  std::unique_ptr<VariableHash> global(
      NewVariableHashFromTable(names_->global, parts_->dictionary.get(), &error_));
  if (!system || !global) return false;
  system_prototype_ = std::move(system);
  global_prototype_ = std::move(global);
  parts_->segments.Freeze();
  frozen_ = true;
  return true;
}

int64_t ProgramImage::MemoryBytes() const {
  auto table_bytes = [](const NameTable& t) {
    return static_cast<int64_t>((t.buckets.capacity() + t.names.capacity() + t.next.capacity()) *
                                sizeof(int32_t));
  };
  int64_t bytes = static_cast<int64_t>(sizeof(ProgramImage) + sizeof(Parts));
  bytes += parts_->dictionary->MemoryBytes() + parts_->segments.MemoryBytes() +
           parts_->functions.MemoryBytes();
  if (!shared_) bytes += table_bytes(names_->system) + table_bytes(names_->global);
  return bytes;
}

bool ProgramImage::load_parts(TaggedFile& file, Parts* parts) {
  if (!parts->dictionary->load(file)) {
    error_ = parts->dictionary->error();
    return false;
  }
  if (!LoadNameSection(file, SectionId("syst"), &parts->names.system, &error_) ||
      !LoadNameSection(file, SectionId("glbl"), &parts->names.global, &error_))
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
