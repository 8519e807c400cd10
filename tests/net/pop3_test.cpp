// POP3 sessions against a scripted server on loopback: the commands in
// order, the message files and fields, deletion, and each failure's message.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "net/pop3.h"
#include "net/posix_network_manager.h"
#include "net_peers.h"

namespace pexo {
namespace {

using testing_net::ReadLineFrom;
using testing_net::ScriptedPeer;
using testing_net::Text;
using testing_net::WriteBytes;

// Greets with the first reply and answers each command with the next one,
// recording the commands.
void Serve(int fd, const std::vector<std::string>& replies, std::string* transcript) {
  WriteBytes(fd, replies[0]);
  for (size_t next = 1;; ++next) {
    std::string line = ReadLineFrom(fd);
    if (line.empty()) return;
    *transcript += line;
    if (next < replies.size()) WriteBytes(fd, replies[next]);
    // "<close>" hangs up right after the reply before it.
    if (next + 1 < replies.size() && replies[next + 1] == "<close>") return;
  }
}

class MemorySink : public POP3MessageSink {
 public:
  int Open(const String& name, String* path, String* error) override {
    if (fail_open_) {
      error->assign("Unable to create file");
      return 0;
    }
    open_ = Text(name);
    files_[open_].clear();
    path->assign(("/box/" + open_).c_str());
    return 1;
  }
  int Write(const char* bytes, int32_t length, String*) override {
    files_[open_].append(bytes, static_cast<size_t>(length));
    return 1;
  }
  int Close(String*) override { return 1; }

  bool fail_open_ = false;
  std::map<std::string, std::string> files_;

 private:
  std::string open_;
};

struct Session {
  const char* name;
  std::vector<std::string> replies;  // greeting first
  bool delete_each = false;
  std::string sent;
  std::string error;      // of Open, Next or Delete; empty: none
  std::string fields;     // "body|subject|sender|reply-to|date" per message
  std::map<std::string, std::string> files;
};

const std::string kLogin = "USER u\r\nPASS p\r\n";
const std::vector<std::string> kLoggedIn = {"+OK ready\r\n", "+OK\r\n", "+OK logged in\r\n"};

std::vector<std::string> Then(std::vector<std::string> rest) {
  std::vector<std::string> all = kLoggedIn;
  all.insert(all.end(), rest.begin(), rest.end());
  return all;
}

std::vector<Session> Sessions() {
  std::string first =
      "+OK 60 octets\r\nFrom: a@x.test\r\nSubject: First\r\nSubject: Second\r\n"
      "Date: Tue, 8 Dec 2026\r\n\r\nBody\r\n..\r\n..x\r\nSubject: not a header\r\n.\r\n";
  std::string second =
      "+OK\r\nFrom: b@x.test\r\nReply-To: r@x.test\r\nX-Odd:no-blank\r\n\r\nHi\r\n.\r\n";
  return {
      {"two messages, fields and files",
       Then({"+OK 2 200\r\n", "+OK\r\n1 100\r\n26 100\r\n.\r\n", first, second, "+OK bye\r\n"}),
       false, kLogin + "STAT\r\nLIST\r\nRETR 1\r\nRETR 26\r\nQUIT\r\n", "",
       "/box/PXPOPM.1|First|a@x.test|a@x.test|Tue, 8 Dec 2026;"
       "/box/PXPOPM.1a|(no subject)|b@x.test|r@x.test|;",
       {{"PXPOPM.1",
         "From: a@x.test\nSubject: First\nSubject: Second\nDate: Tue, 8 Dec 2026\n\nBody\n.\n.x\n"
         "Subject: not a header\n"},
        {"PXPOPM.1a", "From: b@x.test\nReply-To: r@x.test\nX-Odd:no-blank\n\nHi\n"}}},
      {"deleting each message", Then({"+OK 1 10\r\n", "+OK\r\n3 10\r\n.\r\n",
                                      "+OK\r\nSubject: \r\n\r\nx\r\n.\r\n", "+OK deleted\r\n",
                                      "+OK bye\r\n"}),
       true, kLogin + "STAT\r\nLIST\r\nRETR 3\r\nDELE 3\r\nQUIT\r\n", "",
       "/box/PXPOPM.3|(no subject)|||;", {{"PXPOPM.3", "Subject: \n\nx\n"}}},
      {"empty mailbox", Then({"+OK 0 0\r\n", "+OK\r\n.\r\n", "+OK bye\r\n"}), false,
       kLogin + "STAT\r\nLIST\r\nQUIT\r\n", "", "", {}},
      {"greeting refused", {"-ERR busy\r\n"}, false, "QUIT\r\n",
       "Error connecting to '127.0.0.1': busy", "", {}},
      {"password refused", {"+OK ready\r\n", "+OK\r\n", "-ERR [AUTH] bad password\r\n"}, false,
       kLogin + "QUIT\r\n", "Error logging into '127.0.0.1': [AUTH] bad password", "", {}},
      {"error without text", {"+OK ready\r\n", "-ERR\r\n"}, false, "USER u\r\nQUIT\r\n",
       "Error logging into '127.0.0.1': Invalid response from server", "", {}},
      {"error with an empty text", {"+OK ready\r\n", "-ERR \r\n"}, false, "USER u\r\nQUIT\r\n",
       "Error logging into '127.0.0.1': Invalid response from server", "", {}},
      {"no status at all", {"+OK ready\r\n", "hello\r\n"}, false, "USER u\r\nQUIT\r\n",
       "Error logging into '127.0.0.1': Invalid response from server", "", {}},
      {"STAT without count", Then({"+OK\r\n"}), false, kLogin + "STAT\r\nQUIT\r\n",
       "Error while checking status from '127.0.0.1': Invalid response from server", "", {}},
      {"STAT beyond the cap", Then({"+OK 9999999 1\r\n"}), false, kLogin + "STAT\r\nQUIT\r\n",
       "Error while checking status from '127.0.0.1': Too many messages in the mailbox", "", {}},
      {"LIST longer than STAT", Then({"+OK 1 1\r\n", "+OK\r\n1 1\r\n2 1\r\n.\r\n"}), false,
       kLogin + "STAT\r\nLIST\r\nQUIT\r\n",
       "Error while retrieving list of messages from '127.0.0.1': More messages than expected "
       "returned from server",
       "", {}},
      {"LIST line without blank", Then({"+OK 1 1\r\n", "+OK\r\n1\r\n.\r\n"}), false,
       kLogin + "STAT\r\nLIST\r\nQUIT\r\n",
       "Error while retrieving list of messages from '127.0.0.1': Invalid response from server",
       "", {}},
      {"RETR refused", Then({"+OK 1 1\r\n", "+OK\r\n1 1\r\n.\r\n", "-ERR no such message\r\n"}),
       false, kLogin + "STAT\r\nLIST\r\nRETR 1\r\nQUIT\r\n",
       "Error retrieving message: no such message", "", {{"PXPOPM.1", ""}}},
      {"server hangs up in a message",
       Then({"+OK 1 1\r\n", "+OK\r\n1 1\r\n.\r\n", "+OK\r\nSubject: cut\r\n", "<close>"}), false,
       kLogin + "STAT\r\nLIST\r\nRETR 1\r\n",
       "Error retrieving message: Read Error: Connection closed by remote host", "",
       {{"PXPOPM.1", "Subject: cut\n"}}},
      {"DELE refused", Then({"+OK 1 1\r\n", "+OK\r\n1 1\r\n.\r\n", "+OK\r\nx\r\n.\r\n",
                             "-ERR gone\r\n"}),
       true, kLogin + "STAT\r\nLIST\r\nRETR 1\r\nDELE 1\r\nQUIT\r\n",
       "Error deleting message #1: gone", "/box/PXPOPM.1|(no subject)|||;", {{"PXPOPM.1", "x\n"}}},
  };
}

TEST(Pop3Session, CommandsFilesFieldsAndMessages) {
  NetworkSettings settings;
  settings.timeout_global = 5;
  for (const Session& s : Sessions()) {
    SCOPED_TRACE(s.name);
    auto transcript = std::make_shared<std::string>();
    std::vector<std::string> replies = s.replies;
    replies.push_back("+OK bye\r\n");  // QUIT after a failure, so Close need not wait
    MemorySink sink;
    std::string fields, error;
    {
      ScriptedPeer peer([replies, transcript](int fd) { Serve(fd, replies, transcript.get()); });
      ASSERT_TRUE(peer.ok());
      PosixNetworkManager manager(settings);
      POP3 pop3(&manager, 3, &sink);
      bool ok = pop3.Open("127.0.0.1", "u", "p", peer.port());
      while (ok && pop3.HasMessage()) {
        POP3Fields f = pop3.Fields();
        fields += Text(f.body) + "|" + Text(f.subject) + "|" + Text(f.sender) + "|" +
                  Text(f.reply_to) + "|" + Text(f.date) + ";";
        ok = (!s.delete_each || pop3.Delete()) && pop3.Next();
      }
      if (!ok) error = Text(pop3.ErrorText());
      pop3.Close();
    }
    EXPECT_EQ(*transcript, s.sent);
    EXPECT_EQ(error, s.error);
    EXPECT_EQ(fields, s.fields);
    EXPECT_EQ(sink.files_, s.files);
  }
}

TEST(Pop3Session, RefusalsWithoutAServer) {
  NetworkSettings settings;
  settings.timeout_global = 5;
  PosixNetworkManager manager(settings);
  MemorySink sink;
  POP3 pop3(&manager, 1, &sink);
  EXPECT_FALSE(pop3.Delete());
  EXPECT_EQ(Text(pop3.ErrorText()), "No messages exist");
  EXPECT_FALSE(pop3.Open("127.0.0.1", "u\r\nDELE 1", "p", 1));
  EXPECT_EQ(Text(pop3.ErrorText()),
            "Line breaks are not allowed in the mail host, user name or password");
  EXPECT_FALSE(pop3.Open("127.0.0.1", "u", "p", testing_net::FreePort()));
  EXPECT_EQ(Text(pop3.ErrorText()).rfind("Error connecting to '127.0.0.1': Error connecting to ", 0),
            0u)
      << Text(pop3.ErrorText());

  // A sink that cannot create the file.
  auto transcript = std::make_shared<std::string>();
  std::vector<std::string> replies = Then({"+OK 1 1\r\n", "+OK\r\n1 1\r\n.\r\n", "+OK bye\r\n"});
  {
    ScriptedPeer peer([replies, transcript](int fd) { Serve(fd, replies, transcript.get()); });
    sink.fail_open_ = true;
    EXPECT_FALSE(pop3.Open("127.0.0.1", "u", "p", peer.port()));
    EXPECT_EQ(Text(pop3.ErrorText()), "Error retrieving message: Unable to create file");
    pop3.Close();
  }
  EXPECT_EQ(*transcript, kLogin + "STAT\r\nLIST\r\nQUIT\r\n");
}

}  // namespace
}  // namespace pexo
