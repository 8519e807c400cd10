#include "vm/instruction_reference.h"

#include <cstdio>

#include "vm/error_table.h"
#include "vm/tag_instructions.h"
#include "program/opcodes.h"

namespace pexo {
namespace {

struct PendingTag {
  uint16_t word;
  int32_t tag;
};

const PendingTag kPendingTags[] = {
#define PEXO_NO_TAG(...)
#define PEXO_TAG_OF(word, name, mnemonic, listing, first, second, tag, ...) {word, kTag##tag},
    PEXO_OPCODE_LIST(PEXO_NO_TAG, PEXO_TAG_OF)
#undef PEXO_NO_TAG
#undef PEXO_TAG_OF
};

const char* RoleText(OperandRole role) {
  switch (role) {
    case OperandRole::kNone: return "";
    case OperandRole::kInt: return "int";
    case OperandRole::kDouble: return "double";
    case OperandRole::kDict: return "dictionary string";
    case OperandRole::kSystem: return "system variable";
    case OperandRole::kGlobal: return "global variable";
    case OperandRole::kLocal: return "local variable";
    case OperandRole::kLabel: return "jump offset";
    case OperandRole::kFunction: return "function";
    case OperandRole::kCount: return "attribute count";
  }
  return "";
}

const char* Mnemonic(uint16_t word) {
  const OpcodeInfo* info = FindOpcode(word);
  return info ? info->mnemonic : "?";
}

// Table cells escape '|', which would end the cell even inside code.
void AppendCell(const char* text, String* out) {
  for (; *text; ++text) {
    if (*text == '|') out->append("\\");
    out->append(text, 1);
  }
}

void AppendRow(const OpcodeInfo& op, const TagInstructionTable* handled, String* out) {
  char word[16];
  std::snprintf(word, sizeof word, "0x%04X", op.word);
  out->append("| ");
  out->append(word);
  out->append(" | `");
  out->append(op.mnemonic);
  out->append("`");
  if (!op.listed) out->append("\xC2\xB9");  // superscript one
  out->append(" | ");
  const char* first = RoleText(op.first);
  const char* second = RoleText(op.second);
  out->append(*first ? first : "\xE2\x80\x93");  // en dash: none
  if (*second) {
    out->append(", ");
    out->append(second);
  }
  out->append(" | `");
  AppendCell(op.effect, out);
  out->append("` | ");
  AppendCell(op.what, out);
  int32_t tag = PendingInstructionTag(op.word);
  if (tag >= 0 && !(handled && handled->Get(op.word))) {
    TagErrorTable tags;
    char line[128];
    if (op.pops < 0)
      std::snprintf(line, sizeof line, "; not implemented yet: pops j, then \"Not implemented\" under tag %d `%s`",
                    tag, tags.tag(tag)->name);
    else
      std::snprintf(line, sizeof line, "; not implemented yet: pops %d, then \"Not implemented\" under tag %d `%s`",
                    op.pops, tag, tags.tag(tag)->name);
    out->append(line);
  }
  out->append(" |\n");
}

}  // namespace

int32_t PendingInstructionTag(uint16_t word) {
  for (const PendingTag& pending : kPendingTags)
    if (pending.word == word) return pending.tag;
  return -1;
}

void WriteInstructionReference(String* out, const TagInstructionTable* handled) {
  out->assign(
      "# Instructions\n"
      "\n"
      "Made from `src/program/opcode_list.h` by `scripts/instructions_doc.sh`; edit the table,\n"
      "not this file (a test compares the two).\n"
      "\n"
      "An instruction is a 16-bit little-endian word followed by the operands its flag bits\n"
      "announce: `(word & 0xC000)` 0x4000 a 32-bit integer, 0x8000 a double; then\n"
      "`(word & 0x3000)` 0x1000 a second 32-bit integer, 0x2000 a second double. The whole\n"
      "word is the opcode; every word not listed here is the fatal error \"Illegal Instruction\".\n"
      "Operands are called i and j below. In stack effects the top of the stack is on the\n"
      "right: `a b -- a+b` pops b, then a, and pushes their sum.\n"
      "\n"
      "\xC2\xB9 The instruction listing prints this word as \"Illegal Instruction\".\n"
      "\n"
      "| word | mnemonic | operands | stack | effect |\n"
      "|---|---|---|---|---|\n");
  int32_t count = 0;
  const OpcodeInfo* table = OpcodeTable(&count);
  for (int32_t i = 0; i < count; ++i) AppendRow(table[i], handled, out);
  out->append(
      "\n"
      "## Fused pairs\n"
      "\n"
      "The machine may run these pairs as one step when the second directly follows the\n"
      "first; the outcome is the same as running both.\n"
      "\n"
      "| pair | stack | effect |\n"
      "|---|---|---|\n");
#define PEXO_FUSION_ROW(first, second, effect, what) \
  out->append("| `");                                \
  out->append(Mnemonic(OP_##first));                 \
  out->append("` + `");                              \
  out->append(Mnemonic(OP_##second));                \
  out->append(" i` | `" effect "` | " what " |\n");
  PEXO_FUSION_LIST(PEXO_FUSION_ROW)
#undef PEXO_FUSION_ROW
}

}  // namespace pexo
