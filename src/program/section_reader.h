// Helpers shared by the section loaders: exact reads of the current section
// and the room check that guards every allocation sized by a count taken
// from the file.
#ifndef PEXO_PROGRAM_SECTION_READER_H_
#define PEXO_PROGRAM_SECTION_READER_H_

#include <cstdint>

#include "program/tagged_file.h"
#include "values/string.h"

namespace pexo {

// The message for a read that came up short: the container's last error, or
// "Unexpected end of file" when the container has nothing to say (a read
// that stopped at the section's end is not an error to the container).
void ReportShortRead(const TaggedFile& file, String* error);

// True when the current section still holds `bytes` bytes; otherwise reports
// a short read. Call before allocating anything sized from the file.
bool HasRoom(const TaggedFile& file, int64_t bytes, String* error);

// Reads exactly `length` bytes of the current section or reports a short read.
bool ReadExact(TaggedFile& file, void* buffer, int64_t length, String* error);

// Selects a section, reporting the container's error when it is missing.
bool SelectSection(TaggedFile& file, uint32_t code, String* error);

}  // namespace pexo

#endif  // PEXO_PROGRAM_SECTION_READER_H_
