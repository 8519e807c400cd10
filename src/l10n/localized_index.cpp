#include "l10n/localized_index.h"

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
