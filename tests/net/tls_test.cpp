// TLS: the library loader and its generations, name matching, and StartTLS
// against a real TLS server on certificates made for the test: verification,
// host-name and address checks, pins and client certificates. Every failed
// check must leave the connection closed, so no request data can follow.
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/network_manager.h"
#include "net/openssl.h"
#include "net/posix_network_manager.h"
#include "net/tls_session.h"
#include "net_peers.h"

namespace pexo {
namespace {

using testing_net::ReadFile;
using testing_net::ScriptedPeer;
using testing_net::Shell;
using testing_net::Str;
using testing_net::Text;

std::string FakeLibrary(const char* name) {
  return std::string(PEXO_TEST_LIB_DIR) + "/fake_" + name + ".so";
}

TEST(OpenSSLLoader, TellsTheGenerationsApart) {
  struct Case {
    std::string crypto, ssl, expected;
  } cases[] = {
      {FakeLibrary("gen3"), FakeLibrary("plain"),
       "Error loading function 'OpenSSL_version_num' from '" + FakeLibrary("gen3") + "'"},
      {FakeLibrary("gen11"), FakeLibrary("plain"),
       "Error loading function 'OPENSSL_init_ssl' from '" + FakeLibrary("plain") + "'"},
      {FakeLibrary("gen10"), FakeLibrary("plain"),
       "Error loading function 'SSL_library_init' from '" + FakeLibrary("plain") + "'"},
      {FakeLibrary("plain"), FakeLibrary("plain"), "Failed to determine OpenSSL version"},
  };
  for (const Case& c : cases) {
    NetworkSettings settings;
    settings.ssl_crypto = Str(c.crypto);
    settings.ssl_openssl = Str(c.ssl);
    String error;
    EXPECT_FALSE(OpenSSL::Load(settings, &error));
    EXPECT_EQ(Text(error), c.expected);
  }
}

TEST(OpenSSLLoader, ConfiguredFileMissingAndSystemLibrary) {
  NetworkSettings settings;
  settings.ssl_crypto = "/nonexistent/libcrypto-test.so";
  String error;
  EXPECT_FALSE(OpenSSL::Load(settings, &error));
  EXPECT_NE(Text(error).find("/nonexistent/libcrypto-test.so"), std::string::npos) << Text(error);
  // The defaults reach the system's library (versioned names when the
  // unversioned ones are missing); Debian 12 ships the third generation.
  std::unique_ptr<OpenSSL> library = OpenSSL::Load(NetworkSettings(), &error);
  ASSERT_TRUE(library) << Text(error);
  EXPECT_EQ(library->generation(), OpenSSL::k3_x_x);
}

TEST(CertificateNameMatches, Rules) {
  struct Case {
    const char* pattern;
    const char* host;
    bool matches;
  } cases[] = {
      {"www.Example.com", "WWW.example.COM", true},
      {"*.example.com", "www.example.com", true},
      {"*.example.com", "a.b.example.com", false},  // one label only
      {"*.example.com", "example.com", false},
      {"*.com", "example.com", false},              // two dots must follow
      {"*.co.uk", "example.co.uk", true},
      {"w*.example.com", "www.example.com", true},
      {"w*.example.com", "mail.example.com", false},
      {"*w.example.com", "www.example.com", false},  // "*" must end the label
      {"www.*.com", "www.example.com", false},       // only in the first label
      {"*.*.example.com", "a.b.example.com", false}, // exactly one "*"
      {"x*.example.com", "xn--bcher-kva.example.com", false},
      {"*.example.com", "xn--bcher-kva.example.com", true},
      {"*.example.com", "www.example.com.evil", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CertificateNameMatches(c.pattern, static_cast<int32_t>(strlen(c.pattern)), c.host,
                                     static_cast<int32_t>(strlen(c.host))),
              c.matches)
        << c.pattern << " / " << c.host;
}

// One CA, a server certificate for "localhost" and 127.0.0.1, and a client
// certificate in PEM, encrypted PEM and DER (certificate then key).
class TlsServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new std::string(testing_net::TempDirectory());
    const std::string& d = *dir_;
    std::string ec = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes ";
    ready_ =
        Shell("cd '" + d + "' && exec >setup.log 2>&1 && "
              "openssl req -x509" + ec + "-keyout ca.key -out ca.pem -days 2 -subj /CN=TestCA && "
              "printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\\n' > san.cnf && "
              "openssl req" + ec + "-keyout server.key -out server.csr -subj /CN=localhost && "
              "openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial "
              "-out server.pem -days 2 -extfile san.cnf && "
              "openssl req" + ec + "-keyout client.key -out client.csr -subj /CN=client && "
              "openssl x509 -req -in client.csr -CA ca.pem -CAkey ca.key -CAcreateserial "
              "-out client.pem -days 2 && "
              "cat client.pem client.key > client-both.pem && "
              "openssl pkey -in client.key -aes128 -passout pass:secret -out client-enc.key && "
              "cat client.pem client-enc.key > client-enc.pem && "
              "openssl x509 -in client.pem -outform DER -out client.der && "
              "openssl pkey -in client.key -outform DER -out client-key.der && "
              "cat client.der client-key.der > client-both.der && "
              "openssl x509 -noout -fingerprint -sha256 -in server.pem > server.sha256");
    if (!ready_) return;
    port_ = testing_net::FreePort();
    verify_port_ = testing_net::FreePort();
    server_ = new testing_net::ChildProcess;
    server_->Start({"openssl", "s_server", "-accept", std::to_string(port_), "-cert",
                    d + "/server.pem", "-key", d + "/server.key", "-www", "-quiet"},
                   d + "/server.log");
    verify_server_ = new testing_net::ChildProcess;
    verify_server_->Start({"openssl", "s_server", "-accept", std::to_string(verify_port_),
                           "-cert", d + "/server.pem", "-key", d + "/server.key", "-www",
                           "-quiet", "-Verify", "1", "-CAfile", d + "/ca.pem"},
                          d + "/verify_server.log");
    // Answers each line with the line reversed, and nothing before.
    rev_port_ = testing_net::FreePort();
    rev_server_ = new testing_net::ChildProcess;
    rev_server_->Start({"openssl", "s_server", "-accept", std::to_string(rev_port_), "-cert",
                        d + "/server.pem", "-key", d + "/server.key", "-rev", "-quiet"},
                       d + "/rev_server.log");
    // Presents the client's certificate to those who name "localhost".
    sni_port_ = testing_net::FreePort();
    sni_server_ = new testing_net::ChildProcess;
    sni_server_->Start({"openssl", "s_server", "-accept", std::to_string(sni_port_), "-cert",
                        d + "/server.pem", "-key", d + "/server.key", "-servername", "localhost",
                        "-cert2", d + "/client.pem", "-key2", d + "/client.key", "-www",
                        "-quiet"},
                       d + "/sni_server.log");
    ready_ = testing_net::WaitForPort(port_) && testing_net::WaitForPort(verify_port_) &&
             testing_net::WaitForPort(rev_port_) && testing_net::WaitForPort(sni_port_);
  }
  static void TearDownTestSuite() {
    delete server_;
    delete verify_server_;
    delete rev_server_;
    delete sni_server_;
    Shell("rm -rf '" + *dir_ + "'");
    delete dir_;
  }

  static std::string Path(const char* name) { return *dir_ + "/" + name; }

  // The server certificate's SHA-256 digest as bytes.
  static std::string ServerDigest() {
    std::string line = ReadFile(Path("server.sha256"));
    std::string bytes;
    size_t at = line.find('=');
    for (size_t i = at + 1; i + 1 < line.size(); i += 3)
      bytes.push_back(static_cast<char>(std::stoi(line.substr(i, 2), nullptr, 16)));
    return bytes;
  }

  // Connects to 127.0.0.1 and starts TLS; returns StartTLS's result.
  int Start(int port, NetworkSettings settings, const TlsOptions& options,
            std::unique_ptr<PosixNetworkManager>* manager,
            std::unique_ptr<NetworkConnection>* connection) {
    manager->reset(new PosixNetworkManager(settings));
    *connection = (*manager)->OpenConnection("127.0.0.1", port, 3);
    if (!*connection) {
      ADD_FAILURE() << Text((*manager)->ErrorText());
      return -1;
    }
    return (*manager)->StartTLS(connection->get(), options, 3);
  }

  // Sends a request over the TLS connection and returns the status line.
  static std::string Fetch(NetworkConnection* connection) {
    const char request[] = "GET / HTTP/1.0\r\n\r\n";
    if (connection->Write(request, sizeof request - 1, 3) < 0) return Text(connection->ErrorText());
    String line;
    if (connection->ReadLine(&line, 64, 3) < 0) return Text(connection->ErrorText());
    return Text(line);
  }

  static std::string* dir_;
  static testing_net::ChildProcess* server_;
  static testing_net::ChildProcess* verify_server_;
  static testing_net::ChildProcess* rev_server_;
  static testing_net::ChildProcess* sni_server_;
  static int port_, verify_port_, rev_port_, sni_port_;
  static bool ready_;
};

std::string* TlsServerTest::dir_ = nullptr;
testing_net::ChildProcess* TlsServerTest::server_ = nullptr;
testing_net::ChildProcess* TlsServerTest::verify_server_ = nullptr;
int TlsServerTest::port_ = 0;
int TlsServerTest::verify_port_ = 0;
testing_net::ChildProcess* TlsServerTest::rev_server_ = nullptr;
int TlsServerTest::rev_port_ = 0;
testing_net::ChildProcess* TlsServerTest::sni_server_ = nullptr;
int TlsServerTest::sni_port_ = 0;
bool TlsServerTest::ready_ = false;

struct TlsCase {
  const char* name;
  const char* host;  // the name StartTLS checks
  bool trust_ca;
  int32_t flags_security;
  int32_t verify_flags;
  std::string pin_algorithm, pin;
  std::string expected_error;  // empty: success; a trailing "*" compares a prefix
};

void ExpectError(const std::string& actual, const std::string& expected) {
  if (!expected.empty() && expected.back() == '*')
    EXPECT_EQ(actual.substr(0, expected.size() - 1), expected.substr(0, expected.size() - 1))
        << actual;
  else
    EXPECT_EQ(actual, expected);
}

TEST_F(TlsServerTest, VerificationIdentityAndPins) {
  ASSERT_TRUE(ready_) << ReadFile(Path("setup.log")) << ReadFile(Path("server.log"));
  std::string digest = ServerDigest();
  ASSERT_EQ(digest.size(), 32u);
  std::string wrong = digest;
  wrong[31] = static_cast<char>(wrong[31] ^ 1);
  const std::string kIdentity = "Unable to verify server identity";
  const std::string kPin = "Certificate does not match expected fingerprint";
  TlsCase cases[] = {
      {"verified by name", "localhost", true, 0, 0, "", "", ""},
      {"unknown issuer", "localhost", false, 0, 0, "", "",
       "Error establishing SSL connection: certificate verify failed"},
      {"peer verification off", "localhost", false, 0x1000, 0, "", "", ""},
      {"wrong host name", "other.test", true, 0, 0, "", "", kIdentity},
      {"host check off", "other.test", true, 0x2000, 0, "", "", ""},
      {"host check off but forced", "other.test", true, 0x2000, 2, "", "", kIdentity},
      {"address unchecked by default", "127.0.0.2", true, 0, 0, "", "", ""},
      {"address checked by flag", "127.0.0.2", true, 0x4000, 0, "", "", kIdentity},
      {"address checked when forced", "127.0.0.2", true, 0, 2, "", "", kIdentity},
      {"matching address", "127.0.0.1", true, 0x4000, 0, "", "", ""},
      {"pin", "localhost", true, 0, 0, "sha256", digest, ""},
      {"pin, digest name in capitals", "localhost", true, 0, 0, "SHA256", digest, ""},
      {"wrong pin", "localhost", true, 0, 0, "sha256", wrong, kPin},
      {"pin longer than the digest", "localhost", true, 0, 0, "sha256", digest + "x", kPin},
      {"pin longer than any digest", "localhost", true, 0, 0, "sha256",
       digest + std::string(100, 'x'), kPin},
      {"pin of another digest", "localhost", true, 0, 0, "sha1", digest, kPin},
      {"unknown pin algorithm", "localhost", true, 0, 0, "nosuchdigest", digest,
       "Unsupported certificate pinning algorithm"},
  };
  for (const TlsCase& c : cases) {
    SCOPED_TRACE(c.name);
    NetworkSettings settings;
    if (c.trust_ca) settings.file_ca = Str(Path("ca.pem"));
    settings.flags_security = c.flags_security;
    TlsOptions options;
    options.host = c.host;
    options.verify_flags = c.verify_flags;
    options.pin_algorithm = Str(c.pin_algorithm);
    options.pin = Str(c.pin);
    std::unique_ptr<PosixNetworkManager> manager;
    std::unique_ptr<NetworkConnection> connection;
    int started = Start(port_, settings, options, &manager, &connection);
    if (c.expected_error.empty()) {
      ASSERT_EQ(started, 1) << Text(manager->ErrorText());
      EXPECT_EQ(Fetch(connection.get()), "HTTP/1.0 200 ok\r\n");
      String pem;
      EXPECT_TRUE(connection->Tls()->PeerCertificatePem(&pem));
      EXPECT_EQ(Text(pem), ReadFile(Path("server.pem")));
    } else {
      EXPECT_EQ(started, 0);
      ExpectError(Text(manager->ErrorText()), c.expected_error);
      EXPECT_EQ(Text(connection->ErrorText()), Text(manager->ErrorText()));
      // Failed closed: nothing can be sent any more.
      EXPECT_EQ(connection->Socket(), -1);
      EXPECT_EQ(connection->Write("GET", 3, 1), -1);
    }
  }
}

TEST_F(TlsServerTest, ClientCertificates) {
  ASSERT_TRUE(ready_) << ReadFile(Path("setup.log"));
  struct Case {
    const char* name;
    std::string file, data, type, key;
    std::string expected_start;  // StartTLS error; empty: success
    std::string expected_fetch;
  } cases[] = {
      {"PEM file", Path("client-both.pem"), "", "", "", "", "HTTP/1.0 200 ok\r\n"},
      {"PEM buffer, type in capitals", "", ReadFile(Path("client-both.pem")), "PEM", "", "",
       "HTTP/1.0 200 ok\r\n"},
      {"encrypted key with its password", Path("client-enc.pem"), "", "pem", "secret", "",
       "HTTP/1.0 200 ok\r\n"},
      {"DER certificate then key in one buffer", "", ReadFile(Path("client-both.der")), "asn1",
       "", "", "HTTP/1.0 200 ok\r\n"},
      {"DER file", Path("client-both.der"), "", "ASN.1", "", "", "HTTP/1.0 200 ok\r\n"},
      {"encrypted key, wrong password", Path("client-enc.pem"), "", "", "wrong",
       "Error reading client key: *", ""},
      {"certificate without key", Path("client.pem"), "", "", "", "Error reading client key: *",
       ""},
      {"DER without key", "", ReadFile(Path("client.der")), "a", "",
       "Error reading client key: *", ""},
      {"not a certificate", "", "garbage", "", "", "Error reading client certificate: *", ""},
      {"unknown type", Path("client-both.pem"), "", "x509", "",
       "Unsupported certificate type 'x509'", ""},
      {"missing file", Path("nosuch.pem"), "", "", "",
       "Unable to read from client certificate file: *", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NetworkSettings settings;
    settings.file_ca = Str(Path("ca.pem"));
    TlsOptions options;
    options.host = "localhost";
    options.certificate_file = Str(c.file);
    options.certificate_data = Str(c.data);
    options.certificate_type = Str(c.type);
    options.key = Str(c.key);
    std::unique_ptr<PosixNetworkManager> manager;
    std::unique_ptr<NetworkConnection> connection;
    int started = Start(verify_port_, settings, options, &manager, &connection);
    if (c.expected_start.empty()) {
      ASSERT_EQ(started, 1) << Text(manager->ErrorText());
      EXPECT_EQ(Fetch(connection.get()), c.expected_fetch);
    } else {
      EXPECT_EQ(started, 0);
      ExpectError(Text(manager->ErrorText()), c.expected_start);
      EXPECT_EQ(connection->Socket(), -1);
    }
  }
  // Without a certificate the server refuses the session.
  NetworkSettings settings;
  settings.file_ca = Str(Path("ca.pem"));
  TlsOptions options;
  options.host = "localhost";
  std::unique_ptr<PosixNetworkManager> manager;
  std::unique_ptr<NetworkConnection> connection;
  if (Start(verify_port_, settings, options, &manager, &connection) == 1) {
    EXPECT_NE(Fetch(connection.get()).substr(0, 15), "HTTP/1.0 200 ok");
  }
}

// Reads on an upgraded connection: lines read ahead are not lost to the
// next read, a silent peer times out, the end of the session reads as 0.
TEST_F(TlsServerTest, Reads) {
  ASSERT_TRUE(ready_);
  NetworkSettings settings;
  settings.file_ca = Str(Path("ca.pem"));
  TlsOptions options;
  options.host = "localhost";
  std::unique_ptr<PosixNetworkManager> manager;
  std::unique_ptr<NetworkConnection> c;
  ASSERT_EQ(Start(rev_port_, settings, options, &manager, &c), 1) << Text(manager->ErrorText());
  char buffer[64];
  manager->deadline()->Set(RequestDeadline::Now() + 200);
  EXPECT_EQ(c->Read(buffer, sizeof buffer, 30), -1);
  EXPECT_EQ(Text(c->ErrorText()), "SSL Read Timeout");
  manager->deadline()->Set(0);
  ASSERT_EQ(c->Write("hello\nworld\n", 12, 2), 12);
  String line;
  std::string got;
  while (got.size() < 12 && c->ReadLine(&line, 64, 2) > 0) got += Text(line);
  EXPECT_EQ(got, "olleh\ndlrow\n");

  ASSERT_EQ(Start(port_, settings, options, &manager, &c), 1);
  EXPECT_EQ(Fetch(c.get()), "HTTP/1.0 200 ok\r\n");
  EXPECT_EQ(c->ReadLine(&line, 4, 2), 25);  // longer than the chunk
  EXPECT_EQ(Text(line), "Content-type: text/html\r\n");
  std::string rest;
  int32_t n;
  while ((n = c->Read(buffer, sizeof buffer, 2)) > 0) rest.append(buffer, static_cast<size_t>(n));
  EXPECT_EQ(n, 0) << Text(c->ErrorText());
  EXPECT_NE(rest.find("</BODY></HTML>"), std::string::npos);
  EXPECT_EQ(rest.substr(0, 2), "\r\n") << rest.substr(0, 40);
}

// Server name indication: sent for names unless configured off, never for
// addresses. The server answers a named "localhost" with another
// certificate, which tells what was sent.
TEST_F(TlsServerTest, ServerNameIndication) {
  ASSERT_TRUE(ready_);
  struct Case {
    int32_t ssl_sni;
    const char* host;
    const char* expected_certificate;
  } cases[] = {
      {-1, "localhost", "client.pem"},
      {1, "localhost", "client.pem"},
      {0, "localhost", "server.pem"},
      {1, "127.0.0.1", "server.pem"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.ssl_sni) + " " + c.host);
    NetworkSettings settings;
    settings.file_ca = Str(Path("ca.pem"));
    settings.flags_security = 0x2000;  // the second certificate names no host
    settings.ssl_sni = c.ssl_sni;
    TlsOptions options;
    options.host = c.host;
    std::unique_ptr<PosixNetworkManager> manager;
    std::unique_ptr<NetworkConnection> connection;
    ASSERT_EQ(Start(sni_port_, settings, options, &manager, &connection), 1)
        << Text(manager->ErrorText());
    String pem;
    ASSERT_TRUE(connection->Tls()->PeerCertificatePem(&pem));
    EXPECT_EQ(Text(pem), ReadFile(Path(c.expected_certificate)));
  }
}

// Writing on after the peer has gone fails with a message: the broken pipe
// must not raise a signal that ends the process.
TEST_F(TlsServerTest, WriteToAPeerThatHasGone) {
  ASSERT_TRUE(ready_);
  int port = testing_net::FreePort();
  testing_net::ChildProcess server;
  server.Start({"openssl", "s_server", "-accept", std::to_string(port), "-cert",
                Path("server.pem"), "-key", Path("server.key"), "-rev", "-quiet"},
               Path("gone_server.log"));
  ASSERT_TRUE(testing_net::WaitForPort(port));
  NetworkSettings settings;
  settings.file_ca = Str(Path("ca.pem"));
  TlsOptions options;
  options.host = "localhost";
  std::unique_ptr<PosixNetworkManager> manager;
  std::unique_ptr<NetworkConnection> c;
  ASSERT_EQ(Start(port, settings, options, &manager, &c), 1) << Text(manager->ErrorText());
  server.Stop();
  int32_t written = 0;
  for (int i = 0; i < 5 && written >= 0; ++i) {
    written = c->Write("x\n", 2, 2);
    usleep(50000);
  }
  EXPECT_EQ(written, -1);
  EXPECT_EQ(Text(c->ErrorText()).substr(0, 13), "Write Error: ") << Text(c->ErrorText());
}

// A library that fails to load is remembered: later uses fail at once with
// the fixed message, whatever the settings. Run in a fresh process, since
// the table is process-wide.
bool LoadFailureIsRemembered() {
  NetworkSettings settings;
  settings.ssl_crypto = "/nonexistent/libcrypto-test.so";
  String first, second;
  if (OpenSSL::Instance(settings, &first) ||
      Text(first).find("/nonexistent/") == std::string::npos)
    return false;
  if (OpenSSL::Instance(NetworkSettings(), &second) ||
      Text(second) != "Unable to load OpenSSL DLLs")
    return false;
  ScriptedPeer peer([](int fd) { testing_net::DrainUntilClosed(fd, 2000); });
  PosixNetworkManager manager{NetworkSettings()};
  auto connection = manager.OpenConnection("127.0.0.1", peer.port(), 2);
  TlsOptions options;
  options.host = "localhost";
  return connection && manager.StartTLS(connection.get(), options, 1) == 0 &&
         Text(manager.ErrorText()) == "Unable to load OpenSSL DLLs" &&
         connection->Socket() == -1;
}

TEST(OpenSSLInstanceDeathTest, RemembersAFailedLoad) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(_exit(LoadFailureIsRemembered() ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

// Peers that misbehave during the handshake.
TEST(TlsHandshake, SilentAndClosingPeers) {
  struct Case {
    const char* name;
    std::function<void(int)> script;
    std::string expected;
  } cases[] = {
      {"never answers", [](int fd) { testing_net::DrainUntilClosed(fd, 3000); },
       "Error establishing SSL connection: Connection timed out"},
      {"closes at once", [](int) {},
       "Error establishing SSL connection: *"},
      {"answers in plain text",
       [](int fd) {
         testing_net::ReadBytes(fd, 1, 2000);
         testing_net::WriteBytes(fd, "HTTP/1.0 400 Bad Request\r\n\r\n");
       },
       "Error establishing SSL connection: *"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedPeer peer(c.script);
    NetworkSettings settings;
    PosixNetworkManager manager(settings);
    auto connection = manager.OpenConnection("127.0.0.1", peer.port(), 2);
    ASSERT_TRUE(connection);
    TlsOptions options;
    options.host = "localhost";
    EXPECT_EQ(manager.StartTLS(connection.get(), options, 1), 0);
    ExpectError(Text(manager.ErrorText()), c.expected);
    EXPECT_EQ(connection->Socket(), -1);
  }
  // No socket at all.
  NetworkSettings settings;
  PosixNetworkManager manager(settings);
  auto unconnected = manager.NewConnection();
  TlsOptions options;
  options.host = "localhost";
  EXPECT_EQ(manager.StartTLS(unconnected.get(), options, 1), 0);
  EXPECT_EQ(Text(manager.ErrorText()), "TCP connection not established");
}

}  // namespace
}  // namespace pexo
