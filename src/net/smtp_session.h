// SMTP: the service of one running PxSMTP. Open starts the mail session
// (connection, greeting, TLS, authentication, envelope, DATA and the
// standard headers) and installs an SMTPOutput as the host's current
// output, so everything the tag's body writes becomes the message text.
// End puts the previous output back and finishes the message; a service
// destroyed without End (a return, a fatal error) puts the output back and
// drops the session without sending the message.
#ifndef PEXO_NET_SMTP_SESSION_H_
#define PEXO_NET_SMTP_SESSION_H_

#include <cstdint>
#include <memory>

#include "io/buffered_output.h"
#include "io/network_output.h"
#include "net/smtp_service.h"
#include "vm/feature.h"

namespace pexo {

class NetworkState;

// The body's output: buffered text goes to the mail session; headers and
// engine messages reach the output it replaced (its owner).
class SMTPOutput : public BufferedOutput {
 public:
  SMTPOutput(OutputConnection* session, int32_t capacity, int32_t timeout)
      : BufferedOutput(capacity), session_(session), timeout_(timeout) {}
  ~SMTPOutput() override { Flush(); }

  void set_owner(Output* owner) { owner_ = owner; }

  using Output::SetHeader;
  int32_t WriteAndFlush(const char* data, int32_t length) override;
  int SetHeader(const char* name, int32_t name_length, bool name_owned, const char* value,
                int32_t value_length, bool value_owned) override;
  int32_t Transmit(const char* data, int32_t length) override {
    return session_->SendBytes(data, length, timeout_);
  }

 private:
  OutputConnection* session_;
  int32_t timeout_;
  Output* owner_ = nullptr;
};

class SMTP : public Feature, private OutputConnection {
 public:
  // `timeout` seconds for every exchange (the mail time-out); `buffer` the
  // body buffer's size.
  SMTP(PexoVM* vm, NetworkState* state, int32_t timeout, int32_t buffer);
  ~SMTP() override;

  // 1 with the body's output installed, or 0 with ErrorText().
  int Open(const SmtpMessage& message);
  int End() override;

 private:
  int32_t SendBytes(const char* data, int32_t length, int32_t timeout) override;
  // Puts back the output the body replaced; false when none was installed.
  bool RestoreOutput();

  NetworkState* state_;
  SMTPService service_;
  int32_t timeout_;
  int32_t buffer_;
  std::unique_ptr<SMTPOutput> output_;
  Output* previous_ = nullptr;
  bool failed_ = false;  // a body write failed; the message is lost
};

}  // namespace pexo

#endif  // PEXO_NET_SMTP_SESSION_H_
