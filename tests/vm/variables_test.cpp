// Variables, scopes, aggregates and the stack's own limits.
#include <string>

#include "values/aggregate_index.h"
#include "vm/vm_stack.h"
#include "vm_harness.h"

namespace pexo {
namespace testing_vm {
namespace {

TEST(Variables, GlobalLocalAndSystemSlots) {
  Machine m;
  ASSERT_EQ(m.Run(".system query_string\n.global a, b\n.segment main start\n"
                  " pushc \"one\"\n popg a\n"
                  " pushl a\n pushc \"+\"\n cat\n popl b\n"  // top level: locals are globals
                  " pushs query_string\n isnull\n out\n"
                  " pushc \"x\"\n pops query_string\n"         // absent: discarded
                  " pushs query_string\n isnull\n out\n"),
            1);
  EXPECT_EQ(m.Global("a"), "one");
  EXPECT_EQ(m.Global("b"), "one+");
  EXPECT_EQ(m.app.output, "11");
}

TEST(Variables, NamesGivenAsText) {
  Machine m;
  ASSERT_EQ(m.Run(".global known\n.segment main start\n"
                  " pushc \"v1\"\n popnc \"g.known\"\n"
                  " pushc \"v2\"\n pushc \"fresh\"\n popn\n"   // unknown name: new global
                  " pushnc \"KNOWN\"\n out\n"
                  " pushc \"s.nothing\"\n pushn\n isnull\n out\n"
                  " pushc \"n\"\n pushc \"ab\\x00c\"\n popn\n"  // zero bytes dropped from names
                  " pushnc \"abc\"\n out\n"),
            1);
  EXPECT_EQ(m.Global("known"), "v1");
  EXPECT_EQ(m.Global("fresh"), "v2");
  EXPECT_EQ(m.app.output, "v11n");
}

TEST(Variables, MalformedPathIsFatal) {
  Machine m;
  EXPECT_EQ(m.Run(".segment main start\n pushnc \"a[x]\"\n out\n"), 0);
  ASSERT_EQ(m.app.fatal.size(), 1u);
  EXPECT_NE(m.app.fatal[0].find(": Array index must be positive integer\n"), std::string::npos);
}

TEST(Variables, StoreReferAndBind) {
  Machine m;
  ASSERT_EQ(m.Run(".global a, b, c\n.segment main start\n"
                  " pushc \"v\"\n pushg a\n store\n"
                  " pushg a\n pushg b\n refer\n"       // b refers to a
                  " pushc \"w\"\n popg b\n"
                  " pushg a\n bindg c\n"               // c is a itself
                  " pushc \"z\"\n popg c\n"
                  " pushg a\n out\n pushg b\n out\n"),
            1);
  EXPECT_EQ(m.app.output, "zz");
}

TEST(Variables, SystemSaveLevels) {
  Machine m;
  EXPECT_EQ(m.Run(".segment main start\n spush\n spop\n spop\n pushc \"no\"\n out\n"), 0);
  EXPECT_EQ(m.app.output, "");
  ASSERT_EQ(m.app.fatal.size(), 1u);
  EXPECT_NE(m.app.fatal[0].find("System variable stack underflow"), std::string::npos);
}

TEST(Aggregates, ElementsAndMembers) {
  Machine m;
  ASSERT_EQ(m.Run(".global a, s\n.segment main start\n"
                  " pushc \"x\"\n pushg a\n pushi 3\n elem\n store\n"
                  " pushc \"y\"\n pushg s\n pushc \"Name\"\n memb\n store\n"
                  " pushg a\n pushi 3\n elemq\n out\n"
                  " pushg a\n pushi 4\n elemq\n isnull\n out\n"
                  " pushg s\n pushc \"NAME\"\n membq\n out\n"
                  " pushg s\n pushc \"other\"\n membq\n isnull\n out\n"),
            1);
  EXPECT_EQ(m.app.output, "x1y1");
  Variable* a = m.GlobalVariable("a");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->ElementsUsed(), 1);  // elemq created nothing
}

TEST(Aggregates, NonPositiveIndexIsAnExpressionError) {
  Machine fatal;
  EXPECT_EQ(fatal.Run(".global a\n.segment main start\n pushg a\n pushi 0\n elem\n"
                      " pushc \"after\"\n out\n"),
            0);
  ASSERT_EQ(fatal.app.runtime.size(), 1u);
  EXPECT_EQ(fatal.app.runtime[0].tag, 62);
  EXPECT_NE(fatal.app.runtime[0].text.find("(in expression): Array index must be positive integer"),
            std::string::npos);
  EXPECT_EQ(fatal.Global("PxEXPRESSION_Error"), "Array index must be positive integer");

  // With the tag made non-fatal the array operand stands in for the element.
  Machine goes_on;
  EXPECT_EQ(goes_on.Run(".global a\n.segment main start\n tagerror 62, 1\n"
                        " pushc \"q\"\n popg a\n pushg a\n pushi -1\n elem\n out\n"),
            1);
  EXPECT_EQ(goes_on.app.output, "q");
}

TEST(Stack, DupSwapAndLimits) {
  Machine m;
  ASSERT_EQ(m.Run(".global a\n.segment main start\n"
                  " pushc \"v\"\n popg a\n"
                  " pushg a\n dup\n pop\n out\n"             // the owned copy survives
                  " pushi 1\n pushi 2\n swap\n sub\n out\n"
                  " pushi 1\n pushi 2\n pushi 3\n swapn 0, 2\n out\n out\n out\n"),
            1);
  EXPECT_EQ(m.app.output, "v1123");

  Machine bad;
  EXPECT_EQ(bad.Run(".segment main start\n pushi 1\n pushi 2\n pushi 3\n swapn 0, 5\n"), 0);
  ASSERT_EQ(bad.app.fatal.size(), 1u);
  EXPECT_NE(bad.app.fatal[0].find("Invalid stack reference"), std::string::npos);

  Machine under;
  EXPECT_EQ(under.Run(".segment main start\n pop\n"), 0);
  ASSERT_EQ(under.app.fatal.size(), 1u);
  EXPECT_NE(under.app.fatal[0].find("Stack underflow"), std::string::npos);
}

TEST(Stack, SwapKeepsEveryReference) {
  // Two pushes of one variable hold a reference each, and a dup shares one:
  // after swapping, popping everything leaves only the table's reference.
  const char* cases[] = {
      " pushg a\n pushg a\n swap\n pop\n pop\n",
      " pushg a\n pushi 1\n pushg a\n swapn 0, 2\n pop\n pop\n pop\n",
      " pushg a\n dup\n pushg a\n swapn 0, 2\n swap\n pop\n pop\n pop\n",
  };
  for (const char* code : cases) {
    Machine m;
    ASSERT_EQ(m.Run(std::string(".global a\n.segment main start\n pushc \"v\"\n popg a\n") + code), 1)
        << code;
    Variable* a = m.GlobalVariable("a");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->RefCount(), 1) << code;
  }
}

TEST(Stack, OverflowAtTheFiveHundredThirteenthPush) {
  std::string pushes;
  for (int i = 0; i < 512; ++i) pushes += " pushi 7\n";
  Machine full;
  EXPECT_EQ(full.Run(".segment main start\n" + pushes), 1);
  EXPECT_TRUE(full.app.fatal.empty());
  Machine over;
  EXPECT_EQ(over.Run(".segment main start\n" + pushes + " pushc \"x\"\n pushc \"y\"\n out\n"), 0);
  ASSERT_EQ(over.app.fatal.size(), 1u);
  EXPECT_NE(over.app.fatal[0].find("Stack overflow"), std::string::npos);
  EXPECT_EQ(over.app.output, "");
}

TEST(Stack, ConcatenationOwnership) {
  // A borrowed variable joined with a constant gives a fresh text; the
  // variable itself is untouched.
  Machine m;
  ASSERT_EQ(m.Run(".global a, b\n.segment main start\n"
                  " pushc \"ab\"\n popg a\n"
                  " pushg a\n dup\n cat\n popg b\n"
                  " pushg a\n pushg a\n pushc \"-\"\n cat\n cat\n popg b\n"
                  " pushg b\n out\n pushg a\n out\n"),
            1);
  EXPECT_EQ(m.app.output, "abab-ab");
}

TEST(Stack, DumpFormat) {
  Machine m;
  ASSERT_TRUE(m.Load(".segment main start\n"));
  PexoVM_Stack stack(m.vm.get(), 4);
  stack.push(42);
  stack.push_string("hi", 2, 3, false);
  testing::internal::CaptureStdout();
  stack.dump();
  std::string text = testing::internal::GetCapturedStdout();
  std::string expected =
      "SP = 2, SS = 4\n"
      "#   Type       D Data                                               Size\n"
      "0   Integer    n 42                                                 4 4\n"
      "1   String     n hi                                                 2 3\n\n";
  EXPECT_EQ(text, expected);
}

}  // namespace
}  // namespace testing_vm
}  // namespace pexo

namespace pexo {
namespace testing_vm {
namespace {

TEST(Hide, FieldsForScalarsAndAggregates) {
  Machine m;
  ASSERT_EQ(m.Run(".global a, s\n.segment main start\n"
                  " pushc \"x<y\"\n popg a\n"
                  " pushc \"2\"\n pushg s\n pushc \"b\"\n memb\n pushi 2\n elem\n store\n"
                  " pushc \"1\"\n pushg s\n pushc \"A\"\n memb\n store\n"
                  " pushc \" g.a , s,,nothing \"\n hide\n"),
            1);
  EXPECT_EQ(m.app.output,
            "<input type=\"hidden\" name=\"a\" value=\"x&lt;y\">"
            "<input type=\"hidden\" name=\"s:A\" value=\"1\">"
            "<input type=\"hidden\" name=\"s:b[2]\" value=\"2\">"
            "<input type=\"hidden\" name=\"nothing\" value=\"\">");
}

}  // namespace
}  // namespace testing_vm
}  // namespace pexo
