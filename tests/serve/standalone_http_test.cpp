// Requests over real HTTP on the loopback interface against the standalone
// server running assembled programs.
#ifdef PEXO_HAVE_CIVETWEB

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "host/civetweb/standalone_server.h"
#include "http_exchange.h"
#include "serve_fixture.h"
#include "values/system_variable_hash.h"
#include "values/variable.h"

namespace pexo {
namespace testing_serve {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class StandaloneHttpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string vars = PrintSystemVariables({"PATH_INFO", "nargs", "documenturl"});
    site_.AddProgram("page.pxc", vars);
    site_.AddProgram("index.pxc", vars);
    site_.AddProgram("loop.pxc", ".segment main start\nagain: jmp again\n");
    site_.AddProgram("form.pxc",
                     ".global name\n.segment main start\n pushc \"name=\"\n out\n pushg name\n"
                     " out\n");
    site_.AddProgram("json.pxc",
                     ".system json_data\n.segment main start\n"
                     " pushc \"Content-Type: application/json\"\n out\n"
                     " pushs json_data\n pushc \"n\"\n memb\n pushi 1\n add\n out\n");
    site_.AddFile("bad.pxc", "garbage, not a program");
    site_.AddFile("style.css", "body{}");
    // Inside the site, where it must not be served.
    std::string config = site_.root() + "/pexo.xml";
    std::ofstream(config) << "<configuration><PexoScript vrkcallerid=\"true\" serverAdmin=\"\">"
                             "<paths root=\"" + site_.root() + "\" data=\"" + site_.data() +
                                 "\"/><timeouts global=\"1\" post=\"1\" asynchronous=\"1\"/>"
                             "<debugLog file=\"" + site_.dir() + "/trace.log\" level=\"0x8000000\"/>"
                             "</PexoScript></configuration>";
    ServeOptions options;
    options.port = 0;
    options.site = site_.root();
    options.config = config;
    options.deny = {"*.bak", "private"};
    std::string error;
    ASSERT_TRUE(server_.Start(options, &error)) << error;
    port_ = server_.port();
    ASSERT_GT(port_, 0);
  }
  void TearDown() override {
    server_.StopAndClean();
  }

  Site site_;
  TestServer server_;
  int port_ = 0;
};

TEST_F(StandaloneHttpTest, RunsProgramsWithDefaultHeaders) {
  std::string reply = Get(port_, "/page.pxc?a+b");
  EXPECT_EQ(reply.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << reply;
  EXPECT_NE(reply.find("Content-Type: text/html\r\n"), std::string::npos) << reply;
  EXPECT_NE(reply.find("Set-Cookie: vrkcallerid="), std::string::npos) << reply;
  std::string body = BodyOf(reply);
  EXPECT_NE(reply.find("Content-Length: " + std::to_string(body.size()) + "\r\n"),
            std::string::npos)
      << reply;
  EXPECT_EQ(body, "PATH_INFO=/page.pxc|nargs=3|documenturl=http://localhost:" +
                      std::to_string(port_) + "/page.pxc?|");
}

TEST_F(StandaloneHttpTest, DirectoryRunsDefaultFileAndStaticFilesAreServed) {
  EXPECT_EQ(BodyOf(Get(port_, "/")).rfind("PATH_INFO=/index.pxc|", 0), 0u);
  std::string css = Get(port_, "/style.css");
  EXPECT_EQ(css.rfind("HTTP/1.1 200", 0), 0u) << css;
  EXPECT_EQ(BodyOf(css), "body{}");
  std::ifstream log(server_.access_log());
  std::string all((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  EXPECT_NE(all.find("/style.css"), std::string::npos) << all;
}

TEST_F(StandaloneHttpTest, MissingAndCorruptProgramsGetMessages) {
  std::string missing = Get(port_, "/nothere.pxc");
  EXPECT_EQ(BodyOf(missing), "Unable to execute '/nothere.pxc': No such file or directory")
      << missing;
  EXPECT_EQ(missing.rfind("HTTP/1.1 404", 0), 0u) << missing;
  std::string corrupt = Get(port_, "/bad.pxc");
  EXPECT_EQ(BodyOf(corrupt).rfind("Unable to execute 'bad.pxc': ", 0), 0u) << corrupt;
  EXPECT_EQ(corrupt.rfind("HTTP/1.1 500", 0), 0u) << corrupt;
}

TEST_F(StandaloneHttpTest, ChunkedBodiesReachTheScript) {
  std::string head = "POST /form.pxc HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n"
                     "Transfer-Encoding: chunked\r\nContent-Type: ";
  std::string form = Exchange(port_, head + "application/x-www-form-urlencoded\r\n\r\n"
                                            "5\r\nname=\r\n7\r\nAnn+Lee\r\n0\r\n\r\n");
  EXPECT_EQ(form.rfind("HTTP/1.1 200", 0), 0u) << form;
  EXPECT_EQ(BodyOf(form), "name=Ann Lee") << form;
  // Without its closing delimiter a multipart body is incomplete.
  std::string part = "--q\r\nContent-Disposition: form-data; name=\"name\"\r\n\r\nBo";
  char size[16];
  std::snprintf(size, sizeof size, "%zx", part.size());
  std::string cut = Exchange(port_, head + "multipart/form-data; boundary=q\r\n\r\n" + size +
                                        "\r\n" + part + "\r\n0\r\n\r\n");
  EXPECT_EQ(cut.rfind("HTTP/1.1 400", 0), 0u) << cut;
  EXPECT_EQ(BodyOf(cut), "Incomplete POST data") << cut;
}

TEST_F(StandaloneHttpTest, SlowBodyTimesOutWithoutHoldingTheServer) {
  auto started = std::chrono::steady_clock::now();
  std::string slow;
  // Announces 1000 bytes, sends 10 and waits.
  std::thread client([&] {
    slow = Exchange(port_, "POST /form.pxc HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n"
                           "Content-Type: application/x-www-form-urlencoded\r\n"
                           "Content-Length: 1000\r\n\r\nname=slow&");
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::string quick = Get(port_, "/page.pxc");
  EXPECT_EQ(BodyOf(quick).rfind("PATH_INFO=/page.pxc|", 0), 0u) << quick;
  client.join();
  double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_EQ(slow.rfind("HTTP/1.1 408", 0), 0u) << slow;
  EXPECT_EQ(BodyOf(slow), "Timeout processing POST data") << slow;
  // The deadline is a whole second, noticed by a watchdog waking every 0.2 s;
  // the server's clock may read a hair ahead of ours.
  EXPECT_GE(elapsed, 0.95);
  EXPECT_LT(elapsed, 3.5);
}

TEST_F(StandaloneHttpTest, FormAndJsonPosts) {
  std::string form = Post(port_, "/form.pxc", "application/x-www-form-urlencoded",
                          "name=Ann+Lee&x=1");
  EXPECT_EQ(BodyOf(form), "name=Ann Lee") << form;
  std::string json = Post(port_, "/json.pxc", "application/json", "{\"n\": 41}");
  EXPECT_EQ(json.rfind("HTTP/1.1 200", 0), 0u) << json;
  EXPECT_EQ(BodyOf(json), "Content-Type: application/json42") << json;
  std::string broken = Post(port_, "/json.pxc", "application/json", "{\"n\": ");
  EXPECT_EQ(BodyOf(broken).find("42"), std::string::npos) << broken;
}

TEST_F(StandaloneHttpTest, MultipartUploadReachesTheCallbacks) {
  site_.AddProgram("up.pxc",
                   ".global got, note\n.segment main start\n pushg note\n out\n pushc \";\"\n"
                   " out\n pushg got\n out\n.segment functions\n"
                   ".function Pexo_ValidateFileUpload(f, n, t)\n pushi 0\n ret\n.end\n"
                   ".function Pexo_ProcessFileUpload(f, n, s, p, t, size)\n pushl n\n"
                   " pushc \"/\"\n cat\n pushl s\n cat\n pushc \"/\"\n cat\n pushl size\n cat\n"
                   " popg got\n retn\n.end\n");
  std::string body =
      "--q\r\nContent-Disposition: form-data; name=\"note\"\r\n\r\nhey\r\n"
      "--q\r\nContent-Disposition: form-data; name=\"f\"; filename=\"x.bin\"\r\n\r\n" +
      std::string(20000, 'u') + "\r\n--q--\r\n";
  std::string reply = Post(port_, "/up.pxc", "multipart/form-data; boundary=q", body);
  EXPECT_EQ(BodyOf(reply), "hey;x.bin/COMPLETE/20000") << reply;
  EXPECT_TRUE(FilesIn(site_.data()).empty());
}

TEST_F(StandaloneHttpTest, TimeOutWhileAnotherRequestCompletes) {
  auto started = std::chrono::steady_clock::now();
  std::string slow;
  std::thread looping([&] { slow = Get(port_, "/loop.pxc"); });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::string quick = Get(port_, "/page.pxc");
  EXPECT_EQ(BodyOf(quick).rfind("PATH_INFO=/page.pxc|", 0), 0u) << quick;
  looping.join();
  double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_EQ(BodyOf(slow), "Application timed out") << slow;
  EXPECT_EQ(slow.rfind("HTTP/1.1 503", 0), 0u) << slow;
  EXPECT_GE(elapsed, 1.0);
  EXPECT_LT(elapsed, 4.0);
}

// A background task that never ends is stopped at its own time-out
// (timeout_async) after its request has answered; the server serves on.
TEST_F(StandaloneHttpTest, LoopingTaskStopsAtItsTimeOutWhileTheServerServes) {
  site_.AddProgram("task.pxc",
                   ".segment main start\n async done\nspin: jmp spin\ndone:\n"
                   " pushc \"started\"\n out\n");
  std::string trace = site_.dir() + "/trace.log";
  EXPECT_EQ(BodyOf(Get(port_, "/task.pxc")), "started");
  auto started = std::chrono::steady_clock::now();
  int served = 0;
  while (ReadAll(trace).find("Application Timed Out") == std::string::npos &&
         std::chrono::steady_clock::now() - started < std::chrono::seconds(10)) {
    if (BodyOf(Get(port_, "/page.pxc")).rfind("PATH_INFO=/page.pxc|", 0) == 0) ++served;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_NE(ReadAll(trace).find("Application Timed Out"), std::string::npos);
  EXPECT_GE(elapsed, 0.9);
  EXPECT_LT(elapsed, 4.0);
  EXPECT_GE(served, 5);
}

TEST_F(StandaloneHttpTest, StaticContentNeverExposesProgramsSourcesOrOutsideFiles) {
  site_.AddProgram("Upper.PXC", ".segment main start\n pushc \"upper ran\"\n out\n");
  site_.AddFile("page.pxa", "SECRET source");
  site_.AddFile("notes.BAK", "SECRET notes");
  mkdir((site_.root() + "/private").c_str(), 0755);
  site_.AddProgram("private/page.pxc", ".segment main start\n pushc \"SECRET ran\"\n out\n");
  std::string outside = site_.dir() + "/outside";
  mkdir(outside.c_str(), 0755);
  std::ofstream(outside + "/secret.txt") << "SECRET outside";
  ASSERT_EQ(symlink(outside.c_str(), (site_.root() + "/link").c_str()), 0);
  ASSERT_EQ(symlink((site_.root() + "/style.css").c_str(), (site_.root() + "/inner.css").c_str()),
            0);
  struct Case {
    const char* target;
    const char* status;
    const char* body;  // expected with 200; else nothing "SECRET" may leak
  };
  const Case cases[] = {
      {"/Upper.PXC", "200", "upper ran"},  // runs as a program in any letter case
      {"/inner.css", "200", "body{}"},     // a link that stays inside is followed
      {"/page.pxa", "404", nullptr},
      {"/pexo.xml", "404", nullptr},
      {"/link/secret.txt", "404", nullptr},
      {"/notes.BAK", "404", nullptr},         // deny patterns ignore letter case
      {"/private/page.pxc", "404", nullptr},  // and refuse programs too
  };
  for (const Case& c : cases) {
    std::string reply = Get(port_, c.target);
    EXPECT_EQ(reply.rfind(std::string("HTTP/1.1 ") + c.status, 0), 0u) << c.target << reply;
    if (c.body) {
      EXPECT_EQ(BodyOf(reply), c.body) << c.target;
    } else {
      EXPECT_EQ(reply.find("SECRET"), std::string::npos) << c.target << reply;
      EXPECT_EQ(reply.find("<configuration>"), std::string::npos) << c.target << reply;
    }
  }
}

TEST_F(StandaloneHttpTest, RefusesAmbiguousLengthsAndZeroBytesInPaths) {
  const char* const heads[] = {
      "POST /form.pxc HTTP/1.1\r\nHost: localhost\r\nContent-Length: 12abc\r\n",
      "POST /form.pxc HTTP/1.1\r\nHost: localhost\r\nContent-Length: 0\r\nContent-Length: 12\r\n",
      "GET /page.pxc%00.txt HTTP/1.1\r\nHost: localhost\r\n",
  };
  // What follows a refused head is never taken as a request of its own.
  const std::string next = "GET /page.pxc HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n";
  for (const char* head : heads) {
    std::string reply = Exchange(port_, head + std::string("\r\n") + next);
    EXPECT_EQ(reply.rfind("HTTP/1.1 400", 0), 0u) << head << reply;
    EXPECT_EQ(reply.find("HTTP/1.", 1), std::string::npos) << head << reply;
    EXPECT_EQ(reply.find("PATH_INFO="), std::string::npos) << head << reply;
  }
}

TEST(StandaloneOptions, ParsesAndRejects) {
  ServeOptions options;
  std::string error;
  const char* good[] = {"--bind", "127.0.0.2", "--port", "9000", "--data", "/d",
                        "--deny", "*.bak", "--deny", ".*", "site"};
  ASSERT_TRUE(ParseServeOptions(11, good, &options, &error)) << error;
  EXPECT_EQ(options.deny, (std::vector<std::string>{"*.bak", ".*"}));
  EXPECT_EQ(options.bind, "127.0.0.2");
  EXPECT_EQ(options.port, 9000);
  EXPECT_EQ(options.data, "/d");
  EXPECT_EQ(options.site, "site");
  ServeOptions fresh;
  const char* no_site[] = {"--port", "9000"};
  EXPECT_FALSE(ParseServeOptions(2, no_site, &fresh, &error));
  const char* bad_port[] = {"--port", "70000", "site"};
  EXPECT_FALSE(ParseServeOptions(3, bad_port, &fresh, &error));
  EXPECT_EQ(error, "invalid port: 70000");
  const char* dangling[] = {"site", "--config"};
  EXPECT_FALSE(ParseServeOptions(2, dangling, &fresh, &error));
}

// Decodes a chunked body at the start of `text`; false on a framing error.
// `rest` gets what follows the last chunk.
bool Unchunk(const std::string& text, std::string* body, std::string* rest) {
  size_t at = 0;
  body->clear();
  for (;;) {
    size_t eol = text.find("\r\n", at);
    if (eol == std::string::npos) return false;
    size_t size = std::stoul(text.substr(at, eol - at), nullptr, 16);
    at = eol + 2;
    if (text.size() < at + size + 2 || text.compare(at + size, 2, "\r\n") != 0) return false;
    body->append(text, at, size);
    at += size + 2;
    if (size == 0) break;
  }
  *rest = text.substr(at);
  return true;
}

TEST_F(StandaloneHttpTest, KeepsConnectionsAliveWithFramedResponses) {
  // Two requests on one connection: the first keeps it open, the second
  // closes it. The first answer (a flushed message) has no length, so chunks.
  std::string reply = Exchange(port_,
                               "GET /bad.pxc HTTP/1.1\r\nHost: localhost\r\n\r\n"
                               "GET /page.pxc HTTP/1.1\r\nHost: localhost\r\n"
                               "Connection: close\r\n\r\n");
  size_t head_end = reply.find("\r\n\r\n");
  ASSERT_NE(head_end, std::string::npos) << reply;
  std::string head = reply.substr(0, head_end + 2);
  EXPECT_NE(head.find("Transfer-Encoding: chunked\r\n"), std::string::npos) << head;
  EXPECT_NE(head.find("Connection: keep-alive\r\n"), std::string::npos) << head;
  EXPECT_EQ(head.find("Content-Length"), std::string::npos) << head;
  std::string body, rest;
  ASSERT_TRUE(Unchunk(reply.substr(head_end + 4), &body, &rest)) << reply;
  EXPECT_EQ(body.rfind("Unable to execute 'bad.pxc': ", 0), 0u) << body;
  // The second answer follows on the same connection, framed by its length.
  EXPECT_EQ(rest.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << rest;
  EXPECT_NE(rest.find("Connection: close\r\n"), std::string::npos) << rest;
  EXPECT_EQ(rest.find("Transfer-Encoding"), std::string::npos) << rest;
  EXPECT_EQ(BodyOf(rest).rfind("PATH_INFO=/page.pxc|", 0), 0u) << rest;
}

TEST_F(StandaloneHttpTest, ClientsThatCannotTakeChunksGetClosedConnections) {
  struct Case {
    const char* request;
    const char* connection;
  };
  const Case cases[] = {
      {"GET /bad.pxc HTTP/1.0\r\n\r\n", "Connection: close\r\n"},
      {"GET /bad.pxc HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n",
       "Connection: close\r\n"},
      {"GET /bad.pxc HTTP/1.1\r\nHost: localhost\r\nConnection: Upgrade\r\n\r\n",
       "Connection: close\r\n"},
  };
  for (const Case& c : cases) {
    std::string reply = Exchange(port_, c.request);
    EXPECT_NE(reply.find(c.connection), std::string::npos) << c.request << reply;
    EXPECT_EQ(reply.find("Transfer-Encoding"), std::string::npos) << c.request << reply;
    EXPECT_EQ(BodyOf(reply).rfind("Unable to execute 'bad.pxc': ", 0), 0u) << reply;
  }
}

}  // namespace
}  // namespace testing_serve
}  // namespace pexo

#endif  // PEXO_HAVE_CIVETWEB
