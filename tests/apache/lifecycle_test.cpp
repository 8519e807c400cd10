// The module's process life: the configuration file read at start-up and
// again on a graceful restart, a start-up refused for a file that cannot be
// read, and children that end cleanly when the server stops under load.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "apache_server.h"
#include "http_exchange.h"

namespace pexo {
namespace testing_apache {
namespace {

class LifecycleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access(kApacheBinary, X_OK) != 0) GTEST_SKIP() << kApacheBinary << " is not installed";
  }
};

TEST_F(LifecycleTest, GracefulRestartRereadsTheConfiguration) {
  ApacheServer server;
  std::string error;
  ASSERT_TRUE(server.AddFile("outside.pxc", ""));
  ASSERT_TRUE(server.Start("", "", &error)) << error;
  const std::string message =
      "Configuration Error: '/outside.pxc' is not contained in the configured script directory";
  HttpReply before = Request(server.port(), "GET", "/outside.pxc");
  EXPECT_EQ(before.status, 500);
  EXPECT_EQ(before.body, message);

  ASSERT_TRUE(server.WriteEngineConfig(
      "</PexoScript><location path=\"/\"><PexoScript serverAdmin=\"ops@example.org\"/>"
      "</location><PexoScript>"));
  ASSERT_TRUE(server.Restart(&error)) << error;
  // Children of the old generation may still take a connection or two
  // while they drain; the new file must be in force soon after.
  const std::string updated = message + ": Please contact the server administrator: ops@example.org";
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  HttpReply after;
  do {
    after = Request(server.port(), "GET", "/outside.pxc");
    EXPECT_EQ(after.status, 500);
    if (after.body == updated) break;
    ASSERT_EQ(after.body, message);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  } while (std::chrono::steady_clock::now() < deadline);
  EXPECT_EQ(after.body, updated);
  server.Stop();
  EXPECT_EQ(server.ErrorLog().find("exit signal"), std::string::npos) << server.ErrorLog();
}

// Requests still arriving while the server stops must not kill a child:
// each cycle stops it under load and reads the parent's log.
TEST_F(LifecycleTest, StopUnderLoadKillsNoChild) {
  const char program[] =
      ".identity \"busy\"\n"
      ".segment main start\n"
      "        pushc \"busy\"\n"
      "        out\n"
      "        exit\n";
  for (int cycle = 0; cycle < 6; ++cycle) {
    ApacheServer server;
    std::string error;
    ASSERT_TRUE(server.AddProgram("busy.pxc", program, &error)) << error;
    ASSERT_TRUE(server.Start("", "", &error)) << error;
    std::atomic<bool> done(false);
    std::atomic<int> answered(0);
    std::vector<std::thread> clients;
    for (int i = 0; i < 8; ++i) {
      clients.emplace_back([&] {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!done && std::chrono::steady_clock::now() < deadline) {
          if (Request(server.port(), "GET", "/root/busy.pxc").body == "busy") {
            ++answered;
          } else {
            // Refused once the server stops listening.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
          }
        }
      });
    }
    auto warm = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (answered < 20 && std::chrono::steady_clock::now() < warm) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    server.Stop();
    done = true;
    for (std::thread& client : clients) client.join();
    EXPECT_GE(answered.load(), 20) << "cycle " << cycle;
    std::string log = server.ErrorLog();
    ASSERT_EQ(log.find("exit signal"), std::string::npos) << "cycle " << cycle << ": " << log;
  }
}

TEST_F(LifecycleTest, UnreadableConfigurationStopsStartUp) {
  ApacheServer server;
  std::string error;
  std::string missing = server.dir() + "/missing.xml";
  EXPECT_FALSE(server.Start("", "PexoConfigFile " + missing + "\n", &error));
  EXPECT_NE(error.find("PexoConfigFile: "), std::string::npos) << error;
  EXPECT_NE(error.find(missing), std::string::npos) << error;
}

TEST_F(LifecycleTest, MalformedConfigurationStopsStartUp) {
  ApacheServer server;
  std::string error;
  EXPECT_FALSE(server.Start("<unclosed>", "", &error));
  EXPECT_NE(error.find("PexoConfigFile: "), std::string::npos) << error;
  EXPECT_NE(error.find("pexo.xml"), std::string::npos) << error;
}

}  // namespace
}  // namespace testing_apache
}  // namespace pexo
