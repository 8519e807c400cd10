// Feeds arbitrary server replies to a whole SMTP session (greeting, EHLO,
// each authentication mechanism, envelope, body, end of data) and to the
// reply reader alone. Every run must end with success or a message, and a
// reply the reader accepts stays within its line and line-count caps.
#include <cstdint>
#include <cstdlib>

#include "net/smtp_reply.h"
#include "net/smtp_service.h"
#include "scripted_connection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 65536) return 0;
  int mode = data[0] & 7;
  data += 1;
  size -= 1;
  if (mode == 7) {
    fuzz::ScriptedConnection connection(data, size);
    pexo::SmtpReply reply;
    pexo::String error;
    if (pexo::ReadSmtpReply(&connection, 1, &reply, &error)) {
      if (reply.code < 0 || reply.code > 999 || reply.lines.empty() ||
          reply.lines.size() > static_cast<size_t>(pexo::SmtpReply::kMaxLines))
        std::abort();
    } else if (error.empty()) {
      std::abort();
    }
    return 0;
  }
  // Modes pick the credentials and flags, and so the paths through the session.
  static const char* const kFlags[] = {"", "starttls", "noheaders", ""};
  fuzz::ScriptedManager manager(data, size);
  pexo::SMTPService smtp(&manager, 1);
  smtp.SetClientNonce("fuzz");
  pexo::SmtpMessage message;
  message.host = "mail.test";
  message.to = "a@x.test, b@x.test";
  message.cc = "c@x.test";
  message.from = "f@x.test";
  message.flags = kFlags[mode & 3];
  if (mode & 4) {
    message.user = "user";
    message.password = "password";
  }
  int ok = smtp.Start(message) && smtp.WriteBody("\n\nHello\n.\n", 10) && smtp.Finish();
  if (!ok && smtp.ErrorText().empty()) std::abort();
  return 0;
}
