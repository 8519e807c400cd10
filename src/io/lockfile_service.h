// Lockfile: the service of the lock tag. Start takes the lock file
// name + ".lck" in the data location through the file layer, which waits and
// retries as its configuration says; the destructor removes a held lock, so
// the lock goes with the end instruction, the return of the function that
// took it and the end of the request, whatever stopped the script.
#ifndef PEXO_IO_LOCKFILE_SERVICE_H_
#define PEXO_IO_LOCKFILE_SERVICE_H_

#include <cstdint>

#include "vm/feature.h"

namespace pexo {

class FileManager;

class Lockfile : public Feature {
 public:
  // `files` is the request's file layer (may be null: Start fails).
  Lockfile(PexoVM* vm, FileManager* files, const char* name, int32_t length);
  ~Lockfile() override;

  // 0 with "Error creating lockfile '<path>': <reason>" in ErrorText().
  int Start() override;

  const String& path() const { return path_; }
  bool held() const { return held_; }

 private:
  FileManager* files_;
  String path_;
  bool held_ = false;
};

}  // namespace pexo

#endif  // PEXO_IO_LOCKFILE_SERVICE_H_
