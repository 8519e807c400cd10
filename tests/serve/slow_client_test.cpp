// Slow clients against the standalone server on the loopback interface:
// connections that trickle their request head or idle after a kept-alive
// request must not hold every worker. At most 100 connections; each test
// closes its own and ends within a few seconds.
#ifdef PEXO_HAVE_CIVETWEB

#include <gtest/gtest.h>
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

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

class SlowClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    site_.AddProgram("page.pxc", ".segment main start\n pushc \"page\"\n out\n");
    site_.AddProgram("loop.pxc", ".segment main start\nagain: jmp again\n");
    std::string config = site_.dir() + "/pexo.xml";
    std::ofstream(config) << "<configuration><PexoScript serverAdmin=\"\"><paths root=\"" +
                                 site_.root() + "\" data=\"" + site_.data() +
                                 "\"/><timeouts global=\"1\"/></PexoScript></configuration>";
    ServeOptions options;
    options.port = 0;
    options.site = site_.root();
    options.config = config;
    options.header_timeout_ms = 1500;
    options.idle_timeout_ms = 1500;
    options.max_slow = 8;
    options.slow_after_ms = 200;
    std::string error;
    ASSERT_TRUE(server_.Start(options, &error)) << error;
    port_ = server_.port();
  }
  void TearDown() override {
    for (int fd : open_) close(fd);
    server_.StopAndClean();
  }
  // A connection that has sent `bytes` and is left open.
  int Hold(const std::string& bytes, int read_timeout_ms = 5000) {
    int fd = Connect(port_, read_timeout_ms);
    EXPECT_GE(fd, 0);
    if (fd < 0) return -1;
    open_.push_back(fd);
    EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    return fd;
  }

  Site site_;
  TestServer server_;
  int port_ = 0;
  std::vector<int> open_;
};

const char kHeadStart[] = "GET /page.pxc HTTP/1.1\r\nHost: localhost\r\n";
const char kWholeRequest[] = "GET /page.pxc HTTP/1.1\r\nHost: localhost\r\n\r\n";

TEST_F(SlowClientTest, IdleAndUnfinishedConnectionsAreClosedOnTime) {
  struct Case {
    const char* what;
    std::string sent;
  };
  const Case cases[] = {{"unfinished head", kHeadStart}, {"idle after a request", kWholeRequest}};
  for (const Case& c : cases) {
    auto start = Clock::now();
    int fd = Hold(c.sent);
    ReadAll(fd);  // until the server closes, or 5 s
    double elapsed = SecondsSince(start);
    EXPECT_GE(elapsed, 1.2) << c.what;
    EXPECT_LT(elapsed, 3.0) << c.what;
  }
}

TEST_F(SlowClientTest, OthersAreServedWhileSlowClientsHoldConnections) {
  // A request already running is never cut for being old.
  std::string looping;
  std::thread loop([&] { looping = Get(port_, "/loop.pxc"); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  // More than the 64 workers: 30 idle kept-alive connections and 65 heads
  // that never end.
  for (int i = 0; i < 30; ++i) Hold(kWholeRequest);
  for (int i = 0; i < 65; ++i) Hold(kHeadStart);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  auto start = Clock::now();
  int fd = Connect(port_, 2000);
  ASSERT_GE(fd, 0);
  std::string request = "GET /page.pxc HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n";
  ASSERT_EQ(write(fd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
  std::string reply = ReadAll(fd);
  close(fd);
  EXPECT_LT(SecondsSince(start), 1.0);
  EXPECT_EQ(BodyOf(reply), "page") << reply;
  loop.join();
  EXPECT_EQ(BodyOf(looping), "Application timed out") << looping;
}

}  // namespace
}  // namespace testing_serve
}  // namespace pexo

#endif  // PEXO_HAVE_CIVETWEB
