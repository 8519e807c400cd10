// Plain connections: connecting over IPv4 and IPv6, reads, line reads and
// writes, and every time-out rule including the request deadline.
#include <errno.h>
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/logging_network_connection.h"
#include "net/posix_network_manager.h"
#include "net/socket_error.h"
#include "net_peers.h"

namespace pexo {
namespace {

using testing_net::DrainUntilClosed;
using testing_net::ReadBytes;
using testing_net::ScriptedPeer;
using testing_net::Text;
using testing_net::WriteBytes;

int64_t ElapsedMs(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               since)
      .count();
}

TEST(WaitMilliseconds, TimeOutRules) {
  struct Case {
    int32_t timeout, global;
    int64_t deadline_in;  // ms from now; 0 none
    int expected_min, expected_max;
  } cases[] = {
      {5, 90, 0, 5000, 5000},       // the operation's own time-out
      {0, 7, 0, 7000, 7000},        // 0 takes the global time-out
      {0, 0, 0, -1, -1},            // both 0: no limit
      {-3, 2, 0, 2000, 2000},       // a negative time-out counts as 0
      {30, 90, 1500, 1000, 1500},   // the deadline is nearer
      {0, 0, 1500, 1000, 1500},     // the deadline bounds even "no limit"
      {1, 0, 60000, 1000, 1000},    // the time-out is nearer
      {5, 0, -100, 0, 0},           // a passed deadline: no wait at all
  };
  for (const Case& c : cases) {
    RequestDeadline deadline;
    if (c.deadline_in != 0) deadline.Set(RequestDeadline::Now() + c.deadline_in);
    int wait = WaitMilliseconds(c.timeout, c.global, deadline);
    EXPECT_GE(wait, c.expected_min) << c.timeout << " " << c.global << " " << c.deadline_in;
    EXPECT_LE(wait, c.expected_max) << c.timeout << " " << c.global << " " << c.deadline_in;
  }
}

TEST(SocketError, Texts) {
  EXPECT_STREQ(SocketErrorNumberText(10061), "Connection refused");
  EXPECT_STREQ(SocketErrorNumberText(10067), "Too many processes");
  EXPECT_EQ(SocketErrorNumberText(10062), nullptr);
  struct Case {
    int error;
    const char* text;
  } cases[] = {
      {ECONNREFUSED, "Connection refused"},
      {ECONNRESET, "Connection reset by peer"},
      {EWOULDBLOCK, "Resource temporarily unavailable"},
      {EPIPE, "Cannot send after socket shutdown"},
      {ENETUNREACH, "Network is unreachable"},
      {ENOENT, "No such file or directory"},  // unmapped: the system's text
  };
  for (const Case& c : cases) EXPECT_EQ(Text(SocketErrorText(c.error)), c.text) << c.error;
}

TEST(Connection, ReadsLinesAcrossChunksAndReportsTheClose) {
  ScriptedPeer peer([](int fd) {
    WriteBytes(fd, "first line\r\nsecond, longer than a chunk\nrest");
    EXPECT_EQ(ReadBytes(fd, 5), "hello");
  });
  ASSERT_TRUE(peer.ok());
  NetworkSettings settings;
  PosixNetworkManager manager(settings);
  std::unique_ptr<NetworkConnection> c = manager.OpenConnection("127.0.0.1", peer.port(), 2);
  ASSERT_TRUE(c) << Text(manager.ErrorText());
  EXPECT_EQ(Text(c->PeerAddress()), "127.0.0.1");
  EXPECT_EQ(c->Write("hello", 5, 2), 5);
  String line;
  EXPECT_EQ(c->ReadLine(&line, 4, 2), 12);
  EXPECT_EQ(Text(line), "first line\r\n");
  EXPECT_EQ(c->ReadLine(&line, 4, 2), 28);
  EXPECT_EQ(Text(line), "second, longer than a chunk\n");
  // A last line without its feed: the close is an error, not a line.
  EXPECT_EQ(c->ReadLine(&line, 64, 2), -1);
  EXPECT_EQ(Text(c->ErrorText()), "Read Error: Connection closed by remote host");
  char buffer[16];
  EXPECT_EQ(c->Read(buffer, sizeof buffer, 2), 0);  // closed: 0, not an error
}

TEST(Connection, LineLengthIsCapped) {
  const int32_t cap = NetworkConnection::kMaxLineLength;
  ScriptedPeer peer([](int fd) {
    const size_t limit = NetworkConnection::kMaxLineLength;
    WriteBytes(fd, std::string(limit - 1, 'a') + "\n");
    // The over-long line's feed comes in the piece that crosses the cap.
    WriteBytes(fd, std::string(limit - 100, 'b'));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    WriteBytes(fd, std::string(110, 'b') + "\n");
  });
  NetworkSettings settings;
  PosixNetworkManager manager(settings);
  auto c = manager.OpenConnection("127.0.0.1", peer.port(), 2);
  ASSERT_TRUE(c);
  String line;
  EXPECT_EQ(c->ReadLine(&line, 8192, 2), cap);  // at the cap: still a line
  EXPECT_EQ(c->ReadLine(&line, 8192, 2), -1);
  EXPECT_EQ(Text(c->ErrorText()), "Read Error: Line too long");
}

TEST(Connection, ReadReturnsWhatArrivedThenZeroOnClose) {
  ScriptedPeer peer([](int fd) { WriteBytes(fd, "abc"); });
  NetworkSettings settings;
  PosixNetworkManager manager(settings);
  auto c = manager.OpenConnection("localhost", peer.port(), 2);
  ASSERT_TRUE(c) << Text(manager.ErrorText());
  char buffer[16];
  int32_t got = 0, n;
  while ((n = c->Read(buffer + got, static_cast<int32_t>(sizeof buffer) - got, 2)) > 0) got += n;
  EXPECT_EQ(n, 0);
  EXPECT_EQ(std::string(buffer, static_cast<size_t>(got)), "abc");
}

TEST(Connection, IPv6Loopback) {
  ScriptedPeer peer([](int fd) { WriteBytes(fd, "six\n"); }, true);
  if (!peer.ok()) GTEST_SKIP() << "no IPv6 loopback";
  NetworkSettings settings;
  PosixNetworkManager manager(settings);
  auto c = manager.OpenConnection("::1", peer.port(), 2);
  ASSERT_TRUE(c) << Text(manager.ErrorText());
  EXPECT_EQ(Text(c->PeerAddress()), "::1");
  String line;
  EXPECT_EQ(c->ReadLine(&line, 100, 2), 4);
}

TEST(Connection, ConnectFailures) {
  NetworkSettings settings;
  PosixNetworkManager manager(settings);
  int closed_port = testing_net::FreePort();
  EXPECT_FALSE(manager.OpenConnection("127.0.0.1", closed_port, 2));
  EXPECT_EQ(Text(manager.ErrorText()),
            "Error connecting to 127.0.0.1 on port " + std::to_string(closed_port) +
                ": Connection failed");
  EXPECT_FALSE(manager.OpenConnection("", 80, 2));
  EXPECT_EQ(Text(manager.ErrorText()), "Error looking up ''");
}

// A listener whose accept queue is full drops further connection requests,
// so the connect waits until its time-out.
TEST(Connection, ConnectTimesOut) {
  int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in in = {};
  in.sin_family = AF_INET;
  in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof in;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&in), length), 0);
  ASSERT_EQ(listen(listener, 0), 0);
  getsockname(listener, reinterpret_cast<sockaddr*>(&in), &length);
  int port = ntohs(in.sin_port);
  NetworkSettings settings;
  PosixNetworkManager manager(settings);
  std::vector<std::unique_ptr<NetworkConnection>> held;
  std::string error;
  for (int i = 0; i < 8 && error.empty(); ++i) {
    manager.deadline()->Set(RequestDeadline::Now() + 300);
    auto c = manager.OpenConnection("127.0.0.1", port, 5);
    if (c)
      held.push_back(std::move(c));
    else
      error = Text(manager.ErrorText());
  }
  close(listener);
  EXPECT_EQ(error, "Error connecting to 127.0.0.1 on port " + std::to_string(port) +
                       ": Connection timed out");
}

// A peer that never answers: each blocking call ends at its own time-out
// or at the request deadline, whichever comes first, with its message.
TEST(Connection, SilentPeerTimesOut) {
  std::atomic<bool> done(false);
  ScriptedPeer peer([&done](int) {
    // Holds the connection without reading a byte.
    for (int i = 0; i < 100 && !done; ++i) usleep(50000);
  });
  NetworkSettings settings;
  settings.timeout_global = 0;
  PosixNetworkManager manager(settings);
  auto c = manager.OpenConnection("127.0.0.1", peer.port(), 2);
  ASSERT_TRUE(c);
  char buffer[8];
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(c->Read(buffer, sizeof buffer, 1), -1);
  EXPECT_EQ(Text(c->ErrorText()), "Read Timeout");
  EXPECT_GE(ElapsedMs(start), 900);

  // Time-out 0 and global 0 would wait without limit; the deadline ends it.
  manager.deadline()->Set(RequestDeadline::Now() + 200);
  start = std::chrono::steady_clock::now();
  String line;
  EXPECT_EQ(c->ReadLine(&line, 64, 0), -1);
  EXPECT_EQ(Text(c->ErrorText()), "Read Timeout");
  EXPECT_LT(ElapsedMs(start), 1500);

  // A writer whose peer stops reading: the socket buffers fill up.
  manager.deadline()->Set(RequestDeadline::Now() + 300);
  std::vector<char> block(64 << 20, 'x');
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(c->Write(block.data(), static_cast<int32_t>(block.size()), 30), -1);
  EXPECT_EQ(Text(c->ErrorText()), "Write Timeout");
  EXPECT_LT(ElapsedMs(start), 2500);
  done = true;
}

TEST(Connection, DeadlinePassedFailsAtOnce) {
  ScriptedPeer peer([](int fd) { DrainUntilClosed(fd, 2000); });
  NetworkSettings settings;
  PosixNetworkManager manager(settings);
  auto c = manager.OpenConnection("127.0.0.1", peer.port(), 2);
  ASSERT_TRUE(c);
  manager.deadline()->Set(RequestDeadline::Now() - 1);
  auto start = std::chrono::steady_clock::now();
  char buffer[4];
  EXPECT_EQ(c->Read(buffer, sizeof buffer, 60), -1);
  EXPECT_EQ(Text(c->ErrorText()), "Read Timeout");
  EXPECT_LT(ElapsedMs(start), 500);
}

// Name lookups obey the deadline too; numeric addresses need no resolver.
TEST(Connection, LookupsHonourTheDeadline) {
  ScriptedPeer peer([](int) {});
  NetworkSettings settings;
  PosixNetworkManager manager(settings);
  String address;
  ASSERT_TRUE(manager.LookUp("localhost", &address)) << Text(manager.ErrorText());
  EXPECT_TRUE(Text(address) == "127.0.0.1" || Text(address) == "::1") << Text(address);
  manager.deadline()->Set(RequestDeadline::Now() - 1);
  EXPECT_FALSE(manager.LookUp("localhost", &address));
  EXPECT_EQ(Text(manager.ErrorText()), "Error looking up 'localhost'");
  EXPECT_FALSE(manager.OpenConnection("localhost", peer.port(), 5));
  EXPECT_EQ(Text(manager.ErrorText()), "Error looking up 'localhost'");
  EXPECT_TRUE(manager.LookUp("127.0.0.1", &address));
  EXPECT_EQ(Text(address), "127.0.0.1");
}

struct LogRecord {
  std::vector<std::pair<int, std::string>> blocks;
  static void Add(void* self, LoggingNetworkConnection::Direction d, const char* b, int32_t n) {
    static_cast<LogRecord*>(self)->blocks.emplace_back(d, std::string(b, static_cast<size_t>(n)));
  }
};

TEST(LoggingConnection, HandsEveryBlockToTheCallback) {
  ScriptedPeer peer([](int fd) {
    EXPECT_EQ(ReadBytes(fd, 4), "EHLO");
    WriteBytes(fd, "250 ok\r\nbye");
  });
  NetworkSettings settings;
  PosixNetworkManager manager(settings);
  auto inner = manager.OpenConnection("127.0.0.1", peer.port(), 2);
  ASSERT_TRUE(inner);
  LogRecord record;
  LoggingNetworkConnection c(std::move(inner), &LogRecord::Add, &record);
  EXPECT_EQ(c.Write("EHLO", 4, 2), 4);
  String line;
  EXPECT_EQ(c.ReadLine(&line, 64, 2), 8);
  char buffer[8];
  EXPECT_EQ(c.Read(buffer, 3, 2), 3);
  EXPECT_EQ(c.ReadLine(&line, 64, 2), -1);  // a failure is not logged
  EXPECT_EQ(Text(c.ErrorText()), "Read Error: Connection closed by remote host");
  std::vector<std::pair<int, std::string>> expected = {
      {LoggingNetworkConnection::kSent, "EHLO"},
      {LoggingNetworkConnection::kReceived, "250 ok\r\n"},
      {LoggingNetworkConnection::kReceived, "bye"}};
  EXPECT_EQ(record.blocks, expected);
}

}  // namespace
}  // namespace pexo
