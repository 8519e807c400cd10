#include "net/smtp_body.h"

namespace pexo {

void SmtpBodyEncoder::Break(String* out) {
  if (at_start_) {
    at_start_ = false;
    return;
  }
  out->append("\r\n", 2);
  at_line_start_ = true;
}

void SmtpBodyEncoder::Encode(const char* bytes, int32_t length, String* out) {
  for (int32_t i = 0; i < length; ++i) {
    char c = bytes[i];
    bool is_break = c == '\r' || c == '\n';
    if (pending_) {
      char first = pending_;
      pending_ = 0;
      Break(out);
      if (is_break && c != first) continue;  // CR LF or LF CR: one break
    }
    if (is_break) {
      pending_ = c;
      continue;
    }
    if (at_line_start_ && c == '.') out->append('.');
    out->append(c);
    at_start_ = false;
    at_line_start_ = false;
  }
}

void SmtpBodyEncoder::Finish(String* out) {
  if (pending_) {
    pending_ = 0;
    Break(out);
  }
  if (at_line_start_)
    out->append(".\r\n", 3);
  else
    out->append("\r\n.\r\n", 5);
}

}  // namespace pexo
