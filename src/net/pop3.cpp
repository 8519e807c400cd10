#include "net/pop3.h"

#include <cstdio>
#include <cstring>

namespace pexo {
namespace {

const int32_t kChunk = 512;
const char kInvalid[] = "Invalid response from server";

String Joined(const char* a, const String& b, const char* c = "") {
  String text(a);
  text.append(b);
  text.append(c);
  return text;
}

void StripLineEnd(String* line) {
  int32_t length = line->length();
  while (length > 0 && (line->data()[length - 1] == '\n' || line->data()[length - 1] == '\r'))
    --length;
  line->resize(length);
}

// A decimal number at *p, which moves past it; false when there is none or
// it does not fit.
bool ParseNumber(const char** p, const char* end, uint32_t* value) {
  const char* start = *p;
  uint64_t n = 0;
  while (*p < end && **p >= '0' && **p <= '9') {
    n = n * 10 + static_cast<uint64_t>(**p - '0');
    if (n > 0xffffffffu) return false;
    ++*p;
  }
  *value = static_cast<uint32_t>(n);
  return *p > start;
}

// "Name: value" with a name free of blanks.
bool SplitHeader(const String& line, POP3Header* header) {
  const char* p = line.data();
  const char* colon = static_cast<const char*>(memchr(p, ':', static_cast<size_t>(line.length())));
  if (!colon || colon == p || colon + 1 >= p + line.length() || colon[1] != ' ') return false;
  for (const char* q = p; q < colon; ++q)
    if (*q == ' ' || *q == '\t') return false;
  header->name.assign(p, static_cast<int32_t>(colon - p));
  header->value.assign(colon + 2, static_cast<int32_t>(p + line.length() - colon - 2));
  return true;
}

}  // namespace

const String* POP3Message::Header(const char* name) const {
  for (const POP3Header& header : headers)
    if (header.name.equals_nocase(name, -1)) return &header.value;
  return nullptr;
}

POP3::POP3(NetworkManager* manager, int32_t timeout, POP3MessageSink* sink)
    : manager_(manager), timeout_(timeout), sink_(sink) {}

POP3::~POP3() {
  if (connection_) connection_->Close();
}

int POP3::Fail(const char* prefix, const String& text) {
  error_ = Joined(prefix, text);
  return 0;
}

int POP3::Command(const String& line) {
  if (connection_->Write(line.data(), line.length(), timeout_) != line.length()) {
    error_.assign("Error sending data to server");
    return 0;
  }
  return 1;
}

int POP3::Status(String* text) {
  String line;
  int32_t length = connection_->ReadLine(&line, kChunk, timeout_);
  if (length < 0) {
    error_ = connection_->ErrorText();
    return 0;
  }
  if (length > kMaxStatusLine) {
    error_.assign(kInvalid);
    return 0;
  }
  StripLineEnd(&line);
  const char* blank = static_cast<const char*>(memchr(line.data(), ' ', static_cast<size_t>(line.length())));
  text->clear();
  if (blank) text->assign(blank + 1, static_cast<int32_t>(line.data() + line.length() - blank - 1));
  if (line.length() > 0 && line.data()[0] == '+') return 1;
  // "-ERR reason", or anything that is no status at all.
  if (line.length() > 0 && line.data()[0] == '-' && !text->empty()) {
    error_ = *text;
    return 0;
  }
  error_.assign(kInvalid);
  return 0;
}

int POP3::DataLine(String* line, bool* end) {
  if (connection_->ReadLine(line, kChunk, timeout_) < 0) {
    error_ = connection_->ErrorText();
    return 0;
  }
  StripLineEnd(line);
  *end = line->length() == 1 && line->data()[0] == '.';
  // Byte-stuffed: a line the server began with "." carries one more.
  if (!*end && line->length() > 0 && line->data()[0] == '.')
    line->assign(line->data() + 1, line->length() - 1);
  return 1;
}

int POP3::Open(const String& host, const String& user, const String& password, int32_t port) {
  Close();
  messages_.clear();
  current_ = 0;
  count_ = 0;
  error_.clear();
  for (const String* text : {&host, &user, &password}) {
    if (memchr(text->data(), '\r', static_cast<size_t>(text->length())) ||
        memchr(text->data(), '\n', static_cast<size_t>(text->length()))) {
      error_.assign("Line breaks are not allowed in the mail host, user name or password");
      return 0;
    }
  }
  connection_ = manager_->OpenConnection(host, port, timeout_);
  String text;
  if (!connection_)
    return Fail(Joined("Error connecting to '", host, "': ").c_str(), manager_->ErrorText());
  if (!Status(&text)) return Fail(Joined("Error connecting to '", host, "': ").c_str(), error_);
  if (!Command(Joined("USER ", user, "\r\n")) || !Status(&text) ||
      !Command(Joined("PASS ", password, "\r\n")) || !Status(&text))
    return Fail(Joined("Error logging into '", host, "': ").c_str(), error_);
  if (!Stat())
    return Fail(Joined("Error while checking status from '", host, "': ").c_str(), error_);
  if (!List())
    return Fail(Joined("Error while retrieving list of messages from '", host, "': ").c_str(),
                error_);
  if (HasMessage() && !Retrieve()) return Fail("Error retrieving message: ", error_);
  return 1;
}

int POP3::Stat() {
  String text;
  if (!Command("STAT\r\n") || !Status(&text)) return 0;
  const char* p = text.data();
  if (!ParseNumber(&p, text.data() + text.length(), &count_)) {
    error_.assign(kInvalid);
    return 0;
  }
  if (count_ > kMaxMessages) {
    error_.assign("Too many messages in the mailbox");
    return 0;
  }
  messages_.reserve(count_);
  return 1;
}

int POP3::List() {
  String text;
  if (!Command("LIST\r\n") || !Status(&text)) return 0;
  String line;
  for (;;) {
    bool end = false;
    if (!DataLine(&line, &end)) return 0;
    if (end) return 1;
    if (messages_.size() >= count_) {
      error_.assign("More messages than expected returned from server");
      return 0;
    }
    POP3Message message;
    const char* p = line.data();
    const char* stop = p + line.length();
    if (!ParseNumber(&p, stop, &message.number) || p == stop || *p != ' ') {
      error_.assign(kInvalid);
      return 0;
    }
    ++p;
    if (!ParseNumber(&p, stop, &message.size)) {
      error_.assign(kInvalid);
      return 0;
    }
    messages_.push_back(std::move(message));
  }
}

int POP3::Retrieve() {
  POP3Message& message = messages_[current_];
  char name[32];
  snprintf(name, sizeof name, "PXPOPM.%x", message.number);
  if (!sink_->Open(name, &message.path, &error_)) return 0;
  char command[32];
  snprintf(command, sizeof command, "RETR %u\r\n", message.number);
  String text;
  bool ok = Command(command) && Status(&text);
  bool in_headers = true;
  String line;
  while (ok) {
    bool end = false;
    if (!DataLine(&line, &end)) {
      ok = false;
      break;
    }
    if (end) break;
    if (line.empty()) in_headers = false;
    POP3Header header;
    if (in_headers && message.headers.size() < kMaxHeaders && SplitHeader(line, &header) &&
        !message.Header(header.name.c_str()))
      message.headers.push_back(std::move(header));
    line.append('\n');
    if (!sink_->Write(line.data(), line.length(), &error_)) ok = false;
  }
  String close_error;
  if (!sink_->Close(&close_error) && ok) {
    error_ = close_error;
    ok = false;
  }
  return ok ? 1 : 0;
}

POP3Fields POP3::Fields() const {
  POP3Fields fields;
  const POP3Message* message = Current();
  if (!message) return fields;
  fields.body = message->path;
  const String* subject = message->Header("Subject");
  fields.subject = subject && !subject->empty() ? *subject : String("(no subject)");
  const String* from = message->Header("From");
  if (from) fields.sender = *from;
  const String* reply_to = message->Header("Reply-To");
  fields.reply_to = reply_to && !reply_to->empty() ? *reply_to : fields.sender;
  const String* date = message->Header("Date");
  if (date) fields.date = *date;
  return fields;
}

int POP3::Next() {
  if (!HasMessage()) return 1;
  ++current_;
  if (HasMessage() && !Retrieve()) return Fail("Error retrieving message: ", error_);
  return 1;
}

int POP3::Delete() {
  if (!HasMessage()) {
    error_.assign("No messages exist");
    return 0;
  }
  char command[32];
  snprintf(command, sizeof command, "DELE %u\r\n", messages_[current_].number);
  String text;
  if (Command(command) && Status(&text)) return 1;
  char prefix[48];
  snprintf(prefix, sizeof prefix, "Error deleting message #%u: ", messages_[current_].number);
  return Fail(prefix, error_);
}

void POP3::Close() {
  if (!connection_) return;
  static const char kQuit[] = "QUIT\r\n";
  if (connection_->Write(kQuit, 6, timeout_) == 6) {
    // Deletions happen when the server takes QUIT; wait for it to say so.
    String line;
    connection_->ReadLine(&line, kChunk, timeout_);
  }
  connection_->Close();
  connection_.reset();
}

}  // namespace pexo
