// The standard library called from assembled programs run as requests
// (the command-line host, in-process): declared externs, arguments pushed by
// the program, results used by later instructions.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "host/command_line.h"
#include "program/assembler.h"
#include "values/string.h"
#include "support/run_output.h"

namespace pexo {
namespace {

class ScriptCallsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pexo_std_script_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    std::ofstream(dir_ + "/pexo.xml")
        << "<PexoScript><libraries><add type=\"0\" library=\"" PEXO_BINARY_DIR
           "/tools/libpexostd.so\"/></libraries></PexoScript>";
  }
  void TearDown() override {
    int rc = std::system(("rm -rf '" + dir_ + "'").c_str());
    (void)rc;
  }

  // Assembles `declarations` and a start segment of `code`, runs it and
  // returns the body it wrote.
  std::string Run(const std::string& declarations, const std::string& code) {
    std::string source = dir_ + "/p.pxa", program = dir_ + "/p.pxc";
    std::ofstream(source) << declarations << "\n.segment main start\n" << code << "\n";
    String errors;
    if (!AssembleToFile(source.c_str(), program.c_str(), &errors))
      return std::string("ASSEMBLY: ") + errors.c_str();
    RunOptions options;
    options.root = dir_;
    options.config = dir_ + "/pexo.xml";
    options.script = program;
    int code_run = 0;
    std::string text = RunScriptOutput(options, &code_run);
    if (code_run != 0) return "EXIT " + std::to_string(code_run) + ": " + text;
    return text;
  }

  std::string dir_;
};

struct Case {
  const char* family;
  const char* declarations;
  const char* code;
  const char* expected;
};

// Each program writes its results separated by "|".
const Case kCases[] = {
    {"text", ".extern upper(t)\n.extern replace(t, s, r)\n.extern mid(t, s, c)\n"
             ".extern pad(t, w, f)\n.extern length(t)",
     " pushc \"abc\"\n call upper\n out\n pushc \"|\"\n out\n"
     " pushc \"a-b-c\"\n pushc \"-\"\n pushc \"+\"\n call replace\n out\n pushc \"|\"\n out\n"
     " pushc \"abcdef\"\n pushi -2\n pushi 5\n call mid\n out\n pushc \"|\"\n out\n"
     " pushc \"7\"\n pushi -3\n pushc \"0\"\n call pad\n out\n pushc \"|\"\n out\n"
     " pushc \"h\\xc3\\xa9llo\"\n call length\n pushi 1\n add\n out",
     "ABC|a+b+c|ef|007|7"},
    {"numbers", ".extern round(n, d)\n.extern abs(n)\n.extern floor(n)\n.extern min(a, b)\n"
                ".extern isnumber(v)",
     " pushc \"2.345\"\n pushi 2\n call round\n out\n pushc \"|\"\n out\n"
     " pushc \"-2.50\"\n call abs\n out\n pushc \"|\"\n out\n"
     " pushc \"-2.1\"\n call floor\n out\n pushc \"|\"\n out\n"
     " pushc \"10\"\n pushc \"9\"\n call min\n out\n pushc \"|\"\n out\n"
     " pushc \"12abc\"\n call isnumber\n out\n pushc \"0x1F\"\n call isnumber\n out",
     "2.35|2.5|-3|9|01"},
    {"dates", ".extern dateformat(d, p)\n.extern dateadd(d, a, u)\n.extern datediff(f, t, u)\n"
              ".extern dayofweek(d)\n.extern dateparse(t, p)",
     " pushc \"2024-02-29 13:05:00\"\n pushc \"%a %d %b %Y %I:%M %p\"\n call dateformat\n out\n"
     " pushc \"|\"\n out\n"
     " pushc \"2024-01-31\"\n pushi 1\n pushc \"Months\"\n call dateadd\n out\n pushc \"|\"\n out\n"
     " pushc \"2024-01-01\"\n pushc \"2024-03-01\"\n pushc \"day\"\n call datediff\n out\n"
     " pushc \"|\"\n out\n"
     " pushc \"2024-03-03\"\n call dayofweek\n out\n pushc \"|\"\n out\n"
     " pushc \"30/02/2024\"\n pushc \"%d/%m/%Y\"\n call dateparse\n out",
     "Thu 29 Feb 2024 01:05 PM|2024-02-29 00:00:00|60|7|"},
    {"arrays", ".extern split(t, s)\n.extern sort(a, m)\n.extern join(a, s)\n.extern count(a)\n"
               ".extern search(a, v)\n.extern slice(a, s, c)",
     " pushc \"10,9,100\"\n pushc \",\"\n call split\n pushc \"\"\n call sort\n pushc \"-\"\n"
     " call join\n out\n pushc \"|\"\n out\n"
     " pushc \"a,b,,c\"\n pushc \",\"\n call split\n call count\n out\n pushc \"|\"\n out\n"
     " pushc \"a,b\"\n pushc \",\"\n call split\n pushc \"b\"\n call search\n out\n"
     " pushc \"|\"\n out\n"
     " pushc \"a,b,c,d\"\n pushc \",\"\n call split\n pushi 2\n pushi 2\n call slice\n"
     " pushc \"+\"\n call join\n out",
     "9-10-100|4|2|b+c"},
    {"encodings", ".extern urlencode(t)\n.extern base64encode(t)\n.extern base64decode(t)\n"
                  ".extern md5(t)\n.extern htmlencode(t)\n.extern jsonencode(v)\n"
                  ".extern jsondecode(t)\n.extern split(t, s)",
     " pushc \"a b&c\"\n call urlencode\n out\n pushc \"|\"\n out\n"
     " pushc \"foob\"\n call base64encode\n call base64decode\n out\n pushc \"|\"\n out\n"
     " pushc \"abc\"\n call md5\n out\n pushc \"|\"\n out\n"
     " pushc \"<b>\"\n call htmlencode\n out\n pushc \"|\"\n out\n"
     " pushc \"a,b\"\n pushc \",\"\n call split\n call jsonencode\n out\n pushc \"|\"\n out\n"
     " pushc \"{\\\"n\\\":[1,2]}\"\n call jsondecode\n pushc \"n\"\n memb\n pushi 2\n elem\n out",
     "a%20b%26c|foob|900150983cd24fb0d6963f7d28e17f72|&lt;b&gt;|[\"a\",\"b\"]|2"},
    {"variables", ".global x\n.extern type(v)\n.extern isempty(v)\n.extern isdefined(n)\n"
                  ".extern length(t)",
     " pushc \"x\"\n call length\n call type\n out\n pushc \"|\"\n out\n"
     " pushc \"\"\n call isempty\n out\n pushi 0\n call isempty\n out\n pushc \"|\"\n out\n"
     " storegi x, 5\n pushc \"g.x\"\n call isdefined\n out\n"
     " pushc \"nothere\"\n call isdefined\n out\n pushc \"nothere\"\n call isdefined\n out",
     "integer|10|100"},
};

TEST_F(ScriptCallsTest, EveryFamilyFromAProgram) {
  for (const Case& c : kCases) EXPECT_EQ(Run(c.declarations, c.code), c.expected) << c.family;
}

// By-value parameters get copies: the function cannot touch the caller's
// variables, scalars or aggregates.
TEST_F(ScriptCallsTest, ByValueArgumentsLeaveTheCallersVariablesAlone) {
  EXPECT_EQ(Run(".global s, list\n.extern upper(t)\n.extern split(t, s)\n.extern sort(a, m)\n"
                ".extern join(a, s)",
                " pushc \"abc\"\n popg s\n pushg s\n call upper\n out\n pushc \"|\"\n out\n"
                " pushg s\n out\n pushc \"|\"\n out\n"
                " pushc \"c,a,b\"\n pushc \",\"\n call split\n popg list\n"
                " pushg list\n pushc \"desc\"\n call sort\n pushc \"\"\n call join\n out\n"
                " pushc \"|\"\n out\n pushg list\n pushc \"\"\n call join\n out"),
            "ABC|abc|cba|cab");
}

// The results of one function fed into a loop: the cached call is reused
// and each result is a value of its own.
TEST_F(ScriptCallsTest, RepeatedCallsKeepTheirResultsApart) {
  EXPECT_EQ(Run(".global i, a, b\n.extern repeat(t, n)",
                " pushc \"x\"\n pushi 2\n call repeat\n popg a\n"
                " pushc \"y\"\n pushi 3\n call repeat\n popg b\n"
                " pushg a\n pushc \"|\"\n cat\n pushg b\n cat\n out\n"
                " storegi i, 0\nloop: cmpgi i, 100\n jmp_ge done\n pushg i\n pushi 1\n"
                " call repeat\n popg a\n incg i, 1\n jmp loop\ndone: pushc \"|\"\n out\n"
                " pushg a\n out"),
            "xx|yyy|99");
}

// Failures stop the run as fatal errors, shown entity-encoded.
TEST_F(ScriptCallsTest, FailuresAreFatalErrors) {
  struct Failure {
    const char* declarations;
    const char* code;
    const char* message;
  } failures[] = {
      {".extern repeat(t, n)", " pushc \"ab\"\n pushi 10000000\n call repeat\n out",
       "Fatal error in p.pxc @ [00000000:0000000c]: repeat&#40;&#41;: result would be longer than 16777216 "
       "bytes"},
      {".extern base64decode(t)", " pushc \"!!\"\n call base64decode\n out",
       "base64decode&#40;&#41;: the text is not valid base64"},
      {".extern nosuchfunction(t)", " pushc \"x\"\n call nosuchfunction\n out",
       "Unresolved call to external function 'nosuchfunction'"},
      {".extern length(t, u)", " pushc \"x\"\n pushc \"y\"\n call length\n out",
       "Number of parameters mismatch in call to external function"},
      {".extern length(var t)\n.global g", " pushg g\n call length\n out",
       "Parameter type mismatch in call to external function"},
  };
  for (const Failure& f : failures) {
    std::string out = Run(f.declarations, f.code);
    EXPECT_NE(out.find(f.message), std::string::npos) << f.declarations << ": " << out;
  }
}

}  // namespace
}  // namespace pexo
