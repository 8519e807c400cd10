// PosixFilePath: a path split into components and normalised.
//
// Both "/" and "\" separate components (scripts written for either platform
// run unchanged); the normalised text uses "/". Normalisation drops empty and
// "." components; ".." removes the preceding kept component unless that is
// itself ".."; a ".." directly under the root of an absolute path is dropped.
// An empty relative result is "." and an empty absolute one is "/".
#ifndef PEXO_HOST_FILE_PATH_H_
#define PEXO_HOST_FILE_PATH_H_

#include <cstdint>
#include <string>
#include <vector>

namespace pexo {

class PosixFilePath {
 public:
  PosixFilePath() = default;
  PosixFilePath(const char* text, int32_t length);

  bool absolute() const { return absolute_; }
  const std::vector<std::string>& components() const { return components_; }
  // The last component, or "" when there is none.
  const std::string& last() const;
  std::string ToString() const;

  // Appends a relative path's components (then re-normalises).
  void Append(const char* text, int32_t length);
  // True when every component of `root` equals (byte for byte, so letter
  // case counts) the corresponding component of this path and both have the
  // same kind.
  bool IsInside(const PosixFilePath& root) const;

 private:
  void Split(const char* text, int32_t length);

  bool absolute_ = false;
  std::vector<std::string> components_;
};

inline bool IsPathSeparator(char c) { return c == '/' || c == '\\'; }

}  // namespace pexo

#endif  // PEXO_HOST_FILE_PATH_H_
