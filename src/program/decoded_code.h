// DecodedCode: a segment's byte code translated once into one record per
// instruction, for the machine's loop.
//
// Decoding walks the bytes from offset 0 the way the machine does. It stops
// where an instruction's operands would run past the end of the code; from
// there, and at any offset that is not the start of a decoded instruction
// (a jump into the middle of one), the machine falls back to reading the
// bytes. The last record is a sentinel at the offset where decoding stopped
// (row kEndRow) that sends the machine to that fallback. A record keeps the
// byte offsets of its instruction, so positions, messages and traces are
// those of the byte code.
#ifndef PEXO_PROGRAM_DECODED_CODE_H_
#define PEXO_PROGRAM_DECODED_CODE_H_

#include <cstdint>
#include <memory>
#include <vector>

namespace pexo {

struct DecodedInstruction {
  // Row of the sentinel; rows of the opcode table are numbered from 1 in
  // table order, 0 is a word without a row.
  static constexpr uint8_t kEndRow = 255;

  uint16_t word;
  uint8_t row;
  uint8_t reserved;
  int32_t offset;  // of the word
  int32_t next;    // offset of the following instruction
  // For a jump: the record the jump lands on, or -1 when it lands on no
  // decoded instruction.
  int32_t target;
  union {
    int32_t integer;
    double real;
  } first, second;
};

class DecodedCode {
 public:
  // The records of `length` bytes of code; null when memory runs out.
  static std::unique_ptr<DecodedCode> Decode(const unsigned char* code, int32_t length);

  const DecodedInstruction* records() const { return records_.data(); }
  int32_t count() const { return static_cast<int32_t>(records_.size()); }
  int64_t MemoryBytes() const {
    return static_cast<int64_t>(records_.capacity() * sizeof(DecodedInstruction) +
                                index_.capacity() * sizeof(int32_t));
  }
  // Record starting at byte `offset`, or null.
  const DecodedInstruction* at(int32_t offset) const {
    if (offset < 0 || offset >= static_cast<int32_t>(index_.size())) return nullptr;
    int32_t i = index_[static_cast<size_t>(offset)];
    return i < 0 ? nullptr : &records_[static_cast<size_t>(i)];
  }

 private:
  std::vector<DecodedInstruction> records_;
  std::vector<int32_t> index_;  // byte offset -> record, -1 inside one
};

}  // namespace pexo

#endif  // PEXO_PROGRAM_DECODED_CODE_H_
