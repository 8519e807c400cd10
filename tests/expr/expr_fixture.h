// Test support for the expression compiler: a program with a dictionary,
// segments and functions, a fake library function table, and a rendering of
// code with dictionary operands shown as their texts so that compiled code
// can be compared with the same code written by hand for the assembler.
#ifndef PEXO_TESTS_EXPR_EXPR_FIXTURE_H_
#define PEXO_TESTS_EXPR_EXPR_FIXTURE_H_

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "expr/expression_compiler.h"
#include "expr/external_function_resolver.h"
#include "values/dictionary.h"
#include "program/function_manager.h"
#include "program/segment_manager.h"
#include "render.h"

namespace pexo {
namespace testing_expr {

class FakeLibrary : public ExternalFunctionResolver {
 public:
  // Parameters as (name, flags).
  void Add(const std::string& name, std::vector<std::pair<std::string, int32_t>> parameters);
  bool FindExternalFunction(const char* name, int32_t length, ExternalFunctionInfo* info) override;
  int lookups = 0;

 private:
  std::map<std::string, std::vector<std::pair<std::string, int32_t>>> functions_;
};

class ExprTest : public ::testing::Test {
 protected:
  ExprTest();

  ExpressionProgram Program(FunctionManager* other = nullptr);
  // The rendered code, or "error: " + the message.
  std::string Compile(const std::string& text, ExpressionOptions options = ExpressionOptions(),
                      FunctionManager* other = nullptr);
  std::string CompileError(const std::string& text, ExpressionOptions options = ExpressionOptions());

  Dictionary dictionary_;
  SegmentManager segments_;
  FunctionManager functions_{&dictionary_};
  FakeLibrary library_;
};

}  // namespace testing_expr
}  // namespace pexo

#endif  // PEXO_TESTS_EXPR_EXPR_FIXTURE_H_
