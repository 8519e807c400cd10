// The module inside a real server: requests over loopback HTTP against
// Debian's apache2 (event MPM) with mod_pexo loaded.
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <thread>
#include <string>
#include <vector>

#include "apache_server.h"
#include "http_exchange.h"

namespace pexo {
namespace testing_apache {
namespace {

const char kHelloProgram[] =
    ".identity \"hello\"\n"
    ".segment main start\n"
    "        pushc \"Hello, world!\"\n"
    "        out\n"
    "        exit\n";

// Configuration sections under URL prefixes, for the error pages.
const char kEngineSections[] =
    "</PexoScript>\n"
    "<location path=\"/relative\"><PexoScript><paths root=\"site/root\"/></PexoScript></location>\n"
    "<location path=\"/admin\"><PexoScript serverAdmin=\"admin@example.org\">"
    "<paths root=\"site/root\"/></PexoScript></location>\n"
    "<PexoScript>";

class ModuleHttpTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (access(kApacheBinary, X_OK) != 0) return;
    server_ = new ApacheServer();
    std::string error;
    ok_ = server_->AddProgram("hello.pxc", kHelloProgram, &error) &&
          server_->AddProgram("index.pxc", kHelloProgram, &error) &&
          server_->AddFile("root/bad.pxc", "this is not a compiled program") &&
          server_->AddFile("root/empty.pxc", "") &&
          server_->AddFile("outside.pxc", "also outside the script root") &&
          server_->AddFile("relative/x.pxc", "") && server_->AddFile("admin/x.pxc", "") &&
          server_->AddFile("static.txt", "Hello, world!") &&
          server_->Start(kEngineSections, "", &error);
    start_error_ = error;
  }
  static void TearDownTestSuite() {
    if (!server_) return;
    // Once stopped, the parent has logged every child that died, and the
    // sanitizers' reports (the server's standard error) are in the log too.
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

  static ApacheServer* server_;
  static bool ok_;
  static std::string start_error_;
};

ApacheServer* ModuleHttpTest::server_ = nullptr;
bool ModuleHttpTest::ok_ = false;
std::string ModuleHttpTest::start_error_;

TEST_F(ModuleHttpTest, StaticFilesStayWithTheServer) {
  HttpReply reply = Request(port(), "GET", "/static.txt");
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.body, "Hello, world!");
  EXPECT_EQ(reply.Header("Content-Type"), "text/plain");
}

TEST_F(ModuleHttpTest, MissingProgramIsAPlainMessage) {
  HttpReply reply = Request(port(), "GET", "/root/missing.pxc");
  EXPECT_EQ(reply.status, 404);
  EXPECT_EQ(reply.Header("Content-Type"), "text/html");
  EXPECT_EQ(reply.body.rfind("Unable to execute '/root/missing.pxc': ", 0), 0u) << reply.body;
  EXPECT_GT(reply.body.size(), std::string("Unable to execute '/root/missing.pxc': ").size());
  // A message is flushed at once, so no length is announced.
  EXPECT_FALSE(reply.HasHeader("Content-Length"));
  EXPECT_TRUE(reply.chunked);
}

TEST_F(ModuleHttpTest, MessagesNeverEchoMarkup) {
  HttpReply reply = Request(port(), "GET", "/root/%3Cb%3E.pxc");
  EXPECT_EQ(reply.status, 404);
  EXPECT_EQ(reply.body.rfind("Unable to execute '/root/&", 0), 0u) << reply.body;
  EXPECT_EQ(reply.body.find('<'), std::string::npos) << reply.body;
}

TEST_F(ModuleHttpTest, CorruptAndEmptyProgramsAreRefused) {
  for (const char* name : {"bad.pxc", "empty.pxc"}) {
    SCOPED_TRACE(name);
    HttpReply reply = Request(port(), "GET", std::string("/root/") + name);
    EXPECT_EQ(reply.status, 500);
    EXPECT_EQ(reply.Header("Content-Type"), "text/html");
    EXPECT_EQ(reply.body.rfind(std::string("Unable to execute '") + name + "': ", 0), 0u)
        << reply.body;
  }
}

TEST_F(ModuleHttpTest, ConfigurationErrorsAnswer500) {
  struct Case {
    const char* target;
    const char* body;
  } cases[] = {
      {"/outside.pxc",
       "Configuration Error: '/outside.pxc' is not contained in the configured script directory"},
      {"/relative/x.pxc",
       "Configuration Error: The configured Pexo root directory must be an absolute path"},
      {"/admin/x.pxc",
       "Configuration Error: The configured Pexo root directory must be an absolute path: "
       "Please contact the server administrator: admin@example.org"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    HttpReply reply = Request(port(), "GET", c.target);
    EXPECT_EQ(reply.status, 500);
    EXPECT_EQ(reply.reason, "Internal Server Error");
    EXPECT_EQ(reply.Header("Content-Type"), "text/html");
    EXPECT_EQ(reply.body, c.body);
  }
}

TEST_F(ModuleHttpTest, HeadGetsHeadersWithoutBody) {
  std::string raw = Exchange(port(), "HEAD /outside.pxc HTTP/1.1\r\nHost: localhost\r\n"
                                     "Connection: close\r\n\r\n");
  EXPECT_EQ(raw.rfind("HTTP/1.1 500 Internal Server Error\r\n", 0), 0u) << raw;
  EXPECT_EQ(raw.find("Configuration Error"), std::string::npos) << raw;
}

// An unread request body must not leak into the next request of a
// kept-alive connection.
TEST_F(ModuleHttpTest, UnreadBodyDoesNotBreakKeepAlive) {
  std::string body = "name=value&other=" + std::string(20000, 'x');
  std::string raw = Exchange(
      port(),
      "POST /root/missing.pxc HTTP/1.1\r\nHost: localhost\r\n"
      "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
          std::to_string(body.size()) + "\r\n\r\n" + body +
          "POST /root/gone.pxc HTTP/1.1\r\nHost: localhost\r\nTransfer-Encoding: chunked\r\n"
          "Content-Type: text/plain\r\n\r\n5\r\nhello\r\n0\r\n\r\n"
          "GET /static.txt HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n");
  std::vector<HttpReply> replies;
  ASSERT_TRUE(ParseReplies(raw, &replies)) << raw;
  ASSERT_EQ(replies.size(), 3u) << raw;
  // A missing program does not end the connection (a 500 would).
  EXPECT_EQ(replies[0].status, 404);
  EXPECT_EQ(replies[1].status, 404);
  EXPECT_EQ(replies[1].body.rfind("Unable to execute '/root/gone.pxc'", 0), 0u);
  EXPECT_EQ(replies[2].status, 200);
  EXPECT_EQ(replies[2].body, "Hello, world!");
}

TEST_F(ModuleHttpTest, ConcurrentRequestsAllAnswer) {
  constexpr int kThreads = 8;
  constexpr int kEach = 10;
  std::vector<std::thread> threads;
  std::vector<int> good(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        HttpReply reply = Request(port(), "GET", i % 2 ? "/outside.pxc" : "/root/bad.pxc");
        bool right = i % 2 ? reply.status == 500 && reply.body.find("not contained") != std::string::npos
                           : reply.status == 500 && reply.body.rfind("Unable to execute", 0) == 0;
        good[t] += right;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(good[t], kEach) << "thread " << t;
}

}  // namespace
}  // namespace testing_apache
}  // namespace pexo
