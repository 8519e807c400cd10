// The operators of the instruction set on operand-stack entries:
// arithmetic, rounding, comparison and concatenation. Each takes its
// operands from the top of the stack (the right one on top), pops them and,
// except ValueCompare, pushes its result. A failure (stack underflow, no
// memory) is a fatal error of the stack's machine and pushes nothing.
#ifndef PEXO_VM_VALUE_OPS_H_
#define PEXO_VM_VALUE_OPS_H_

#include <cstdint>

namespace pexo {

class PexoVM_Stack;

// Integer when both operands count as integers and the result fits, else
// decimal.
bool ValueAdd(PexoVM_Stack* stack);
bool ValueSubtract(PexoVM_Stack* stack);
// Decimal. Zero divided by anything is 0.
bool ValueMultiply(PexoVM_Stack* stack);
bool ValueDivide(PexoVM_Stack* stack);
bool ValuePower(PexoVM_Stack* stack);
// x n -- x formatted with n digits after the point (negative n counts as 0).
bool ValueRoundText(PexoVM_Stack* stack);
// x n -- x rescaled to n digits after the point, half-even.
bool ValueRoundDecimal(PexoVM_Stack* stack);

// Negative, 0 or positive as left is below, equal to or above right:
// numerically when both are numbers, else bytewise. 0 after a failure.
int32_t ValueCompare(PexoVM_Stack* stack);

// Left text followed by right text; temporaries grow one LinkBuffer.
bool ValueConcatenate(PexoVM_Stack* stack);
// mul and then cat in one step, when they can take it: two integer operands
// whose product is an exact decimal, on an owned LinkBuffer (a text being
// built), get the product's text appended to it. False, with nothing done,
// in every other case.
bool ValueMultiplyOnto(PexoVM_Stack* stack);

// Integer remainder with the sign of the left; 0 for a right of 0 or -1
// (the latter would overflow).
inline int32_t IntegerRemainder(int32_t left, int32_t right) {
  return right == 0 || right == -1 ? 0 : left % right;
}

// Shifts by the count modulo 32; right shifts copy the sign bit in.
inline int32_t ShiftLeft(int32_t left, int32_t count) {
  return static_cast<int32_t>(static_cast<uint32_t>(left) << (static_cast<uint32_t>(count) & 31));
}
inline int32_t ShiftRight(int32_t left, int32_t count) {
  return left >> (static_cast<uint32_t>(count) & 31);
}

}  // namespace pexo

#endif  // PEXO_VM_VALUE_OPS_H_
