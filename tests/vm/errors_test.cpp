// Error messages, positions, settings and the error variables.
#include <string>

#include "vm_harness.h"

namespace pexo {
namespace testing_vm {
namespace {

bool HasHeader(const FakeHost& app, const char* name, const char* value) {
  for (const auto& header : app.headers)
    if (header.first == name && header.second == value) return true;
  return false;
}

TEST(Errors, FatalMessageWithPositionFileAndLine) {
  Machine m;
  EXPECT_EQ(m.Run(".segment main start\n sourcefile \"page.px\"\n lineno 12\n .word 0x0001\n"), 0);
  ASSERT_EQ(m.app.fatal.size(), 1u);
  EXPECT_EQ(m.app.fatal[0],
            "Fatal error in dir/test.pxc @ [00000000:0000000c]: page.px: Line 12: Illegal Instruction\n");
  EXPECT_EQ(m.LastError(), m.app.fatal[0]);
  EXPECT_TRUE(HasHeader(m.app, "Status", "500 Internal Server Error"));
}

TEST(Errors, NoLinePartBeforeAnyLine) {
  Machine m;
  EXPECT_EQ(m.Run(".segment a\n noop\n.segment main start\n noop\n .word 0x0001\n"), 0);
  ASSERT_EQ(m.app.fatal.size(), 1u);
  EXPECT_EQ(m.app.fatal[0], "Fatal error in dir/test.pxc @ [00000001:00000002]: Illegal Instruction\n");
}

TEST(Errors, PrefixStandsInFront) {
  Machine m;
  EXPECT_EQ(m.Run(".segment main start\n pushc \"[app] \"\n errprefix\n lineno 3\n ret\n"), 0);
  ASSERT_EQ(m.app.fatal.size(), 1u);
  EXPECT_EQ(m.app.fatal[0],
            "[app] Fatal error in dir/test.pxc @ [00000000:0000000e]: Line 3: Return outside of function\n");
}

TEST(Errors, RuntimeErrorOfDisplayOnlyTagGoesOn) {
  // dbopen (PxOPEN, display only) on a machine without database handlers:
  // the message lands in PxOPEN_Error, is shown (frame error output 7) and the run continues.
  Machine m;
  EXPECT_EQ(m.Run(".segment main start\n lineno 4\n"
                  " pushc \"\"\n pushc \"\"\n pushc \"\"\n pushc \"\"\n pushc \"\"\n pushc \"db\"\n dbopen\n"
                  " pushc \"after\"\n out\n"),
            1);
  EXPECT_EQ(m.app.output, "after");
  ASSERT_EQ(m.app.runtime.size(), 1u);
  EXPECT_EQ(m.app.runtime[0].tag, 28);
  EXPECT_TRUE(m.app.runtime[0].display);
  EXPECT_EQ(m.app.runtime[0].text,
            "Runtime error in dir/test.pxc @ [00000000:0000002a]: Line 4: PxOPEN: Not implemented\n");
  EXPECT_EQ(m.Global("PxOPEN_Error"), "Not implemented");
  EXPECT_FALSE(HasHeader(m.app, "Status", "500 Internal Server Error"));
}

TEST(Errors, TagErrorMakesItFatal) {
  Machine m;
  EXPECT_EQ(m.Run(".segment main start\n tagerror 28, 3\n"
                  " pushc \"\"\n pushc \"\"\n pushc \"\"\n pushc \"\"\n pushc \"\"\n pushc \"db\"\n dbopen\n"
                  " pushc \"after\"\n out\n"),
            0);
  EXPECT_EQ(m.app.output, "");
  EXPECT_TRUE(HasHeader(m.app, "Status", "500 Internal Server Error"));
  // The change belongs to this machine only.
  Machine fresh;
  ASSERT_TRUE(fresh.Load(".segment main start\n"));
  EXPECT_EQ(fresh.vm->tags().flags(28), 1);
}

TEST(Errors, SettingsOutsideTheTableAndErrorOutput) {
  Machine m;
  EXPECT_EQ(m.Run(".segment main start\n tagerror 200, 0\n erroutput 3\n"
                  " pushc \"a\"\n .word 0x0201\n pushc \"go\"\n out\n"),
            1);
  EXPECT_EQ(m.app.output, "go");
  ASSERT_EQ(m.app.runtime.size(), 1u);
  EXPECT_EQ(m.app.runtime[0].tag, 29);
  EXPECT_FALSE(m.app.runtime[0].display);  // error output without bit 2
  EXPECT_EQ(m.vm->tags().flags(200), 3);
}

TEST(Errors, EarlierStopIsNotClearedByALaterNonFatalError) {
  // The host may report a runtime error after the run was stopped (a tag
  // service ending, for instance); it must not restart the machine.
  Machine m;
  EXPECT_EQ(m.Run(".segment main start\n .word 0x0001\n"), 0);
  m.vm->runtime_error(28, "late");
  EXPECT_TRUE(m.vm->fatal());
}

TEST(Errors, RuntimeErrorOutsideTheTableIsDisplayedAndFatal) {
  // No tag name in the text and no error variable to store the message in.
  Machine m;
  ASSERT_EQ(m.Run(".segment main start\n lineno 2\n noop\n"), 1);
  m.vm->runtime_error(76, "odd");
  EXPECT_TRUE(m.vm->fatal());
  ASSERT_EQ(m.app.runtime.size(), 1u);
  EXPECT_EQ(m.app.runtime[0].tag, 76);
  EXPECT_TRUE(m.app.runtime[0].display);
  EXPECT_EQ(m.app.runtime[0].text, "Runtime error in dir/test.pxc @ [00000000:00000008]: Line 2: odd\n");
  EXPECT_TRUE(HasHeader(m.app, "Status", "500 Internal Server Error"));
  EXPECT_EQ(m.script.globals()->Entries(), 0);
}

TEST(Errors, PendingTagsPopTheirAttributes) {
  // op_httpn takes its attribute count from the second operand.
  Machine m;
  EXPECT_EQ(m.Run(".segment main start\n tagerror 14, 1\n pushc \"keep\"\n"
                  " pushc \"a\"\n pushc \"b\"\n pushc \"c\"\n .word 0x5113\n .dword 0\n .dword 3\n"
                  " out\n"),
            1);
  EXPECT_EQ(m.app.output, "keep");
  ASSERT_EQ(m.app.runtime.size(), 1u);
  EXPECT_NE(m.app.runtime[0].text.find("PxCALL: Not implemented"), std::string::npos);
}

TEST(Errors, InvalidDictionaryReference) {
  Machine dict;
  EXPECT_EQ(dict.Run(".segment main start\n .word 0x4001\n .dword 999\n"), 0);
  ASSERT_EQ(dict.app.fatal.size(), 1u);
  EXPECT_NE(dict.app.fatal[0].find("Invalid dictionary reference"), std::string::npos);

}

}  // namespace
}  // namespace testing_vm
}  // namespace pexo
