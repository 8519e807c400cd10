// The instruction set: every opcode word the machine knows, its mnemonic,
// and the operands the word's flag bits announce. The rows come from
// program/opcode_list.h.
//
// An instruction is a 16-bit little-endian word followed by an optional first
// operand ((word & 0xC000) == 0x4000: int32, == 0x8000: double) and an
// optional second one ((word & 0x3000) == 0x1000: int32, == 0x2000: double).
// The whole word, flag bits included, is the opcode, so 0x0025 `roundf` and
// 0x4025 `jmp` are different instructions. Words 0x0043 and 0x0116 are both
// `exit`; looking up "exit" by name gives 0x0043.
#ifndef PEXO_PROGRAM_OPCODES_H_
#define PEXO_PROGRAM_OPCODES_H_

#include <cstdint>

#include "program/opcode_list.h"

namespace pexo {

enum Opcode : uint16_t {
#define PEXO_OPCODE_ENUM(word, name, ...) OP_##name = word,
  PEXO_OPCODE_LIST(PEXO_OPCODE_ENUM, PEXO_OPCODE_ENUM)
#undef PEXO_OPCODE_ENUM
};

enum class OperandKind : uint8_t { kNone, kInt32, kDouble };

// What an operand names, for the assembler's symbols and the documentation.
// kCount: the number of attributes the instruction pops.
enum class OperandRole : uint8_t {
  kNone, kInt, kDouble, kDict, kSystem, kGlobal, kLocal, kLabel, kFunction, kCount
};

struct OpcodeInfo {
  uint16_t word;
  const char* mnemonic;
  // False for the words the instruction listing prints as
  // "Illegal Instruction" although the machine runs them.
  bool listed;
  OperandRole first;
  OperandRole second;
  const char* effect;  // stack effect, top on the right
  const char* what;    // one line
  // An instruction whose subsystem is not built yet: it pops `pops` entries
  // (-1: the second operand says how many) and reports "Not implemented".
  bool pending;
  int32_t pops;
};

constexpr OperandKind FirstOperandKind(uint16_t word) {
  switch (word & 0xC000) {
    case 0x4000: return OperandKind::kInt32;
    case 0x8000: return OperandKind::kDouble;
    default: return OperandKind::kNone;
  }
}

constexpr OperandKind SecondOperandKind(uint16_t word) {
  switch (word & 0x3000) {
    case 0x1000: return OperandKind::kInt32;
    case 0x2000: return OperandKind::kDouble;
    default: return OperandKind::kNone;
  }
}

constexpr int32_t OperandSize(OperandKind kind) {
  return kind == OperandKind::kInt32 ? 4 : kind == OperandKind::kDouble ? 8 : 0;
}

// Bytes taken by an instruction with this word: 2, 6, 10, 14 or 18.
constexpr int32_t InstructionSize(uint16_t word) {
  return 2 + OperandSize(FirstOperandKind(word)) + OperandSize(SecondOperandKind(word));
}

// The operand kind a role is encoded as.
constexpr OperandKind RoleKind(OperandRole role) {
  return role == OperandRole::kNone ? OperandKind::kNone
         : role == OperandRole::kDouble ? OperandKind::kDouble
                                        : OperandKind::kInt32;
}

// The entry for a word, or null when the machine does not know it.
// Constant time.
const OpcodeInfo* FindOpcode(uint16_t word);

// The entry for a mnemonic compared without regard to case, or null.
const OpcodeInfo* FindOpcodeByMnemonic(const char* name, int32_t length = -1);

// The whole table in word order; `count` receives its size.
const OpcodeInfo* OpcodeTable(int32_t* count);

}  // namespace pexo

#endif  // PEXO_PROGRAM_OPCODES_H_
