// SMTPService conversations against a scripted server on loopback: the
// commands in order byte for byte, the choice of mechanism, and each
// refusal's message.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <memory>
#include <string>
#include <vector>

#include "net/posix_network_manager.h"
#include "net/sasl.h"
#include "net/smtp_service.h"
#include "net_peers.h"

namespace pexo {
namespace {

using testing_net::ReadLineFrom;
using testing_net::ScriptedPeer;
using testing_net::Str;
using testing_net::Text;
using testing_net::WriteBytes;

// Sends the greeting, then answers each command line (or each whole DATA
// section) with the next reply, recording everything the client sent.
void Serve(int fd, const std::vector<std::string>& replies, std::string* transcript) {
  size_t next = 0;
  WriteBytes(fd, replies[next++]);
  bool data = false;
  for (;;) {
    std::string line = ReadLineFrom(fd);
    if (line.empty()) return;
    *transcript += line;
    if (data && line != ".\r\n") continue;
    if (next == replies.size()) continue;  // record what follows until the client closes
    if (replies[next] == "<close>") return;
    bool starts_data = !data && line == "DATA\r\n" && replies[next].compare(0, 3, "354") == 0;
    data = starts_data;
    WriteBytes(fd, replies[next++]);
  }
}

const char kDate[] = "Tue, 08 Dec 2026 09:05:07 +0530";
const std::string kHeaders = std::string("Date: ") + kDate +
                             "\r\nFrom: <a@x.test>\r\nTo: <b@y.test>\r\nX-Mailer: Pexo v5.52\r\n"
                             "Subject: Hi\r\n";
const std::string kEnvelope = "MAIL FROM: <a@x.test>\r\nRCPT TO: <b@y.test>\r\nDATA\r\n";
const std::string kBody = "\n\nHello\n.\nBye";
const std::string kBodyWire = "\r\nHello\r\n..\r\nBye\r\n.\r\n";
const std::vector<std::string> kAccept = {"250 sender ok\r\n", "250 rcpt ok\r\n",
                                          "354 go on\r\n", "250 queued\r\n", "221 bye\r\n"};

std::vector<std::string> Then(std::vector<std::string> first, const std::vector<std::string>& rest) {
  first.insert(first.end(), rest.begin(), rest.end());
  return first;
}

struct Conversation {
  const char* name;
  std::string user, password, flags;
  std::vector<std::string> replies;  // greeting first
  std::string sent;                  // everything the client must send
  std::string error;                 // empty: success
};

std::string DigestChallengeB64() {
  return Text(Base64Of("realm=\"x.test\",nonce=\"N1\",qop=\"auth\",charset=utf-8"));
}

std::string DigestAnswerFor(std::string* rspauth) {
  DigestChallenge challenge;
  String error;
  ParseDigestChallenge("realm=\"x.test\",nonce=\"N1\",qop=\"auth\",charset=utf-8", &challenge,
                       &error);
  DigestAnswer answer = DigestMd5Answer(challenge, "bob", "pw", "CN", "smtp/127.0.0.1");
  *rspauth = Text(answer.rspauth);
  return Text(Base64Of(answer.message));
}

std::vector<Conversation> Conversations() {
  std::string rspauth;
  std::string digest = DigestAnswerFor(&rspauth);
  std::string ehlo = "EHLO client.test\r\n";
  std::string plain = "AUTH PLAIN " + Text(Base64Of(String("bob\0bob\0pw", 10))) + "\r\n";
  return {
      {"HELO without credentials", "", "", "", Then({"220 hi\r\n", "250 hello\r\n"}, kAccept),
       "HELO client.test\r\n" + kEnvelope + kHeaders + kBodyWire + "QUIT\r\n", ""},
      {"PLAIN preferred to LOGIN", "bob", "pw", "",
       Then({"220 hi\r\n", "250-x.test\r\n250-AUTH LOGIN PLAIN\r\n250 8BITMIME\r\n",
             "235 ok\r\n"},
            kAccept),
       ehlo + plain + kEnvelope + kHeaders + kBodyWire + "QUIT\r\n", ""},
      {"LOGIN prompts", "bob", "pw", "",
       Then({"220 hi\r\n", "250-x.test\r\n250 AUTH LOGIN\r\n", "334 VXNlcm5hbWU6\r\n",
             "334 UGFzc3dvcmQ6\r\n", "235 ok\r\n"},
            kAccept),
       ehlo + "AUTH LOGIN\r\nYm9i\r\ncHc=\r\n" + kEnvelope + kHeaders + kBodyWire + "QUIT\r\n",
       ""},
      {"LOGIN wrong prompt", "bob", "pw", "",
       {"220 hi\r\n", "250-x.test\r\n250 AUTH LOGIN\r\n", "334 cGFzcw==\r\n"},
       ehlo + "AUTH LOGIN\r\n", "Invalid AUTH LOGIN handshake"},
      {"CRAM-MD5 over PLAIN", "tim", "tanstaaftanstaaf", "",
       Then({"220 hi\r\n", "250-x.test\r\n250 AUTH PLAIN CRAM-MD5\r\n",
             "334 PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+\r\n", "235 ok\r\n"},
            kAccept),
       ehlo + "AUTH CRAM-MD5\r\ndGltIGI5MTNhNjAyYzdlZGE3YTQ5NWI0ZTZlNzMzNGQzODkw\r\n" +
           kEnvelope + kHeaders + kBodyWire + "QUIT\r\n",
       ""},
      {"DIGEST-MD5 first", "bob", "pw", "",
       Then({"220 hi\r\n", "250-x.test\r\n250 AUTH LOGIN CRAM-MD5 DIGEST-MD5\r\n",
             "334 " + DigestChallengeB64() + "\r\n",
             "334 " + Text(Base64Of(Str("rspauth=" + rspauth))) + "\r\n", "235 ok\r\n"},
            kAccept),
       ehlo + "AUTH DIGEST-MD5\r\n" + digest + "\r\n\r\n" + kEnvelope + kHeaders + kBodyWire +
           "QUIT\r\n",
       ""},
      {"DIGEST-MD5 rspauth mismatch", "bob", "pw", "",
       {"220 hi\r\n", "250-x.test\r\n250 AUTH DIGEST-MD5\r\n", "334 " + DigestChallengeB64() + "\r\n",
        "334 " + Text(Base64Of(Str("rspauth=" + std::string(32, '0')))) + "\r\n"},
       ehlo + "AUTH DIGEST-MD5\r\n" + digest + "\r\n",
       "rspauth mismatch during DIGEST-MD5 authentication"},
      {"DIGEST-MD5 rspauth malformed", "bob", "pw", "",
       {"220 hi\r\n", "250-x.test\r\n250 AUTH DIGEST-MD5\r\n", "334 " + DigestChallengeB64() + "\r\n",
        "334 " + Text(Base64Of("rspauth=abc")) + "\r\n"},
       ehlo + "AUTH DIGEST-MD5\r\n" + digest + "\r\n",
       "Invalid rspauth during DIGEST-MD5 authentication"},
      {"no common mechanism", "bob", "pw", "",
       {"220 hi\r\n", "250-x.test\r\n250 AUTH GSSAPI XOAUTH2\r\n"}, ehlo,
       "No supported authentication methods are allowed by the server"},
      {"credentials refused", "bob", "pw", "",
       {"220 hi\r\n", "250-x.test\r\n250 AUTH PLAIN\r\n", "535 5.7.8 Authentication failed\r\n"},
       ehlo + plain, "5.7.8 Authentication failed"},
      {"STARTTLS not offered", "", "", "starttls", {"220 hi\r\n", "250-x.test\r\n250 SIZE 10\r\n"},
       ehlo, "Server does not support STARTTLS"},
      {"greeting refused", "", "", "", {"554 go away\r\n"}, "", "go away"},
      {"refusal without text", "", "", "", {"220 hi\r\n", "554\r\n"}, "HELO client.test\r\n",
       "Unexpected SMTP status 554"},
      {"EHLO refused", "bob", "pw", "", {"220 hi\r\n", "502 no\r\n"}, ehlo, "no"},
      {"recipient refused", "", "", "",
       {"220 hi\r\n", "250 hello\r\n", "250 ok\r\n", "550 5.1.1 No such user\r\n"},
       "HELO client.test\r\nMAIL FROM: <a@x.test>\r\nRCPT TO: <b@y.test>\r\n",
       "5.1.1 No such user"},
      {"DATA not accepted", "", "", "",
       {"220 hi\r\n", "250 hello\r\n", "250 ok\r\n", "250 ok\r\n", "250 ok\r\n"},
       "HELO client.test\r\n" + kEnvelope, "ok"},
      {"server hangs up", "", "", "", {"220 hi\r\n", "<close>"}, "HELO client.test\r\n",
       "Read Error: Connection closed by remote host"},
      {"malformed status", "", "", "", {"220 hi\r\n", "2\r\n"}, "HELO client.test\r\n",
       "Failed to read SMTP status"},
      {"message refused", "", "", "",
       {"220 hi\r\n", "250 hello\r\n", "250 ok\r\n", "250 ok\r\n", "354 go\r\n", "554 spam\r\n"},
       "HELO client.test\r\n" + kEnvelope + kHeaders + kBodyWire, "spam"},
  };
}

TEST(SmtpConversation, CommandsRepliesAndMessages) {
  NetworkSettings settings;
  settings.timeout_global = 5;
  for (const Conversation& c : Conversations()) {
    SCOPED_TRACE(c.name);
    auto transcript = std::make_shared<std::string>();
    std::vector<std::string> replies = c.replies;
    int ok = 0;
    String error;
    {
      ScriptedPeer peer([replies, transcript](int fd) { Serve(fd, replies, transcript.get()); });
      ASSERT_TRUE(peer.ok());
      PosixNetworkManager manager(settings);
      SMTPService smtp(&manager, 3);
      smtp.SetLocalHostName("client.test");
      smtp.SetDate(kDate);
      smtp.SetClientNonce("CN");
      SmtpMessage message;
      message.host = "127.0.0.1";
      message.port = peer.port();
      message.to = "<b@y.test>";
      message.from = "<a@x.test>";
      message.subject = "Hi";
      message.flags = Str(c.flags);
      message.user = Str(c.user);
      message.password = Str(c.password);
      ok = smtp.Start(message) && smtp.WriteBody(kBody.data(), 5) &&
           smtp.WriteBody(kBody.data() + 5, static_cast<int32_t>(kBody.size() - 5)) &&
           smtp.Finish();
      error = smtp.ErrorText();
    }
    EXPECT_EQ(*transcript, c.sent);
    if (c.error.empty())
      EXPECT_TRUE(ok) << Text(error);
    else
      EXPECT_EQ(Text(error), c.error);
  }
}

TEST(SmtpConversation, HeadersListsAndRefusedInput) {
  NetworkSettings settings;
  settings.timeout_global = 5;
  auto transcript = std::make_shared<std::string>();
  std::vector<std::string> replies = {"220 hi\r\n", "250 hello\r\n", "250 ok\r\n", "250 ok\r\n",
                                      "250 ok\r\n", "250 ok\r\n", "354 go\r\n", "250 queued\r\n", "221 bye\r\n"};
  {
    ScriptedPeer peer([replies, transcript](int fd) { Serve(fd, replies, transcript.get()); });
    PosixNetworkManager manager(settings);
    SMTPService smtp(&manager, 3);
    smtp.SetLocalHostName("client.test");
    smtp.SetDate(kDate);
    smtp.SetPlatform("Linux");
    SmtpMessage message;
    message.host = "127.0.0.1";
    message.port = peer.port();
    message.to = "b@y.test, c@y.test";
    message.cc = " ,d@y.test";
    message.from = "a@x.test";
    message.subject = "S";
    ASSERT_TRUE(smtp.Start(message)) << Text(smtp.ErrorText());
    ASSERT_TRUE(smtp.WriteBody("\n\nBody", 6) && smtp.Finish()) << Text(smtp.ErrorText());
  }
  EXPECT_EQ(*transcript,
            "HELO client.test\r\nMAIL FROM: a@x.test\r\nRCPT TO: b@y.test\r\n"
            "RCPT TO: c@y.test\r\nRCPT TO: d@y.test\r\nDATA\r\n"
            "Date: " + std::string(kDate) + "\r\nFrom: a@x.test\r\nTo: b@y.test, c@y.test\r\n"
            "CC:  ,d@y.test\r\nX-Mailer: Pexo v5.52 (Linux)\r\nSubject: S\r\n\r\nBody\r\n.\r\n"
            "QUIT\r\n");

  // Line breaks in what becomes a command or a header are refused before
  // any connection is made; so is a bad flag.
  struct {
    const char* field;
    std::string value, error;
  } refused[] = {
      {"to", "b@y.test\r\nRCPT TO: evil@z", "Line breaks are not allowed in TO"},
      {"from", "a@x.test\n", "Line breaks are not allowed in FROM"},
      {"cc", "c\r", "Line breaks are not allowed in CC"},
      {"subject", "Hi\r\nBcc: evil@z", "Line breaks are not allowed in the subject"},
      {"flags", "tls starttls", "Only one of the \"tls\" or \"starttls\" flags may be specified"},
  };
  for (const auto& r : refused) {
    PosixNetworkManager manager(settings);
    SMTPService smtp(&manager, 1);
    SmtpMessage message;
    message.host = "127.0.0.1";
    message.port = 1;  // nothing listens: a connection attempt would fail differently
    std::string field = r.field;
    String* slot = field == "to" ? &message.to : field == "from" ? &message.from
                   : field == "cc" ? &message.cc : field == "subject" ? &message.subject
                                                                       : &message.flags;
    *slot = Str(r.value);
    EXPECT_FALSE(smtp.Start(message));
    EXPECT_EQ(Text(smtp.ErrorText()), r.error);
  }

  PosixNetworkManager manager(settings);
  SMTPService smtp(&manager, 1);
  SmtpMessage message;
  message.host = "127.0.0.1";
  message.port = testing_net::FreePort();
  EXPECT_FALSE(smtp.Start(message));
  EXPECT_EQ(Text(smtp.ErrorText()).rfind("Error connecting to '127.0.0.1': Error connecting to "
                                         "127.0.0.1 on port ", 0),
            0u)
      << Text(smtp.ErrorText());
  EXPECT_FALSE(smtp.WriteBody("x", 1));
}

}  // namespace
}  // namespace pexo
