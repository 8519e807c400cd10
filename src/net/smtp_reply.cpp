#include "net/smtp_reply.h"

namespace pexo {
namespace {

const int32_t kChunk = 512;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool SmtpReply::IsPositive() const {
  return code == 220 || code == 221 || code == 250 || code == 251 || code == 354;
}

int ParseSmtpStatusLine(const char* line, int32_t length, int* code, bool* more, String* text) {
  while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) --length;
  if (length < 3 || !IsDigit(line[0]) || !IsDigit(line[1]) || !IsDigit(line[2])) return 0;
  *code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
  *more = length > 3 && line[3] == '-';
  int32_t start = length > 3 && (line[3] == '-' || line[3] == ' ') ? 4 : 3;
  while (start < length && IsBlank(line[start])) ++start;
  while (length > start && IsBlank(line[length - 1])) --length;
  text->assign(line + start, length - start);
  return 1;
}

int ReadSmtpReply(NetworkConnection* connection, int32_t timeout, SmtpReply* reply,
                  String* error) {
  reply->lines.clear();
  String line;
  for (;;) {
    int32_t length = connection->ReadLine(&line, kChunk, timeout);
    if (length < 0) {
      error->assign(connection->ErrorText());
      return 0;
    }
    if (length > SmtpReply::kMaxLine ||
        static_cast<int32_t>(reply->lines.size()) >= SmtpReply::kMaxLines) {
      error->assign("Failed to read SMTP status: reply too long");
      return 0;
    }
    bool more = false;
    if (!ParseSmtpStatusLine(line.data(), length, &reply->code, &more, &reply->text)) {
      error->assign("Failed to read SMTP status");
      return 0;
    }
    reply->lines.push_back(reply->text);
    if (!more) return 1;
  }
}

}  // namespace pexo
