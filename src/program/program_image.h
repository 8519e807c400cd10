// ProgramImage: the in-memory form of one compiled program — dictionary,
// system and global declarations, localized tables, segments and functions.
// load() reads them from an open container in a fixed order (dict, syst,
// glbl, locl, locd, segs, func), every section required, and stops at the
// first failure. Everything is read into fresh objects that replace the
// image's only when the whole load succeeded, so a failed load leaves the
// image as it was.
#ifndef PEXO_PROGRAM_PROGRAM_IMAGE_H_
#define PEXO_PROGRAM_PROGRAM_IMAGE_H_

#include <memory>

#include "l10n/localized_tables.h"
#include "values/dictionary.h"
#include "program/function_manager.h"
#include "values/name_table.h"
#include "program/segment_manager.h"
#include "values/string.h"

namespace pexo {

class TaggedFile;

class ProgramImage {
 public:
  ProgramImage();
  ProgramImage(const ProgramImage&) = delete;
  ProgramImage& operator=(const ProgramImage&) = delete;
  ~ProgramImage();

  bool load(TaggedFile& file);

  Dictionary& dictionary() { return parts_->dictionary; }
  const NameTable& system_names() const { return parts_->system; }
  const NameTable& global_names() const { return parts_->global; }
  LocalizedTables& localized() { return parts_->localized; }
  SegmentManager& segments() { return parts_->segments; }
  FunctionManager& functions() { return parts_->functions; }
  const String& error() const { return error_; }

 private:
  struct Parts {
    Parts() : functions(&dictionary) {}
    Dictionary dictionary;
    NameTable system;
    NameTable global;
    LocalizedTables localized;
    SegmentManager segments;
    FunctionManager functions;  // refers to `dictionary`
  };
  bool load_parts(TaggedFile& file, Parts* parts);

  std::unique_ptr<Parts> parts_;
  String error_;
};

// Reads a name hash from its own section ("syst", "glbl"); the section is
// cleared afterwards.
bool LoadNameSection(TaggedFile& file, uint32_t code, NameTable* table, String* error);

}  // namespace pexo

#endif  // PEXO_PROGRAM_PROGRAM_IMAGE_H_
