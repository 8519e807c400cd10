// Expressions compiled and run for extensions while a program runs: the
// work behind pxProgram_Compile_Dynamic_Expression and its execute forms.
// Compilation uses the running program's tables with no database alias, no
// source name, line 1 and the run-time version code.
#ifndef PEXO_EXPR_DYNAMIC_EXPRESSION_H_
#define PEXO_EXPR_DYNAMIC_EXPRESSION_H_

#include <cstdint>

#include "expr/expression_compiler.h"
#include "values/string.h"

namespace pexo {

class Segment;

// The compiled segment, or null with the compiler's message in `error`.
Segment* CompileDynamicExpression(const ExpressionProgram& program, const char* text,
                                  int32_t length, String* error);

}  // namespace pexo

#endif  // PEXO_EXPR_DYNAMIC_EXPRESSION_H_
