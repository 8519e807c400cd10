// The reference of the instruction set as Markdown (docs/instructions.md),
// made from the opcode table and the engine's tag-instruction handlers, and
// the tag each tag instruction without a handler reports under.
#ifndef PEXO_VM_INSTRUCTION_REFERENCE_H_
#define PEXO_VM_INSTRUCTION_REFERENCE_H_

#include <cstdint>

#include "values/string.h"

namespace pexo {

class TagInstructionTable;

// Replaces `out` with the whole document. `handled` holds the handlers the
// engine registers (null: none); a tag instruction without one is described
// as not implemented.
void WriteInstructionReference(String* out, const TagInstructionTable* handled);

// The tag number a tag instruction reports "Not implemented" under when no
// handler is registered for it, or -1 for any other word.
int32_t PendingInstructionTag(uint16_t word);

}  // namespace pexo

#endif  // PEXO_VM_INSTRUCTION_REFERENCE_H_
