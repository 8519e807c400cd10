// SMTPService: the client side of one mail submission. Start connects,
// greets (EHLO, or HELO when neither STARTTLS nor credentials are wanted),
// upgrades to TLS, authenticates, sends the envelope, DATA and the standard
// headers; the caller then writes the body in pieces with WriteBody and
// ends with Finish, which closes the message and the session. Any failure
// closes the connection and leaves the message in ErrorText; the session
// is then over.
#ifndef PEXO_NET_SMTP_SERVICE_H_
#define PEXO_NET_SMTP_SERVICE_H_

#include <cstdint>
#include <memory>

#include "net/network_manager.h"
#include "net/smtp_body.h"
#include "net/smtp_reply.h"

namespace pexo {

enum : int32_t { kSmtpTls = 1, kSmtpStartTls = 2, kSmtpNoHeaders = 4 };

// Flag words separated by commas and white space, any case. 1, or 0 with
// *error set.
int ParseSmtpFlags(const String& text, int32_t* flags, String* error);

// The tag's attributes.
struct SmtpMessage {
  String host;
  int32_t port = 25;
  String to, from, cc, subject, flags, user, password;
};

class SMTPService {
 public:
  enum : int32_t { kDefaultBufferSize = 8192 };

  // timeout: seconds for every operation (the mail time-out).
  SMTPService(NetworkManager* manager, int32_t timeout);
  SMTPService(const SMTPService&) = delete;
  SMTPService& operator=(const SMTPService&) = delete;
  ~SMTPService();

  // What the host supplies: the name sent with EHLO/HELO, the platform
  // for X-Mailer (may be empty), the body buffer size.
  void SetLocalHostName(const String& name) { local_host_ = name; }
  void SetPlatform(const String& platform) { platform_ = platform; }
  void SetBufferSize(int32_t size) { buffer_size_ = size > 0 ? size : kDefaultBufferSize; }
  // Wraps the connection once it is open (mail logging); returns the
  // connection to use.
  typedef std::unique_ptr<NetworkConnection> (*Wrapper)(void* context,
                                                        std::unique_ptr<NetworkConnection> inner);
  void set_wrapper(Wrapper wrapper, void* context) {
    wrapper_ = wrapper;
    wrapper_context_ = context;
  }
  // Fixes the DIGEST-MD5 client nonce and the Date header (tests).
  void SetClientNonce(const String& cnonce) { cnonce_ = cnonce; }
  void SetDate(const String& date) { date_ = date; }

  int Start(const SmtpMessage& message);
  int WriteBody(const char* bytes, int32_t length);
  int Finish();
  // Drops the session without ending the message.
  void Abort();

  const String& ErrorText() const { return error_; }

 private:
  enum Mechanism { kLogin = 1, kPlain = 2, kCramMd5 = 4, kDigestMd5 = 8 };

  int Fail(const String& text);
  int Fail(const char* prefix, const String& text);
  int Send(const String& line);
  // A whole reply; expected 0 accepts the plain set.
  int Expect(int expected);
  int Hello(bool extended);
  int Authenticate();
  int AuthLogin();
  int AuthPlain();
  int AuthCramMd5();
  int AuthDigestMd5();
  int Envelope();
  int Headers();
  int Flush();

  NetworkManager* manager_;
  int32_t timeout_;
  String local_host_ = "localhost";
  String platform_;
  int32_t buffer_size_ = kDefaultBufferSize;
  Wrapper wrapper_ = nullptr;
  void* wrapper_context_ = nullptr;
  String cnonce_;
  String date_;

  SmtpMessage message_;
  int32_t flags_ = 0;
  std::unique_ptr<NetworkConnection> connection_;
  SmtpReply reply_;
  bool offers_starttls_ = false;
  int mechanisms_ = 0;
  SmtpBodyEncoder body_;
  String pending_;
  String error_;
};

}  // namespace pexo

#endif  // PEXO_NET_SMTP_SERVICE_H_
