#include "expr/dynamic_expression.h"

namespace pexo {

Segment* CompileDynamicExpression(const ExpressionProgram& program, const char* text,
                                  int32_t length, String* error) {
  ExpressionOptions options;
  options.line = 1;
  options.version = kDynamicExpressionVersion;
  ExpressionCompiler compiler(program, text, length, options);
  if (compiler.compile()) return compiler.segment();
  if (error) error->assign(compiler.error());
  return nullptr;
}

}  // namespace pexo
