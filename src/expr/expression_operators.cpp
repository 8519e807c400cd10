#include "expr/expression_operators.h"

#include <cstring>

#include "values/string.h"

namespace pexo {

namespace {

constexpr OperatorKind kOp = OperatorKind::kInstruction;

// Ends with an empty name.
const ExpressionOperator kOperators[] = {
    {"+", 3, true, kOp, 0x0016},
    {"-", 3, true, kOp, 0x0017},
    {"$", 3, true, kOp, 0x0018},
    {"BITAND", 3, true, kOp, 0x0019},
    {"BITOR", 3, true, kOp, 0x001A},
    {"BITXOR", 3, true, kOp, 0x001B},
    {"BITOC", 3, false, kOp, 0x001C},
    {"BITSL", 3, true, kOp, 0x001D},
    {"BITSR", 3, true, kOp, 0x001E},
    {"/", 4, true, kOp, 0x001F},
    {"*", 4, true, kOp, 0x0020},
    {"MOD", 4, true, kOp, 0x0021},
    {"AND", 1, true, kOp, 0x002D},
    {"OR", 1, true, kOp, 0x002E},
    {"IN", 2, true, kOp, 0x002F},
    {"CIN", 2, true, kOp, 0x0030},
    {"EIN", 2, true, kOp, 0x0031},
    {"ECIN", 2, true, kOp, 0x0032},
    {"EQ", 2, true, kOp, 0x0033},
    {"NE", 2, true, kOp, 0x0034},
    {"GE", 2, true, kOp, 0x0035},
    {"LE", 2, true, kOp, 0x0036},
    {"LT", 2, true, kOp, 0x0037},
    {"GT", 2, true, kOp, 0x0038},
    {"ROUNDS", 5, true, kOp, 0x0022},
    {"ROUNDF", 5, true, kOp, 0x0025},
    {"CRYPT", 5, true, kOp, 0x0023},
    {"POW", 5, true, kOp, 0x0024},
    {"NOT", 6, false, kOp, 0x0039},
    {"ISNULL", 6, false, kOp, 0x005A},
    {"(", 7, false, OperatorKind::kGroup, 0},
    {"++", 8, false, OperatorKind::kIncrement, 0},
    {"--", 8, false, OperatorKind::kDecrement, 0},
    {"", 0, false, kOp, 0},
};

}  // namespace

const ExpressionOperator* FindExpressionOperator(const char* text, int32_t length) {
  if (length <= 0) return nullptr;
  for (const ExpressionOperator* op = kOperators; op->name[0]; ++op) {
    int32_t n = static_cast<int32_t>(std::strlen(op->name));
    if (n == length && equals_nocase(op->name, n, text, length)) return op;
  }
  return nullptr;
}

}  // namespace pexo
