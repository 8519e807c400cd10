// The network tags end to end: assembled programs run by the engine (the
// command-line host with a configuration file) fetch pages from a real
// Apache (plain, over TLS, through a SOCKS proxy), send mail to a real SMTP
// server and read a real POP3 mailbox, plus scripted peers for what real
// servers do not do.
#include <gtest/gtest.h>
#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "host/command_line.h"
#include "program/assembler.h"
#include "net_peers.h"

namespace pexo {
namespace {

using testing_net::ReadBytes;
using testing_net::ReadFile;
using testing_net::ScriptedPeer;
using testing_net::Shell;
using testing_net::WriteBytes;

// A site directory: programs assembled into it, a configuration file and
// the engine's response body.
class Site {
 public:
  Site() : dir_(testing_net::TempDirectory()) { Shell("mkdir -p '" + data() + "'"); }
  ~Site() { Shell("rm -rf '" + dir_ + "'"); }
  const std::string& dir() const { return dir_; }
  std::string data() const { return dir_ + "/data"; }

  // Runs `source` with a configuration section holding `section`; the
  // response body.
  std::string Run(const std::string& source, const std::string& section = "") {
    std::string pxa = dir_ + "/page.pxa";
    std::ofstream(pxa) << source;
    String errors;
    if (!AssembleToFile(pxa.c_str(), (dir_ + "/page.pxc").c_str(), &errors)) {
      ADD_FAILURE() << errors.c_str();
      return "";
    }
    std::ofstream(dir_ + "/pexo.config")
        << "<configuration><PexoScript serverAdmin=\"\">"
        << (section.find("<timeouts") == std::string::npos
                ? "<timeouts global=\"20\" call=\"5\" mail=\"5\"/>"
                : "")
        << section << "</PexoScript></configuration>";
    RunOptions options;
    options.root = dir_;
    options.data = data();
    options.config = dir_ + "/pexo.config";
    options.script = dir_ + "/page.pxc";
    FILE* out = std::tmpfile();
    RunScript(options, out);
    std::fflush(out);
    std::rewind(out);
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, out)) > 0) text.append(buffer, n);
    std::fclose(out);
    return text;
  }

 private:
  std::string dir_;
};

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// Prints "type=value|" for every object of a call with the given pushes
// (the attributes, first listed first) and start instruction, then "end".
std::string CallProgram(const std::vector<std::string>& attributes, const std::string& start) {
  std::string program =
      ".global callvalue, callobjecttype, callobjectelement, callnumberofheaders, "
      "callreturnheader, callobjectattribute, callobjectvalue, callobjectnumattributes\n"
      ".segment main start\n";
  for (const std::string& a : attributes)
    program += a.rfind("int:", 0) == 0 ? " pushi " + a.substr(4) + "\n" : " pushc " + Quoted(a) + "\n";
  program += " " + start +
             "\ntop:\n pushg callobjecttype\n out\n pushc \"=\"\n out\n pushg callvalue\n out\n"
             " pushc \"|\"\n out\n op_http_loop top\ndone:\n pushc \"end\"\n out\n";
  return program;
}

std::string Body(const std::string& response) {
  size_t at = response.find("\r\n\r\n");
  return at == std::string::npos ? response : response.substr(at + 4);
}

TEST(CallTag, ObjectsHeadersAndAttributes) {
  std::string received;
  ScriptedPeer peer([&](int fd) {
    std::string request;
    while (request.find("\r\n\r\n") == std::string::npos) {
      std::string more = ReadBytes(fd, 1, 2000);
      if (more.empty()) break;
      request += more;
    }
    received = request;
    WriteBytes(fd, "HTTP/1.1 200 OK\r\nContent-Length: 31\r\nX-A: b\r\n\r\n"
                   "hi <a href='/x' selected>y</a>!");
  });
  ASSERT_TRUE(peer.ok());
  Site site;
  std::string url = "http://127.0.0.1:" + std::to_string(peer.port()) + "/p";
  std::string program =
      ".global q, callobjectattribute, callobjectvalue, callobjectnumattributes, "
      "callnumberofheaders, callreturnheader, callobjectelement\n"
      ".segment main start\n pushc \"a b\"\n popg q\n pushc " + Quoted(url) +
      "\n pushc \"GET\"\n pushc \"q\"\n pushc \"\"\n pushc \"\"\n op_http done\n"
      " pushg callnumberofheaders\n out\n pushg callreturnheader\n pushi 3\n elem\n out\n"
      "top:\n pushg callobjectelement\n out\n pushc \":\"\n out\n pushg callobjectnumattributes\n"
      " out\n pushg callobjectattribute\n pushi 2\n elem\n out\n pushc \"=\"\n out\n"
      " pushg callobjectvalue\n pushi 2\n elem\n out\n pushc \";\"\n out\n op_http_loop top\n"
      "done:\n pushc \"end\"\n out\n";
  std::string body = Body(site.Run(program));
  EXPECT_EQ(received.substr(0, received.find("\r\n")), "GET /p?q=a+b HTTP/1.1");
  EXPECT_EQ(body, "3X-A: b:0=;a:2selected=selected;:0=;/a:0=;:0=;end");
}

TEST(CallTag, FailuresReportUnderTheTagAndSkipTheBody) {
  Site site;
  struct Case {
    std::string start;
    std::vector<std::string> attributes;
    const char* message;
  } cases[] = {
      {"op_httpn done, 4", {"http://127.0.0.1:1/", "GET", "", ""},
       "Invalid number of parameters to HTTPN"},
      {"op_http done", {"http://127.0.0.1:1/", "GET", "", "", ""}, "Unable to open URL"},
      {"op_httpn done, 13",
       {"http://127.0.0.1:1/", "GET", "", "", "", "", "", "", "", "", "", "", "noparse,bogus"},
       "Unsupported flag &quot;bogus&quot;"},
      {"op_httpn done, 13",
       {"http://127.0.0.1:1/", "GET", "", "", "", "", "", "", "", "", "", "", "force_https"},
       "Request requires a secure connection"},
  };
  for (const Case& c : cases) {
    std::string out = site.Run(CallProgram(c.attributes, c.start));
    EXPECT_NE(out.find("PxCALL"), std::string::npos) << out;
    EXPECT_NE(out.find(c.message), std::string::npos) << c.start << ": " << out;
    EXPECT_EQ(out.find("text="), std::string::npos) << out;
  }
}

// The request's global deadline bounds a call whose own time-out is longer.
TEST(CallTag, GlobalDeadlineCutsASilentPeer) {
  ScriptedPeer peer([](int fd) { testing_net::DrainUntilClosed(fd, 8000); });
  ASSERT_TRUE(peer.ok());
  Site site;
  std::string url = "http://127.0.0.1:" + std::to_string(peer.port()) + "/";
  auto started = std::chrono::steady_clock::now();
  std::string out = site.Run(CallProgram({url, "GET", "", "", "", "", "", "", "", "", "", "", "",
                                          "int:30"},
                                         "op_httpn done, 14"),
                             "<timeouts global=\"2\" call=\"30\"/>");
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_LT(seconds, 4.5) << out;
  EXPECT_NE(out.find("Read Timeout"), std::string::npos) << out;
}

class ApacheTags : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing_net::ApacheServer::Installed()) GTEST_SKIP() << "apache2 is not installed";
    dir_ = testing_net::TempDirectory();
    Shell("chmod 755 '" + dir_ + "'");
    ASSERT_TRUE(testing_net::MakeCertificate(dir_));
    std::string error;
    ASSERT_TRUE(apache_.Start(dir_ + "/apache", dir_ + "/cert.pem", dir_ + "/key.pem", &error))
        << error;
    std::ofstream(apache_.site() + "/small.html") << "<p class=x>hello</p>";
  }
  void TearDown() override {
    if (!dir_.empty()) Shell("rm -rf '" + dir_ + "'");
  }
  std::string Fetch(const std::string& url, const std::string& section) {
    return Body(site_.Run(CallProgram({url, "GET", "", "", ""}, "op_http done"), section));
  }

  std::string dir_;
  testing_net::ApacheServer apache_;
  Site site_;
};

TEST_F(ApacheTags, PlainTlsAndThroughSocks) {
  const std::string page = "tag=<p class=x>|text=hello|tag=</p>|end";
  std::string plain = "http://127.0.0.1:" + std::to_string(apache_.port()) + "/small.html";
  std::string secure = "https://localhost:" + std::to_string(apache_.tls_port()) + "/small.html";
  std::string ca = "<paths cafile=\"" + dir_ + "/cert.pem\"/>";
  EXPECT_EQ(Fetch(plain, ""), page);
  EXPECT_EQ(Fetch(secure, ca), page);
  // Without the certificate's issuer the handshake fails closed.
  std::string refused = Fetch(secure, "");
  EXPECT_NE(refused.find("Unable to open URL"), std::string::npos) << refused;
  EXPECT_EQ(refused.find("hello"), std::string::npos);

  if (access("/usr/sbin/danted", X_OK) != 0) GTEST_SKIP() << "danted is not installed";
  int proxy_port = testing_net::FreePort();
  std::ofstream(dir_ + "/danted.conf")
      << "logoutput: stderr\ninternal: 127.0.0.1 port = " << proxy_port
      << "\nexternal: 127.0.0.1\nsocksmethod: none\nclientmethod: none\n"
         "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
         "socks pass { from: 127.0.0.0/8 to: 127.0.0.0/8 command: connect }\n"
         "socks block { from: 0.0.0.0/0 to: 0.0.0.0/0 }\n";
  testing_net::ChildProcess proxy;
  ASSERT_TRUE(proxy.Start({"danted", "-f", dir_ + "/danted.conf", "-p", dir_ + "/danted.pid", "-N",
                           "1"},
                          dir_ + "/danted.log"));
  ASSERT_TRUE(testing_net::WaitForPort(proxy_port)) << ReadFile(dir_ + "/danted.log");
  for (int version : {4, 5}) {
    std::string socks = "<socks host=\"127.0.0.1\" port=\"" + std::to_string(proxy_port) +
                        "\" version=\"" + std::to_string(version) + "\"/>";
    EXPECT_EQ(Fetch(plain, socks), page) << version;
    EXPECT_EQ(Fetch(secure, socks + ca), page) << version;
  }
}

}  // namespace
}  // namespace pexo
