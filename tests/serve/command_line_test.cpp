// The `pexo run` command: options, set-up failures and the response it
// writes, through the library and through the built program.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "host/command_line.h"
#include "program/assembler.h"
#include "values/string.h"

namespace pexo {
namespace {

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/pexo_vm_cli_XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
  const std::string& path() const { return path_; }

  // Assembles `source` into `name` below the directory.
  void Compile(const std::string& name, const std::string& source) {
    std::string text_path = path_ + "/" + name + ".pxa";
    std::ofstream(text_path) << source;
    String errors;
    ASSERT_TRUE(AssembleToFile(text_path.c_str(), (path_ + "/" + name).c_str(), &errors))
        << errors.c_str();
  }

 private:
  std::string path_;
};

std::string RunCaptured(const RunOptions& options, int* code) {
  FILE* out = std::tmpfile();
  *code = RunScript(options, out);
  std::fflush(out);
  std::rewind(out);
  std::string text;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof(buffer), out)) > 0) text.append(buffer, n);
  std::fclose(out);
  return text;
}

TEST(RunOptions, ParsesEveryOption) {
  const char* argv[] = {"--root", "/r", "--data", "/d", "--temp", "/t", "--config", "c.xml",
                        "--query", "a=1", "--method", "POST", "--content-type", "text/plain",
                        "--body", "b.txt", "--header", "X-A: 1", "--header", "X-B: 2", "-i",
                        "page.pxc"};
  RunOptions options;
  std::string error;
  ASSERT_TRUE(ParseRunOptions(22, argv, &options, &error)) << error;
  EXPECT_EQ(options.root, "/r");
  EXPECT_EQ(options.data, "/d");
  EXPECT_EQ(options.temp, "/t");
  EXPECT_EQ(options.config, "c.xml");
  EXPECT_EQ(options.query, "a=1");
  EXPECT_EQ(options.method, "POST");
  EXPECT_EQ(options.content_type, "text/plain");
  EXPECT_EQ(options.body_file, "b.txt");
  ASSERT_EQ(options.headers.size(), 2u);
  EXPECT_EQ(options.headers[1], "X-B: 2");
  EXPECT_TRUE(options.include_headers);
  EXPECT_EQ(options.script, "page.pxc");
}

TEST(RunOptions, RejectsBadUsage) {
  struct Case {
    std::vector<const char*> args;
    const char* error;
  } cases[] = {
      {{}, "no script given"},
      {{"--root"}, "option --root needs a value"},
      {{"--frobnicate", "x.pxc"}, "unknown option --frobnicate"},
      {{"a.pxc", "b.pxc"}, "only one script may be given"},
      {{"--header", "novalue", "a.pxc"}, "option --header needs a value of the form 'Name: value'"},
  };
  for (const Case& c : cases) {
    RunOptions options;
    std::string error;
    EXPECT_FALSE(ParseRunOptions(static_cast<int>(c.args.size()), c.args.data(), &options, &error));
    EXPECT_EQ(error, c.error);
  }
  const char* no_command[] = {"pexo", "frobnicate"};
  FILE* sink = std::tmpfile();
  EXPECT_EQ(PexoCommand(2, no_command, sink, sink), 2);
  std::fclose(sink);
}

TEST(RunScript, WritesHeadAndBody) {
  TempDir dir;
  dir.Compile("page.pxc", ".segment main start\n pushc \"<b>hi</b>\"\n out\n");
  RunOptions options;
  options.root = dir.path();
  options.script = dir.path() + "/page.pxc";
  options.include_headers = true;
  int code = -1;
  std::string text = RunCaptured(options, &code);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(text,
            "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 9\r\n\r\n<b>hi</b>");
}

TEST(RunScript, FatalErrorIsShownEncodedWithStatus) {
  TempDir dir;
  std::system(("mkdir -p '" + dir.path() + "/sub'").c_str());
  dir.Compile("sub/bad.pxc", ".segment main start\n pushc \"<x>\"\n out\n sourcefile \"a&b.px\"\n"
                             " lineno 2\n .word 0x0001\n");
  RunOptions options;
  options.root = dir.path();
  options.script = dir.path() + "/sub/bad.pxc";
  options.include_headers = true;
  int code = -1;
  std::string text = RunCaptured(options, &code);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(text,
            "HTTP/1.1 500 Internal Server Error\r\nContent-Type: text/html\r\n\r\n"
            "<x>Fatal error in sub/bad.pxc @ [00000000:00000014]: a&amp;b.px: Line 2: "
            "Illegal Instruction\n");
}

TEST(RunScript, SetUpFailures) {
  TempDir dir;
  std::ofstream(dir.path() + "/junk.pxc") << "not a program";
  RunOptions options;
  options.root = dir.path();
  options.script = dir.path() + "/junk.pxc";
  int code = -1;
  std::string text = RunCaptured(options, &code);
  EXPECT_EQ(code, 1);
  EXPECT_EQ(text.rfind("Unable to execute 'junk.pxc': ", 0), 0u) << text;

  options.script = dir.path() + "/absent.pxc";
  text = RunCaptured(options, &code);
  EXPECT_EQ(code, 1);
  EXPECT_EQ(text, "Unable to execute '/absent.pxc': No such file or directory");

  TempDir other;
  other.Compile("out.pxc", ".segment main start\n");
  options.script = other.path() + "/out.pxc";
  text = RunCaptured(options, &code);
  EXPECT_EQ(code, 1);
  EXPECT_NE(text.find("Configuration Error: '"), std::string::npos);
  EXPECT_NE(text.find("' is not contained in the configured script directory"), std::string::npos);
}

TEST(RunScript, QueryHeadersAndBody) {
  TempDir dir;
  dir.Compile("echo.pxc", ".system arg2, HTTP_X_TEST\n.global a, b\n.segment main start\n"
                          " pushs arg2\n out\n pushc \"|\"\n out\n pushs HTTP_X_TEST\n out\n"
                          " pushc \"|\"\n out\n pushg a\n out\n pushc \"|\"\n out\n"
                          " pushg b\n out\n");
  std::ofstream(dir.path() + "/body.txt") << "b=posted+value";
  RunOptions options;
  options.root = dir.path();
  options.script = dir.path() + "/echo.pxc";
  options.query = "a=1";
  options.method = "POST";
  options.content_type = "application/x-www-form-urlencoded";
  options.body_file = dir.path() + "/body.txt";
  options.headers = {"X-Test: yes"};
  int code = -1;
  EXPECT_EQ(RunCaptured(options, &code), "a=1|yes|1|posted value");
  EXPECT_EQ(code, 0);
}

TEST(RunScript, GlobalTimeoutStopsALoopingScript) {
  TempDir dir;
  dir.Compile("loop.pxc", ".segment main start\n pushc \"started;\"\n out\nagain: jmp again\n");
  std::ofstream(dir.path() + "/pexo.xml")
      << "<configuration><PexoScript><timeouts global=\"1\"/></PexoScript></configuration>";
  RunOptions options;
  options.root = dir.path();
  options.config = dir.path() + "/pexo.xml";
  options.script = dir.path() + "/loop.pxc";
  int code = -1;
  auto started = std::chrono::steady_clock::now();
  std::string text = RunCaptured(options, &code);
  double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_EQ(code, 0);
  EXPECT_EQ(text, "started;Application timed out");
  // Whole-second deadline: past it within two seconds, plus one wake.
  EXPECT_GE(elapsed, 1.0);
  EXPECT_LT(elapsed, 4.0);
}

TEST(PexoProgram, RunsFromTheCommandLine) {
  TempDir dir;
  dir.Compile("p.pxc", ".global n\n.segment main start\n storegi n, 6\n pushg n\n pushi 7\n"
                       " mul\n out\n");
  std::string command = std::string(PEXO_BINARY_DIR) + "/tools/pexo run --root '" + dir.path() +
                        "' '" + dir.path() + "/p.pxc' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string text;
  char buffer[256];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) text.append(buffer, n);
  int status = pclose(pipe);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(text, "42");

  FILE* usage = popen((std::string(PEXO_BINARY_DIR) + "/tools/pexo 2>/dev/null").c_str(), "r");
  ASSERT_NE(usage, nullptr);
  EXPECT_EQ(WEXITSTATUS(pclose(usage)), 2);
}

}  // namespace
}  // namespace pexo
