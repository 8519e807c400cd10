// Nested runs of code made at run time: results, exit, private functions.
#include <string>

#include "program/function.h"
#include "program/function_manager.h"
#include "program/segment.h"
#include "program/segment_manager.h"
#include "vm_harness.h"

namespace pexo {
namespace testing_vm {
namespace {

// Appends instructions to a run-time segment.
class CodeWriter {
 public:
  explicit CodeWriter(Segment* segment) : segment_(segment) {}
  CodeWriter& Op(uint16_t word) {
    segment_->put_word(at_, word);
    at_ += 2;
    return *this;
  }
  CodeWriter& Op(uint16_t word, int32_t operand) {
    Op(word);
    segment_->put_dword(at_, operand);
    at_ += 4;
    return *this;
  }

 private:
  Segment* segment_;
  int32_t at_ = 0;
};

const char kProgram[] =
    ".global g\n.segment main start\n pushc \"main\"\n out\n"
    ".segment lib\n"
    ".function stop\n pushc \"stopping\"\n out\n exit\n retn\n.end\n"
    ".function secret private\n pushc \"s\"\n ret\n.end\n";

int32_t FunctionNumber(Machine& m, const char* name) {
  Function* f = m.script.image().functions().find(name, -1);
  return f ? f->number() : -1;
}

TEST(NestedRun, ValuesLeftOnTheStack) {
  Machine m;
  ASSERT_TRUE(m.Load(kProgram));
  Segment* code = m.script.image().segments().add_segment();
  CodeWriter(code).Op(0x4002, 6).Op(0x4002, 7).Op(0x0038);  // 6 > 7
  int truth = -1;
  EXPECT_EQ(m.vm->run_segment_truth(code, &truth), 1);
  EXPECT_EQ(truth, 0);

  Segment* text = m.script.image().segments().add_segment();
  CodeWriter(text).Op(0x4002, 4).Op(0x4002, 2).Op(0x0018);  // "4" $ "2"
  String result;
  EXPECT_EQ(m.vm->run_segment_string(text, &result), 1);
  EXPECT_STREQ(result.c_str(), "42");

  Segment* variable = m.script.image().segments().add_segment();
  CodeWriter(variable).Op(0x4005, 0);  // pushg g
  Variable* g = nullptr;
  EXPECT_EQ(m.vm->run_segment_variable(variable, &g), 1);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g, m.GlobalVariable("g"));
  g->Release();
  EXPECT_EQ(m.vm->stack()->depth(), 0);
}

TEST(NestedRun, ExitInAFunctionEndsTheWholeRequest) {
  Machine m;
  ASSERT_TRUE(m.Load(kProgram));
  Segment* code = m.script.image().segments().add_segment();
  CodeWriter(code).Op(0x403D, FunctionNumber(m, "stop")).Op(0x4002, 1);
  EXPECT_EQ(m.vm->run_segment(code), 1);
  EXPECT_EQ(m.app.output, "stopping");
  EXPECT_EQ(m.vm->frame()->kind(), 0);
  // The rest of the request does not run.
  EXPECT_EQ(m.vm->run_program(), 1);
  EXPECT_EQ(m.app.output, "stopping");
}

TEST(NestedRun, PrivateFunctionsAreClosedToRunTimeCode) {
  Machine m;
  ASSERT_TRUE(m.Load(kProgram));
  Segment* code = m.script.image().segments().add_segment();
  code->set_flags(1);  // compiled at run time by the function service
  CodeWriter(code).Op(0x403D, FunctionNumber(m, "secret"));
  EXPECT_EQ(m.vm->run_segment(code), 0);
  ASSERT_EQ(m.app.fatal.size(), 1u);
  EXPECT_NE(m.app.fatal[0].find(": Function is private\n"), std::string::npos);

  Machine open;
  ASSERT_TRUE(open.Load(kProgram));
  Segment* plain = open.script.image().segments().add_segment();
  CodeWriter(plain).Op(0x403D, FunctionNumber(open, "secret"));
  String value;
  EXPECT_EQ(open.vm->run_segment_string(plain, &value), 1);
  EXPECT_STREQ(value.c_str(), "s");
}

TEST(NestedRun, UnregisteredSegmentContinuesAfterACall) {
  // Code compiled at run time need not be in the program's segment list;
  // a function it calls must still return into it.
  Machine m;
  ASSERT_TRUE(m.Load(kProgram));
  std::unique_ptr<Segment> code = Segment::Create(4000, 64);
  ASSERT_NE(code, nullptr);
  CodeWriter(code.get()).Op(0x403D, FunctionNumber(m, "secret")).Op(0x4002, 7).Op(0x0018);
  String value;
  EXPECT_EQ(m.vm->run_segment_string(code.get(), &value), 1) << m.LastError();
  EXPECT_STREQ(value.c_str(), "s7");
}

}  // namespace
}  // namespace testing_vm
}  // namespace pexo
