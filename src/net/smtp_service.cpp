#include "net/smtp_service.h"

#include <sys/random.h>

#include <cstdio>
#include <cstring>

#include "net/mail_date.h"
#include "net/sasl.h"

namespace pexo {
namespace {

const char kVersion[] = "5.52";

bool IsSeparator(char c) {
  return c == ',' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool HasLineBreak(const String& text) {
  return memchr(text.data(), '\r', static_cast<size_t>(text.length())) ||
         memchr(text.data(), '\n', static_cast<size_t>(text.length()));
}

String Line(const char* command, const String& argument) {
  String line(command);
  line.append(argument);
  line.append("\r\n", 2);
  return line;
}

// A prompt compared without its case and the padding some servers add.
bool PromptIs(const String& decoded, const char* a, const char* b) {
  int32_t length = decoded.length();
  while (length > 0 && (decoded.data()[length - 1] == '\0' || decoded.data()[length - 1] == ' '))
    --length;
  String prompt(decoded.data(), length);
  return prompt.equals_nocase(a, -1) || prompt.equals_nocase(b, -1);
}

String RandomNonce() {
  unsigned char bytes[16];
  size_t have = 0;
  while (have < sizeof bytes) {
    ssize_t got = getrandom(bytes + have, sizeof bytes - have, 0);
    if (got <= 0) break;
    have += static_cast<size_t>(got);
  }
  return Base64Of(String(reinterpret_cast<const char*>(bytes), sizeof bytes));
}

}  // namespace

int ParseSmtpFlags(const String& text, int32_t* flags, String* error) {
  *flags = 0;
  const char* p = text.data();
  const char* end = p + text.length();
  while (p < end) {
    while (p < end && IsSeparator(*p)) ++p;
    const char* word = p;
    while (p < end && !IsSeparator(*p)) ++p;
    String flag(word, static_cast<int32_t>(p - word));
    if (flag.empty()) break;
    if (flag.equals_nocase("tls", 3)) {
      *flags |= kSmtpTls;
    } else if (flag.equals_nocase("starttls", 8)) {
      *flags |= kSmtpStartTls;
    } else if (flag.equals_nocase("noheaders", 9)) {
      *flags |= kSmtpNoHeaders;
    } else {
      error->assign("Unsupported flag \"");
      error->append(flag);
      error->append('"');
      return 0;
    }
  }
  if ((*flags & kSmtpTls) && (*flags & kSmtpStartTls)) {
    error->assign("Only one of the \"tls\" or \"starttls\" flags may be specified");
    return 0;
  }
  return 1;
}

SMTPService::SMTPService(NetworkManager* manager, int32_t timeout)
    : manager_(manager), timeout_(timeout) {}

SMTPService::~SMTPService() { Abort(); }

void SMTPService::Abort() {
  if (connection_) connection_->Close();
  connection_.reset();
}

int SMTPService::Fail(const String& text) {
  error_ = text;
  Abort();
  return 0;
}

int SMTPService::Fail(const char* prefix, const String& text) {
  String message(prefix);
  message.append(text);
  return Fail(message);
}

int SMTPService::Send(const String& line) {
  if (connection_->Write(line.data(), line.length(), timeout_) != line.length())
    return Fail(connection_->ErrorText());
  return 1;
}

int SMTPService::Expect(int expected) {
  String error;
  if (!ReadSmtpReply(connection_.get(), timeout_, &reply_, &error)) return Fail(error);
  bool ok = expected ? reply_.code == expected : reply_.IsPositive();
  if (ok) return 1;
  if (!reply_.text.empty()) return Fail(reply_.text);
  // A bare code still needs a message the script can show.
  char text[40];
  snprintf(text, sizeof text, "Unexpected SMTP status %03d", reply_.code);
  return Fail(String(text));
}

int SMTPService::Hello(bool extended) {
  if (!extended) return Send(Line("HELO ", local_host_)) && Expect(0);
  if (!Send(Line("EHLO ", local_host_)) || !Expect(250)) return 0;
  offers_starttls_ = false;
  mechanisms_ = 0;
  // The first line is the server's greeting; the rest are extensions.
  for (size_t i = 1; i < reply_.lines.size(); ++i) {
    const String& line = reply_.lines[i];
    if (line.equals_nocase("STARTTLS", 8)) offers_starttls_ = true;
    if (line.length() < 5 || !String(line.data(), 5).equals_nocase("AUTH ", 5)) continue;
    const char* p = line.data() + 5;
    const char* end = line.data() + line.length();
    while (p < end) {
      while (p < end && *p == ' ') ++p;
      const char* word = p;
      while (p < end && *p != ' ') ++p;
      String name(word, static_cast<int32_t>(p - word));
      if (name.equals_nocase("LOGIN", 5)) mechanisms_ |= kLogin;
      if (name.equals_nocase("PLAIN", 5)) mechanisms_ |= kPlain;
      if (name.equals_nocase("CRAM-MD5", 8)) mechanisms_ |= kCramMd5;
      if (name.equals_nocase("DIGEST-MD5", 10)) mechanisms_ |= kDigestMd5;
    }
  }
  return 1;
}

int SMTPService::Start(const SmtpMessage& message) {
  Abort();
  message_ = message;
  body_ = SmtpBodyEncoder();
  pending_.clear();
  if (!ParseSmtpFlags(message.flags, &flags_, &error_)) return 0;
  struct {
    const String* text;
    const char* name;
  } fields[] = {{&message.host, "the mail host"}, {&message.to, "TO"}, {&message.from, "FROM"},
                {&message.cc, "CC"}, {&message.subject, "the subject"}};
  for (const auto& field : fields) {
    if (HasLineBreak(*field.text)) {
      error_.assign("Line breaks are not allowed in ");
      error_.append(field.name);
      return 0;
    }
  }

  connection_ = manager_->OpenConnection(message.host, message.port, timeout_);
  if (!connection_) {
    String text("Error connecting to '");
    text.append(message.host);
    text.append("': ");
    text.append(manager_->ErrorText());
    return Fail(text);
  }
  TlsOptions tls;
  tls.host = message.host;
  if ((flags_ & kSmtpTls) && !manager_->StartTLS(connection_.get(), tls, timeout_))
    return Fail(manager_->ErrorText());
  if (wrapper_) connection_ = wrapper_(wrapper_context_, std::move(connection_));
  if (!Expect(0)) return 0;

  bool credentials = !message.user.empty() || !message.password.empty();
  if (!Hello((flags_ & kSmtpStartTls) || credentials)) return 0;
  if (flags_ & kSmtpStartTls) {
    if (!offers_starttls_) return Fail(String("Server does not support STARTTLS"));
    if (!Send(String("STARTTLS\r\n")) || !Expect(220)) return 0;
    if (!manager_->StartTLS(connection_.get(), tls, timeout_))
      return Fail(manager_->ErrorText());
    if (!Hello(true)) return 0;
  }
  if (credentials && !Authenticate()) return 0;
  return Envelope() && Headers();
}

int SMTPService::Authenticate() {
  if (mechanisms_ & kDigestMd5) return AuthDigestMd5();
  if (mechanisms_ & kCramMd5) return AuthCramMd5();
  if (mechanisms_ & kPlain) return AuthPlain();
  if (mechanisms_ & kLogin) return AuthLogin();
  return Fail(String("No supported authentication methods are allowed by the server"));
}

int SMTPService::AuthPlain() {
  String token;
  token.append(message_.user);
  token.append('\0');
  token.append(message_.user);
  token.append('\0');
  token.append(message_.password);
  return Send(Line("AUTH PLAIN ", Base64Of(token))) && Expect(235);
}

int SMTPService::AuthLogin() {
  if (!Send(String("AUTH LOGIN\r\n")) || !Expect(334)) return 0;
  if (!PromptIs(FromBase64(reply_.text), "User Name", "Username:"))
    return Fail(String("Invalid AUTH LOGIN handshake"));
  if (!Send(Line("", Base64Of(message_.user))) || !Expect(334)) return 0;
  if (!PromptIs(FromBase64(reply_.text), "Password", "Password:"))
    return Fail(String("Invalid AUTH LOGIN handshake"));
  return Send(Line("", Base64Of(message_.password))) && Expect(235);
}

int SMTPService::AuthCramMd5() {
  if (!Send(String("AUTH CRAM-MD5\r\n")) || !Expect(334)) return 0;
  String answer = CramMd5Response(message_.user, message_.password, FromBase64(reply_.text));
  return Send(Line("", Base64Of(answer))) && Expect(235);
}

int SMTPService::AuthDigestMd5() {
  if (!Send(String("AUTH DIGEST-MD5\r\n")) || !Expect(334)) return 0;
  DigestChallenge challenge;
  String error;
  if (!ParseDigestChallenge(FromBase64(reply_.text), &challenge, &error)) return Fail(error);
  String uri("smtp/");
  uri.append(message_.host);
  DigestAnswer answer = DigestMd5Answer(challenge, message_.user, message_.password,
                                        cnonce_.empty() ? RandomNonce() : cnonce_, uri);
  if (!Send(Line("", Base64Of(answer.message))) || !Expect(334)) return 0;
  String server = FromBase64(reply_.text);
  if (server.length() != 40 || memcmp(server.data(), "rspauth=", 8) != 0)
    return Fail(String("Invalid rspauth during DIGEST-MD5 authentication"));
  if (!String(server.data() + 8, 32).equals(answer.rspauth.data(), answer.rspauth.length()))
    return Fail(String("rspauth mismatch during DIGEST-MD5 authentication"));
  return Send(String("\r\n")) && Expect(235);
}

int SMTPService::Envelope() {
  if (!Send(Line("MAIL FROM: ", message_.from)) || !Expect(0)) return 0;
  for (const String* list : {&message_.to, &message_.cc}) {
    const char* p = list->data();
    const char* end = p + list->length();
    while (p < end) {
      const char* entry = p;
      while (p < end && *p != ',') ++p;
      const char* stop = p;
      if (p < end) ++p;
      while (entry < stop && (*entry == ' ' || *entry == '\t')) ++entry;
      while (stop > entry && (stop[-1] == ' ' || stop[-1] == '\t')) --stop;
      if (stop == entry) continue;
      if (!Send(Line("RCPT TO: ", String(entry, static_cast<int32_t>(stop - entry)))) ||
          !Expect(0))
        return 0;
    }
  }
  // Anything but 354 here means the body would be taken as commands.
  return Send(String("DATA\r\n")) && Expect(354);
}

int SMTPService::Headers() {
  if (flags_ & kSmtpNoHeaders) return 1;
  pending_.append(Line("Date: ", date_.empty() ? MailDateNow() : date_));
  pending_.append(Line("From: ", message_.from));
  pending_.append(Line("To: ", message_.to));
  if (!message_.cc.empty()) pending_.append(Line("CC: ", message_.cc));
  String mailer(kVersion);
  if (!platform_.empty()) {
    mailer.append(" (");
    mailer.append(platform_);
    mailer.append(')');
  }
  pending_.append(Line("X-Mailer: Pexo v", mailer));
  pending_.append(Line("Subject: ", message_.subject));
  return 1;
}

int SMTPService::Flush() {
  if (pending_.empty()) return 1;
  if (!Send(pending_)) return 0;
  pending_.clear();
  return 1;
}

int SMTPService::WriteBody(const char* bytes, int32_t length) {
  if (!connection_) {
    if (error_.empty()) error_.assign("No SMTP session");
    return 0;
  }
  // Bounded pieces keep the buffer near its size whatever one write holds.
  while (length > 0) {
    int32_t piece = length < buffer_size_ ? length : buffer_size_;
    body_.Encode(bytes, piece, &pending_);
    bytes += piece;
    length -= piece;
    if (pending_.length() >= buffer_size_ && !Flush()) return 0;
  }
  return 1;
}

int SMTPService::Finish() {
  if (!connection_) {
    if (error_.empty()) error_.assign("No SMTP session");
    return 0;
  }
  body_.Finish(&pending_);
  if (!Flush() || !Expect(0)) return 0;
  // The message is accepted; QUIT's answer cannot change that.
  static const char kQuit[] = "QUIT\r\n";
  if (connection_->Write(kQuit, 6, timeout_) == 6) {
    String ignored;
    ReadSmtpReply(connection_.get(), timeout_, &reply_, &ignored);
  }
  Abort();
  return 1;
}

}  // namespace pexo
