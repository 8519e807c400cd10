// FunctionManager: the program's functions by number and by name. Names are
// found case-insensitively through a slot table (lookup2 over the
// lower-cased name, masked to the bucket bits) whose chains are ordered by
// length, then case-insensitively, so a lookup stops at the first greater
// name. load() reads the "func" section and replaces the current functions
// only when all of them loaded; add_function() adds one at run time.
//
// A request's manager may share a cached program's functions (ShareFrom).
// Library functions cache their binding, which belongs to the request, so
// those are copied; the others are shared and never changed.
#ifndef PEXO_PROGRAM_FUNCTION_MANAGER_H_
#define PEXO_PROGRAM_FUNCTION_MANAGER_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "program/function.h"
#include "values/string.h"

namespace pexo {

class Dictionary;
class TaggedFile;

class FunctionManager {
 public:
  // Names are looked up in and added to `dictionary`, which must outlive
  // the manager.
  explicit FunctionManager(Dictionary* dictionary) : dictionary_(dictionary) {}
  FunctionManager(const FunctionManager&) = delete;
  FunctionManager& operator=(const FunctionManager&) = delete;

  bool load(TaggedFile& file);
  // Replaces the functions with copies of `other`'s, named in this
  // manager's dictionary (a copy of `other`'s); library functions start
  // unbound.
  void CopyFrom(const FunctionManager& other);
  // Shares `other`'s compiled functions and copies its library functions
  // unbound; `other` must not change while this manager lives.
  void ShareFrom(const FunctionManager& other);
  int64_t MemoryBytes() const;

  Function* find(const char* name, int32_t length) const;
  Function* function(int32_t number) const;
  // Adds a function with the next number; its name goes into the
  // dictionary. Null when the name cannot be stored.
  Function* add_function(const char* name, int32_t length, uint32_t flags, int32_t segment,
                         int32_t offset);
  // An external function: flag bit 0, segment and offset -1.
  Function* add_external_function(const char* name, int32_t length);

  int32_t count() const { return static_cast<int32_t>(functions_.size()); }
  int32_t bucket_bits() const { return bucket_bits_; }
  const String& error() const { return error_; }

 private:
  struct Loaded;
  bool load_section(TaggedFile& file, Loaded* out, String* error);
  bool load_function(TaggedFile& file, int32_t number, Loaded* out, String* error);
  uint32_t slot_of(const char* name, int32_t length) const;

  Dictionary* dictionary_;
  std::vector<std::shared_ptr<Function>> functions_;
  int32_t bucket_bits_ = 0;
  std::vector<int32_t> heads_;  // first function per slot, -1 empty
  std::vector<int32_t> next_;   // next function in the same chain, -1 ends
  String error_;
};

}  // namespace pexo

#endif  // PEXO_PROGRAM_FUNCTION_MANAGER_H_
