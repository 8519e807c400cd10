// PxDO, captures and lock files in requests served over loopback HTTP by
// the standalone server.
#ifdef PEXO_HAVE_CIVETWEB

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "host/civetweb/standalone_server.h"
#include "http_exchange.h"
#include "serve_fixture.h"

namespace pexo {
namespace testing_serve {
namespace {

class TagServicesHttpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mkdir((site_.root() + "/parts").c_str(), 0755);
    // The called file counts its runs in the caller's global and captures
    // its own part of the page.
    site_.AddProgram("parts/part.pxc",
                     ".global runs, piece\n.segment main start\n incg runs, 1\n pushg piece\n"
                     " capture\n pushc \"part\"\n out\n pushg runs\n out\n capture_end\n");
    site_.AddProgram("page.pxc",
                     ".global runs, piece\n.segment main start\n pushc \"parts/part.pxc\"\n"
                     " op_do_file\n pushc \"parts/part.pxc\"\n op_do_file\n pushc \"[\"\n"
                     " pushg piece\n cat\n pushc \"]\"\n cat\n out\n pushg piece\n capture\n"
                     " pushc \"unsent\"\n out\n");
    // Holds a lock for a while; a lock left behind would make the next
    // request wait for the file time-out.
    site_.AddProgram("locked.pxc",
                     ".segment main start\n pushc \"shared\"\n lockfile\n pushc \"locked\"\n out\n");
    std::string config = site_.dir() + "/pexo.xml";
    std::ofstream(config) << "<configuration><PexoScript serverAdmin=\"\"><paths root=\"" +
                                 site_.root() + "\" data=\"" + site_.data() +
                                 "\"/><timeouts global=\"10\" file=\"5\"/></PexoScript>"
                                 "</configuration>";
    ServeOptions options;
    options.port = 0;
    options.site = site_.root();
    options.config = config;
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

TEST_F(TagServicesHttpTest, CalledFilesAndCapturesMakeThePage) {
  // Each request has its own contexts and globals; the capture left open at
  // the end drops its text and the page before it goes out whole.
  for (int i = 0; i < 2; ++i) {
    std::string reply = Get(port_, "/page.pxc");
    EXPECT_EQ(reply.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << reply;
    EXPECT_EQ(BodyOf(reply), "[part2]") << reply;
    EXPECT_EQ(HeaderOf(reply, "Content-Length"), "7") << reply;
  }
}

TEST_F(TagServicesHttpTest, LocksEndWithTheirRequests) {
  auto started = std::chrono::steady_clock::now();
  std::vector<std::thread> clients;
  std::vector<std::string> replies(4);
  for (size_t i = 0; i < replies.size(); ++i)
    clients.emplace_back([this, &replies, i] { replies[i] = Get(port_, "/locked.pxc"); });
  for (std::thread& client : clients) client.join();
  double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  for (const std::string& reply : replies) EXPECT_EQ(BodyOf(reply), "locked") << reply;
  EXPECT_LT(elapsed, 4.0);
  EXPECT_NE(access((site_.data() + "/shared.lck").c_str(), F_OK), 0);
}

}  // namespace
}  // namespace testing_serve
}  // namespace pexo

#endif  // PEXO_HAVE_CIVETWEB
