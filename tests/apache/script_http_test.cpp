// Programs running on the machine inside the real server: what the module
// hands the script (server variables, query string, form body, headers)
// and how the response leaves (length or streamed, status, time-out).
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "apache_server.h"
#include "http_exchange.h"

namespace pexo {
namespace testing_apache {
namespace {

const char kHello[] =
    ".identity \"hello\"\n"
    ".segment main start\n"
    "        pushc \"Hello, world!\"\n"
    "        out\n"
    "        exit\n";

// Prints "name=value;" for each variable the module supplies.
const char kVariables[] =
    ".identity \"variables\"\n"
    ".system apitype, nargs, arg1, arg2, arg3, REQUEST_METHOD, HTTP_X_PROBE, SERVER_PORT_SECURE, "
    "documenturl, PATH_INFO\n"
    ".segment main start\n"
    "        pushc \"api=\"\n        pushs apitype\n        cat\n"
    "        pushc \";nargs=\"\n        cat\n        pushs nargs\n        cat\n"
    "        pushc \";arg1=\"\n        cat\n        pushs arg1\n        cat\n"
    "        pushc \";arg2=\"\n        cat\n        pushs arg2\n        cat\n"
    "        pushc \";arg3=\"\n        cat\n        pushs arg3\n        cat\n"
    "        pushc \";method=\"\n        cat\n        pushs REQUEST_METHOD\n        cat\n"
    "        pushc \";probe=\"\n        cat\n        pushs HTTP_X_PROBE\n        cat\n"
    "        pushc \";secure=\"\n        cat\n        pushs SERVER_PORT_SECURE\n        cat\n"
    "        pushc \";url=\"\n        cat\n        pushs documenturl\n        cat\n"
    "        out\n"
    "        exit\n";

// Echoes two form or query fields.
const char kForm[] =
    ".identity \"form\"\n"
    ".global name, note\n"
    ".segment main start\n"
    "        pushg name\n        pushc \"|\"\n        cat\n        pushg note\n        cat\n"
    "        out\n"
    "        exit\n";

// About 1.3 MB, past the output's flush threshold.
const char kLarge[] =
    ".identity \"large\"\n"
    ".global i\n"
    ".segment main start\n"
    "        storegi i, 1\n"
    "loop:   cmpgi i, 20000\n"
    "        jmp_gt done\n"
    "        pushc \"0123456789012345678901234567890123456789012345678901234567890123\\n\"\n"
    "        out\n"
    "        incg i, 1\n"
    "        jmp loop\n"
    "done:   exit\n";

const char kForever[] =
    ".identity \"forever\"\n"
    ".segment main start\n"
    "loop:   jmp loop\n";

// Answers at once; its background task never ends.
const char kForeverTask[] =
    ".identity \"forever task\"\n"
    ".segment main start\n"
    "        async page\n"
    "loop:   jmp loop\n"
    "page:   pushc \"started\"\n"
    "        out\n"
    "        exit\n";

const char kBadInstruction[] =
    ".identity \"bad instruction\"\n"
    ".segment main start\n"
    "        .word 0x7ff7\n"
    "        exit\n";

class ScriptHttpTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (access(kApacheBinary, X_OK) != 0) return;
    server_ = new ApacheServer();
    std::string error;
    ok_ = server_->AddProgram("hello.pxc", kHello, &error) &&
          server_->AddProgram("variables.pxc", kVariables, &error) &&
          server_->AddProgram("form.pxc", kForm, &error) &&
          server_->AddProgram("large.pxc", kLarge, &error) &&
          server_->AddProgram("bad_instruction.pxc", kBadInstruction, &error) &&
          server_->AddFile("root/slow/forever.pxc", "") &&
          server_->AddProgram("slow/forever.pxc", kForever, &error) &&
          server_->AddFile("root/tasks/forever.pxc", "") &&
          server_->AddProgram("tasks/forever.pxc", kForeverTask, &error) &&
          server_->AddFile("root/post/form.pxc", "") &&
          server_->AddProgram("post/form.pxc", kForm, &error) &&
          server_->Start("</PexoScript><location path=\"/root/slow\"><PexoScript>"
                         "<timeouts global=\"1\"/></PexoScript></location>"
                         "<location path=\"/root/tasks\"><PexoScript>"
                         "<timeouts asynchronous=\"1\"/><debugLog file=\"" +
                             TaskTrace() + "\" level=\"0x8000000\"/></PexoScript></location>"
                         "<location path=\"/root/post\"><PexoScript>"
                         "<timeouts post=\"1\"/></PexoScript></location><PexoScript>",
                         "", &error);
    start_error_ = error;
  }
  static void TearDownTestSuite() {
    if (!server_) return;
    server_->Stop();
    std::string log = server_->ErrorLog();
    for (const char* sign : {"exit signal", "AddressSanitizer", "runtime error"}) {
      EXPECT_EQ(log.find(sign), std::string::npos) << log;
    }
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override {
    if (access(kApacheBinary, X_OK) != 0) GTEST_SKIP() << kApacheBinary << " is not installed";
    ASSERT_TRUE(ok_) << start_error_;
  }
  int port() const { return server_->port(); }
  // In a directory the server's children may write to.
  static std::string TaskTrace() { return server_->dir() + "/temp/task_trace.log"; }

  static ApacheServer* server_;
  static bool ok_;
  static std::string start_error_;
};

ApacheServer* ScriptHttpTest::server_ = nullptr;
bool ScriptHttpTest::ok_ = false;
std::string ScriptHttpTest::start_error_;

TEST_F(ScriptHttpTest, WholeResponseCarriesItsLength) {
  HttpReply reply = Request(port(), "GET", "/root/hello.pxc");
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.body, "Hello, world!");
  EXPECT_EQ(reply.Header("Content-Type"), "text/html");
  EXPECT_EQ(reply.Header("Content-Length"), "13");
  EXPECT_FALSE(reply.chunked);
  EXPECT_FALSE(reply.HasHeader("Set-Cookie"));  // cookies are off by default
}

TEST_F(ScriptHttpTest, FlushedResponseStreamsWithoutLength) {
  HttpReply reply = Request(port(), "GET", "/root/large.pxc");
  EXPECT_EQ(reply.status, 200);
  EXPECT_FALSE(reply.HasHeader("Content-Length"));
  EXPECT_TRUE(reply.chunked);
  EXPECT_EQ(reply.body.size(), 20000u * 65u);
  EXPECT_EQ(reply.body.substr(reply.body.size() - 65), std::string(
      "0123456789012345678901234567890123456789012345678901234567890123\n"));
}

TEST_F(ScriptHttpTest, ServerVariablesAndArguments) {
  struct Case {
    const char* target;
    const char* expected;
  } cases[] = {
      {"/root/variables.pxc?a+b%41",
       "api=Apache2;nargs=3;arg1=/root/variables.pxc;arg2=a;arg3=bA;method=GET;probe=on the "
       "wire;secure=0;url="},
      {"/root/variables.pxc",
       "api=Apache2;nargs=2;arg1=/root/variables.pxc;arg2=;arg3=;method=GET;probe=on the "
       "wire;secure=0;url="},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    HttpReply reply = Request(port(), "GET", c.target, "X-Probe: on the wire\r\n");
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body.rfind(c.expected, 0), 0u) << reply.body;
    EXPECT_NE(reply.body.find("url=http://localhost:" + std::to_string(port()) +
                              "/root/variables.pxc?"),
              std::string::npos)
        << reply.body;
  }
}

TEST_F(ScriptHttpTest, QueryStringAndFormFields) {
  HttpReply query = Request(port(), "GET", "/root/form.pxc?name=Bob&note=x%20y");
  EXPECT_EQ(query.body, "Bob|x y");
  HttpReply form = Request(port(), "POST", "/root/form.pxc",
                           "Content-Type: application/x-www-form-urlencoded\r\n",
                           "name=Ann&note=a%26b");
  EXPECT_EQ(form.status, 200);
  EXPECT_EQ(form.body, "Ann|a&b");
  // A body larger than one read of the server.
  std::string note(100000, 'n');
  HttpReply large = Request(port(), "POST", "/root/form.pxc",
                            "Content-Type: application/x-www-form-urlencoded\r\n",
                            "name=Big&note=" + note);
  EXPECT_EQ(large.body, "Big|" + note);
}

// One raw exchange, parsed.
HttpReply RawRequest(int port, const std::string& request) {
  std::vector<HttpReply> replies;
  if (!ParseReplies(Exchange(port, request), &replies) || replies.size() != 1) return HttpReply();
  return replies[0];
}

TEST_F(ScriptHttpTest, ChunkedBodiesReachTheScript) {
  std::string head = "POST /root/form.pxc HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n"
                     "Transfer-Encoding: chunked\r\nContent-Type: ";
  HttpReply form = RawRequest(port(), head + "application/x-www-form-urlencoded\r\n\r\n"
                                             "9\r\nname=Ann&\r\n8\r\nnote=a+b\r\n0\r\n\r\n");
  EXPECT_EQ(form.status, 200);
  EXPECT_EQ(form.body, "Ann|a b");
  // Without its closing delimiter a multipart body is incomplete.
  std::string part = "--q\r\nContent-Disposition: form-data; name=\"name\"\r\n\r\nBo";
  char size[16];
  std::snprintf(size, sizeof size, "%zx", part.size());
  HttpReply cut = RawRequest(port(), head + "multipart/form-data; boundary=q\r\n\r\n" + size +
                                         "\r\n" + part + "\r\n0\r\n\r\n");
  EXPECT_EQ(cut.status, 400);
  EXPECT_EQ(cut.body, "Incomplete POST data");
}

TEST_F(ScriptHttpTest, FailuresAnswerHonestStatuses) {
  HttpReply missing = Request(port(), "GET", "/root/missing.pxc");
  EXPECT_EQ(missing.status, 404);
  EXPECT_EQ(missing.body.rfind("Unable to execute '/root/missing.pxc': ", 0), 0u) << missing.body;
  HttpReply refused = Request(port(), "POST", "/root/form.pxc",
                              "Content-Type: application/json\r\n", "[#]");
  EXPECT_EQ(refused.status, 400);
  EXPECT_EQ(refused.body.rfind("Line #1 - Syntax error: ", 0), 0u) << refused.body;
}

TEST_F(ScriptHttpTest, SlowBodyTimesOutWithTheRequestTimer) {
  auto start = std::chrono::steady_clock::now();
  // Announces 1000 bytes, sends 10 and waits.
  HttpReply reply = RawRequest(port(), "POST /root/post/form.pxc HTTP/1.1\r\nHost: localhost\r\n"
                                       "Connection: close\r\n"
                                       "Content-Type: application/x-www-form-urlencoded\r\n"
                                       "Content-Length: 1000\r\n\r\nname=slow&");
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(reply.status, 408);
  EXPECT_EQ(reply.body, "Timeout processing POST data");
  EXPECT_GE(seconds, 0.9);
  EXPECT_LT(seconds, 3.0);
}

TEST_F(ScriptHttpTest, FatalErrorAnswers500) {
  HttpReply reply = Request(port(), "GET", "/root/bad_instruction.pxc");
  EXPECT_EQ(reply.status, 500);
  EXPECT_EQ(reply.Header("Content-Type"), "text/html");
  EXPECT_FALSE(reply.body.empty());
}

TEST_F(ScriptHttpTest, EndlessScriptIsStoppedByTheWatchdog) {
  auto start = std::chrono::steady_clock::now();
  HttpReply reply = Request(port(), "GET", "/root/slow/forever.pxc");
  auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
      std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(reply.status, 503);
  EXPECT_EQ(reply.body, "Application timed out");
  EXPECT_GE(seconds, 1);
  EXPECT_LE(seconds, 1 + 5 + 2);  // the deadline, one watchdog interval, slack
  // Other requests were served meanwhile and still are.
  EXPECT_EQ(Request(port(), "GET", "/root/hello.pxc").body, "Hello, world!");
}

// The task runs after its request has answered and is stopped at its own
// time-out (timeout_async) by the watchdog; the server serves meanwhile.
TEST_F(ScriptHttpTest, LoopingTaskStopsAtItsTimeOut) {
  auto start = std::chrono::steady_clock::now();
  HttpReply reply = Request(port(), "GET", "/root/tasks/forever.pxc");
  EXPECT_EQ(reply.body, "started");
  std::string trace;
  while (std::chrono::steady_clock::now() - start < std::chrono::seconds(12)) {
    EXPECT_EQ(Request(port(), "GET", "/root/hello.pxc").body, "Hello, world!");
    FILE* file = std::fopen(TaskTrace().c_str(), "rb");
    trace.clear();
    if (file) {
      char buffer[4096];
      size_t n;
      while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) trace.append(buffer, n);
      std::fclose(file);
    }
    if (trace.find("Application Timed Out") != std::string::npos) break;
    usleep(200 * 1000);
  }
  auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
      std::chrono::steady_clock::now() - start).count();
  EXPECT_NE(trace.find("Application Timed Out"), std::string::npos) << trace;
  EXPECT_GE(seconds, 1);
  EXPECT_LE(seconds, 1 + 5 + 2);  // the deadline, one watchdog interval, slack
}

}  // namespace
}  // namespace testing_apache
}  // namespace pexo
