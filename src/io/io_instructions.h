// The tag instructions the output and file layer implement: capture and
// capture_end (output diverted into a variable), lockfile and lockfile_end
// (a lock file held while a block runs). An end instruction without its
// start is the fatal error "Invalid instruction".
#ifndef PEXO_IO_IO_INSTRUCTIONS_H_
#define PEXO_IO_IO_INSTRUCTIONS_H_

#include "vm/tag_instructions.h"

namespace pexo {

void RegisterIoInstructions(TagInstructionTable* table);

}  // namespace pexo

#endif  // PEXO_IO_IO_INSTRUCTIONS_H_
