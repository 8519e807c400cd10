// TagInstructionTable: the handlers of instructions whose work belongs to a
// layer above the machine (tables, import and export, network sessions,
// captures and locks, tasks, localized texts, commerce). The machine knows
// only the opcode word; each layer registers its handlers and the host hands
// the filled table to every machine through ProgramContext. A word without a
// handler pops its attributes and reports "Not implemented".
//
// A handler runs after the operands were decoded and the program counter
// moved past the instruction; it pops what the instruction carries, reports
// through runtime_error/fatal_error, and moves with PexoVM::branch().
#ifndef PEXO_VM_TAG_INSTRUCTIONS_H_
#define PEXO_VM_TAG_INSTRUCTIONS_H_

#include <cstdint>
#include <utility>
#include <vector>

namespace pexo {

class PexoVM;

// The instruction's decoded integer operands (0 when it has none).
struct TagOperands {
  int32_t first = 0;
  int32_t second = 0;
};

using TagInstruction = void (*)(PexoVM* vm, const TagOperands& operands);

class TagInstructionTable {
 public:
  // A later registration of the same word replaces the earlier one.
  void Set(uint16_t word, TagInstruction handler);
  // Null when no layer handles `word`.
  TagInstruction Get(uint16_t word) const;

 private:
  // Few words, looked up once per executed tag instruction: sorted by word.
  std::vector<std::pair<uint16_t, TagInstruction>> handlers_;
};

}  // namespace pexo

#endif  // PEXO_VM_TAG_INSTRUCTIONS_H_
