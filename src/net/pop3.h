// POP3: the client of one mailbox session. Open logs in, takes the message
// count (STAT) and list (LIST) and retrieves the first message; Next moves
// to the following one and Delete marks the current one for deletion on
// the server; Close ends the session with QUIT (deletions take effect
// then). Each retrieved message goes, line by line with LF line ends, to a
// message file "PXPOPM.<number in lower-case hex>" that the caller's
// POP3MessageSink creates; its main headers are kept for the caller.
//
// Bounds: a status line longer than kMaxStatusLine is refused, message
// lines are bounded by the connection's line cap, a mailbox announcing
// more than kMaxMessages messages is refused and only the first
// kMaxHeaders headers of a message are kept (all are written).
#ifndef PEXO_NET_POP3_H_
#define PEXO_NET_POP3_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "net/network_manager.h"

namespace pexo {

// Where message files go; the caller resolves names in its directory.
class POP3MessageSink {
 public:
  virtual ~POP3MessageSink() = default;
  // Creates (or empties) the file `name`; *path is the path the script
  // is given. One file is open at a time. Each returns 1, or 0 with *error.
  virtual int Open(const String& name, String* path, String* error) = 0;
  virtual int Write(const char* bytes, int32_t length, String* error) = 0;
  virtual int Close(String* error) = 0;
};

struct POP3Header {
  String name;
  String value;
};

struct POP3Message {
  uint32_t number = 0;
  uint32_t size = 0;
  String path;  // of its message file, once retrieved
  std::vector<POP3Header> headers;

  // The first header of that name (any case), or null.
  const String* Header(const char* name) const;
};

// What the script sees of the current message.
struct POP3Fields {
  String body;  // the message file's path
  String subject, sender, reply_to, date;
};

class POP3 {
 public:
  static const int32_t kMaxStatusLine = 4096;
  static const uint32_t kMaxMessages = 1u << 20;
  static const size_t kMaxHeaders = 256;

  POP3(NetworkManager* manager, int32_t timeout, POP3MessageSink* sink);
  POP3(const POP3&) = delete;
  POP3& operator=(const POP3&) = delete;
  ~POP3();

  int Open(const String& host, const String& user, const String& password, int32_t port = 110);
  // False once the list is exhausted (or was empty).
  bool HasMessage() const { return current_ < messages_.size(); }
  const POP3Message* Current() const { return HasMessage() ? &messages_[current_] : nullptr; }
  POP3Fields Fields() const;
  int Next();
  int Delete();
  void Close();

  const String& ErrorText() const { return error_; }

 private:
  int Fail(const char* prefix, const String& text);
  int Command(const String& line);
  // The status line; *text is what follows its first blank.
  int Status(String* text);
  // The next line of a multi-line reply without its line end; *end is set
  // at the terminating ".".
  int DataLine(String* line, bool* end);
  int Stat();
  int List();
  int Retrieve();

  NetworkManager* manager_;
  int32_t timeout_;
  POP3MessageSink* sink_;
  std::unique_ptr<NetworkConnection> connection_;
  uint32_t count_ = 0;
  std::vector<POP3Message> messages_;
  size_t current_ = 0;
  String error_;
};

}  // namespace pexo

#endif  // PEXO_NET_POP3_H_
