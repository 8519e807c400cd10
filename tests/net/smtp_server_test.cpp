// SMTPService against a real server (aiosmtpd on loopback): STARTTLS, then
// AUTH, then the message, which the server must have received byte for byte;
// and TLS from the start with AUTH LOGIN.
#include <gtest/gtest.h>

#include <string>

#include "net/posix_network_manager.h"
#include "net/smtp_service.h"
#include "net_peers.h"

namespace pexo {
namespace {

using testing_net::ChildProcess;
using testing_net::ReadFile;
using testing_net::Shell;
using testing_net::Str;
using testing_net::Text;

TEST(SmtpServer, StartTlsAuthAndDeliveredBytes) {
  if (!Shell("/usr/bin/python3 -c 'import aiosmtpd' 2>/dev/null"))
    GTEST_FAIL() << "python3-aiosmtpd is missing: run scripts/setup.sh";
  std::string dir = testing_net::TempDirectory();
  ASSERT_FALSE(dir.empty());
  ASSERT_TRUE(Shell("cd '" + dir + "' && openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem "
                    "-out cert.pem -days 2 -subj /CN=localhost >setup.log 2>&1"));
  int port = testing_net::FreePort();
  int tls_port = testing_net::FreePort();
  ChildProcess server;
  ASSERT_TRUE(server.Start({"/usr/bin/python3", std::string(PEXO_SOURCE_DIR) + "/tests/net/smtp_peer.py",
                            std::to_string(port), std::to_string(tls_port), dir, dir + "/cert.pem", dir + "/key.pem"},
                           dir + "/server.log"));
  ASSERT_TRUE(testing_net::WaitForPort(port, 10000)) << ReadFile(dir + "/server.log");
  ASSERT_TRUE(testing_net::WaitForPort(tls_port, 10000)) << ReadFile(dir + "/server.log");

  NetworkSettings settings;
  settings.timeout_global = 10;
  settings.file_ca = Str(dir + "/cert.pem");
  SmtpMessage message;
  message.host = "127.0.0.1";
  message.port = port;
  message.to = "<b@y.test>, <c@y.test>";
  message.from = "<a@x.test>";
  message.subject = "Greetings";
  message.flags = "starttls";
  message.user = "bob";
  message.password = "pw";
  const std::string body = "\n\nHello\n.\n..two\n.three\r\nlast";
  {
    PosixNetworkManager manager(settings);
    SMTPService smtp(&manager, 5);
    smtp.SetLocalHostName("client.test");
    smtp.SetDate("Tue, 08 Dec 2026 09:05:07 +0530");
    ASSERT_TRUE(smtp.Start(message)) << Text(smtp.ErrorText());
    ASSERT_TRUE(smtp.WriteBody(body.data(), static_cast<int32_t>(body.size())));
    ASSERT_TRUE(smtp.Finish()) << Text(smtp.ErrorText());
  }
  // The server undoes the dot-stuffing: every line arrives as written.
  EXPECT_EQ(ReadFile(dir + "/message.1"),
            "Date: Tue, 08 Dec 2026 09:05:07 +0530\r\nFrom: <a@x.test>\r\n"
            "To: <b@y.test>, <c@y.test>\r\nX-Mailer: Pexo v5.52\r\nSubject: Greetings\r\n"
            "\r\nHello\r\n.\r\n..two\r\n.three\r\nlast\r\n");
  EXPECT_EQ(ReadFile(dir + "/envelope.1"), "a@x.test\nb@y.test\nc@y.test\n");

  // Wrong password: the server's own text, and no message.
  message.password = "wrong";
  {
    PosixNetworkManager manager(settings);
    SMTPService smtp(&manager, 5);
    EXPECT_FALSE(smtp.Start(message));
    EXPECT_EQ(Text(smtp.ErrorText()), "5.7.8 Authentication credentials invalid");
  }
  // Without STARTTLS this server offers no AUTH.
  message.password = "pw";
  message.flags = "";
  {
    PosixNetworkManager manager(settings);
    SMTPService smtp(&manager, 5);
    EXPECT_FALSE(smtp.Start(message));
    EXPECT_EQ(Text(smtp.ErrorText()),
              "No supported authentication methods are allowed by the server");
  }
  // TLS from the start; the server offers LOGIN only and pads its prompts.
  message.port = tls_port;
  message.flags = "TLS";
  message.cc = "<d@y.test>";
  {
    PosixNetworkManager manager(settings);
    SMTPService smtp(&manager, 5);
    smtp.SetDate("Tue, 08 Dec 2026 09:05:07 -0500");
    ASSERT_TRUE(smtp.Start(message)) << Text(smtp.ErrorText());
    ASSERT_TRUE(smtp.WriteBody("\n\nx", 3) && smtp.Finish()) << Text(smtp.ErrorText());
  }
  server.Stop();
  EXPECT_EQ(ReadFile(dir + "/message.2"),
            "Date: Tue, 08 Dec 2026 09:05:07 -0500\r\nFrom: <a@x.test>\r\n"
            "To: <b@y.test>, <c@y.test>\r\nCC: <d@y.test>\r\nX-Mailer: Pexo v5.52\r\n"
            "Subject: Greetings\r\n\r\nx\r\n");
  EXPECT_EQ(ReadFile(dir + "/envelope.2"), "a@x.test\nb@y.test\nc@y.test\nd@y.test\n");
  EXPECT_EQ(ReadFile(dir + "/message.3"), "");
  Shell("rm -rf '" + dir + "'");
}

}  // namespace
}  // namespace pexo
