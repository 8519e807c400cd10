// Feeds arbitrary server replies to a whole POP3 session: login, STAT,
// LIST, every RETR with its headers, DELE and QUIT. Every run must end with
// success or a message, never hold more messages than STAT announced, and
// write no more message bytes than the server sent.
#include <cstdint>
#include <cstdlib>

#include "net/pop3.h"
#include "scripted_connection.h"

namespace {

class CountingSink : public pexo::POP3MessageSink {
 public:
  int Open(const pexo::String& name, pexo::String* path, pexo::String*) override {
    path->assign(name);
    return 1;
  }
  int Write(const char*, int32_t length, pexo::String*) override {
    written += static_cast<size_t>(length);
    return 1;
  }
  int Close(pexo::String*) override { return 1; }
  size_t written = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 65536) return 0;
  bool delete_each = data[0] & 1;
  fuzz::ScriptedManager manager(data + 1, size - 1);
  CountingSink sink;
  pexo::POP3 pop3(&manager, 1, &sink);
  int ok = pop3.Open("mail.test", "user", "password");
  int rounds = 0;
  while (ok && pop3.HasMessage()) {
    pexo::POP3Fields fields = pop3.Fields();
    if (fields.subject.empty()) std::abort();  // "(no subject)" at least
    ok = (!delete_each || pop3.Delete()) && pop3.Next();
    if (++rounds > 65536) std::abort();
  }
  if (!ok && pop3.ErrorText().empty()) std::abort();
  pop3.Close();
  // Every line written ends in one LF where the server sent at least one.
  if (sink.written > size) std::abort();
  return 0;
}
