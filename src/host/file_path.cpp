#include "host/file_path.h"

#include "values/string.h"

namespace pexo {

PosixFilePath::PosixFilePath(const char* text, int32_t length) {
  length = text_length(text, length);
  absolute_ = length > 0 && IsPathSeparator(text[0]);
  Split(text, length);
}

void PosixFilePath::Split(const char* text, int32_t length) {
  int32_t i = 0;
  while (i < length) {
    while (i < length && IsPathSeparator(text[i])) ++i;
    int32_t start = i;
    while (i < length && !IsPathSeparator(text[i])) ++i;
    std::string part(text + start, static_cast<size_t>(i - start));
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!components_.empty() && components_.back() != "..") {
        components_.pop_back();
        continue;
      }
      if (absolute_ && components_.empty()) continue;  // nothing above the root
    }
    components_.push_back(std::move(part));
  }
}

void PosixFilePath::Append(const char* text, int32_t length) {
  Split(text, text_length(text, length));
}

const std::string& PosixFilePath::last() const {
  static const std::string kEmpty;
  return components_.empty() ? kEmpty : components_.back();
}

std::string PosixFilePath::ToString() const {
  std::string text;
  for (const std::string& part : components_) {
    if (absolute_ || !text.empty()) text += '/';
    text += part;
  }
  if (text.empty()) text = absolute_ ? "/" : ".";
  return text;
}

bool PosixFilePath::IsInside(const PosixFilePath& root) const {
  if (absolute_ != root.absolute_ || components_.size() < root.components_.size()) return false;
  for (size_t i = 0; i < root.components_.size(); ++i)
    if (components_[i] != root.components_[i]) return false;
  return true;
}

}  // namespace pexo
