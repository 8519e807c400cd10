// The instruction set: every opcode word the machine dispatches, its
// mnemonic, and the operands the word's flag bits announce.
//
// An instruction is a 16-bit little-endian word followed by an optional first
// operand ((word & 0xC000) == 0x4000: int32, == 0x8000: double) and an
// optional second one ((word & 0x3000) == 0x1000: int32, == 0x2000: double).
// The whole word, flag bits included, is the opcode, so 0x0025 `roundf` and
// 0x4025 `jmp` are different instructions. Words 0x0043 and 0x0116 are both
// `exit`; looking up "exit" by name gives 0x0043.
#ifndef PEXO_VM_OPCODES_H_
#define PEXO_VM_OPCODES_H_

#include <cstdint>

namespace pexo {

enum class OperandKind : uint8_t { kNone, kInt32, kDouble };

struct OpcodeInfo {
  uint16_t word;
  const char* mnemonic;
  // False for the words the instruction listing prints as
  // "Illegal Instruction" although the machine runs them.
  bool listed;
};

inline OperandKind FirstOperandKind(uint16_t word) {
  switch (word & 0xC000) {
    case 0x4000: return OperandKind::kInt32;
    case 0x8000: return OperandKind::kDouble;
    default: return OperandKind::kNone;
  }
}

inline OperandKind SecondOperandKind(uint16_t word) {
  switch (word & 0x3000) {
    case 0x1000: return OperandKind::kInt32;
    case 0x2000: return OperandKind::kDouble;
    default: return OperandKind::kNone;
  }
}

inline int32_t OperandSize(OperandKind kind) {
  return kind == OperandKind::kInt32 ? 4 : kind == OperandKind::kDouble ? 8 : 0;
}

// Bytes taken by an instruction with this word: 2, 6, 10, 14 or 18.
inline int32_t InstructionSize(uint16_t word) {
  return 2 + OperandSize(FirstOperandKind(word)) + OperandSize(SecondOperandKind(word));
}

// The entry for a word, or null when the machine does not know it.
// Constant time.
const OpcodeInfo* FindOpcode(uint16_t word);

// The entry for a mnemonic compared without regard to case, or null.
const OpcodeInfo* FindOpcodeByMnemonic(const char* name, int32_t length = -1);

// The whole table in word order; `count` receives its size.
const OpcodeInfo* OpcodeTable(int32_t* count);

}  // namespace pexo

#endif  // PEXO_VM_OPCODES_H_
