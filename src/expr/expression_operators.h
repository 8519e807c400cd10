// The operators of run-time expressions: name, binding level (higher binds
// tighter), arity and the instruction each emits. Word operators ("AND",
// "BITSL" ...) match case-insensitively and only as whole words; the symbol
// operators match exactly. "(" opens a group and "++"/"--" expand to an
// increment or decrement sequence instead of emitting one instruction.
#ifndef PEXO_EXPR_EXPRESSION_OPERATORS_H_
#define PEXO_EXPR_EXPRESSION_OPERATORS_H_

#include <cstdint>

namespace pexo {

enum class OperatorKind : uint8_t {
  kInstruction,  // emits `opcode`
  kGroup,        // "("
  kIncrement,    // "++"
  kDecrement,    // "--"
};

struct ExpressionOperator {
  const char* name;
  int32_t level;
  bool binary;
  OperatorKind kind;
  uint16_t opcode;  // 0 when the operator emits no single instruction
};

// The operator spelled by exactly `length` bytes at `text`, or null.
const ExpressionOperator* FindExpressionOperator(const char* text, int32_t length);

}  // namespace pexo

#endif  // PEXO_EXPR_EXPRESSION_OPERATORS_H_
