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
#include "net/network_instructions.h"
#include "net/pop3_mailbox.h"
#include "program/assembler.h"
#include "net_peers.h"
#include "support/run_output.h"

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
    return RunScriptOutput(options);
  }

 private:
  std::string dir_;
};

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 32) {
      char hex[8];
      snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(c));
      out += hex;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// Prints "type=value|" for every object of a call with the given pushes
// (the attributes, first listed first) and start instruction, then "end".
// `prelude` runs first; it may set the global f.
std::string CallProgram(const std::vector<std::string>& attributes, const std::string& start,
                        const std::string& prelude = "") {
  std::string program =
      ".global f, callvalue, callobjecttype, callobjectelement, callnumberofheaders, "
      "callreturnheader, callobjectattribute, callobjectvalue, callobjectnumattributes\n"
      ".segment main start\n" + prelude;
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

// A request head, read up to its blank line.
std::string ReadHead(int fd) {
  std::string request;
  while (request.find("\r\n\r\n") == std::string::npos) {
    std::string more = ReadBytes(fd, 1, 2000);
    if (more.empty()) break;
    request += more;
  }
  return request;
}

TEST(CallTag, ObjectsHeadersAndAttributes) {
  std::string received;
  ScriptedPeer peer([&](int fd) {
    received = ReadHead(fd);
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
    apache_.Stop();
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

// Every block a call exchanges goes to the debug log when its bit is set.
TEST(CallTag, LogsThroughTheMachinesTrace) {
  ScriptedPeer peer([](int fd) {
    ReadHead(fd);
    WriteBytes(fd, "HTTP/1.0 200 OK\r\n\r\nlogged");
  });
  ASSERT_TRUE(peer.ok());
  Site site;
  std::string url = "http://127.0.0.1:" + std::to_string(peer.port()) + "/";
  std::string log = site.dir() + "/debug.log";
  std::string out = site.Run(CallProgram({url, "GET", "", "", ""}, "op_http done"),
                             "<debugLog level=\"1048576\" file=\"" + log + "\"/>");
  EXPECT_EQ(Body(out), "text=logged|end");
  std::string text = ReadFile(log);
  EXPECT_NE(text.find("PxCALL\t"), std::string::npos) << text;
  EXPECT_NE(text.find("\tsent\tGET / HTTP/1.1\\x0d\\x0aHost: 127.0.0.1:"), std::string::npos)
      << text;
  EXPECT_NE(text.find("\treceived\tHTTP/1.0 200 OK\\x0d\\x0a"), std::string::npos) << text;
}

// PxSMTP against aiosmtpd: STARTTLS and AUTH, the body the script writes
// arrives byte for byte after the engine's headers.
TEST(SmtpTag, DeliversWhatTheBodyWrote) {
  if (!Shell("/usr/bin/python3 -c 'import aiosmtpd' 2>/dev/null"))
    GTEST_FAIL() << "python3-aiosmtpd is missing: run scripts/setup.sh";
  Site site;
  std::string dir = site.dir();
  ASSERT_TRUE(testing_net::MakeCertificate(dir));
  int port = testing_net::FreePort();
  int tls_port = testing_net::FreePort();
  testing_net::ChildProcess server;
  ASSERT_TRUE(server.Start({"/usr/bin/python3", std::string(PEXO_SOURCE_DIR) + "/tests/net/smtp_peer.py",
                            std::to_string(port), std::to_string(tls_port), dir,
                            dir + "/cert.pem", dir + "/key.pem"},
                           dir + "/server.log"));
  ASSERT_TRUE(testing_net::WaitForPort(port, 10000)) << ReadFile(dir + "/server.log");
  std::string program =
      ".segment main start\n pushc \"127.0.0.1\"\n pushi " + std::to_string(port) +
      "\n pushc \"<b@y.test>\"\n pushc \"<a@x.test>\"\n pushc \"<c@y.test>\"\n"
      " pushc \"Greetings\"\n pushc \"starttls\"\n pushc \"bob\"\n pushc \"pw\"\n"
      " op_smtpn done, 9\n pushc " + Quoted("\n\nHello\n.\n..two\r\nlast") + "\n out\n"
      " op_smtp_end\ndone:\n pushc \"sent\"\n out\n";
  std::string ca = "<paths cafile=\"" + dir + "/cert.pem\"/>";
  EXPECT_EQ(Body(site.Run(program, ca)), "sent");
  std::string message = ReadFile(dir + "/message.1");
  ASSERT_EQ(message.compare(0, 6, "Date: "), 0) << message;
  size_t date_end = message.find("\r\n");
  std::string date = message.substr(6, date_end - 6);
  EXPECT_EQ(date.size(), std::string("Tue, 08 Dec 2026 09:05:07 +0000").size()) << date;
  EXPECT_EQ(message.substr(date_end + 2),
            "From: <a@x.test>\r\nTo: <b@y.test>\r\nCC: <c@y.test>\r\nX-Mailer: Pexo v5.52\r\n"
            "Subject: Greetings\r\n\r\nHello\r\n.\r\n..two\r\nlast\r\n");
  EXPECT_EQ(ReadFile(dir + "/envelope.1"), "a@x.test\nb@y.test\nc@y.test\n");

  // A refused login: the server's text under the tag, and the body's text
  // stays on the page.
  std::string refused = program;
  refused.replace(refused.find("\"pw\""), 4, "\"wrong\"");
  std::string out = site.Run(refused, ca);
  EXPECT_NE(out.find("PxSMTP: 5.7.8 Authentication credentials invalid"), std::string::npos)
      << out;
  EXPECT_EQ(ReadFile(dir + "/message.2"), "");
  server.Stop();
}

std::vector<std::string> MaildirFiles(const std::string& dir) {
  std::vector<std::string> names;
  for (const char* sub : {"/new", "/cur"}) {
    DIR* d = opendir((dir + sub).c_str());
    if (!d) continue;
    while (dirent* entry = readdir(d))
      if (entry->d_name[0] != '.') names.push_back(dir + sub + "/" + entry->d_name);
    closedir(d);
  }
  return names;
}

// PxPOP against Dovecot: every message listed and read from its file during
// the loop, one deleted, the maildir checked, the message files gone once
// the request ended.
TEST(PopTag, ListsReadsAndDeletes) {
  if (access("/usr/sbin/dovecot", X_OK) != 0)
    GTEST_FAIL() << "dovecot-pop3d is missing: run scripts/setup.sh";
  if (geteuid() != 0) GTEST_SKIP() << "the test server switches to the mail user: needs root";
  Site site;
  std::string dir = site.dir();
  int port = testing_net::FreePort();
  std::string maildir = dir + "/home/Maildir";
  ASSERT_TRUE(Shell("chmod 755 '" + dir + "' && mkdir -p '" + maildir + "/new' '" + maildir +
                    "/cur' '" + maildir + "/tmp' && cd '" + maildir + "/new' && "
                    "printf 'From: a@x.test\\r\\nSubject: One\\r\\nDate: Mon, 1 Jan 2024\\r\\n\\r\\n"
                    "Hello\\r\\n..dot\\r\\n' >1.m1 && "
                    "printf 'From: b@x.test\\r\\nReply-To: r@x.test\\r\\n\\r\\nTwo\\r\\n' >2.m2 && "
                    "chown -R nobody:nogroup '" + dir + "/home' && "
                    "echo 'bob:{PLAIN}pw' >'" + dir + "/passwd'"));
  std::ofstream(dir + "/dovecot.conf")
      << "base_dir = " << dir << "/run\nstate_dir = " << dir << "/state\nlog_path = " << dir
      << "/dovecot.log\nprotocols = pop3\nlisten = 127.0.0.1\nssl = no\n"
         "disable_plaintext_auth = no\nauth_failure_delay = 0\nmail_location = maildir:~/Maildir\n"
         "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN "
      << dir << "/passwd\n}\nuserdb {\n  driver = static\n  args = uid=nobody gid=nogroup home="
      << dir << "/home\n}\nservice pop3-login {\n  inet_listener pop3 {\n    address = 127.0.0.1\n"
         "    port = " << port << "\n  }\n}\n";
  testing_net::ChildProcess server;
  ASSERT_TRUE(server.Start({"/usr/sbin/dovecot", "-F", "-c", dir + "/dovecot.conf"},
                           dir + "/server.log"));
  ASSERT_TRUE(testing_net::WaitForPort(port, 10000)) << ReadFile(dir + "/server.log");
  Shell("mkdir -p '" + site.data() + "/mail'");
  // The mail host carries the port; the loop prints each message's fields
  // and deletes the second message.
  std::string program =
      ".global messagebody, messagesubject, messagesender, messagereplyto, messagedate, n\n"
      ".segment main start\n pushc \"127.0.0.1:" + std::to_string(port) +
      "\"\n pushc \"bob\"\n pushc \"pw\"\n pushc \"mail\"\n pop3 done\ntop:\n"
      " pushg messagebody\n out\n pushc \"|\"\n out\n pushg messagesubject\n out\n"
      " pushc \"|\"\n out\n pushg messagereplyto\n out\n pushc \"|\"\n out\n"
      " pushg messagedate\n out\n pushc \";\"\n out\n incg n, 1\n pushg n\n pushi 2\n eq\n"
      " jmp_eq keep\n pop3delete\nkeep:\n pop3loop top\ndone:\n pushc \"end\"\n out\n";
  std::string out = Body(site.Run(program));
  EXPECT_EQ(out, "mail/PXPOPM.1|One|a@x.test|Mon, 1 Jan 2024;"
                 "mail/PXPOPM.2|(no subject)|r@x.test|;end");
  std::vector<std::string> left = MaildirFiles(maildir);
  ASSERT_EQ(left.size(), 1u);
  EXPECT_NE(ReadFile(left[0]).find("Subject: One"), std::string::npos);
  EXPECT_NE(access((site.data() + "/mail").c_str(), F_OK), -1);
  EXPECT_EQ(access((site.data() + "/mail/PXPOPM.1").c_str(), F_OK), -1);

  std::string refused = program;
  refused.replace(refused.find("\"pw\""), 4, "\"wrong\"");
  out = site.Run(refused);
  EXPECT_NE(out.find("PxPOP: Error logging into"), std::string::npos) << out;
  EXPECT_EQ(out.find("PXPOPM"), std::string::npos) << out;
  server.Stop();
}

// Uploads come from the data directory; fields are the named variables.
TEST(CallTag, UploadsFilesFromTheDataDirectory) {
  std::string received;
  ScriptedPeer peer([&](int fd) {
    received = ReadHead(fd);
    size_t at = received.find("Content-Length: ");
    if (at != std::string::npos) received += ReadBytes(fd, std::stoul(received.substr(at + 16)));
    WriteBytes(fd, "HTTP/1.0 200 OK\r\n\r\nok");
  });
  ASSERT_TRUE(peer.ok());
  Site site;
  std::ofstream(site.data() + "/a.txt") << "file bytes";
  std::string url = "http://127.0.0.1:" + std::to_string(peer.port()) + "/up";
  std::string program = CallProgram({url, "POST", "f", "up=a.txt;text/plain", ""}, "op_http done",
                                    " pushc \"v\"\n popg f\n");
  EXPECT_EQ(Body(site.Run(program)), "text=ok|end");
  EXPECT_NE(received.find("name=\"f\"\r\n\r\nv\r\n"), std::string::npos) << received;
  EXPECT_NE(received.find("name=\"up\"; filename=\"a.txt\"\r\nContent-Type: text/plain\r\n\r\n"
                          "file bytes\r\n"),
            std::string::npos)
      << received;
  std::string missing = site.Run(CallProgram({url, "POST", "", "up=../x.txt", ""}, "op_http done"));
  EXPECT_NE(missing.find("PxCALL: Unable to open '../x.txt'"), std::string::npos) << missing;
}

TEST(TagAttributes, FilesFingerprintsAndMailHosts) {
  struct FilesCase {
    const char* text;
    const char* parsed;  // field/name/type;... or the error
  } files[] = {
      {"", ""},
      {" up = a.txt ; text/plain , b=c.bin", "up/a.txt/text/plain;b/c.bin/application/octet-stream;"},
      {"nofield", "Invalid file entry 'nofield': field=file expected"},
  };
  for (const FilesCase& c : files) {
    std::vector<CallFile> parsed;
    String error;
    std::string got;
    if (ParseCallFiles(c.text, &parsed, &error)) {
      for (const CallFile& f : parsed)
        got += std::string(f.field.c_str()) + "/" + f.name.c_str() + "/" + f.content_type.c_str() + ";";
    } else {
      got = error.c_str();
    }
    EXPECT_EQ(got, c.parsed) << c.text;
  }
  struct PinCase {
    const char* text;
    int ok;
    std::string bytes;
  } pins[] = {{"0aFF", 1, "\x0a\xff"}, {"0a:ff", 1, "\x0a\xff"}, {"0af", 0, ""}, {"zz", 0, ""},
              {"", 0, ""}};
  for (const PinCase& c : pins) {
    String bytes;
    EXPECT_EQ(DecodeFingerprint(c.text, &bytes), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(std::string(bytes.data(), bytes.length()), c.bytes) << c.text;
    }
  }
  struct HostCase {
    const char* text;
    const char* host;
    int32_t port;
  } hosts[] = {{"mail.test", "mail.test", 110},  {"mail.test:995", "mail.test", 995},
               {"::1", "::1", 110},              {"[::1]:1100", "::1", 1100},
               {"h:0", "h:0", 110},              {"h:99999", "h:99999", 110},
               {"h:12x", "h:12x", 110}};
  for (const HostCase& c : hosts) {
    String host;
    int32_t port = 110;
    SplitMailHost(c.text, &host, &port);
    EXPECT_STREQ(host.c_str(), c.host) << c.text;
    EXPECT_EQ(port, c.port) << c.text;
  }
}

// Loop, end and stop instructions need their service; a delete outside a
// mailbox loop has no message to delete.
TEST(NetworkTags, InstructionsWithoutTheirService) {
  Site site;
  struct Case {
    const char* code;
    const char* message;
  } cases[] = {
      {" op_http_loop x\nx:\n", "Invalid instruction"},
      {" op_http_stop x\nx:\n", "Invalid instruction"},
      {" op_smtp_end\n", "Invalid instruction"},
      {" pop3loop x\nx:\n", "Invalid instruction"},
      {" pop3stop x\nx:\n", "Invalid instruction"},
      {" pop3delete\n pushc \"next\"\n out\n", "PxPOPDELETE: No messages exist"},
  };
  for (const Case& c : cases) {
    std::string out = site.Run(std::string(".segment main start\n") + c.code);
    EXPECT_NE(out.find(c.message), std::string::npos) << c.code << out;
  }
}

// A minimal mail server that records what it is sent until the client
// hangs up.
std::string MailPeerScript(int fd) {
  std::string got;
  WriteBytes(fd, "220 ready\r\n");
  for (;;) {
    std::string line = testing_net::ReadLineFrom(fd);
    if (line.empty()) return got;
    got += line;
    if (line.compare(0, 4, "DATA") == 0) {
      WriteBytes(fd, "354 go\r\n");
      for (;;) {
        std::string data = testing_net::ReadLineFrom(fd);
        if (data.empty()) return got;
        got += data;
        if (data == ".\r\n") break;
      }
    }
    WriteBytes(fd, line.compare(0, 4, "QUIT") == 0 ? "221 bye\r\n" : "250 ok\r\n");
  }
}

// A mail body left by a function's return is dropped: the message is never
// ended, and the page gets its output back.
TEST(SmtpTag, ReturnWithoutEndDropsTheMessageAndRestoresTheOutput) {
  std::string received;
  ScriptedPeer peer([&](int fd) { received = MailPeerScript(fd); });
  ASSERT_TRUE(peer.ok());
  Site site;
  std::string program =
      ".segment main start\n call f\n pop\n pushc \"after\"\n out\n"
      ".segment lib\n.function f()\n pushc \"127.0.0.1\"\n pushi " + std::to_string(peer.port()) +
      "\n pushc \"<b@y.test>\"\n pushc \"<a@x.test>\"\n pushc \"\"\n op_smtp skip\n"
      " pushc \"lost body\"\n out\n retn\nskip:\n retn\n.end\n";
  std::string out = Body(site.Run(program));
  peer.Wait();
  EXPECT_EQ(out, "after");
  EXPECT_NE(received.find("DATA\r\n"), std::string::npos) << received;
  EXPECT_EQ(received.find("lost body"), std::string::npos) << received;
  EXPECT_EQ(received.find("\r\n.\r\n"), std::string::npos) << received;
}

// Scripted mailboxes: an empty one runs the body zero times without an
// error; one that lists more messages than it announced is refused.
TEST(PopTag, EmptyAndInconsistentMailboxes) {
  struct Case {
    const char* stat;
    const char* list;
    const char* expected;
  } cases[] = {
      {"+OK 0 0\r\n", "+OK\r\n.\r\n", "end"},
      {"+OK 1 10\r\n", "+OK\r\n1 5\r\n2 5\r\n.\r\n",
       "More messages than expected returned from server"},
  };
  for (const Case& c : cases) {
    ScriptedPeer peer([&](int fd) {
      WriteBytes(fd, "+OK hi\r\n");
      for (;;) {
        std::string line = testing_net::ReadLineFrom(fd);
        if (line.empty()) return;
        if (line.compare(0, 4, "STAT") == 0) WriteBytes(fd, c.stat);
        else if (line.compare(0, 4, "LIST") == 0) WriteBytes(fd, c.list);
        else WriteBytes(fd, "+OK\r\n");
      }
    });
    ASSERT_TRUE(peer.ok());
    Site site;
    std::string out = Body(site.Run(
        ".global messagebody\n.segment main start\n pushc \"127.0.0.1:" +
        std::to_string(peer.port()) + "\"\n pushc \"u\"\n pushc \"p\"\n pushc \"\"\n pop3 done\n"
        "top:\n pushc \"BODY\"\n out\n pop3loop top\ndone:\n pushc \"end\"\n out\n"));
    EXPECT_NE(out.find(c.expected), std::string::npos) << out;
    EXPECT_EQ(out.find("BODY"), std::string::npos) << out;
  }
}

}  // namespace
}  // namespace pexo
