// The commerce tag through served requests: configured methods, the order
// and arguments of the library calls, the body's passes, early stops,
// nesting, failures and their messages.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "../serve/serve_fixture.h"
#include "host/config_file.h"
#include "host/engine_process.h"
#include "host/server_application.h"
#include "program/assembler.h"
#include "values/string.h"

namespace pexo {
namespace {

using testing_serve::MemoryRequest;

const std::string kLibs = PEXO_TEST_LIB_DIR;

class CommerceSite : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(process_.Start());
    char pattern[] = "/tmp/pexo_commerce_XXXXXX";
    const char* made = mkdtemp(pattern);
    ASSERT_NE(made, nullptr);
    dir_ = made;
    mkdir((dir_ + "/root").c_str(), 0755);
    mkdir((dir_ + "/data").c_str(), 0755);
    std::string xml = "<configuration><PexoScript serverAdmin=\"\"><paths root=\"" + dir_ +
                      "/root\" data=\"" + dir_ + "/data\"/><libraries>"
                      "<add type=\"1\" code=\"SHOP\" library=\"" + kLibs + "/shop.so\"/>"
                      "<add type=\"1\" code=\"Loose\" library=\"" + kLibs + "/shop_loose.so\"/>"
                      "<add type=\"1\" code=\"BROKEN\" library=\"" + kLibs + "/shop_broken.so\"/>"
                      "<add type=\"1\" code=\"MISSING\" library=\"" + dir_ + "/none.so\"/>"
                      "</libraries></PexoScript></configuration>";
    ASSERT_TRUE(config_.LoadBuffer(xml.data(), xml.size(), "commerce.config"))
        << config_.ErrorText().c_str();
  }
  void TearDown() override {
    process_.Stop();
    if (dir_.rfind("/tmp/pexo_commerce_", 0) == 0) {
      int rc = std::system(("rm -rf '" + dir_ + "'").c_str());
      (void)rc;
    }
  }

  // Assembles `code` (after a prologue that makes PxCOMMERCE errors
  // non-fatal and an epilogue that prints the error variable) and serves it.
  std::string Run(const std::string& code, bool fatal_errors = false) {
    std::string source = ".global a, b, shop_calls\n.segment main start\n";
    if (!fatal_errors) source += "  tagerror 19 1\n";
    source += code +
              "  pushc \"{err=\"\n  pushc \"PxCOMMERCE_Error\"\n  pushn\n  cat\n"
              "  pushc \"}\"\n  cat\n  out\n  exit\n";
    std::string text_path = dir_ + "/page.pxa";
    std::ofstream(text_path) << source;
    String errors;
    EXPECT_TRUE(AssembleToFile(text_path.c_str(), (dir_ + "/root/page.pxc").c_str(), &errors))
        << errors.c_str();
    MemoryRequest request;
    request.variables["PATH_INFO"] = "/page.pxc";
    request.variables["PATH_TRANSLATED"] = dir_ + "/root/page.pxc";
    request.variables["QUERY_STRING"] = "";
    request.variables["REQUEST_METHOD"] = "GET";
    request.variables["SERVER_NAME"] = "localhost";
    {
      ServerApplication app(&request, &config_);
      app.Execute();
    }
    return request.response.body;
  }

  // A commerce loop over `method` with `second` and the field text "a, ,b"
  // whose body prints the two fields.
  static std::string Loop(const std::string& method, const std::string& second,
                          const std::string& label = "x") {
    return "  pushc \"" + method + "\"\n  pushc \"" + second + "\"\n  pushc \"a, ,b\"\n" +
           "  op_commerce " + label + "_end\n" + label + "_body:\n" +
           "  pushc \"(\"\n  pushg a\n  cat\n  pushc \",\"\n  cat\n  pushg b\n  cat\n"
           "  pushc \")\"\n  cat\n  out\n"
           "  op_commerce_loop " + label + "_body\n" + label + "_end:\n";
  }

  EngineProcess process_;
  ConfigFile config_;
  std::string dir_;
};

TEST_F(CommerceSite, LoopsWhileTheLibraryAsksAndCleansUpOnce) {
  struct Case {
    const char* method;
    const char* second;
    const char* page;
  } cases[] = {
      // Two passes: init, loop 0 (body), loop 1 (body), loop 2 ends.
      {"SHOP", "passes=2",
       "[init SHOP passes=2 n=2][loop 0](pass0,pass0)[loop 1](pass1,pass1)[loop 2]"
       "[cleanup 3]{err=}"},
      // No pass at all: the body never runs, cleanup still does.
      {"shop", "passes=0", "[init shop passes=0 n=2][loop 0][cleanup 1]{err=}"},
      // The four loose entries work the same; the method name is matched
      // without regard to case and handed over as the script wrote it.
      {"LOOSE", "passes=1", "[init LOOSE passes=1 n=2][loop 0](pass0,pass0)[loop 1][cleanup 2]{err=}"},
      // A failing loop call ends the loop and leaves the library's text.
      {"SHOP", "passes=5 fail_at=1",
       "[init SHOP passes=5 fail_at=1 n=2][loop 0](pass0,pass0)[loop 1][cleanup 2]"
       "{err=gateway down at pass 1}"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(Loop(c.method, c.second)), c.page) << c.method << " " << c.second;
  }
}

TEST_F(CommerceSite, StartFailuresSkipTheBodyWithTheirMessage) {
  struct Case {
    const char* method;
    const char* second;
    const char* calls;    // library records before the error
    const char* cleanup;  // and after it
    const char* error;
  } cases[] = {
      {"NOSUCH", "", "", "", "Commerce method 'NOSUCH' is unsupported or not configured"},
      {"BROKEN", "", "", "", "Unable to load commerce library descriptor table/functions"},
      {"SHOP", "init=fail", "[init SHOP init=fail n=2]", "[cleanup -1]", "card declined"},
  };
  for (const Case& c : cases) {
    std::string page = Run(Loop(c.method, c.second));
    SCOPED_TRACE(page);
    EXPECT_EQ(page.rfind(c.calls, 0), 0u);
    // Message, then cleanup, then the script goes on after the body.
    std::string after = std::string("PxCOMMERCE: ") + c.error + "\n" + c.cleanup + "{err=" +
                        c.error + "}";
    EXPECT_NE(page.find(after), std::string::npos);
    EXPECT_EQ(page.find("(pass"), std::string::npos);
  }
  // A library that cannot be loaded gives the loader's text.
  std::string page = Run(Loop("MISSING", ""));
  EXPECT_NE(page.find("none.so"), std::string::npos) << page;
  EXPECT_EQ(page.find("{err=}"), std::string::npos) << page;
}

TEST_F(CommerceSite, ErrorsAreFatalByDefault) {
  std::string page = Run(Loop("NOSUCH", "") + "  pushc \"after\"\n  out\n", true);
  EXPECT_NE(page.find("is unsupported or not configured"), std::string::npos) << page;
  EXPECT_EQ(page.find("after"), std::string::npos) << page;
}

TEST_F(CommerceSite, StopLeavesTheInnermostLoop) {
  // Outer loop of two passes; inside, a loop that would run five passes is
  // stopped in its first.
  std::string inner =
      "  pushc \"Loose\"\n  pushc \"passes=5\"\n  pushc \"b\"\n  op_commerce in_end\n"
      "in_body:\n  pushc \"<in>\"\n  out\n  op_commerce_stop in_end\n"
      "  op_commerce_loop in_body\nin_end:\n";
  std::string code = "  pushc \"SHOP\"\n  pushc \"passes=2\"\n  pushc \"a\"\n"
                     "  op_commerce out_end\nout_body:\n" +
                     inner + "  op_commerce_loop out_body\nout_end:\n";
  EXPECT_EQ(Run(code),
            "[init SHOP passes=2 n=1][loop 0]"
            "[init Loose passes=5 n=1][loop 0]<in>[cleanup 1]"
            "[loop 1]"
            "[init Loose passes=5 n=1][loop 0]<in>[cleanup 1]"
            "[loop 2][cleanup 3]{err=}");
}

TEST_F(CommerceSite, LoopOrStopWithoutATagIsAnInvalidInstruction) {
  for (const char* word : {"op_commerce_loop", "op_commerce_stop"}) {
    std::string page = Run(std::string("  ") + word + " 0\n  pushc \"after\"\n  out\n");
    EXPECT_NE(page.find("Invalid instruction"), std::string::npos) << word << page;
    EXPECT_EQ(page.find("after"), std::string::npos) << word << page;
  }
}

TEST_F(CommerceSite, AFunctionReturnInsideTheBodyCleansUp) {
  // The body returns from the function in its first pass.
  std::string code = "  call buy\n  pop\n  pushc \"back\"\n  out\n  jmp done\n"
         ".function buy()\n"
         "  pushc \"SHOP\"\n  pushc \"passes=3\"\n  pushc \"\"\n  op_commerce f_end\n"
         "f_body:\n  pushc \"<body>\"\n  out\n  retn\n  op_commerce_loop f_body\nf_end:\n"
         "  retn\n.end\ndone:\n";
  EXPECT_EQ(Run(code), "[init SHOP passes=3 n=0][loop 0]<body>[cleanup 1]back{err=}");
}

}  // namespace
}  // namespace pexo
