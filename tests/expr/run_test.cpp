// Compiled expressions run on the machine give the same values as the same
// code written by hand.
#include <gtest/gtest.h>

#include <string>

#include "../vm/vm_harness.h"
#include "api/dynamic_execute.h"
#include "expr/dynamic_expression.h"
#include "program/segment_manager.h"
#include "values/variable.h"

namespace pexo {
namespace {

struct RunCase {
  const char* expression;
  const char* hand;  // body of a hand-written segment
  const char* value;
};

class CompileAndRun : public ::testing::TestWithParam<RunCase> {
 protected:
  void SetUp() override {
    ASSERT_EQ(machine_.Run(std::string(".global a, b, s\n"
                                       ".segment main start\n"
                                       " storegi a, 6\n storegi b, 4\n"
                                       " pushc \"it\"\n popg s\n"
                                       ".segment hand\n") +
                           GetParam().hand),
              1);
  }
  ExpressionProgram Program() {
    ExpressionProgram program;
    program.segments = &machine_.script.image().segments();
    program.dictionary = &machine_.script.image().dictionary();
    program.functions = &machine_.script.image().functions();
    return program;
  }
  std::string Evaluate(Segment* segment) {
    Variable* result = new Variable();
    bool ok = ExecuteDynamicExpression(machine_.vm.get(), segment, nullptr, result);
    std::string text = ok ? result->Value().c_str() : "<failed: " + machine_.LastError() + ">";
    result->Release();
    return text;
  }
  testing_vm::Machine machine_;
};

TEST_P(CompileAndRun, GivesTheValueOfTheHandWrittenCode) {
  String error;
  const std::string text = GetParam().expression;
  Segment* compiled =
      CompileDynamicExpression(Program(), text.data(), static_cast<int32_t>(text.size()), &error);
  ASSERT_NE(compiled, nullptr) << error.c_str();
  Segment* hand = machine_.script.image().segments().segment(1);
  ASSERT_NE(hand, nullptr);
  // The hand-written code runs first: the compiled code may change variables.
  EXPECT_EQ(Evaluate(hand), GetParam().value) << text;
  EXPECT_EQ(Evaluate(compiled), GetParam().value) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Values, CompileAndRun,
    ::testing::Values(
        RunCase{"1 + 2 * 3", "pushi 1\n pushi 2\n pushi 3\n mul\n add\n", "7"},
        RunCase{"a - b - 1", "pushg a\n pushg b\n sub\n pushi 1\n sub\n", "1"},
        RunCase{"s $ '\\'s'", "pushg s\n pushc \"'s\"\n cat\n", "it's"},
        RunCase{"NOT(a EQ b)", "pushg a\n pushg b\n eq\n not\n", "1"},
        RunCase{"1 OR 0 AND 0", "pushi 1\n pushi 0\n or\n pushi 0\n and\n", "0"},
        RunCase{"a++ + a", "pushg a\n pushi 7\n add\n", "13"},
        RunCase{"--b * 2", "pushg b\n pushi 1\n sub\n pushi 2\n mul\n", "6"},
        RunCase{"-7 MOD 2", "pushi -7\n pushi 2\n mod\n", "-1"}));

TEST(DynamicExpression, BooleanFormAndFailures) {
  testing_vm::Machine machine;
  ASSERT_EQ(machine.Run(".global a\n storegi a, 3\n"), 1);
  ExpressionProgram program;
  program.segments = &machine.script.image().segments();
  program.dictionary = &machine.script.image().dictionary();
  program.functions = &machine.script.image().functions();
  String error;
  Segment* yes = CompileDynamicExpression(program, "a GT 2", -1, &error);
  Segment* no = CompileDynamicExpression(program, "a LT 2", -1, &error);
  Segment* empty = CompileDynamicExpression(program, "", -1, &error);
  ASSERT_TRUE(yes && no && empty);
  int truth = -1;
  EXPECT_TRUE(ExecuteDynamicExpressionBoolean(machine.vm.get(), yes, nullptr, &truth));
  EXPECT_EQ(truth, 1);
  EXPECT_TRUE(ExecuteDynamicExpressionBoolean(machine.vm.get(), no, nullptr, &truth));
  EXPECT_EQ(truth, 0);
  // Code that leaves no value is a failure, not a stale value.
  EXPECT_FALSE(ExecuteDynamicExpressionBoolean(machine.vm.get(), empty, nullptr, &truth));
}

}  // namespace
}  // namespace pexo
