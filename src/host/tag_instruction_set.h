// The engine's one table of tag-instruction handlers, filled once per
// process from every layer that implements tag instructions and read-only
// afterwards; every machine a host makes points at it.
#ifndef PEXO_HOST_TAG_INSTRUCTION_SET_H_
#define PEXO_HOST_TAG_INSTRUCTION_SET_H_

#include "vm/tag_instructions.h"

namespace pexo {

const TagInstructionTable* EngineTagInstructions();

}  // namespace pexo

#endif  // PEXO_HOST_TAG_INSTRUCTION_SET_H_
