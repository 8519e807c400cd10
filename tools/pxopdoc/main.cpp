// pxopdoc: prints the instruction reference (docs/instructions.md) made
// from the opcode table.
#include <cstdio>

#include "vm/instruction_reference.h"

int main() {
  pexo::String text;
  pexo::WriteInstructionReference(&text);
  return std::fwrite(text.data(), 1, static_cast<size_t>(text.length()), stdout) ==
                 static_cast<size_t>(text.length())
             ? 0
             : 1;
}
