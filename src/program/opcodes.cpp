#include "program/opcodes.h"

#include <array>
#include <cstddef>
#include <cstring>

#include "values/string.h"

namespace pexo {

namespace {

#define PEXO_OPCODE_INFO(word, name, mnemonic, listing, first, second, effect, what) \
  {word, mnemonic, Listing::k##listing == Listing::kShown, OperandRole::k##first, \
   OperandRole::k##second, effect, what, false, 0},
#define PEXO_PENDING_INFO(word, name, mnemonic, listing, first, second, tag, pops, effect, what) \
  {word, mnemonic, Listing::k##listing == Listing::kShown, OperandRole::k##first, \
   OperandRole::k##second, effect, what, true, pops},

enum class Listing { kShown, kHidden };

constexpr OpcodeInfo kOpcodes[] = {PEXO_OPCODE_LIST(PEXO_OPCODE_INFO, PEXO_PENDING_INFO)};

#undef PEXO_OPCODE_INFO
#undef PEXO_PENDING_INFO

// Every row's operand roles agree with the flag bits of its word.
#define PEXO_CHECK_ROLES(word, name, mnemonic, listing, first, second, ...)           \
  static_assert(RoleKind(OperandRole::k##first) == FirstOperandKind(word) &&             \
                    RoleKind(OperandRole::k##second) == SecondOperandKind(word),         \
                "operand roles of " mnemonic " disagree with its word");
PEXO_OPCODE_LIST(PEXO_CHECK_ROLES, PEXO_CHECK_ROLES)
#undef PEXO_CHECK_ROLES

constexpr bool InWordOrder() {
  for (size_t i = 1; i < sizeof(kOpcodes) / sizeof(kOpcodes[0]); ++i)
    if (kOpcodes[i - 1].word >= kOpcodes[i].word) return false;
  return true;
}

constexpr int32_t kOpcodeCount = static_cast<int32_t>(sizeof(kOpcodes) / sizeof(kOpcodes[0]));
static_assert(kOpcodeCount < 255, "word index uses 8-bit slots");
static_assert(InWordOrder(), "rows must be in word order, each word once");

// Word -> position in kOpcodes + 1 (0: unknown). Built once, never changed.
struct WordIndex {
  std::array<uint8_t, 65536> slot{};
  WordIndex() {
    for (int32_t i = 0; i < kOpcodeCount; ++i) slot[kOpcodes[i].word] = static_cast<uint8_t>(i + 1);
  }
};

const WordIndex& Index() {
  static const WordIndex index;
  return index;
}

}  // namespace

const OpcodeInfo* FindOpcode(uint16_t word) {
  uint8_t at = Index().slot[word];
  return at ? &kOpcodes[at - 1] : nullptr;
}

const OpcodeInfo* FindOpcodeByMnemonic(const char* name, int32_t length) {
  length = text_length(name, length);
  for (const OpcodeInfo& info : kOpcodes) {
    // First match wins, so "exit" gives 0x0043 rather than 0x0116.
    if (equals_nocase(info.mnemonic, text_length(info.mnemonic, -1), name, length)) return &info;
  }
  return nullptr;
}

const OpcodeInfo* OpcodeTable(int32_t* count) {
  if (count) *count = kOpcodeCount;
  return kOpcodes;
}

}  // namespace pexo
