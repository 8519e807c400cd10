// ProgramImage: the in-memory form of one compiled program — dictionary,
// system and global declarations, localized tables, segments and functions.
// load() reads them from an open container in a fixed order (dict, syst,
// glbl, locl, locd, segs, func), every section required, and stops at the
// first failure. Everything is read into fresh objects that replace the
// image's only when the whole load succeeded, so a failed load leaves the
// image as it was.
//
// Sharing: a loaded image that Freeze() made read-only may back any number
// of request images (the constructor taking it). A request image reads the
// shared image's names, code, compiled functions and localized tables, and
// keeps what the request adds (dictionary entries, code compiled at run
// time, library bindings) in its own parts.
#ifndef PEXO_PROGRAM_PROGRAM_IMAGE_H_
#define PEXO_PROGRAM_PROGRAM_IMAGE_H_

#include <memory>

#include "l10n/localized_tables.h"
#include "values/dictionary.h"
#include "program/function_manager.h"
#include "values/name_table.h"
#include "program/segment_manager.h"
#include "values/string.h"
#include "values/variable_hash.h"

namespace pexo {

class TaggedFile;

class ProgramImage {
 public:
  ProgramImage();
  // A request image over `shared`, which must be frozen.
  explicit ProgramImage(std::shared_ptr<ProgramImage> shared);
  ProgramImage(const ProgramImage&) = delete;
  ProgramImage& operator=(const ProgramImage&) = delete;
  ~ProgramImage();

  bool load(TaggedFile& file);
  // Makes a loaded image safe to share between threads: every language
  // index is loaded from `file` and every segment decoded and frozen.
  // False (with error()) when an index fails to load or a variable table
  // is invalid; such an image must not be shared, as its requests report
  // that failure when they use it.
  bool Freeze(TaggedFile& file);
  // Approximate bytes held by the image's own parts.
  int64_t MemoryBytes() const;
  // A frozen image's variable tables, built and checked once, which each
  // request copies (SystemVariableHash / VariableHash copy constructors)
  // instead of building its own; null for an image that is not frozen.
  const VariableHash* system_prototype() const {
    return shared_ ? shared_->system_prototype() : system_prototype_.get();
  }
  const VariableHash* global_prototype() const {
    return shared_ ? shared_->global_prototype() : global_prototype_.get();
  }
  // Whether localized indexes still load from the file on first use.
  bool loads_lazily() const { return !shared_ && !frozen_; }

  Dictionary& dictionary() { return *parts_->dictionary; }
  const NameTable& system_names() const { return names_->system; }
  const NameTable& global_names() const { return names_->global; }
  LocalizedTables& localized() { return *localized_; }
  SegmentManager& segments() { return parts_->segments; }
  FunctionManager& functions() { return parts_->functions; }
  const String& error() const { return error_; }

 private:
  struct Names {
    NameTable system;
    NameTable global;
  };
  struct Parts {
    explicit Parts(std::unique_ptr<Dictionary> own)
        : dictionary(std::move(own)), functions(dictionary.get()) {}
    std::unique_ptr<Dictionary> dictionary;
    Names names;  // unused in a request image
    LocalizedTables localized;  // unused in a request image
    SegmentManager segments;
    FunctionManager functions;  // refers to `dictionary`
  };
  bool load_parts(TaggedFile& file, Parts* parts);

  std::shared_ptr<ProgramImage> shared_;  // null unless a request image
  std::unique_ptr<Parts> parts_;
  const Names* names_;  // parts_'s or shared_'s
  LocalizedTables* localized_;
  bool frozen_ = false;
  // After parts_: they name entries of its dictionary.
  std::unique_ptr<VariableHash> system_prototype_;
  std::unique_ptr<VariableHash> global_prototype_;
  String error_;
};

// Reads a name hash from its own section ("syst", "glbl"); the section is
// cleared afterwards.
bool LoadNameSection(TaggedFile& file, uint32_t code, NameTable* table, String* error);

}  // namespace pexo

#endif  // PEXO_PROGRAM_PROGRAM_IMAGE_H_
