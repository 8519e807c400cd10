// SmtpReply: one SMTP reply read from a connection: every line up to the
// first without the "-" continuation mark. A line's status code is its first
// three characters (digits), its text the rest after the separator, trimmed.
// Lines are capped at kMaxLine bytes (the connection itself never holds more
// than NetworkConnection::kMaxLineLength) and a reply at kMaxLines lines, so
// a peer cannot make the reader allocate or loop without bound.
#ifndef PEXO_NET_SMTP_REPLY_H_
#define PEXO_NET_SMTP_REPLY_H_

#include <cstdint>
#include <vector>

#include "net/network_connection.h"

namespace pexo {

struct SmtpReply {
  static const int32_t kMaxLine = 4096;
  static const int32_t kMaxLines = 128;

  int code = 0;               // of the last line
  String text;                // of the last line
  std::vector<String> lines;  // the text of every line, in order

  // 220, 221, 250, 251 and 354: the replies a plain read accepts.
  bool IsPositive() const;
};

// Splits one line (its line end already removed or not). 1, or 0 when it
// is not a status line.
int ParseSmtpStatusLine(const char* line, int32_t length, int* code, bool* more, String* text);

// Reads a whole reply. 1, or 0 with *error set: the connection's text for a
// read failure, "Failed to read SMTP status" for a malformed line.
int ReadSmtpReply(NetworkConnection* connection, int32_t timeout, SmtpReply* reply,
                  String* error);

}  // namespace pexo

#endif  // PEXO_NET_SMTP_REPLY_H_
