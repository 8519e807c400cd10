// The mail clients' pure pieces: the SASL computations against the RFCs'
// published examples, the DATA body transformation, the Date header, the
// SMTP flags and status lines.
#include <gtest/gtest.h>

#include <string>

#include "net/mail_date.h"
#include "net/sasl.h"
#include "net/smtp_body.h"
#include "net/smtp_reply.h"
#include "net/smtp_service.h"
#include "net_peers.h"

namespace pexo {
namespace {

using testing_net::Text;
using testing_net::Str;

TEST(Sasl, HmacMd5MatchesRfc2104And2202Vectors) {
  struct {
    std::string key, message, expected;
  } cases[] = {
      {std::string(16, '\x0b'), "Hi There", "9294727a3638bb1c13f48ef8158bfc9d"},
      {"Jefe", "what do ya want for nothing?", "750c783e6ab0b503eaa86e310a5db738"},
      // A key longer than the block is digested first.
      {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
       "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd"},
  };
  for (const auto& c : cases) EXPECT_EQ(Text(HmacMd5Hex(Str(c.key), Str(c.message))), c.expected);
}

TEST(Sasl, CramMd5MatchesRfc2195Example) {
  String challenge = FromBase64("PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+");
  EXPECT_EQ(Text(challenge), "<1896.697170952@postoffice.reston.mci.net>");
  String answer = CramMd5Response("tim", "tanstaaftanstaaf", challenge);
  EXPECT_EQ(Text(answer), "tim b913a602c7eda7a495b4e6e7334d3890");
  EXPECT_EQ(Text(Base64Of(answer)), "dGltIGI5MTNhNjAyYzdlZGE3YTQ5NWI0ZTZlNzMzNGQzODkw");
}

TEST(Sasl, DigestMd5MatchesRfc2831Examples) {
  struct {
    std::string challenge, cnonce, uri, response, rspauth;
  } cases[] = {
      {"realm=\"elwood.innosoft.com\",nonce=\"OA6MG9tEQGm2hh\",qop=\"auth\","
       "algorithm=md5-sess,charset=utf-8",
       "OA6MHXh6VqTrRk", "imap/elwood.innosoft.com", "d388dad90d4bbd760a152321f2143af7",
       "ea40f60335c427b5527b84dbabcdfffd"},
      {"realm=\"elwood.innosoft.com\",nonce=\"OA9BSXrbuRhWay\",qop=\"auth\","
       "algorithm=md5-sess,charset=utf-8",
       "OA9BSuZWMSpW8m", "acap/elwood.innosoft.com", "6084c6db3fede7352c551284490fd0fc",
       "2f0b3d7c3c2e486600ef710726aa2eae"},
  };
  for (const auto& c : cases) {
    DigestChallenge challenge;
    String error;
    ASSERT_TRUE(ParseDigestChallenge(Str(c.challenge), &challenge, &error)) << Text(error);
    EXPECT_EQ(Text(challenge.realm), "elwood.innosoft.com");
    EXPECT_EQ(Text(challenge.charset), "utf-8");
    DigestAnswer answer = DigestMd5Answer(challenge, "chris", "secret", Str(c.cnonce), Str(c.uri));
    EXPECT_EQ(Text(answer.response), c.response);
    EXPECT_EQ(Text(answer.rspauth), c.rspauth);
    EXPECT_EQ(Text(answer.message),
              "username=\"chris\",realm=\"elwood.innosoft.com\",nonce=\"" + Text(challenge.nonce) +
                  "\",cnonce=\"" + c.cnonce + "\",nc=00000001,qop=auth,digest-uri=\"" + c.uri +
                  "\",charset=utf-8,response=" + c.response);
  }
}

TEST(Sasl, DigestChallengeParsing) {
  struct {
    std::string text;
    bool ok;
    std::string realm, nonce;
    bool has_realm, has_charset;
  } cases[] = {
      {"nonce=\"abc\"", true, "", "abc", false, false},
      {" realm = \"a\\\"b\" , nonce=x,realm=\"second\"", true, "a\"b", "x", true, false},
      {"realm=\"r\"", false, "", "", false, false},             // no nonce
      {"nonce=\"unterminated", false, "", "", false, false},
      {"nonce", false, "", "", false, false},
  };
  for (const auto& c : cases) {
    DigestChallenge challenge;
    String error;
    EXPECT_EQ(ParseDigestChallenge(Str(c.text), &challenge, &error), c.ok ? 1 : 0) << c.text;
    if (!c.ok) {
      EXPECT_EQ(Text(error), "Invalid DIGEST-MD5 challenge");
      continue;
    }
    EXPECT_EQ(Text(challenge.realm), c.realm);
    EXPECT_EQ(Text(challenge.nonce), c.nonce);
    EXPECT_EQ(challenge.has_realm, c.has_realm);
    EXPECT_EQ(challenge.has_charset, c.has_charset);
  }
  // A realm with a quote goes back escaped.
  DigestChallenge challenge;
  String error;
  ASSERT_TRUE(ParseDigestChallenge("realm=\"a\\\"b\",nonce=n", &challenge, &error));
  std::string message = Text(DigestMd5Answer(challenge, "u", "p", "c", "smtp/h").message);
  EXPECT_EQ(message.find("realm=\"a\\\"b\""), 13u) << message;
}

TEST(SmtpBody, WireForm) {
  struct {
    std::string body, wire;
  } cases[] = {
      {"Hello\n.\nBye", "Hello\r\n..\r\nBye\r\n.\r\n"},
      {"Hello\n.\nBye\n", "Hello\r\n..\r\nBye\r\n.\r\n"},
      // Every leading dot is doubled, not only a lone one.
      {"\n\n.hidden\n..\nx.y", "\r\n..hidden\r\n...\r\nx.y\r\n.\r\n"},
      {"\n\nBody", "\r\nBody\r\n.\r\n"},
      {"\nBody", "Body\r\n.\r\n"},
      {"\r\nBody", "Body\r\n.\r\n"},
      {"a\r\nb\n\rc\rd\ne", "a\r\nb\r\nc\r\nd\r\ne\r\n.\r\n"},
      {"a\n\nb\r\rc", "a\r\n\r\nb\r\n\r\nc\r\n.\r\n"},
      {"", ".\r\n"},
      {".", "..\r\n.\r\n"},
      {"a\r", "a\r\n.\r\n"},
      {"\n", ".\r\n"},
  };
  for (const auto& c : cases) {
    // Whole, and split at every byte: a pair split between writes is still one break.
    for (size_t split = 0; split <= c.body.size(); ++split) {
      SmtpBodyEncoder encoder;
      String out;
      encoder.Encode(c.body.data(), static_cast<int32_t>(split), &out);
      encoder.Encode(c.body.data() + split, static_cast<int32_t>(c.body.size() - split), &out);
      encoder.Finish(&out);
      EXPECT_EQ(Text(out), c.wire) << "body " << testing::PrintToString(c.body) << " split "
                                   << split;
    }
  }
}

TEST(MailDate, KeepsTheZoneMinutes) {
  struct tm local = {};
  local.tm_year = 126;
  local.tm_mon = 11;
  local.tm_mday = 8;
  local.tm_wday = 2;
  local.tm_hour = 9;
  local.tm_min = 5;
  local.tm_sec = 7;
  struct {
    long offset;
    std::string expected;
  } cases[] = {
      {19800, "Tue, 08 Dec 2026 09:05:07 +0530"},
      {-18000, "Tue, 08 Dec 2026 09:05:07 -0500"},
      {-12600, "Tue, 08 Dec 2026 09:05:07 -0330"},
      {0, "Tue, 08 Dec 2026 09:05:07 +0000"},
      {45900, "Tue, 08 Dec 2026 09:05:07 +1245"},
  };
  for (const auto& c : cases) EXPECT_EQ(Text(FormatMailDate(local, c.offset)), c.expected);
}

TEST(SmtpFlags, WordsAndMessages) {
  struct {
    std::string text;
    int ok;
    int32_t flags;
    std::string error;
  } cases[] = {
      {"", 1, 0, ""},
      {"TLS", 1, kSmtpTls, ""},
      {" starttls,\tNoHeaders ", 1, kSmtpStartTls | kSmtpNoHeaders, ""},
      {"tls,starttls", 0, 0, "Only one of the \"tls\" or \"starttls\" flags may be specified"},
      {"starttls, ssl", 0, 0, "Unsupported flag \"ssl\""},
  };
  for (const auto& c : cases) {
    int32_t flags = -1;
    String error;
    EXPECT_EQ(ParseSmtpFlags(Str(c.text), &flags, &error), c.ok) << c.text;
    if (c.ok)
      EXPECT_EQ(flags, c.flags) << c.text;
    else
      EXPECT_EQ(Text(error), c.error);
  }
}

TEST(SmtpReply, StatusLines) {
  struct {
    std::string line;
    int ok, code;
    bool more;
    std::string text;
  } cases[] = {
      {"250 OK\r\n", 1, 250, false, "OK"},
      {"250-PIPELINING\r\n", 1, 250, true, "PIPELINING"},
      {"354\r\n", 1, 354, false, ""},
      {"550  no such user  \r\n", 1, 550, false, "no such user"},
      {"25\r\n", 0, 0, false, ""},
      {"2x0 OK\r\n", 0, 0, false, ""},
      {"\r\n", 0, 0, false, ""},
  };
  for (const auto& c : cases) {
    int code = 0;
    bool more = false;
    String text;
    EXPECT_EQ(ParseSmtpStatusLine(c.line.data(), static_cast<int32_t>(c.line.size()), &code, &more,
                                  &text),
              c.ok)
        << c.line;
    if (!c.ok) continue;
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(more, c.more);
    EXPECT_EQ(Text(text), c.text);
  }
}

}  // namespace
}  // namespace pexo
