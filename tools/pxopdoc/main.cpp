// pxopdoc: prints the instruction reference (docs/instructions.md) made
// from the opcode table and the engine's tag-instruction handlers.
#include <cstdio>

#include "host/tag_instruction_set.h"
#include "vm/instruction_reference.h"

int main() {
  pexo::String text;
  pexo::WriteInstructionReference(&text, pexo::EngineTagInstructions());
  return std::fwrite(text.data(), 1, static_cast<size_t>(text.length()), stdout) ==
                 static_cast<size_t>(text.length())
             ? 0
             : 1;
}
