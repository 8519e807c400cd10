#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "values/config.h"
#include "io/buffered_output.h"
#include "io/capture_output.h"
#include "io/network_output.h"
#include "io/null_output.h"
#include "io/server_output.h"

namespace pexo {
namespace {

// Records what reaches the server; WriteBody may be told to take fewer bytes.
class FakeResponse : public ServerResponse {
 public:
  void DisableBuffering() override { buffering_disabled = true; }
  int SetStatus(int code, const char* reason, int32_t length) override {
    status = code;
    status_reason.assign(reason, static_cast<size_t>(length));
    return status_result;
  }
  int SetHeader(const char* name, int32_t name_length, const char* value, int32_t value_length,
                bool replace) override {
    EXPECT_FALSE(replace);
    headers.emplace_back(std::string(name, static_cast<size_t>(name_length)),
                         std::string(value, static_cast<size_t>(value_length)));
    return 1;
  }
  int32_t WriteBody(const char* data, int32_t length, bool) override {
    calls++;
    if (!results.empty()) {
      int32_t r = results.front();
      results.erase(results.begin());
      if (r < 0) return r;
      if (r < length) length = r;
    }
    body.append(data, static_cast<size_t>(length));
    return length;
  }

  bool buffering_disabled = false;
  int status = 0;
  std::string status_reason;
  int status_result = 1;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  std::vector<int32_t> results;  // scripted WriteBody results, then full writes
  int calls = 0;
};

class StringOutput : public BufferedOutput {
 public:
  explicit StringOutput(int32_t capacity) : BufferedOutput(capacity) {}
  int32_t Transmit(const char* data, int32_t length) override {
    pieces.emplace_back(data, static_cast<size_t>(length));
    return length;
  }
  std::string all() const {
    std::string s;
    for (const std::string& p : pieces) s += p;
    return s;
  }
  std::vector<std::string> pieces;
};

std::string Emitted(int mode, const std::vector<std::string>& writes) {
  CaptureOutput out(nullptr);
  out.SetWhitespaceMode(mode);
  for (const std::string& w : writes) {
    int32_t n = out.Emit(w.data(), static_cast<int32_t>(w.size()));
    EXPECT_EQ(n, static_cast<int32_t>(w.size()));
  }
  int32_t length = 0;
  char* text = out.TakeText(&length, nullptr);
  std::string s(text, static_cast<size_t>(length));
  std::free(text);
  return s;
}

TEST(WhitespaceModes, Table) {
  struct Case {
    int mode;
    std::vector<std::string> writes;
    const char* expected;
  } cases[] = {
      {0, {"  a \n b  "}, "  a \n b  "},
      {1, {" x", " y"}, "x y"},
      {1, {"\n\nx"}, "\nx"},
      {1, {"x ", " y"}, "x y"},  // after whitespace only one byte goes
      {1, {"", "\tz"}, "z"},
      {2, {"a  \n b"}, "a b"},
      {2, {"a\n\n b"}, "a\nb"},
      {2, {"  \t lead"}, "lead"},
      {2, {"a \t", "\n b"}, "a b"},  // a run across writes
      {2, {"a", "  b\r\n"}, "a b\r"},
      {2, {"\v\f"}, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Emitted(c.mode, c.writes), c.expected) << "mode " << c.mode << " first " << c.writes[0];
  }
}

TEST(WhitespaceModes, FlagFollowsLastByteAndZeroLengthIsNoop) {
  NullOutput out;
  EXPECT_TRUE(out.ended_in_whitespace());
  EXPECT_EQ(out.Write("", 0), 0);
  EXPECT_EQ(out.Write("ab", -1), 2);
  EXPECT_FALSE(out.ended_in_whitespace());
  out.Write("a\f", 2);
  EXPECT_TRUE(out.ended_in_whitespace());
  out.SetWhitespaceMode(2);
  EXPECT_EQ(out.GetWhitespaceMode(), 2);
  EXPECT_EQ(out.Emit("  x", 3), 3);  // NullOutput writes as is
  EXPECT_FALSE(out.ended_in_whitespace());
}

TEST(NullOutput, CallbackGetsEveryWrite) {
  static std::string seen;
  seen.clear();
  NullOutput out([](const char* d, int32_t n) {
    seen.append(d, static_cast<size_t>(n));
    return 7;
  });
  EXPECT_EQ(out.Write("abc", 3), 7);
  EXPECT_EQ(out.Kind(), kNullOutputKind);
  EXPECT_EQ(seen, "abc");
}

TEST(BufferedOutput, FlushesWhenFullAndSplitsLargeWrites) {
  StringOutput out(4);
  EXPECT_EQ(out.Write("ab", 2), 2);
  EXPECT_EQ(out.Write("cde", 3), 3);  // does not fit: "ab" goes first
  ASSERT_EQ(out.pieces.size(), 1u);
  EXPECT_EQ(out.pieces[0], "ab");
  EXPECT_EQ(out.Write("0123456789", 10), 10);
  out.Flush();
  for (const std::string& p : out.pieces) EXPECT_LE(p.size(), 4u);
  EXPECT_EQ(out.all(), "abcde0123456789");
  EXPECT_EQ(out.held(), 0);
  EXPECT_EQ(out.Kind(), kBufferedOutputKind);
}

class RecordingConnection : public OutputConnection {
 public:
  int32_t SendBytes(const char* data, int32_t length, int32_t timeout) override {
    sent.append(data, static_cast<size_t>(length));
    last_timeout = timeout;
    return length;
  }
  std::string sent;
  int32_t last_timeout = 0;
};

TEST(NetworkOutput, BodyToConnectionHeadersToOwnerFlushOnDestroy) {
  FakeResponse response;
  ServerOutput owner(&response);
  RecordingConnection connection;
  {
    NetworkOutput out(&owner, &connection, 16, 30);
    out.Write("mail body", -1);
    EXPECT_EQ(out.SetHeader("X-A", "1"), 1);
    out.WriteAndFlush("to page", -1);
    EXPECT_EQ(connection.sent, "");
  }
  EXPECT_EQ(connection.sent, "mail body");
  EXPECT_EQ(connection.last_timeout, 30);
  EXPECT_EQ(response.body, "to page");
  ASSERT_GE(owner.header_count(), 1);
  EXPECT_EQ(owner.FindHeader("x-a", -1), 0);
}

TEST(CaptureOutput, CollectsTextButWriteAndFlushReachesResponse) {
  FakeResponse response;
  ServerOutput page(&response);
  CaptureOutput capture(&page);
  capture.Write("captured", -1);
  capture.WriteAndFlush("message", -1);
  EXPECT_EQ(capture.SetHeader("X-B", "2"), 0);  // headers already went out
  EXPECT_EQ(response.body, "message");
  int32_t length = 0, capacity = 0;
  char* text = capture.TakeText(&length, &capacity);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text), "captured");
  EXPECT_EQ(length, 8);
  EXPECT_GT(capacity, length);
  std::free(text);
  EXPECT_EQ(capture.length(), 0);
  text = capture.TakeText(&length, nullptr);  // empty capture: still a text
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(length, 0);
  EXPECT_EQ(text[0], 0);
  std::free(text);
}

TEST(HTTPOutput, HeaderReplaceMovesToEndAndOwnedTextsAreTaken) {
  FakeResponse response;
  ServerOutput out(&response);
  EXPECT_TRUE(response.buffering_disabled);
  EXPECT_EQ(out.SetHeader("Content-Type", "text/plain"), 1);
  EXPECT_EQ(out.SetHeader("X-Mid", "m"), 1);
  char* name = strdup("content-type");
  char* value = strdup("text/html");
  EXPECT_EQ(out.SetHeader(name, -1, true, value, 9, true), 1);
  out.Write("hi", 2);
  out.Send(1);
  std::vector<std::pair<std::string, std::string>> expected = {
      {"X-Mid", "m"}, {"content-type", "text/html"}, {"Content-Length", "2"}};
  EXPECT_EQ(response.headers, expected);
  EXPECT_EQ(response.body, "hi");
  // After the headers went out, header calls are ignored (owned texts freed).
  EXPECT_EQ(out.SetHeader(strdup("X-Late"), -1, true, strdup("v"), -1, true), 0);
  EXPECT_EQ(out.FindHeader("X-Late", -1), -1);
}

TEST(HTTPOutput, ContentLengthOnlyWhenNothingWasFlushed) {
  {
    FakeResponse response;
    ServerOutput out(&response);
    out.Write("12345", 5);
    out.SetHeader("Content-Length", "99");  // the script's own value wins
    out.Send(1);
    ASSERT_EQ(response.headers.size(), 1u);
    EXPECT_EQ(response.headers[0].second, "99");
  }
  {
    FakeResponse response;
    ServerOutput out(&response, 8, 10);
    out.Write("0123456789ab", 12);  // reaches the threshold: sent without a length
    EXPECT_TRUE(out.headers_sent());
    EXPECT_EQ(response.body, "0123456789ab");
    out.Write("cd", 2);
    out.Send(1);
    EXPECT_TRUE(response.headers.empty());
    EXPECT_EQ(response.body, "0123456789abcd");
  }
  {
    FakeResponse response;
    ServerOutput out(&response);
    out.Send(1);  // empty response
    ASSERT_EQ(response.headers.size(), 1u);
    EXPECT_EQ(response.headers[0], std::make_pair(std::string("Content-Length"), std::string("0")));
    EXPECT_EQ(response.calls, 0);
  }
}

TEST(HTTPOutput, FlushThresholdCountsSinceLastSend) {
  FakeResponse response;
  ServerOutput out(&response, 4, 10);
  out.Write("123456789", 9);
  EXPECT_EQ(response.body, "");
  out.Write("0", 1);
  EXPECT_EQ(response.body, "1234567890");
  out.Write("abcdefghi", 9);
  EXPECT_EQ(response.body, "1234567890");
  out.Flush();
  EXPECT_EQ(response.body, "1234567890abcdefghi");
  out.Write("j", 1);
  EXPECT_EQ(response.body, "1234567890abcdefghi");  // a flush restarts the count
  EXPECT_EQ(out.total_written(), 20);
}

TEST(HTTPOutput, ShortWritesAreRetriedFromFirstUnsentByte) {
  FakeResponse response;
  response.results = {3, 1, 2};
  ServerOutput out(&response, 64, 1 << 20);
  out.Write("abcdefghij", 10);
  EXPECT_EQ(out.Send(0), 10);
  EXPECT_EQ(response.body, "abcdefghij");
  EXPECT_EQ(response.calls, 4);
}

TEST(HTTPOutput, ShortWriteRetryWaitsTheConfiguredFileDelay) {
  struct Case {
    int32_t delay;  // microseconds; -1 leaves the key unset (default 100)
    std::chrono::microseconds at_least;
  } cases[] = {{200000, std::chrono::microseconds(2 * 200000)},
               {-1, std::chrono::microseconds(0)}};
  for (const Case& c : cases) {
    Config config;
    if (c.delay >= 0) config.SetInteger(CFG_DELAY_FILE, c.delay);
    FakeResponse response;
    response.results = {3, 3};  // two short writes, two pauses
    ServerOutput out(&response, 64, 1 << 20);
    out.SetConfig(&config);
    out.Write("abcdefghij", 10);
    EXPECT_EQ(config.IsStored(CFG_DELAY_FILE), c.delay >= 0);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(out.Send(0), 10);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(response.body, "abcdefghij");
    EXPECT_GE(took, c.at_least) << c.delay;
    // Read from the configuration, which stores the default on first read.
    EXPECT_TRUE(config.IsStored(CFG_DELAY_FILE)) << c.delay;
  }
}

TEST(HTTPOutput, FailedWriteDropsTheRestOfTheBody) {
  for (int32_t failure : {0, -1}) {
    FakeResponse response;
    response.results = {2, failure};
    ServerOutput out(&response, 4, 1 << 20);
    out.Write("abcdefgh", 8);  // two blocks
    EXPECT_EQ(out.Send(0), 2);
    EXPECT_EQ(response.body, "ab");  // no hole: block two is not sent alone
    out.Write("z", 1);
    out.Send(1);
    EXPECT_EQ(response.body, "abz");
  }
}

TEST(ServerOutput, StatusHeader) {
  struct Case {
    const char* value;
    int result;
    int code;
    const char* reason;
  } cases[] = {
      {"404 Not Found", 1, 404, "Not Found"},
      {"500   Internal Server Error \r\n", 1, 500, "Internal Server Error"},
      {"302", 1, 302, ""},
      {"abc def", 0, 0, ""},
      {"", 0, 0, ""},
      {"99 Low", 0, 0, ""},
      {"4040 Big", 0, 0, ""},
  };
  for (const Case& c : cases) {
    FakeResponse response;
    ServerOutput out(&response);
    EXPECT_EQ(out.SetHeader("sTaTuS", c.value), c.result) << c.value;
    EXPECT_EQ(response.status, c.code) << c.value;
    EXPECT_EQ(response.status_reason, c.reason) << c.value;
    EXPECT_EQ(out.header_count(), 0);
  }
  FakeResponse refusing;
  refusing.status_result = 0;
  ServerOutput out(&refusing);
  EXPECT_EQ(out.SetHeader("Status", "404 Not Found"), 0);
  // "Status2" is an ordinary header; after the first flush Status is ignored.
  EXPECT_EQ(out.SetHeader("Status2", "x"), 1);
  out.Flush();
  refusing.status = 0;
  EXPECT_EQ(out.SetHeader("Status", "200 OK"), 0);
  EXPECT_EQ(refusing.status, 0);
}

TEST(ServerOutput, MultiLineHeaderValues) {
  struct Case {
    const char* name;
    const char* value;
    std::vector<std::pair<std::string, std::string>> sent;
  } cases[] = {
      {"X-A", "a\nSet-Cookie: b=1", {{"X-A", "a"}, {"Set-Cookie", "b=1"}}},
      {" X-A\t", "  a \r\n Set-Cookie :  b=1 \r\nX-C:c:d\n", {{"X-A", "a"}, {"Set-Cookie", "b=1"}, {"X-C", "c:d"}}},
      {"X-A", "a\nno colon here\nX-B: 2", {{"X-A", "a"}, {"X-B", "2"}}},
      {"X-A", "a\n\nX-B: 2", {{"X-A", "a"}, {"X-B", "2"}}},
      {"X-A", "a\n: anonymous", {{"X-A", "a"}}},
  };
  for (const Case& c : cases) {
    FakeResponse response;
    ServerOutput out(&response);
    out.SetHeader(c.name, c.value);
    out.Send(0);
    EXPECT_EQ(response.headers, c.sent) << c.value;
  }
}

TEST(ServerOutput, RepeatedNamesFromLinesAccumulate) {
  FakeResponse response;
  ServerOutput out(&response);
  out.SetHeader("Set-Cookie", "a=1\nSet-Cookie: b=2");
  out.SetHeader("X", "y");
  out.Send(0);
  ASSERT_EQ(response.headers.size(), 3u);
  EXPECT_EQ(response.headers[0].first, "Set-Cookie");
  EXPECT_EQ(response.headers[1], std::make_pair(std::string("Set-Cookie"), std::string("b=2")));
}

}  // namespace
}  // namespace pexo
