// Instructions that reach variables by slot or by name: bad slots, the
// order in which name instructions pop and resolve, and what a failure
// leaves behind.
#include <string>

#include "program/segment.h"
#include "program/segment_manager.h"
#include "vm_harness.h"

namespace pexo {
namespace testing_vm {
namespace {

bool FatalEndsWith(const Machine& m, const std::string& tail) {
  if (m.app.fatal.size() != 1) return false;
  const std::string& text = m.app.fatal[0];
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(Slots, NumberOutsideTheTableIsABadReference) {
  struct Case {
    const char* name;
    std::string program;
  };
  const Case cases[] = {
      {"pushg", ".global a\n.segment main start\n .word 0x4005\n .dword 99\n out\n"},
      {"pushl at top level", ".global a\n.segment main start\n .word 0x4006\n .dword 99\n out\n"},
      {"pushl in a function",
       ".segment main start\n call f\n pop\n"
       ".segment lib\n.function f\n.local x\n .word 0x4006\n .dword 99\n ret\n.end\n"},
      {"popg", ".global a\n.segment main start\n pushi 1\n .word 0x400D\n .dword 99\n"},
  };
  for (const Case& c : cases) {
    Machine m;
    EXPECT_EQ(m.Run(c.program), 0) << c.name;
    EXPECT_TRUE(FatalEndsWith(m, ": Invalid variable reference\n")) << c.name << ": " << m.LastError();
    EXPECT_EQ(m.app.output, "") << c.name;
  }
}

TEST(Slots, AbsentSystemSlotReadsAsNull) {
  // pushs is the one slot read that stands in the null variable.
  Machine m;
  ASSERT_EQ(m.Run(".segment main start\n .word 0x4004\n .dword 99\n isnull\n out\n"), 1);
  EXPECT_EQ(m.app.output, "1");
}

TEST(ReferByName, TargetIsPoppedBeforeTheNameIsResolved) {
  // A constant where the target belongs stops the run before the name is
  // looked at: nothing is created and a malformed name is never read.
  Machine fresh;
  EXPECT_EQ(fresh.Run(".segment main start\n pushc \"const\"\n refernc \"fresh\"\n"), 0);
  EXPECT_TRUE(FatalEndsWith(fresh, ": Expected variable, found constant\n")) << fresh.LastError();
  EXPECT_EQ(fresh.Global("fresh"), "<none>");

  Machine malformed;
  EXPECT_EQ(malformed.Run(".segment main start\n pushc \"const\"\n pushc \"a[x]\"\n refern\n"), 0);
  EXPECT_TRUE(FatalEndsWith(malformed, ": Expected variable, found constant\n"))
      << malformed.LastError();
}

TEST(ReferByName, NamedVariableFollowsTheTarget) {
  Machine m;
  ASSERT_EQ(m.Run(".global a\n.segment main start\n"
                  " pushc \"one\"\n popg a\n"
                  " pushg a\n refernc \"alias\"\n"      // new global alias -> a
                  " pushg a\n pushc \"g.other\"\n refern\n"
                  " pushc \"two\"\n popnc \"alias\"\n"
                  " pushg a\n out\n pushnc \"other\"\n out\n"
                  " pushg a\n refernc \"s.none\"\n"     // resolves to nothing: no effect
                  " pushnc \"s.none\"\n isnull\n out\n"),
            1);
  EXPECT_EQ(m.app.output, "twotwo1");
  EXPECT_TRUE(m.app.fatal.empty()) << m.LastError();
}

TEST(Hide, EveryNameIsResolvedBeforeAnyFieldIsWritten) {
  Machine m;
  EXPECT_EQ(m.Run(".global a\n.segment main start\n"
                  " pushc \"v\"\n popg a\n pushc \" a , b[x] \"\n hide\n"),
            0);
  EXPECT_TRUE(FatalEndsWith(m, ": Array index must be positive integer\n")) << m.LastError();
  EXPECT_EQ(m.app.output, "");
}

TEST(Hide, NamesKeepTheirOrderAndDropTheirPrefix) {
  Machine m;
  ASSERT_EQ(m.Run(".global b, a\n.segment main start\n"
                  " pushc \"1\"\n popg a\n pushc \"\\\"2\\\"\"\n popg b\n"
                  " pushc \"\\tglobal.B,\\n a \"\n hide\n"),
            1);
  EXPECT_EQ(m.app.output,
            "<input type=\"hidden\" name=\"B\" value=\"&quot;2&quot;\">"
            "<input type=\"hidden\" name=\"a\" value=\"1\">");
}

TEST(Returns, ValueOntoAFullCallerStackOverflows) {
  // The function's stack is empty and the caller's is full: the move fails
  // on the room it needs first.
  std::string pushes;
  for (int i = 0; i < 512; ++i) pushes += " pushi 1\n";
  Machine m;
  EXPECT_EQ(m.Run(".segment main start\n" + pushes + " call f\n"
                  ".segment lib\n.function f\n ret\n.end\n"),
            0);
  EXPECT_TRUE(FatalEndsWith(m, ": Stack overflow\n")) << m.LastError();

  Machine empty;
  EXPECT_EQ(empty.Run(".segment main start\n call f\n"
                      ".segment lib\n.function f\n ret\n.end\n"),
            0);
  EXPECT_TRUE(FatalEndsWith(empty, ": Stack underflow\n")) << empty.LastError();
}

}  // namespace
}  // namespace testing_vm
}  // namespace pexo

namespace pexo {
namespace testing_vm {
namespace {

TEST(StoppedInstructions, NothingMoreHappensAfterAFailedPop) {
  // Each program leaves one operand short; the instruction reports once and
  // pushes no result onto the stack it was given.
  struct Case {
    const char* name;
    uint16_t word;
  };
  const Case cases[] = {
      {"isnull", 0x005A}, {"and", 0x002D}, {"or", 0x002E}, {"bitand", 0x0019},
      {"mod", 0x0021},    {"div", 0x001F}, {"in", 0x002F}, {"crypt", 0x0023},
      {"rounds", 0x0022}, {"eq", 0x0033},  {"not", 0x0039},
  };
  for (const Case& c : cases) {
    Machine m;
    ASSERT_TRUE(m.Load(".segment main start\n"));
    Segment* code = m.script.image().segments().add_segment();
    code->put_word(0, c.word);
    PexoVM_Stack stack(m.vm.get());
    EXPECT_EQ(m.vm->run_segment(code, &stack), 0) << c.name;
    EXPECT_EQ(m.app.fatal.size(), 1u) << c.name;
    EXPECT_TRUE(FatalEndsWith(m, ": Stack underflow\n")) << c.name << ": " << m.LastError();
    EXPECT_EQ(stack.depth(), 0) << c.name;
  }
}

}  // namespace
}  // namespace testing_vm
}  // namespace pexo
