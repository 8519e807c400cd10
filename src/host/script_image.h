// ScriptImage: a compiled program loaded for one run, with the variable
// tables the machine needs: the program image, the system variable hash and
// the global variable hash built from its declarations.
#ifndef PEXO_HOST_SCRIPT_IMAGE_H_
#define PEXO_HOST_SCRIPT_IMAGE_H_

#include <cstddef>
#include <memory>

#include "program/program_image.h"
#include "program/tagged_file.h"
#include "values/string.h"

namespace pexo {

class SystemVariableHash;
class VariableHash;

class ScriptImage {
 public:
  ScriptImage();
  ScriptImage(const ScriptImage&) = delete;
  ScriptImage& operator=(const ScriptImage&) = delete;
  ~ScriptImage();

  // Loads a compiled file; false with the reason in `error`. `display_path`
  // names the file in messages.
  bool LoadFile(const char* path, const char* display_path, String* error);
  bool LoadBytes(const void* bytes, size_t length, const char* display_path, String* error);

  ProgramImage& image() { return image_; }
  SystemVariableHash* system() { return system_.get(); }
  VariableHash* globals() { return globals_.get(); }

 private:
  bool Open(const char* display_path, std::unique_ptr<ByteStream> stream, String* error);

  TaggedFile file_;
  ProgramImage image_;
  std::unique_ptr<SystemVariableHash> system_;
  std::unique_ptr<VariableHash> globals_;
};

}  // namespace pexo

#endif  // PEXO_HOST_SCRIPT_IMAGE_H_
