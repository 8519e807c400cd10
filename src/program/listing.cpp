#include "program/listing.h"

#include <cerrno>
#include <cstring>

#include "program/opcodes.h"

namespace pexo {

namespace {

int32_t ReadInt32(const unsigned char* p) {
  uint32_t v = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
               static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
  return static_cast<int32_t>(v);
}

double ReadDouble(const unsigned char* p) {
  uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = bits << 8 | p[i];
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

// Prints one operand at `p` in the given form; returns the bytes it took.
int32_t PrintOperand(FILE* out, OperandKind kind, const unsigned char* p, bool second) {
  if (kind == OperandKind::kInt32) {
    std::fprintf(out, second ? ", dword:%d\n" : "dword:%d", ReadInt32(p));
  } else if (kind == OperandKind::kDouble) {
    std::fprintf(out, second ? ", double:%f\n" : "double:%f", ReadDouble(p));
  }
  return OperandSize(kind);
}

}  // namespace

int32_t WriteListing(FILE* out, const char* source, int32_t source_length,
                     const unsigned char* code, int32_t length) {
  source_length = text_length(source, source_length);
  std::fprintf(out, "\n\nExpression: %.*s\n", static_cast<int>(source_length), source ? source : "");
  int32_t listed = 0;
  int32_t pc = 0;
  while (length - pc >= 2) {
    uint16_t word = static_cast<uint16_t>(code[pc] | code[pc + 1] << 8);
    int32_t size = InstructionSize(word);
    if (size > length - pc) break;
    std::fprintf(out, "%d\t", pc);
    const OpcodeInfo* info = FindOpcode(word);
    if (info && info->listed) {
      std::fprintf(out, "%s\t", info->mnemonic);
    } else {
      std::fputs("Illegal Instruction\n", out);
    }
    const unsigned char* p = code + pc + 2;
    p += PrintOperand(out, FirstOperandKind(word), p, false);
    OperandKind second = SecondOperandKind(word);
    if (second == OperandKind::kNone) {
      std::fputc('\n', out);
    } else {
      PrintOperand(out, second, p, true);
    }
    pc += size;
    ++listed;
  }
  return listed;
}

bool WriteListingFile(const char* path, const char* source, int32_t source_length,
                      const unsigned char* code, int32_t length, String* error) {
  FILE* out = std::fopen(path, "w");
  if (!out) {
    if (error) {
      error->assign("Unable to open '");
      error->append(path);
      error->append("': ");
      error->append(std::strerror(errno));
    }
    return false;
  }
  WriteListing(out, source, source_length, code, length);
  if (std::fclose(out) != 0) {
    if (error) {
      error->assign("Unable to write '");
      error->append(path);
      error->append("'");
    }
    return false;
  }
  return true;
}

}  // namespace pexo
