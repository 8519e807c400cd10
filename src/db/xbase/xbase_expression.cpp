#include "db/xbase/xbase_expression.h"

#include "expr/expression_compiler.h"
#include "vm/pexo_vm.h"
#include "vm/vm_stack.h"

namespace pexo {

bool CompileDatabaseExpression(PexoVM* vm, ExternalFunctionResolver* externals,
                               const String& alias, const String& text, const char* prefix,
                               Segment** segment, String* error) {
  const ProgramContext& context = vm->context();
  ExpressionProgram program;
  program.externals = externals;
  program.segments = context.segments;
  program.dictionary = context.dictionary;
  program.functions = context.functions;
  if (!program.segments || !program.dictionary || !program.functions) {
    error->assign(prefix);
    error->append("no program to compile it in");
    return false;
  }
  ExpressionOptions options;
  options.alias = alias.data();
  options.alias_length = alias.length();
  ExpressionCompiler compiler(program, text.data(), text.length(), options);
  if (!compiler.compile()) {
    error->assign(prefix);
    error->append(compiler.error());
    return false;
  }
  *segment = compiler.segment();
  return true;
}

namespace {

bool Run(PexoVM* vm, Segment* segment, PexoVM_Stack* stack, String* error) {
  if (vm->run_segment(segment, stack, nullptr) != 1 || vm->fatal() || stack->depth() == 0) {
    *error = vm->last_error().empty() ? String("Error evaluating the expression")
                                      : vm->last_error();
    return false;
  }
  return true;
}

}  // namespace

bool EvaluateDatabaseExpression(PexoVM* vm, Segment* segment, std::string* value, String* error) {
  PexoVM_Stack stack(vm);
  if (!Run(vm, segment, &stack, error)) return false;
  PoppedText text;
  stack.pop_string(&text);
  value->assign(text.bytes, static_cast<size_t>(text.length));
  return true;
}

bool TestDatabaseExpression(PexoVM* vm, Segment* segment, bool* value, String* error) {
  PexoVM_Stack stack(vm);
  if (!Run(vm, segment, &stack, error)) return false;
  *value = stack.pop_truth() != 0;
  return true;
}

}  // namespace pexo
