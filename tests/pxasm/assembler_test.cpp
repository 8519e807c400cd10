#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <string>

#include "compiled_file.h"
#include "program/assembler.h"
#include "program/byte_sink.h"

namespace pexo {
namespace {

using testing::Build;
using testing::DictString;
using testing::Errors;
using testing::I32;
using testing::Section;
using testing::SegmentCode;
using testing::U32;

TEST(Assembler, EncodesInstructionsAndInternsStrings) {
  std::string f = Build(
      "; a page\n"
      "  pushc \"Hello\\n\"  ; comment\n"
      "  out\n"
      "  PUSHI -7\n"
      "  pushf 2.5\n"
      "  pushdc \"db\", \"Hello\\n\"\n"
      "  tagerror 3, 0x10\n"
      "  .word 0x0001\n"
      "  .bytes 0x40 255 \"ab\"\n"
      "  .dword -1\n"
      "  .double 0.5\n");
  ByteSink e;
  e.put16(0x4001); e.put32(0);
  e.put16(0x0015);
  e.put16(0x4002); e.put32(static_cast<uint32_t>(-7));
  e.put16(0x8003); e.put_double(2.5);
  e.put16(0x5008); e.put32(1); e.put32(0);
  e.put16(0x504B); e.put32(3); e.put32(0x10);
  e.put16(0x0001);
  e.put_bytes("\x40\xFF" "ab", 4);
  e.put32(0xFFFFFFFF);
  e.put_double(0.5);
  EXPECT_EQ(SegmentCode(f, 0), e.bytes());
  EXPECT_EQ(DictString(f, 0), "Hello\n");
  EXPECT_EQ(DictString(f, 1), "db");
}

TEST(Assembler, StringEscapes) {
  std::string f = Build(".string \"t\\tq\\\"b\\\\z\\0\\x41\\r\\n\\'\"\n");
  EXPECT_EQ(DictString(f, 0), std::string("t\tq\"b\\z\0A\r\n'", 12));
}

TEST(Assembler, JumpOffsetsCountFromTheEndOfTheJump) {
  std::string f = Build(
      "top:\n"
      "  noop\n"          // 0
      "  jmp next\n"      // 2, ends at 8 -> 0
      "next:\n"
      "  jmp_eq done\n"   // 8, ends at 14 -> +2
      "  add\n"           // 14
      "done: jmp top\n"   // 16, ends at 22 -> -22
      "  jmp 5\n");       // raw offsets pass through
  std::string c = SegmentCode(f, 0);
  EXPECT_EQ(I32(c, 4), 0);
  EXPECT_EQ(I32(c, 10), 2);
  EXPECT_EQ(I32(c, 18), -22);
  EXPECT_EQ(I32(c, 24), 5);
}

TEST(Assembler, NamesResolveByOperandRole) {
  std::string f = Build(
      ".system query_string, path_info\n"
      ".global counter, total\n"
      ".segment main start\n"
      "  pushs PATH_INFO\n"
      "  pushg Total\n"
      "  pushl counter\n"         // top level: locals are the globals
      "  call Add\n"              // forward reference
      "  cmpgg total, counter\n"
      "  storegi counter, 42\n"
      "  exit\n"
      ".segment lib\n"
      "  noop\n"
      ".function add(var acc, x) private\n"
      "  .local tmp\n"
      "  pushl x\n"
      "  popl TMP\n"
      "  pushg counter\n"
      "  retn\n"
      ".end\n"
      ".extern strlen(s)\n");
  std::string c = SegmentCode(f, 0);
  EXPECT_EQ(I32(c, 2), 1);    // path_info
  EXPECT_EQ(I32(c, 8), 1);    // total
  EXPECT_EQ(I32(c, 14), 0);   // counter
  EXPECT_EQ(I32(c, 20), 0);   // add is function 0
  EXPECT_EQ(I32(c, 26), 1);
  EXPECT_EQ(I32(c, 30), 0);
  EXPECT_EQ(I32(c, 36), 0);
  EXPECT_EQ(I32(c, 40), 42);
  std::string lib = SegmentCode(f, 1);
  EXPECT_EQ(I32(lib, 4), 1);  // x
  EXPECT_EQ(I32(lib, 10), 2); // tmp
  EXPECT_EQ(I32(lib, 16), 0); // global counter
  std::string func = Section(f, "func");
  ASSERT_EQ(U32(func, 3), 2u);
  size_t first = 7 + static_cast<size_t>(testing::I16(func, 0)) * 6 + 2 * 4;
  EXPECT_EQ(DictString(f, I32(func, first)), "add");
  EXPECT_EQ(I32(func, first + 4), 2);
  EXPECT_EQ(I32(func, first + 8), 0x20);
  EXPECT_EQ(I32(func, first + 12), 1);  // segment lib
  EXPECT_EQ(I32(func, first + 16), 2);  // after the noop
  EXPECT_EQ(I32(func, first + 24), 1);  // acc by reference
  EXPECT_EQ(I32(func, first + 36), 0);  // x by value
  EXPECT_EQ(I32(Section(f, "segs"), 4), 0);
}

TEST(Assembler, HeaderSectionsAndLocalizedTexts) {
  std::string f = Build(
      ".version 65537\n"
      ".identity \"build-7\"\n"
      ".dictflags 1\n"
      ".segment a\n"
      ".segment b\n"
      ".start b\n"
      ".localized \"en-US\" \"hi\" \"Hello, \" name \"!\"\n"
      ".section \"xtra\"\n"
      "  .bytes 1 2\n"
      "  .word 0x4C58\n"
      ".endsection\n"
      ".section 0\n"
      ".endsection\n"
      ".omit \"func\"\n"
      ".direntry \"zzzz\" -1 0\n");
  EXPECT_EQ(I32(f, 4), 65537);
  EXPECT_EQ(f.substr(8, 16), std::string("build-7") + std::string(9, '\0'));
  EXPECT_EQ(U32(Section(f, "dict"), 8), 1u);
  EXPECT_EQ(I32(Section(f, "segs"), 4), 1);
  EXPECT_EQ(Section(f, "xtra"), std::string("\x01\x02\x58\x4C", 4));
  EXPECT_EQ(Section(f, 0u), "");
  std::string locd = Section(f, "locd");
  ASSERT_EQ(U32(locd, 0), 3u);
  const char* texts[] = {"Hello, ", "name", "!"};
  uint32_t types[] = {1, 0, 1};
  int32_t next[] = {1, 2, -1};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(U32(locd, 4 + i * 12), types[i]);
    EXPECT_EQ(DictString(f, I32(locd, 8 + i * 12)), texts[i]);
    EXPECT_EQ(I32(locd, 12 + i * 12), next[i]);
  }
  std::string index = Section(f, std::string("LX\0\0", 4).c_str());
  EXPECT_EQ(U32(index, 3), 1u);
  EXPECT_EQ(I32(index, 25), 0);  // first piece
  uint32_t dir = U32(f, 24), entries = U32(f, 28);
  EXPECT_EQ(f.substr(dir + (entries - 1) * 12, 4), "zzzz");
  for (uint32_t i = 0; i < entries; ++i) EXPECT_NE(f.substr(dir + i * 12, 4), "func");
}

TEST(Assembler, EmptySourceStillHasOneSegment) {
  std::string f = Build("");
  std::string segs = Section(f, "segs");
  EXPECT_EQ(U32(segs, 0), 1u);
  EXPECT_EQ(U32(segs, 12), 0u);
}

struct ErrorCase {
  const char* source;
  const char* message;
};

TEST(Assembler, ErrorMessagesNameFileAndLine) {
  const ErrorCase cases[] = {
      {"noop\n\npushx 1\n", "prog.pxa:3: unknown mnemonic 'pushx'"},
      {".frobnicate\n", "prog.pxa:1: unknown directive '.frobnicate'"},
      {"pushc\n", "prog.pxa:1: 'pushc' expects 1 operand, got 0"},
      {"add 1\n", "prog.pxa:1: 'add' expects 0 operands, got 1"},
      {"pushdc \"a\"\n", "prog.pxa:1: 'pushdc' expects 2 operands, got 1"},
      {"pushi 2147483648\n", "prog.pxa:1: bad integer '2147483648' as operand 1 of 'pushi'"},
      {"pushi 12abc\n", "prog.pxa:1: bad integer '12abc' as operand 1 of 'pushi'"},
      {"pushf 1.2.3\n", "prog.pxa:1: bad number '1.2.3' as operand 1 of 'pushf'"},
      {"pushf \"x\"\n", "prog.pxa:1: bad number 'x' as operand 1 of 'pushf'"},
      {"pushi count\n",
       "prog.pxa:1: unexpected name 'count' as operand 1 of 'pushi': a number or a string is expected"},
      {"pushg \"x\"\n",
       "prog.pxa:1: a string cannot be operand 1 of 'pushg': a global variable name or a number is expected"},
      {"pushc \"abc\n", "prog.pxa:1: unterminated string"},
      {"pushc \"a\\qb\"\n", "prog.pxa:1: bad escape '\\q' in string"},
      {"pushc \"\\x4\"\n", "prog.pxa:1: bad escape '\\x' in string: two hex digits expected"},
      {"noop\npushi #3\n", "prog.pxa:2: unexpected character '#'"},
      {"jmp nowhere\n", "prog.pxa:1: unknown label 'nowhere'"},
      {"a:\nnoop\nA: noop\n", "prog.pxa:3: duplicate label 'A'"},
      {".global a\npushg b\n", "prog.pxa:2: unknown global variable 'b'"},
      {"pops qs\n", "prog.pxa:1: unknown system variable 'qs'"},
      {"pushl y\n", "prog.pxa:1: unknown global variable 'y'"},
      {".function f(a)\npushl b\n", "prog.pxa:2: unknown local variable 'b'"},
      {"call g\n", "prog.pxa:1: unknown function 'g'"},
      {".function f\n.end\n.function F\n", "prog.pxa:3: duplicate function 'F'"},
      {".function f(a, A)\n", "prog.pxa:1: duplicate parameter 'A' of function 'f'"},
      {".function f(a\n", "prog.pxa:1: missing ')' after the parameters of function 'f'"},
      {".function f() public\n", "prog.pxa:1: unknown function attribute 'public'"},
      {".local x\n", "prog.pxa:1: '.local' outside a function"},
      {".end\n", "prog.pxa:1: '.end' outside a function"},
      {".segment s\n.segment S\n", "prog.pxa:2: duplicate segment 'S'"},
      {".start nothere\n", "prog.pxa:1: unknown segment 'nothere'"},
      {".version\n", "prog.pxa:1: '.version' expects 1 argument, got 0"},
      {".version x\n", "prog.pxa:1: '.version' expects an integer, got 'x'"},
      {".identity \"12345678901234567\"\n", "prog.pxa:1: identity longer than 16 bytes"},
      {".section \"abc\"\n.endsection\n", "prog.pxa:1: section code must be 4 characters or a number, got 'abc'"},
      {".section \"abcd\"\n.bytes 1\n", "prog.pxa:1: '.section' without '.endsection'"},
      {".section \"abcd\"\npushi 1\n.endsection\n", "prog.pxa:2: instruction inside a raw section"},
      {".section \"abcd\"\n.global x\n.endsection\n",
       "prog.pxa:2: '.global' inside a raw section (missing '.endsection')"},
      {".endsection\n", "prog.pxa:1: '.endsection' without '.section'"},
      {".bytes 256\n", "prog.pxa:1: byte out of range '256'"},
      {".word 0x10000\n", "prog.pxa:1: word out of range '0x10000'"},
      {".bytes\n", "prog.pxa:1: '.bytes' expects at least one value"},
      {".header magic \"Pex\"\n", "prog.pxa:1: magic must be 4 bytes"},
      {".header size 1\n", "prog.pxa:1: unknown header field 'size'"},
      {".bits locals 16\n", "prog.pxa:1: bucket bits must be between 0 and 15"},
      {".bits stack 3\n",
       "prog.pxa:1: unknown hash 'stack' (system, global, locals, functions, languages or keys)"},
      {".localized \"en\" \"k\" \"a\"\n.localized \"EN\" \"K\" \"b\"\n",
       "prog.pxa:2: duplicate localized key 'K' for language 'EN'"},
      {".localized \"en\" \"k\" 5\n", "prog.pxa:1: localized text pieces are strings or token names, got '5'"},
      {"5\n", "prog.pxa:1: expected a mnemonic or a directive, got '5'"},
  };
  for (const ErrorCase& c : cases) EXPECT_EQ(Errors(c.source), c.message) << c.source;
}

TEST(Assembler, ReportsEveryErrorInLineOrder) {
  EXPECT_EQ(Errors("jmp later\nbogus\n.global g\npushg h\n"),
            "prog.pxa:1: unknown label 'later'\n"
            "prog.pxa:2: unknown mnemonic 'bogus'\n"
            "prog.pxa:4: unknown global variable 'h'");
  // Windows line ends are accepted.
  EXPECT_EQ(Errors("noop\r\nnope\r\n"), "prog.pxa:2: unknown mnemonic 'nope'");
}

std::string RunCommand(const std::string& command) {
  std::string out;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return "popen failed";
  char buffer[512];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
  int status = pclose(p);
  return out + "[exit " + std::to_string(WEXITSTATUS(status)) + "]";
}

TEST(PxasmTool, WritesTheFileOrReportsErrorsWithExitStatus) {
  std::string dir = PEXO_BINARY_DIR;
  std::string tool = dir + "/tools/pxasm";
  std::string source = dir + "/pxasm_tool_test.pxa";
  FILE* f = std::fopen(source.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs("pushc \"hi\"\nout\n", f);
  std::fclose(f);
  std::string output = dir + "/pxasm_tool_test.pxc";
  std::remove(output.c_str());
  EXPECT_EQ(RunCommand(tool + " " + source), "[exit 0]");
  f = std::fopen(output.c_str(), "rb");
  ASSERT_NE(f, nullptr) << "default output name";
  char magic[4] = {};
  EXPECT_EQ(std::fread(magic, 1, 4, f), 4u);
  std::fclose(f);
  EXPECT_EQ(std::string(magic, 4), "Pexo");

  f = std::fopen(source.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs("noop\npushq 1\n", f);
  std::fclose(f);
  EXPECT_EQ(RunCommand(tool + " -o " + dir + "/x.pxc " + source), source + ":2: unknown mnemonic 'pushq'\n[exit 1]");
  EXPECT_EQ(RunCommand(tool), "usage: pxasm [-o OUTPUT] SOURCE\n[exit 2]");
  EXPECT_EQ(RunCommand(tool + " " + dir + "/missing.pxa").find("cannot read '"), 0u);
  std::remove(source.c_str());
  std::remove(output.c_str());
}

}  // namespace
}  // namespace pexo

namespace pexo {
namespace {

TEST(Assembler, DocumentedExampleAssembles) {
  ProgramWriter w;
  String errors;
  std::string path = std::string(PEXO_SOURCE_DIR) + "/docs/examples/page.pxa";
  ASSERT_TRUE(AssembleFile(path.c_str(), &w, &errors)) << errors.c_str();
  EXPECT_EQ(w.segment_count(), 2);
  EXPECT_EQ(w.find_function("DOUBLE_IT"), 0);
  EXPECT_EQ(w.find_local(0, "result"), 2);
  std::string out;
  EXPECT_TRUE(w.build(&out, &errors));
}

}  // namespace
}  // namespace pexo

namespace pexo {
namespace {

TEST(Assembler, BadSecondOperandDropsTheWholeInstruction) {
  // The first operand's name must not be patched into code that was never
  // emitted.
  EXPECT_EQ(Errors(".global g\ncmpgg g, \"s\"\n"),
            "prog.pxa:2: a string cannot be operand 2 of 'cmpgg': a global variable name or a number is expected");
}

}  // namespace
}  // namespace pexo
