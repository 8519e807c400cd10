#include "program/decoded_code.h"

#include <cstring>
#include <new>

#include "program/opcodes.h"

namespace pexo {
namespace {

// Operand bytes announced by the top four bits of a word: bits 15-14 for the
// first operand (01 int32, 10 double), bits 13-12 for the second.
constexpr int8_t kOperandBytes[16] = {0, 4, 8, 0, 4, 8, 12, 4, 8, 12, 16, 8, 0, 4, 8, 0};

}  // namespace

std::unique_ptr<DecodedCode> DecodedCode::Decode(const unsigned char* code, int32_t length) {
  std::unique_ptr<DecodedCode> decoded(new (std::nothrow) DecodedCode());
  if (!decoded || length < 0) return nullptr;
  int32_t count = 0;
  const OpcodeInfo* table = OpcodeTable(&count);
  try {
    decoded->index_.assign(static_cast<size_t>(length) + 1, -1);
    decoded->records_.reserve(static_cast<size_t>(length / 4) + 1);
    int32_t pos = 0;
    while (pos + 1 < length) {
      uint16_t word = static_cast<uint16_t>(code[pos] | (code[pos + 1] << 8));
      int32_t need = kOperandBytes[word >> 12];
      if (need > length - pos - 2) break;
      DecodedInstruction record;
      std::memset(&record, 0, sizeof record);
      const OpcodeInfo* info = FindOpcode(word);
      record.word = word;
      record.row = info ? static_cast<uint8_t>(info - table + 1) : 0;
      record.offset = pos;
      record.next = pos + 2 + need;
      record.target = -1;
      const unsigned char* at = code + pos + 2;
      switch (word & 0xC000) {
        case 0x4000:
          std::memcpy(&record.first.integer, at, 4);
          at += 4;
          break;
        case 0x8000:
          std::memcpy(&record.first.real, at, 8);
          at += 8;
          break;
      }
      switch (word & 0x3000) {
        case 0x1000: std::memcpy(&record.second.integer, at, 4); break;
        case 0x2000: std::memcpy(&record.second.real, at, 8); break;
      }
      decoded->index_[static_cast<size_t>(pos)] = static_cast<int32_t>(decoded->records_.size());
      decoded->records_.push_back(record);
      pos = record.next;
    }
    DecodedInstruction end;
    std::memset(&end, 0, sizeof end);
    end.row = DecodedInstruction::kEndRow;
    end.offset = end.next = pos;
    end.target = -1;
    decoded->index_[static_cast<size_t>(pos)] = static_cast<int32_t>(decoded->records_.size());
    decoded->records_.push_back(end);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  // Jumps are relative to the next instruction; a target on a decoded
  // instruction (or the sentinel) becomes its record.
  for (DecodedInstruction& record : decoded->records_) {
    const OpcodeInfo* info = record.row && record.row != DecodedInstruction::kEndRow
                                 ? &table[record.row - 1]
                                 : nullptr;
    if (!info || info->first != OperandRole::kLabel) continue;
    int64_t target = static_cast<int64_t>(record.next) + record.first.integer;
    if (target >= 0 && target <= length)
      record.target = decoded->index_[static_cast<size_t>(target)];
  }
  return decoded;
}

}  // namespace pexo
