// Function calls: frames, fresh locals, argument binding, returns, flags.
#include <string>

#include "vm_harness.h"

namespace pexo {
namespace testing_vm {
namespace {

TEST(Calls, RecursionGetsFreshLocals) {
  Machine m;
  ASSERT_EQ(m.Run(".global r\n.segment main start\n"
                  " pushi 15\n call fib\n popg r\n"
                  ".segment lib\n"
                  ".function fib(n)\n"
                  " pushl n\n pushi 2\n lt\n jmp_eq recurse\n"
                  " pushl n\n ret\n"
                  "recurse:\n"
                  " pushl n\n pushi 1\n sub\n call fib\n"
                  " pushl n\n pushi 2\n sub\n call fib\n"
                  " add\n ret\n"
                  ".end\n"),
            1);
  EXPECT_EQ(m.Global("r"), "610");
  EXPECT_TRUE(m.app.fatal.empty()) << m.LastError();
}

TEST(Calls, EveryCallStartsWithEmptyLocals) {
  // The first call leaves a text in t and an array in a, and binds the global
  // g to its local k; the second call of the same function must find t and a
  // empty, while g keeps the variable the first call left it.
  Machine m;
  ASSERT_EQ(m.Run(".global g, r1, r2\n.segment main start\n"
                  " call f\n popg r1\n call f\n popg r2\n"
                  ".segment lib\n.function f\n.local t, a, k\n"
                  " pushl t\n isnull\n pushl a\n pushi 1\n elemq\n isnull\n and\n"
                  " pushl k\n isnull\n and\n"
                  " pushc \"text\"\n popl t\n pushi 7\n pushl a\n pushi 1\n elem\n store\n"
                  " pushc \"kept\"\n popl k\n pushl k\n bindg g\n ret\n.end\n"),
            1);
  EXPECT_EQ(m.Global("r1"), "1");
  EXPECT_EQ(m.Global("r2"), "1");
  EXPECT_EQ(m.Global("g"), "kept");
  EXPECT_TRUE(m.app.fatal.empty()) << m.LastError();
}

TEST(Calls, ByReferenceReachesTheCallersVariable) {
  // depth(var v, d): at depth 3 assigns v; each level passes its own
  // local by reference, so the change climbs back to the global.
  Machine m;
  ASSERT_EQ(m.Run(".global g\n.segment main start\n"
                  " pushc \"start\"\n popg g\n"
                  " pushg g\n pushi 1\n call depth\n pop\n"
                  ".segment lib\n"
                  ".function depth(var v, d)\n"
                  " pushl d\n pushi 3\n eq\n jmp_eq deeper\n"
                  " pushc \"set at 3\"\n popl v\n retn\n"
                  "deeper:\n"
                  " pushl v\n pushl d\n pushi 1\n add\n call depth\n pop\n retn\n"
                  ".end\n"),
            1);
  EXPECT_EQ(m.Global("g"), "set at 3");
}

TEST(Calls, ByValueCopiesTheArgument) {
  Machine m;
  ASSERT_EQ(m.Run(".global g\n.segment main start\n"
                  " pushc \"keep\"\n popg g\n pushg g\n call f\n pop\n"
                  ".segment lib\n.function f(x)\n pushc \"changed\"\n popl x\n retn\n.end\n"),
            1);
  EXPECT_EQ(m.Global("g"), "keep");
}

TEST(Calls, ConstantForReferenceParameterStops) {
  Machine m;
  EXPECT_EQ(m.Run(".segment main start\n pushc \"const\"\n call f\n pushc \"after\"\n out\n"
                  ".segment lib\n.function f(var x)\n retn\n.end\n"),
            0);
  EXPECT_EQ(m.app.output, "");
  ASSERT_EQ(m.app.fatal.size(), 1u);
  EXPECT_NE(m.app.fatal[0].find(": Expected variable, found constant\n"), std::string::npos);
}

TEST(Calls, ReturnValues) {
  Machine m;
  ASSERT_EQ(m.Run(".global a, b\n.segment main start\n"
                  " call nothing\n popg a\n"
                  " call many\n popg b\n"
                  " pushg a\n isnull\n out\n"
                  ".segment lib\n"
                  ".function nothing\n pushi 5\n retn\n.end\n"
                  ".function many\n pushi 1\n pushi 2\n pushc \"top\"\n ret\n.end\n"),
            1);
  EXPECT_EQ(m.Global("a"), "");
  EXPECT_EQ(m.Global("b"), "top");
  EXPECT_EQ(m.app.output, "1");
  EXPECT_EQ(m.vm->stack()->depth(), 0);
}

TEST(Calls, ReturnedTemporaryOutlivesTheFunctionStack) {
  // The returned entry is a borrowed view (after dup) of a text the
  // function's stack owns and releases on return.
  Machine m;
  ASSERT_EQ(m.Run(".segment main start\n call f\n out\n"
                  ".segment lib\n.function f\n pushc \"a\"\n pushc \"b\"\n cat\n dup\n ret\n.end\n"),
            1);
  EXPECT_EQ(m.app.output, "ab");
}

TEST(Calls, ReturnAtTopLevelAndBadCalls) {
  Machine top;
  EXPECT_EQ(top.Run(".segment main start\n pushi 1\n ret\n"), 0);
  ASSERT_EQ(top.app.fatal.size(), 1u);
  EXPECT_NE(top.app.fatal[0].find("Return outside of function"), std::string::npos);

  Machine bad;
  EXPECT_EQ(bad.Run(".segment main start\n .word 0x403D\n .dword 9\n"), 0);
  ASSERT_EQ(bad.app.fatal.size(), 1u);
  EXPECT_NE(bad.app.fatal[0].find("Invalid function call"), std::string::npos);

  Machine external;
  EXPECT_EQ(external.Run(".segment main start\n pushc \"abc\"\n call strlen\n out\n"
                         ".extern strlen(s)\n"),
            0);
  ASSERT_EQ(external.app.fatal.size(), 1u);
  EXPECT_NE(external.app.fatal[0].find(": Unresolved call to external function 'strlen'\n"),
            std::string::npos);
}

TEST(Calls, FunctionInAMissingSegmentStopsAtTheCall) {
  // A call enters the callee's segment at once when it exists; a missing
  // one is still reported, and nothing after the call runs.
  Machine m;
  ASSERT_TRUE(m.Load(".global r\n.segment main start\n pushi 1\n popg r\n"
                     " .word 0x403D\n .dword 0\n pushi 2\n popg r\n"));
  ASSERT_NE(m.script.image().functions().add_function("lost", 4, 0, 9, 0), nullptr);
  EXPECT_EQ(m.vm->run_program(), 0);
  ASSERT_EQ(m.app.fatal.size(), 1u);
  EXPECT_NE(m.app.fatal[0].find(": Invalid segment reference\n"), std::string::npos)
      << m.app.fatal[0];
  EXPECT_EQ(m.Global("r"), "1");
}

TEST(Calls, PrivateFunctionFromCompiledCode) {
  Machine m;
  ASSERT_EQ(m.Run(".segment main start\n call hidden\n out\n"
                  ".segment lib\n.function hidden private\n pushc \"ok\"\n ret\n.end\n"),
            1);
  EXPECT_EQ(m.app.output, "ok");
}

TEST(Calls, ExitInsideNestedFunctionEndsEverything) {
  Machine m;
  EXPECT_EQ(m.Run(".segment main start\n call outer\n pushc \"main\"\n out\n"
                  ".segment lib\n"
                  ".function outer\n call inner\n pushc \"outer\"\n out\n retn\n.end\n"
                  ".function inner\n pushc \"inner\"\n out\n exit\n retn\n.end\n"),
            1);
  EXPECT_EQ(m.app.output, "inner");
  EXPECT_EQ(m.vm->frame()->kind(), 0);  // no frame left behind
}

TEST(Calls, FlagsSetErrorDisplayAndWhitespace) {
  // flags 0x08 turns error display off inside the function; 0x02 trims.
  Machine m;
  ASSERT_EQ(m.Run(".segment main start\n stdoutput 1\n call quiet\n call trimmed\n"
                  " pushc \"back\"\n out_comp\n"
                  ".segment lib\n"
                  ".function quiet flags 0x18\n pushc \"q\"\n out_comp\n"
                  " pushc \"alias\"\n .word 0x0201\n retn\n.end\n"
                  ".function trimmed flags 0x02\n pushc \"t\"\n out_comp\n retn\n.end\n"),
            1);
  // quiet: mode 2 because the caller's is 1; trimmed: mode 1; back: 1.
  ASSERT_EQ(m.app.emitted.size(), 3u);
  EXPECT_EQ(m.app.emitted[0], "2:q");
  EXPECT_EQ(m.app.emitted[1], "1:t");
  EXPECT_EQ(m.app.emitted[2], "1:back");
  ASSERT_EQ(m.app.runtime.size(), 1u);  // dbclose: not fatal, not displayed here
  EXPECT_FALSE(m.app.runtime[0].display);
}

TEST(Calls, WhitespaceModeIsSetWhereTheOutputDiffers) {
  // The output trims before the run (behind the machine's back): the first
  // call of a plain function must still make it keep. Calls and returns
  // that would set the mode the output has already set nothing.
  Machine m;
  m.app.ShowWhitespaceMode();
  m.app.whitespace_mode = 1;
  ASSERT_EQ(m.Run(".segment main start\n call plain\n call plain\n call trimmed\n"
                  " pushc \"back\"\n out_comp\n"
                  ".segment lib\n"
                  ".function plain\n pushc \"p\"\n out_comp\n retn\n.end\n"
                  ".function trimmed flags 0x02\n pushc \"t\"\n out_comp\n retn\n.end\n"),
            1)
      << m.LastError();
  ASSERT_EQ(m.app.emitted.size(), 4u);
  EXPECT_EQ(m.app.emitted[0], "0:p");
  EXPECT_EQ(m.app.emitted[1], "0:p");
  EXPECT_EQ(m.app.emitted[2], "1:t");
  EXPECT_EQ(m.app.emitted[3], "0:back");
  // Into plain the first time, into trimmed and back out of it.
  EXPECT_EQ(m.app.mode_sets, 3);
}

TEST(Calls, TraceEvents) {
  Machine m;
  m.app.debug_level = 0x10 | 0x20 | 0x40 | 0x80;
  ASSERT_EQ(m.Run(".segment main start\n pushc \"hi\"\n call echo\n pop\n call none\n pop\n"
                  ".segment lib\n"
                  ".function echo(word)\n pushl word\n ret\n.end\n"
                  ".function none\n retn\n.end\n"),
            1);
  ASSERT_EQ(m.app.events.size(), 6u);
  EXPECT_EQ(m.app.events[0], "Function Call|:0|echo");
  EXPECT_EQ(m.app.events[1], "Function Parameter|:0|echo|word=hi");
  EXPECT_EQ(m.app.events[2], "Function Return Value|:0|echo=hi");
  EXPECT_EQ(m.app.events[3], "Function Return|:0");
  EXPECT_EQ(m.app.events[4], "Function Call|:0|none");
  EXPECT_EQ(m.app.events[5], "Function Return|:0|none");
}

}  // namespace
}  // namespace testing_vm
}  // namespace pexo
