// Whole calls over loopback: the bytes a scripted peer receives, its
// misbehaviour (closing mid-body, never answering), uploads through a file
// source, and static files and a redirect from a real Apache httpd.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "net/http_call.h"
#include "net/logging_network_connection.h"
#include "net/posix_network_manager.h"
#include "net_peers.h"

namespace pexo {
namespace {

using testing_net::ReadBytes;
using testing_net::ScriptedPeer;
using testing_net::Text;
using testing_net::WriteBytes;

// Files from a map of name to bytes.
class MapFiles : public CallFileSource {
 public:
  explicit MapFiles(std::map<std::string, std::string> files) : files_(std::move(files)) {}
  std::unique_ptr<CallFileReader> Open(const String& name) override {
    auto it = files_.find(Text(name));
    if (it == files_.end()) return nullptr;
    return std::unique_ptr<CallFileReader>(new Reader(it->second));
  }

 private:
  class Reader : public CallFileReader {
   public:
    explicit Reader(const std::string& bytes) : bytes_(bytes) {}
    int64_t Size() const override { return static_cast<int64_t>(bytes_.size()); }
    int32_t Read(char* buffer, int32_t size) override {
      size_t take = std::min(static_cast<size_t>(size), bytes_.size() - at_);
      memcpy(buffer, bytes_.data() + at_, take);
      at_ += take;
      return static_cast<int32_t>(take);
    }

   private:
    const std::string& bytes_;
    size_t at_ = 0;
  };
  std::map<std::string, std::string> files_;
};

// Reads one request head and, when it announces one, its body.
std::string ReadRequest(int fd) {
  std::string request;
  while (request.find("\r\n\r\n") == std::string::npos) {
    std::string more = ReadBytes(fd, 1, 2000);
    if (more.empty()) return request;
    request += more;
  }
  size_t at = request.find("Content-Length: ");
  if (at != std::string::npos) request += ReadBytes(fd, std::stoul(request.substr(at + 16)), 2000);
  return request;
}

struct CallResult {
  int started = 0;
  std::string error;
  std::vector<std::string> headers;
  std::vector<std::string> objects;  // "text:..." or "tag:element"
};

CallResult RunCall(const CallRequest& request, CallFileSource* files = nullptr,
                   int32_t timeout = 2) {
  NetworkSettings settings;
  settings.timeout_global = 5;
  PosixNetworkManager manager(settings);
  HttpCall call(&manager, files);
  CallResult result;
  result.started = call.Start(request, TlsOptions(), timeout);
  if (!result.started) {
    result.error = Text(call.ErrorText());
    return result;
  }
  for (const auto& h : call.response()->headers()) result.headers.push_back(Text(h.line));
  CallObject object;
  for (int guard = 0; guard < 1000; ++guard) {
    int got = call.NextObject(&object);
    if (got < 0) result.error = Text(call.ErrorText());
    if (got <= 0) break;
    result.objects.push_back(object.is_tag ? "tag:" + Text(object.element)
                                           : "text:" + Text(object.value));
  }
  return result;
}

TEST(HttpCall, SendsTheRequestAndSplitsTheResponse) {
  std::string received;
  ScriptedPeer peer([&](int fd) {
    received = ReadRequest(fd);
    WriteBytes(fd, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                   "4\r\nhi <\r\n3\r\nb>!\r\n0\r\n\r\n");
  });
  ASSERT_TRUE(peer.ok());
  CallRequest request;
  request.url = ("http://127.0.0.1:" + std::to_string(peer.port()) + "/p?x=1").c_str();
  request.method = "GET";
  request.fields.push_back(CallField{"q", "a b"});
  request.headers = "Cookie: s=1\r\nAuthorization: Basic dTpw\r\n";
  CallResult r = RunCall(request);
  ASSERT_EQ(r.started, 1) << r.error;
  EXPECT_EQ(received, "GET /p?x=1&q=a+b HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(peer.port()) +
                          "\r\nCookie: s=1\r\nAuthorization: Basic dTpw\r\n"
                          "Connection: close\r\n\r\n");
  EXPECT_EQ(r.objects, (std::vector<std::string>{"text:hi ", "tag:b", "text:!"}));
  EXPECT_EQ(r.error, "");
}

TEST(HttpCall, UploadsFilesAsMultipart) {
  std::string received;
  ScriptedPeer peer([&](int fd) {
    received = ReadRequest(fd);
    WriteBytes(fd, "HTTP/1.0 200 OK\r\n\r\nok");
  });
  ASSERT_TRUE(peer.ok());
  MapFiles files({{"a.txt", std::string("line\r\n\0bin", 10)}});
  CallRequest request;
  request.url = ("http://127.0.0.1:" + std::to_string(peer.port()) + "/up").c_str();
  request.method = "POST";
  request.fields.push_back(CallField{"f", "v"});
  request.files.push_back(CallFile{"up", "a.txt", "text/plain"});
  request.file_block = 3;
  CallResult r = RunCall(request, &files);
  ASSERT_EQ(r.started, 1) << r.error;
  size_t b = received.find("boundary=");
  ASSERT_NE(b, std::string::npos) << received;
  std::string boundary = received.substr(b + 9, received.find("\r\n", b) - b - 9);
  EXPECT_EQ(boundary.compare(0, 20, std::string(20, '-')), 0);
  std::string body = "--" + boundary +
                     "\r\nContent-Disposition: form-data; name=\"f\"\r\n\r\nv\r\n--" + boundary +
                     "\r\nContent-Disposition: form-data; name=\"up\"; filename=\"a.txt\"\r\n"
                     "Content-Type: text/plain\r\n\r\n" +
                     std::string("line\r\n\0bin", 10) + "\r\n--" + boundary + "--\r\n";
  size_t head_end = received.find("\r\n\r\n") + 4;
  EXPECT_EQ(received.substr(head_end), body);
  EXPECT_NE(received.find("Content-Length: " + std::to_string(body.size()) + "\r\n"),
            std::string::npos);
  EXPECT_EQ(r.objects, (std::vector<std::string>{"text:ok"}));
}

TEST(HttpCall, FailuresBeforeAnyByteIsSent) {
  MapFiles files({});
  struct Case {
    const char* url;
    int32_t flags;
    const char* file;
    const char* error;
  } cases[] = {
      {"http://127.0.0.1:1/", kCallForceHttps, nullptr, "Request requires a secure connection"},
      {"http://127.0.0.1:1/", 0, "missing.txt", "Unable to open 'missing.txt'"},
      {"http://127.0.0.1:1/", 0, "", "Empty filename"},
      {"gopher://127.0.0.1/", 0, nullptr, "Unsupported protocol 'gopher'"},
  };
  for (const Case& c : cases) {
    CallRequest request;
    request.url = c.url;
    request.method = "POST";
    request.flags = c.flags;
    if (c.file) request.files.push_back(CallFile{"f", c.file, "text/plain"});
    EXPECT_EQ(RunCall(request, &files).error, c.error) << c.url;
  }
  NetworkSettings settings;
  PosixNetworkManager manager(settings);
  HttpCall call(&manager, nullptr);
  TlsOptions pin;
  pin.pin_algorithm = "sha256";
  pin.pin = "x";
  CallRequest request;
  request.url = "http://127.0.0.1:1/";
  EXPECT_EQ(call.Start(request, pin, 1), 0);
  EXPECT_EQ(Text(call.ErrorText()), "Certificate pinning requested for non-secure connection");
  // Nothing listens on port 1.
  CallRequest refused;
  refused.url = "http://127.0.0.1:1/x";
  std::string error = RunCall(refused).error;
  EXPECT_EQ(error.compare(0, 36, "Unable to open URL 'http://127.0.0.1"), 0) << error;
}

TEST(HttpCall, MisbehavingPeers) {
  struct Case {
    const char* name;
    std::string reply;  // "" with `silent`: never answers
    bool silent;
    int started;
    std::vector<std::string> objects;
    const char* error_prefix;
  } cases[] = {
      {"closes mid-body", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nsome", false, 1,
       {"text:some"}, "Connection closed before the end of the response"},
      {"close-delimited", "HTTP/1.0 200 OK\r\n\r\n<p>x", false, 1, {"tag:p", "text:x"}, ""},
      {"malformed status", "200 OK\r\n\r\n", false, 0, {}, "Malformed response status line"},
      {"over-long line", "HTTP/1.1 200 OK\r\nX: " + std::string(20000, 'a') + "\r\n\r\n", false, 0,
       {}, "Response line too long"},
      {"redirect kept", "HTTP/1.1 302 Found\r\nLocation: /b\r\nContent-Length: 0\r\n\r\n", false, 1,
       {}, ""},
      {"never answers", "", true, 0, {}, "Read Timeout"},
  };
  for (const Case& c : cases) {
    ScriptedPeer peer([&](int fd) {
      ReadRequest(fd);
      if (c.silent) {
        testing_net::DrainUntilClosed(fd, 3000);
        return;
      }
      WriteBytes(fd, c.reply);
    });
    ASSERT_TRUE(peer.ok());
    CallRequest request;
    request.url = ("http://127.0.0.1:" + std::to_string(peer.port()) + "/").c_str();
    auto started = std::chrono::steady_clock::now();
    CallResult r = RunCall(request, nullptr, 1);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - started).count();
    EXPECT_LT(ms, 2500) << c.name;
    EXPECT_EQ(r.started, c.started) << c.name;
    EXPECT_EQ(r.objects, c.objects) << c.name;
    EXPECT_EQ(r.error.compare(0, strlen(c.error_prefix), c.error_prefix), 0)
        << c.name << ": " << r.error;
    if (std::string(c.name) == "redirect kept") {
      EXPECT_EQ(r.headers, (std::vector<std::string>{"HTTP/1.1 302 Found", "Location: /b",
                                                     "Content-Length: 0"}));
    }
  }
}

// With noparse the whole body is one object, and an empty body none.
TEST(HttpCall, NoParseIsOneObject) {
  struct Case {
    std::string reply;
    std::vector<std::string> objects;
  } cases[] = {
      {"HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n<a>b</a>!", {"text:<a>b</a>!"}},
      {"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", {}},
  };
  for (const Case& c : cases) {
    ScriptedPeer peer([&](int fd) {
      ReadRequest(fd);
      WriteBytes(fd, c.reply);
    });
    ASSERT_TRUE(peer.ok());
    CallRequest request;
    request.url = ("http://127.0.0.1:" + std::to_string(peer.port()) + "/").c_str();
    request.flags = kCallNoParse;
    CallResult r = RunCall(request);
    ASSERT_EQ(r.started, 1) << r.error;
    EXPECT_EQ(r.objects, c.objects) << c.reply;
    EXPECT_EQ(r.error, "");
  }
}

// A call logs every block through the wrapper it is given.
TEST(HttpCall, WrapperSeesEveryBlock) {
  ScriptedPeer peer([&](int fd) {
    ReadRequest(fd);
    WriteBytes(fd, "HTTP/1.0 200 OK\r\n\r\nlogged");
  });
  ASSERT_TRUE(peer.ok());
  std::string log;
  struct Hooks {
    static void Log(void* context, LoggingNetworkConnection::Direction direction, const char* bytes,
                    int32_t length) {
      *static_cast<std::string*>(context) +=
          (direction == LoggingNetworkConnection::kSent ? ">" : "<") + std::string(bytes, length);
    }
    static std::unique_ptr<NetworkConnection> Wrap(void* context,
                                                   std::unique_ptr<NetworkConnection> inner) {
      return std::unique_ptr<NetworkConnection>(
          new LoggingNetworkConnection(std::move(inner), &Hooks::Log, context));
    }
  };
  NetworkSettings settings;
  PosixNetworkManager manager(settings);
  HttpCall call(&manager, nullptr);
  call.set_wrapper(&Hooks::Wrap, &log);
  CallRequest request;
  request.url = ("http://127.0.0.1:" + std::to_string(peer.port()) + "/").c_str();
  ASSERT_EQ(call.Start(request, TlsOptions(), 2), 1) << Text(call.ErrorText());
  CallObject object;
  ASSERT_EQ(call.NextObject(&object), 1);
  EXPECT_EQ(call.NextObject(&object), 0);
  EXPECT_EQ(log, ">GET / HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(peer.port()) +
                     "\r\nConnection: close\r\n\r\n<HTTP/1.0 200 OK\r\n\r\nlogged");
}

// HTTPS against openssl's test server on a certificate made here; the
// server's certificate comes back in PEM form.
TEST(HttpCall, OverTls) {
  std::string dir = testing_net::TempDirectory();
  ASSERT_TRUE(testing_net::Shell(
      "cd '" + dir + "' && exec >setup.log 2>&1 && "
      "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout key.pem "
      "-out cert.pem -days 2 -subj /CN=localhost -addext subjectAltName=DNS:localhost,IP:127.0.0.1 "
      "&& printf '<p>secure</p>' > page.html"));
  int port = testing_net::FreePort();
  testing_net::ChildProcess server;
  ASSERT_TRUE(server.Start({"sh", "-c",
                            "cd '" + dir + "' && exec openssl s_server -accept 127.0.0.1:" +
                                std::to_string(port) + " -cert cert.pem -key key.pem -WWW -quiet"},
                           dir + "/server.log"));
  ASSERT_TRUE(testing_net::WaitForPort(port));
  struct Case {
    bool trust;
    int started;
  } cases[] = {{true, 1}, {false, 0}};
  for (const Case& c : cases) {
    NetworkSettings settings;
    if (c.trust) settings.file_ca = (dir + "/cert.pem").c_str();
    PosixNetworkManager manager(settings);
    HttpCall call(&manager, nullptr);
    CallRequest request;
    request.url = ("https://127.0.0.1:" + std::to_string(port) + "/page.html").c_str();
    request.flags = kCallForceHttps;
    ASSERT_EQ(call.Start(request, TlsOptions(), 3), c.started) << Text(call.ErrorText());
    if (!c.started) {
      EXPECT_EQ(Text(call.ErrorText()).compare(0, 19, "Unable to open URL "), 0);
      continue;
    }
    EXPECT_EQ(Text(call.server_certificate()), testing_net::ReadFile(dir + "/cert.pem"));
    std::vector<std::string> objects;
    CallObject object;
    while (call.NextObject(&object) > 0) objects.push_back(Text(object.value));
    EXPECT_EQ(objects, (std::vector<std::string>{"<p>", "secure", "</p>"})) << Text(call.ErrorText());
  }
  server.Stop();
  testing_net::Shell("rm -rf '" + dir + "'");
}

// Debian's apache2 serving static files on loopback.
class ApachePeer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing_net::ApacheServer::Installed()) GTEST_SKIP() << "apache2 is not installed";
    dir_ = testing_net::TempDirectory();
    testing_net::Shell("chmod 755 '" + dir_ + "'");
    std::string error;
    ASSERT_TRUE(server_.Start(dir_, "", "", &error)) << error;
    std::ofstream(server_.site() + "/small.html") << "<html><a href=\"/x\">link</a></html>";
    big_.assign(1 << 20, 'z');
    std::ofstream(server_.site() + "/big.txt") << big_;
  }
  void TearDown() override {
    server_.Stop();
    if (!dir_.empty()) testing_net::Shell("rm -rf '" + dir_ + "'");
  }
  std::string Url(const char* path) {
    return "http://127.0.0.1:" + std::to_string(server_.port()) + path;
  }

  std::string dir_;
  std::string big_;
  testing_net::ApacheServer server_;
};

TEST_F(ApachePeer, StaticFilesAndRedirect) {
  CallRequest request;
  request.url = Url("/small.html").c_str();
  CallResult r = RunCall(request);
  ASSERT_EQ(r.started, 1) << r.error;
  EXPECT_EQ(r.headers.at(0), "HTTP/1.1 200 OK");
  EXPECT_EQ(r.objects, (std::vector<std::string>{"tag:html", "tag:a", "text:link", "tag:/a",
                                                 "tag:/html"}));

  request.url = Url("/old").c_str();
  r = RunCall(request);
  ASSERT_EQ(r.started, 1) << r.error;
  EXPECT_EQ(r.headers.at(0).compare(0, 12, "HTTP/1.1 301"), 0);
  bool location = false;
  for (const std::string& h : r.headers) location |= h == "Location: " + Url("/small.html");
  EXPECT_TRUE(location);

  NetworkSettings settings;
  PosixNetworkManager manager(settings);
  HttpCall call(&manager, nullptr);
  request.url = Url("/big.txt").c_str();
  request.flags = kCallNoParse;
  ASSERT_EQ(call.Start(request, TlsOptions(), 5), 1) << Text(call.ErrorText());
  CallObject object;
  ASSERT_EQ(call.NextObject(&object), 1) << Text(call.ErrorText());
  EXPECT_TRUE(Text(object.value) == big_) << object.value.length();
  EXPECT_EQ(call.NextObject(&object), 0);
}

}  // namespace
}  // namespace pexo
