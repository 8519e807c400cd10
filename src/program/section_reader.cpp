#include "program/section_reader.h"

namespace pexo {

void ReportShortRead(const TaggedFile& file, String* error) {
  if (file.last_error().empty())
    error->assign("Unexpected end of file");
  else
    error->assign(file.last_error());
}

bool HasRoom(const TaggedFile& file, int64_t bytes, String* error) {
  if (bytes <= file.remaining()) return true;
  ReportShortRead(file, error);
  return false;
}

bool ReadExact(TaggedFile& file, void* buffer, int64_t length, String* error) {
  if (length > INT32_MAX || !HasRoom(file, length, error)) {
    if (length > INT32_MAX) ReportShortRead(file, error);
    return false;
  }
  if (length == 0) return true;
  if (file.read(buffer, static_cast<int32_t>(length)) == length) return true;
  ReportShortRead(file, error);
  return false;
}

bool SelectSection(TaggedFile& file, uint32_t code, String* error) {
  if (file.select_section(code)) return true;
  error->assign(file.last_error());
  return false;
}

}  // namespace pexo
