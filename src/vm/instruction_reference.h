// The reference of the instruction set as Markdown (docs/instructions.md),
// made from the opcode table, and the tag each instruction not implemented
// yet reports under.
#ifndef PEXO_VM_INSTRUCTION_REFERENCE_H_
#define PEXO_VM_INSTRUCTION_REFERENCE_H_

#include <cstdint>

#include "values/string.h"

namespace pexo {

// Replaces `out` with the whole document.
void WriteInstructionReference(String* out);

// The tag number an instruction not implemented yet reports under, or -1
// for any other word.
int32_t PendingInstructionTag(uint16_t word);

}  // namespace pexo

#endif  // PEXO_VM_INSTRUCTION_REFERENCE_H_
