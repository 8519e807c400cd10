// PxDO, captures, lock files and localized texts, through assembled programs
// run by `pexo run`.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "host/command_line.h"
#include "program/assembler.h"
#include "values/string.h"
#include "support/run_output.h"

namespace pexo {
namespace {

// A script root with a data directory below it.
class Site {
 public:
  Site() {
    char pattern[] = "/tmp/pexo_tags_XXXXXX";
    root_ = mkdtemp(pattern);
    mkdir((root_ + "/data").c_str(), 0755);
    mkdir((root_ + "/sub").c_str(), 0755);
  }
  ~Site() { std::system(("rm -rf '" + root_ + "'").c_str()); }

  void Compile(const std::string& name, const std::string& source) {
    std::string text = root_ + "/" + name + ".pxa";
    std::ofstream(text) << source;
    String errors;
    ASSERT_TRUE(AssembleToFile(text.c_str(), (root_ + "/" + name).c_str(), &errors))
        << name << ": " << errors.c_str();
  }
  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(root_ + "/" + name) << bytes;
  }
  // The body `pexo run` writes for `script`; `section` goes into the
  // configuration's section.
  std::string Run(const std::string& script, const std::string& section = "") {
    RunOptions options;
    options.root = root_;
    options.data = root_ + "/data";
    options.script = root_ + "/" + script;
    if (!section.empty()) {
      options.config = root_ + "/pexo.xml";
      std::ofstream(options.config) << "<configuration><PexoScript serverAdmin=\"\">" + section +
                                           "</PexoScript></configuration>";
    }
    return RunScriptOutput(options);
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(root_ + "/" + name);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  bool Exists(const std::string& name) const {
    return access((root_ + "/" + name).c_str(), F_OK) == 0;
  }
  const std::string& root() const { return root_; }

 private:
  std::string root_;
};

size_t Count(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

// A called file that shows whether its context was kept: it sets its
// machine's error prefix on the request's first run only (global
// `loaded`), then reports a displayed, non-fatal PxDO error. A kept context
// still has the prefix; a reloaded one has lost it.
const char kRemembers[] =
    ".global loaded, calls\n.segment main start\n"
    " tagerror 22, 1\n incg calls, 1\n pushg loaded\n jmp_ne skip\n"
    " pushc \"KEPT:\"\n errprefix\n pushi 1\n popg loaded\n"
    "skip: pushc \"missing.pxc\"\n op_do_file\n";

TEST(PxDo, ContextsAreCachedAndEvicted) {
  Site site;
  site.Compile("sub/b.pxc", kRemembers);
  site.Compile("sub/c.pxc", ".segment main start\n pushc \"C\"\n out\n");
  site.Compile("twice.pxc",
               ".global calls\n.segment main start\n"
               " pushc \"sub/b.pxc\"\n op_do_file\n pushc \"/sub/b.pxc\"\n op_do_file\n"
               " pushc \"calls=\"\n pushg calls\n cat\n out\n");
  site.Compile("evict.pxc",
               ".segment main start\n pushc \"sub/b.pxc\"\n op_do_file\n"
               " pushc \"sub/c.pxc\"\n op_do_file\n pushc \"sub/b.pxc\"\n op_do_file\n");
  // One load for two calls (relative and from the root name the same file);
  // the called file's global is the caller's.
  std::string twice = site.Run("twice.pxc");
  EXPECT_EQ(Count(twice, "KEPT:Runtime error in sub/b.pxc"), 2u) << twice;
  EXPECT_NE(twice.find("calls=2"), std::string::npos) << twice;
  // Without a limit b stays; with room for one context c evicts it and b
  // is loaded again.
  EXPECT_EQ(Count(site.Run("evict.pxc"), "KEPT:"), 2u);
  std::string evicted = site.Run("evict.pxc", "<limits maxDoCache=\"1\"/>");
  EXPECT_EQ(Count(evicted, "KEPT:"), 1u) << evicted;
  EXPECT_EQ(Count(evicted, "Runtime error in sub/b.pxc"), 2u) << evicted;
  EXPECT_EQ(Count(site.Run("evict.pxc", "<limits maxDoCache=\"2\"/>"), "KEPT:"), 2u);
}

TEST(PxDo, NestingScopesAndTrace) {
  Site site;
  // b calls itself while the caller's global allows; c runs while b is in
  // use, so with room for one context b must stay.
  site.Compile("b.pxc", ".global n\n.segment main start\n incg n, 1\n pushc \"b\"\n pushg n\n"
                        " cat\n out\n cmpgi n, 3\n jmp_ge done\n pushc \"b.pxc\"\n op_do_file\n"
                        "done: pushc \"c.pxc\"\n op_do_file\n pushc \";\"\n out\n");
  site.Compile("c.pxc", ".segment main start\n pushc \"c\"\n out\n");
  site.Compile("loop.pxc", ".segment main start\n pushc \"loop.pxc\"\n op_do_file\n");
  site.Compile("lib.pxc", ".segment main start\n");
  site.Compile("main.pxc",
               ".global n\n.segment main start\n pushc \"b.pxc\"\n op_do_file\n pushi 5\n"
               " call f\n out\n exit\n.segment lib\n.function f(x)\n"
               " pushc \"lib.pxc\"\n pushc \"x * 2\"\n op_do_function\n ret\n.end\n");
  EXPECT_EQ(site.Run("main.pxc", "<limits maxDoCache=\"1\"/>"), "b1b2b3c;c;c;10");
  // Unbounded recursion stops the request instead of the process.
  EXPECT_EQ(site.Run("loop.pxc"),
            "Fatal error in loop.pxc @ [00000000:00000006]: Too many nested PxDO calls\n");
  // Entering and leaving a called file are trace events.
  site.Run("main.pxc",
           "<debugLog file=\"" + site.root() + "/trace.log\" level=\"" +
               std::to_string(0x1000 | 0x2000) + "\"/>");
  std::string trace = site.Read("trace.log");
  EXPECT_EQ(Count(trace, "PxDO Enter"), 6u) << trace;
  EXPECT_EQ(Count(trace, "PxDO Exit"), 6u) << trace;
  EXPECT_NE(trace.find("PxDO Exit\tmain.pxc\t\t0\tb.pxc"), std::string::npos) << trace;
}

TEST(PxDo, FunctionsAndFailures) {
  Site site;
  site.Compile("lib.pxc",
               ".global g\n.segment main start\n pushc \"in lib;\"\n out\n pushc \"set\"\n popg g\n"
               ".segment code\n"
               ".function twice(x)\n pushl x\n pushi 2\n mul\n ret\n.end\n"
               ".function secret(x) private\n pushc \"S\"\n ret\n.end\n"
               ".function open() private\n pushc \"O\"\n ret\n.end\n"
               ".function viaopen()\n call open\n ret\n.end\n");
  site.Compile("words.pxc", ".localized \"en-US\" \"w\" \"word\"\n.localized \"de-DE\" \"w\" \"Wort\"\n"
                           ".segment main start\n localize \"w\"\n");
  site.Compile("crash.pxc", ".segment main start\n pushc \"x;\"\n out\n .word 0x0001\n");
  site.Write("garbage.pxc", "not a compiled file");
  site.Compile("nofunc.pxc", ".segment main start\n .omit \"func\"\n");
  struct Case {
    const char* body;
    const char* expected;  // the whole page, or a part of it when `part`
    bool part;
  } cases[] = {
      // Called file's globals are the caller's.
      {" pushc \"lib.pxc\"\n op_do_file\n pushg g\n out\n", "in lib;set", false},
      // A called file's own localized texts, in the request's language (its
      // index read after the file's handle was given back).
      {" pushc \"de-DE\"\n pops pexo_language\n pushc \"words.pxc\"\n op_do_file\n", "Wort", false},
      // An expression in the file's context; cached and reused.
      {" pushc \"lib.pxc\"\n pushc \"twice(21)\"\n op_do_function\n out\n"
       " pushc \",\"\n out\n pushc \"lib.pxc\"\n pushc \"twice(21)\"\n op_do_function\n out\n",
       "42,42", false},
      // A private function runs from the file's own code, not from an
      // expression compiled at run time.
      {" pushc \"lib.pxc\"\n pushc \"viaopen()\"\n op_do_function\n out\n", "O", false},
      {" pushc \"lib.pxc\"\n pushc \"secret(1)\"\n op_do_function\n out\n pushc \"after\"\n out\n",
       "Fatal error in lib.pxc @ [00000002:00000006]: Function is private\n", false},
      // A fatal error in the called file stops the caller too.
      {" pushc \"crash.pxc\"\n op_do_file\n pushc \"after\"\n out\n",
       "x;Fatal error in crash.pxc @ [00000000:00000008]: Illegal Instruction\n", false},
      // Failures are PxDO runtime errors; op_do_function then leaves the
      // null variable so the caller's stack stays balanced.
      {" tagerror 22, 1\n pushc \"none.pxc\"\n op_do_file\n pushc \"|\"\n out\n",
       "PxDO: No such file or directory\n|", true},
      {" tagerror 22, 1\n pushc \"garbage.pxc\"\n op_do_file\n",
       "PxDO: Unable to open 'garbage.pxc': ", true},
      {" tagerror 22, 1\n pushc \"nofunc.pxc\"\n op_do_file\n",
       "PxDO: Unable to execute 'nofunc.pxc': File is either corrupt or not a valid compiled Pexo "
       "Script file",
       true},
      {" tagerror 22, 1\n pushc \"[\"\n pushc \"lib.pxc\"\n pushc \"twice(\"\n op_do_function\n"
       " cat\n pushc \"]\"\n cat\n out\n",
       "PxDO: Mismatched Parentheses found in Expression\n[]", true},
      {" tagerror 22, 1\n pushc \"[\"\n pushc \"none.pxc\"\n pushc \"1\"\n op_do_function\n cat\n"
       " pushc \"]\"\n cat\n out\n",
       "No such file or directory\n[]", true},
  };
  for (const Case& c : cases) {
    site.Compile("main.pxc",
                 std::string(".system pexo_language\n.global g\n.segment main start\n") + c.body);
    std::string page = site.Run("main.pxc");
    if (c.part)
      EXPECT_NE(page.find(c.expected), std::string::npos) << c.body << "\n" << page;
    else
      EXPECT_EQ(page, c.expected) << c.body;
  }
}

TEST(Capture, DivertsNestsAndRestores) {
  Site site;
  struct Case {
    const char* body;
    const char* expected;
  } cases[] = {
      // Nested captures each take their own text; the outer sees what the
      // inner gave back.
      {" pushc \"a \"\n out\n pushg c\n capture\n pushc \"1\"\n out\n pushg d\n capture\n"
       " pushc \"2\"\n out\n capture_end\n pushc \"3\"\n out\n capture_end\n"
       " pushg c\n pushc \"/\"\n cat\n pushg d\n cat\n out\n",
       "a 13/2"},
      // A capture started in a function ends with its return: the text is
      // dropped and the caller's output is back.
      {" pushc \"a \"\n out\n call f\n pushc \"b\"\n out\n", "a b"},
      // A capture still open at the end of the request: the page written
      // before it is still sent.
      {" pushc \"before\"\n out\n pushg c\n capture\n pushc \"lost\"\n out\n", "before"},
      // Engine messages bypass the capture.
      {" pushg c\n capture\n capture_end\n capture_end\n pushc \"after\"\n out\n",
       "Fatal error in main.pxc @ [00000000:0000000a]: Invalid instruction\n"},
  };
  for (const Case& c : cases) {
    site.Compile("main.pxc", std::string(".global c, d\n.segment main start\n") + c.body +
                                 " exit\n.segment lib\n.function f()\n .local t\n pushl t\n"
                                 " capture\n pushc \"dropped\"\n out\n retn\n.end\n");
    EXPECT_EQ(site.Run("main.pxc"), c.expected) << c.body;
  }
}

TEST(Lockfile, HeldForItsScope) {
  Site site;
  struct Case {
    const char* body;
    const char* expected;
  } cases[] = {
      // Released at its end and by a return: taking it again succeeds
      // (the same thread taking a lock it holds is a deadlock).
      {" pushc \"k\"\n lockfile\n lockfile_end\n pushc \"k\"\n lockfile\n pushc \"ok\"\n out\n", "ok"},
      {" call f\n pushc \"k\"\n lockfile\n pushc \"ok\"\n out\n", "ok"},
      {" pushc \"k\"\n lockfile\n tagerror 23, 1\n pushc \"k\"\n lockfile\n",
       "Runtime error in main.pxc @ [00000000:00000018]: PxLOCKFILE: Error creating lockfile "
       "'k.lck': Possible deadlock detected\n"},
      {" lockfile_end\n", "Fatal error in main.pxc @ [00000000:00000000]: Invalid instruction\n"},
  };
  for (const Case& c : cases) {
    site.Compile("main.pxc", std::string(".segment main start\n") + c.body +
                                 " exit\n.segment lib\n.function f()\n pushc \"k\"\n lockfile\n"
                                 " retn\n.end\n");
    EXPECT_EQ(site.Run("main.pxc"), c.expected) << c.body;
    EXPECT_FALSE(site.Exists("data/k.lck")) << c.body;
  }
  // A path leaving the data directory is refused; a lock held when the
  // script stops with a fatal error is removed all the same.
  site.Compile("main.pxc", ".segment main start\n tagerror 23, 1\n pushc \"../x\"\n lockfile\n"
                           " pushc \"k\"\n lockfile\n .word 0x0001\n");
  std::string page = site.Run("main.pxc");
  EXPECT_NE(page.find("PxLOCKFILE: Error creating lockfile '../x.lck': "), std::string::npos)
      << page;
  EXPECT_NE(page.find("Illegal Instruction"), std::string::npos) << page;
  EXPECT_FALSE(site.Exists("data/k.lck"));
  EXPECT_FALSE(site.Exists("x.lck"));
}

TEST(Localized, LanguagesFallbackAndTokens) {
  Site site;
  const std::string texts =
      ".system pexo_language, pexo_defaultlanguage\n"
      ".localized \"en-US\" \"hi\" \"Hello, \" who \"!\"\n"
      ".localized \"en-US\" \"only\" \"default\"\n"
      ".localized \"de-DE\" \"hi\" \"Hallo \" who \" und \" other\n"
      ".segment main start\n";
  struct Case {
    const char* body;
    const char* expected;
  } cases[] = {
      {" pushs pexo_language\n pushc \"/\"\n cat\n pushs pexo_defaultlanguage\n cat\n out\n"
       " pushc \":\"\n out\n pushc \"Ann\"\n poplvnc \"who\"\n localize \"hi\"\n",
       "en-US/en-US:Hello, Ann!"},
      // Language names in any case; a key only the default language has.
      {" pushc \"de-de\"\n pops pexo_language\n pushc \"Bo\"\n poplvnc \"who\"\n localize \"hi\"\n"
       " pushc \"|\"\n out\n localize \"only\"\n",
       "Hallo Bo und |default"},
      // Tokens go with the text that used them; an unknown one adds nothing.
      {" pushc \"Ann\"\n poplvnc \"who\"\n localize \"hi\"\n localize \"hi\"\n",
       "Hello, Ann!Hello, !"},
      {" localizev \"only\"\n pushc \"[\"\n swap\n cat\n localizev \"nokey\"\n cat\n pushc \"]\"\n"
       " cat\n out\n",
       "[default]"},
      // A language the program lacks falls back; so does a changed default.
      {" pushc \"fr-FR\"\n pops pexo_language\n localize \"only\"\n", "default"},
      {" pushc \"fr-FR\"\n pops pexo_language\n pushc \"de-DE\"\n pops pexo_defaultlanguage\n"
       " pushc \"X\"\n poplvnc \"other\"\n localize \"hi\"\n localize \"only\"\n",
       "Hallo  und X"},
  };
  for (const Case& c : cases) {
    site.Compile("main.pxc", texts + c.body);
    EXPECT_EQ(site.Run("main.pxc"), c.expected) << c.body;
  }
}

TEST(Localized, DamagedTablesStopTheScript) {
  Site site;
  const std::string head = ".string \"k\" \"T\"\n.localized \"en-US\" \"k\" \"T\"\n";
  struct Case {
    std::string source;
    const char* message;
  } cases[] = {
      {head + ".section \"locd\"\n .dword 1 1 1 7\n.endsection\n",
       "TFatal error in main.pxc @ [00000000:00000000]: Invalid localized dictionary ID "
       "reference\n"},
      {head + ".section \"locd\"\n .dword 1 1 99 -1\n.endsection\n",
       "Fatal error in main.pxc @ [00000000:00000000]: Invalid dictionary reference\n"},
      // A chain that comes back to itself.
      {head + ".section \"locd\"\n .dword 1 1 1 0\n.endsection\n",
       "TFatal error in main.pxc @ [00000000:00000000]: Invalid localized dictionary ID "
       "reference\n"},
  };
  for (const Case& c : cases) {
    site.Compile("main.pxc", c.source + ".segment main start\n localize \"k\"\n pushc \"after\"\n out\n");
    EXPECT_EQ(site.Run("main.pxc"), c.message) << c.source;
  }
  // A language whose index section is missing: the reader's message, as a
  // runtime error of the tag.
  site.Compile("main.pxc", head + ".omit 0x584C\n.segment main start\n tagerror 24, 1\n"
                                  " localize \"k\"\n pushc \"|after\"\n out\n");
  std::string page = site.Run("main.pxc");
  EXPECT_EQ(page.rfind("Runtime error in main.pxc @ [00000000:0000000a]: PxLOCALIZED: ", 0), 0u)
      << page;
  EXPECT_NE(page.find("|after"), std::string::npos) << page;
}

// Commerce tags without a configured method or without an open tag.
TEST(Commerce, MessagesUnderTheCommand) {
  Site site;
  struct Case {
    const char* body;
    const char* expected;
  } cases[] = {
      {" tagerror 19, 1\n pushc \"NOPE\"\n pushc \"\"\n pushc \"a\"\n op_commerce x\n"
       " pushc \"body\"\n out\nx:\n pushc \"|\"\n pushg PxCOMMERCE_Error\n cat\n out\n",
       "Runtime error in main.pxc @ [00000000:0000001c]: PxCOMMERCE: Commerce method 'NOPE' is "
       "unsupported or not configured\n|Commerce method 'NOPE' is unsupported or not "
       "configured"},
      {" op_commerce_loop x\nx:\n", "Fatal error in main.pxc @ [00000000:00000000]: Invalid instruction\n"},
      {" op_commerce_stop x\nx:\n", "Fatal error in main.pxc @ [00000000:00000000]: Invalid instruction\n"},
  };
  for (const Case& c : cases) {
    site.Compile("main.pxc", std::string(".global PxCOMMERCE_Error\n.segment main start\n") + c.body);
    EXPECT_EQ(site.Run("main.pxc"), c.expected) << c.body;
  }
}

// A language index is read when first used: a damaged header or bucket is
// its own message, a runtime error of the tag, and the script goes on.
TEST(Localized, DamagedLanguageIndexNamesItsFault) {
  Site site;
  struct Case {
    const char* bytes;  // the index section: header, then buckets
    const char* message;
  } cases[] = {
      {"0 0  33  0 0 0 0  0 0 0 0", "localized_index_header.bucket_bits out of range"},
      {"0 0  29  0 0 0 0  0 0 0 0", "read_bucket_size out of range"},
      {"0 0  1  0xAB 0xAA 0xAA 0x0A  0 0 0 0", "localized_index_header.index_count out of range"},
      {"1 0  1  0 0 0 0  0 0 0 0  2 0 0 0 0 0", "localized_index_bucket.index out of range"},
  };
  for (const Case& c : cases) {
    site.Compile("main.pxc", std::string(".localized \"en-US\" \"k\" \"T\"\n"
                                         ".section 0x584C\n .bytes ") +
                                 c.bytes +
                                 "\n.endsection\n.segment main start\n tagerror 24, 1\n"
                                 " localize \"k\"\n pushc \"|after\"\n out\n");
    EXPECT_EQ(site.Run("main.pxc"),
              std::string("Runtime error in main.pxc @ [00000000:0000000a]: PxLOCALIZED: ") +
                  c.message + "\n|after")
        << c.bytes;
  }
}

}  // namespace
}  // namespace pexo
