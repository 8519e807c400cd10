// DoContext: another compiled file loaded for PxDO within one request: its
// own program image, a machine of its own that shares the caller's host,
// flags and services, and the expressions compiled in it so far.
//
// The context's system and global tables hold no variables: they resolve
// each declared name in the calling request's system and global scopes, so
// a called file sees and changes the caller's globals. The compiled file's
// handle is given back to the file manager once loaded; the container stays
// open so that localized indexes can still be read on first use.
#ifndef PEXO_HOST_DO_CONTEXT_H_
#define PEXO_HOST_DO_CONTEXT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "program/program_image.h"
#include "program/tagged_file.h"
#include "values/string.h"

namespace pexo {

class Localizer;
class PexoVM;
class PexoVM_Stack;
class PosixFileManager;
class ProgramCache;
class ReferenceVariableHash;
class Segment;

class DoContext {
 public:
  // `path` names the file in messages (as the script gave it, joined to the
  // caller's directory).
  explicit DoContext(const String& path);
  ~DoContext();
  DoContext(const DoContext&) = delete;
  DoContext& operator=(const DoContext&) = delete;

  // Opens and loads the file and makes its machine, a child of `caller`.
  // False with the message in error(). With `programs`, the file comes
  // from the process's program cache as a request's own program does.
  bool Load(PosixFileManager* files, PexoVM* caller, ProgramCache* programs = nullptr,
            int64_t cache_limit = 0);

  PexoVM* machine() const { return machine_.get(); }
  const String& path() const { return path_; }
  const String& error() const { return error_; }

  // The compiled segment of an expression text, compiling it on first use
  // (marked as code made at run time, so it may not call private
  // functions). Null with the compiler's message in `error`.
  Segment* Expression(const char* text, int32_t length, PexoVM* caller, String* error);

  // An empty operand stack of the context's machine for one evaluation
  // (reused: an evaluation in a loop allocates none); give it back empty.
  std::unique_ptr<PexoVM_Stack> TakeStack();
  void GiveStack(std::unique_ptr<PexoVM_Stack> stack);

  // Running PxDO calls of this context; a context in use is never evicted.
  void Hold() { ++users_; }
  void Unhold() { --users_; }
  bool in_use() const { return users_ > 0; }

 private:
  String path_;
  String error_;
  TaggedFile reader_;
  std::unique_ptr<ProgramImage> image_;
  std::unique_ptr<ReferenceVariableHash> system_;
  std::unique_ptr<ReferenceVariableHash> globals_;
  std::unique_ptr<Localizer> localizer_;
  std::unique_ptr<PexoVM> machine_;
  std::unordered_map<std::string, Segment*> expressions_;
  std::vector<std::unique_ptr<PexoVM_Stack>> spare_stacks_;
  int32_t users_ = 0;
};

}  // namespace pexo

#endif  // PEXO_HOST_DO_CONTEXT_H_
