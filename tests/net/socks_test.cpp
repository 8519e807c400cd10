// SOCKS 4 and 5: the exchanges byte for byte against a scripted proxy (every
// reply the reader must refuse), then through a real proxy (danted).
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "net/posix_network_manager.h"
#include "net_peers.h"

namespace pexo {
namespace {

using testing_net::ReadBytes;
using testing_net::ScriptedPeer;
using testing_net::Text;
using testing_net::WriteBytes;

std::string B(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

struct Step {
  size_t expect;      // bytes the proxy reads before answering
  std::string reply;  // what it answers
};

struct SocksCase {
  const char* name;
  int version;
  std::string user, password, host;
  int port;
  std::vector<Step> steps;
  std::string expected_sent;
  std::string expected_error;  // empty: success
};

const std::string kOk5 = B({5, 0, 0, 1, 127, 0, 0, 1, 0x1f, 0x90});

std::vector<SocksCase> Cases() {
  std::string ten = B({1, 10, 0, 0, 1, 0, 80});
  std::string name = std::string("\x03\x0c", 2) + "example.test" + B({0, 80});
  std::string six = B({4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0x01, 0xbb});
  std::string request10 = B({5, 1, 0}) + ten;
  std::string login = B({1, 3}) + "bob" + B({2}) + "pw";
  return {
      {"socks4 granted", 4, "bob", "", "127.0.0.1", 0x1234,
       {{12, B({0, 0x5a, 0, 0, 0, 0, 0, 0})}},
       B({4, 1, 0x12, 0x34, 127, 0, 0, 1}) + "bob" + B({0}), ""},
      {"socks4 refused", 4, "", "", "127.0.0.1", 80, {{9, B({0, 0x5b, 0, 0, 0, 0, 0, 0})}},
       B({4, 1, 0, 80, 127, 0, 0, 1, 0}), "SOCKS4: Failed to connect to host (91)"},
      {"socks4 bad version", 4, "", "", "127.0.0.1", 80, {{9, B({4, 0x5a, 0, 0, 0, 0, 0, 0})}},
       B({4, 1, 0, 80, 127, 0, 0, 1, 0}), "SOCKS4: Unexpected version"},
      {"socks4 short reply", 4, "", "", "127.0.0.1", 80, {{9, B({0, 0x5a, 0})}},
       B({4, 1, 0, 80, 127, 0, 0, 1, 0}),
       "SOCKS4: Connect read error: Connection closed by remote host"},
      {"socks5 numeric IPv4 target", 5, "", "", "10.0.0.1", 80,
       {{3, B({5, 0})}, {10, kOk5}}, B({5, 1, 0}) + request10, ""},
      {"socks5 name target", 5, "", "", "example.test", 80, {{3, B({5, 0})}, {19, kOk5}},
       B({5, 1, 0, 5, 1, 0}) + name, ""},
      {"socks5 IPv6 target, IPv6 bound address", 5, "", "", "::1", 443,
       {{3, B({5, 0})}, {22, B({5, 0, 0, 4}) + std::string(18, '\0')}},
       B({5, 1, 0, 5, 1, 0}) + six, ""},
      {"socks5 user and password", 5, "bob", "pw", "10.0.0.1", 80,
       {{4, B({5, 2})}, {8, B({1, 0})}, {10, kOk5}},
       B({5, 2, 0, 2}) + login + request10, ""},
      {"socks5 user without password offers no login", 5, "bob", "", "10.0.0.1", 80,
       {{3, B({5, 0})}, {10, kOk5}}, B({5, 1, 0}) + request10, ""},
      {"socks5 login refused", 5, "bob", "pw", "10.0.0.1", 80, {{4, B({5, 2})}, {8, B({1, 1})}},
       B({5, 2, 0, 2}) + login, "SOCKS5: Authentication failed"},
      {"socks5 login reply version", 5, "bob", "pw", "10.0.0.1", 80,
       {{4, B({5, 2})}, {8, B({5, 0})}}, B({5, 2, 0, 2}) + login, "SOCKS5: Unexpected version"},
      {"socks5 no acceptable method", 5, "", "", "10.0.0.1", 80, {{3, B({5, 0xff})}},
       B({5, 1, 0}), "SOCKS5: No acceptable authentication methods"},
      {"socks5 greeting version", 5, "", "", "10.0.0.1", 80, {{3, B({4, 0})}}, B({5, 1, 0}),
       "SOCKS5: Unexpected version"},
      {"socks5 greeting cut short", 5, "", "", "10.0.0.1", 80, {{3, B({5})}}, B({5, 1, 0}),
       "SOCKS5: Greeting read error: Connection closed by remote host"},
      {"socks5 ruleset", 5, "", "", "10.0.0.1", 80, {{3, B({5, 0})}, {10, B({5, 2, 0, 1})}},
       B({5, 1, 0}) + request10, "SOCKS5: Connection not allowed by ruleset"},
      {"socks5 unreachable", 5, "", "", "10.0.0.1", 80, {{3, B({5, 0})}, {10, B({5, 4, 0, 1})}},
       B({5, 1, 0}) + request10, "SOCKS5: Host unreachable"},
      {"socks5 other failure", 5, "", "", "10.0.0.1", 80, {{3, B({5, 0})}, {10, B({5, 5, 0, 1})}},
       B({5, 1, 0}) + request10, "SOCKS5: Failed to connect to host (5)"},
      {"socks5 reply version", 5, "", "", "10.0.0.1", 80, {{3, B({5, 0})}, {10, B({4, 0, 0, 1})}},
       B({5, 1, 0}) + request10, "SOCKS5: Unexpected version"},
      {"socks5 reserved byte", 5, "", "", "10.0.0.1", 80, {{3, B({5, 0})}, {10, B({5, 0, 1, 1})}},
       B({5, 1, 0}) + request10, "SOCKS5: Unexpected response packet"},
      {"socks5 name as bound address", 5, "", "", "10.0.0.1", 80,
       {{3, B({5, 0})}, {10, B({5, 0, 0, 3, 4, 'a', 'b', 'c', 'd', 0, 1})}},
       B({5, 1, 0}) + request10, "SOCKS5: Unexpected address type"},
      {"socks5 bound address cut short", 5, "", "", "10.0.0.1", 80,
       {{3, B({5, 0})}, {10, B({5, 0, 0, 1, 127, 0})}}, B({5, 1, 0}) + request10,
       "SOCKS5: Client connection response error"},
      {"socks5 response header cut short", 5, "", "", "10.0.0.1", 80,
       {{3, B({5, 0})}, {10, B({5, 0})}}, B({5, 1, 0}) + request10,
       "SOCKS5: Client connection response error: Connection closed by remote host"},
      {"socks5 user name too long", 5, std::string(256, 'u'), "pw", "10.0.0.1", 80, {}, "",
       "SOCKS5: Username / password must be 255 characters or less"},
      {"socks5 target name too long for its length byte", 5, "", "", std::string(256, 'h'), 80,
       {}, "", "SOCKS5: Host name must be 255 characters or less"},
      {"unsupported version", 6, "", "", "10.0.0.1", 80, {}, "", "Unsupported SOCKS version"},
  };
}

TEST(Socks, ScriptedProxy) {
  for (const SocksCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    std::string sent;
    bool success = c.expected_error.empty();
    {
      ScriptedPeer proxy([&](int fd) {
        for (const Step& step : c.steps) {
          sent += ReadBytes(fd, step.expect, 2000);
          WriteBytes(fd, step.reply);
        }
        if (success) {
          // The connection now belongs to the target.
          sent += ReadBytes(fd, 4, 2000);
          WriteBytes(fd, "pong");
        }
        // Anything more the client sends is a fault.
        sent += ReadBytes(fd, 1, success ? 2000 : 300);
      });
      ASSERT_TRUE(proxy.ok());
      NetworkSettings settings;
      settings.socks_host = "127.0.0.1";
      settings.socks_port = proxy.port();
      settings.socks_version = c.version;
      settings.socks_username = String(c.user.data(), static_cast<int32_t>(c.user.size()));
      settings.socks_password = String(c.password.data(), static_cast<int32_t>(c.password.size()));
      PosixNetworkManager manager(settings);
      std::unique_ptr<NetworkConnection> connection =
          manager.OpenConnection(String(c.host.c_str()), c.port, 2);
      if (success) {
        ASSERT_TRUE(connection) << Text(manager.ErrorText());
        EXPECT_EQ(connection->Write("ping", 4, 2), 4);
        char reply[4];
        ASSERT_EQ(connection->Read(reply, 4, 2), 4);
        EXPECT_EQ(std::string(reply, 4), "pong");
      } else {
        EXPECT_FALSE(connection);
        EXPECT_EQ(Text(manager.ErrorText()), c.expected_error);
      }
      // A failed handshake has closed the proxy connection: the proxy's
      // last read ends at once and the bytes are all that was sent.
      connection.reset();
    }
    EXPECT_EQ(sent, c.expected_sent + (success ? "ping" : ""));
  }
}

// Real proxies on loopback: one without authentication for both versions,
// one that demands a user name and password (checked against the system's
// account the setup script adds; reading them needs root).
class DantedTest : public ::testing::Test {
 protected:
  static testing_net::ChildProcess* StartProxy(const char* name, const char* method, int port) {
    std::string config = *directory_ + "/" + name + ".conf";
    std::string text = "logoutput: stderr\ninternal: 127.0.0.1 port = " + std::to_string(port) +
                       "\nexternal: 127.0.0.1\nsocksmethod: " + method +
                       "\nclientmethod: none\n"
                       "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
                       "socks pass { from: 127.0.0.0/8 to: 127.0.0.0/8 command: connect }\n"
                       "socks block { from: 0.0.0.0/0 to: 0.0.0.0/0 }\n";
    FILE* f = fopen(config.c_str(), "w");
    if (f) {
      fputs(text.c_str(), f);
      fclose(f);
    }
    testing_net::ChildProcess* proxy = new testing_net::ChildProcess;
    proxy->Start({"danted", "-f", config, "-p", *directory_ + "/" + name + ".pid", "-N", "1"},
                 *directory_ + "/" + name + ".log");
    return proxy;
  }
  static void SetUpTestSuite() {
    directory_ = new std::string(testing_net::TempDirectory());
    port_ = testing_net::FreePort();
    proxy_ = StartProxy("open", "none", port_);
    login_port_ = testing_net::FreePort();
    login_proxy_ = StartProxy("login", "username", login_port_);
    up_ = testing_net::WaitForPort(port_) && testing_net::WaitForPort(login_port_);
  }
  static void TearDownTestSuite() {
    delete proxy_;
    delete login_proxy_;
    testing_net::Shell("rm -rf '" + *directory_ + "'");
    delete directory_;
  }

  void Through(int version, const char* host, int proxy_port = 0, const char* user = "",
               const char* password = "", const char* expected_error = "") {
    ASSERT_TRUE(up_) << testing_net::ReadFile(*directory_ + "/open.log")
                     << testing_net::ReadFile(*directory_ + "/login.log");
    ScriptedPeer target([](int fd) {
      std::string got = ReadBytes(fd, 5, 2000);
      WriteBytes(fd, "echo:" + got);
    });
    NetworkSettings settings;
    settings.socks_host = "127.0.0.1";
    settings.socks_port = proxy_port ? proxy_port : port_;
    settings.socks_version = version;
    settings.socks_username = user;
    settings.socks_password = password;
    PosixNetworkManager manager(settings);
    auto c = manager.OpenConnection(host, target.port(), 3);
    if (*expected_error) {
      EXPECT_FALSE(c);
      EXPECT_EQ(Text(manager.ErrorText()), expected_error);
      return;
    }
    ASSERT_TRUE(c) << Text(manager.ErrorText());
    ASSERT_EQ(c->Write("hello", 5, 2), 5);
    String line;
    char reply[16];
    int32_t got = 0, n;
    while (got < 10 && (n = c->Read(reply + got, 16 - got, 3)) > 0) got += n;
    EXPECT_EQ(std::string(reply, static_cast<size_t>(got)), "echo:hello");
  }

  static std::string* directory_;
  static testing_net::ChildProcess* proxy_;
  static testing_net::ChildProcess* login_proxy_;
  static int port_, login_port_;
  static bool up_;
};

std::string* DantedTest::directory_ = nullptr;
testing_net::ChildProcess* DantedTest::proxy_ = nullptr;
testing_net::ChildProcess* DantedTest::login_proxy_ = nullptr;
int DantedTest::port_ = 0;
int DantedTest::login_port_ = 0;
bool DantedTest::up_ = false;

TEST_F(DantedTest, Socks4) { Through(4, "127.0.0.1"); }
TEST_F(DantedTest, Socks5ByAddress) { Through(5, "127.0.0.1"); }
TEST_F(DantedTest, Socks5ByNameTheProxyResolves) { Through(5, "localhost"); }

TEST_F(DantedTest, Socks5Login) {
  if (geteuid() != 0 || !getpwnam("pexosocks"))
    GTEST_SKIP() << "the proxy checks passwords against the system's accounts: needs root and "
                    "the account scripts/setup.sh adds";
  Through(5, "127.0.0.1", login_port_, "pexosocks", "pexo-socks-test");
  Through(5, "localhost", login_port_, "pexosocks", "wrong", "SOCKS5: Authentication failed");
  Through(5, "127.0.0.1", login_port_, "", "",
          "SOCKS5: No acceptable authentication methods");
}

TEST_F(DantedTest, Socks5RefusedTarget) {
  ASSERT_TRUE(up_);
  NetworkSettings settings;
  settings.socks_host = "127.0.0.1";
  settings.socks_port = port_;
  settings.socks_version = 5;
  PosixNetworkManager manager(settings);
  // The ruleset allows loopback targets only.
  EXPECT_FALSE(manager.OpenConnection("10.255.255.1", 80, 3));
  EXPECT_EQ(Text(manager.ErrorText()), "SOCKS5: Connection not allowed by ruleset");
}

}  // namespace
}  // namespace pexo
