// POP3 against a real server (Dovecot on loopback, a maildir made for the
// test): the messages read into their files, one deleted, and the maildir
// checked afterwards.
#include <gtest/gtest.h>
#include <dirent.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "net/pop3.h"
#include "net/posix_network_manager.h"
#include "net_peers.h"

namespace pexo {
namespace {

using testing_net::ChildProcess;
using testing_net::ReadFile;
using testing_net::Shell;
using testing_net::Text;

class MemorySink : public POP3MessageSink {
 public:
  int Open(const String& name, String* path, String*) override {
    open_ = Text(name);
    path->assign(name);
    return 1;
  }
  int Write(const char* bytes, int32_t length, String*) override {
    files[open_].append(bytes, static_cast<size_t>(length));
    return 1;
  }
  int Close(String*) override { return 1; }
  std::map<std::string, std::string> files;

 private:
  std::string open_;
};

std::vector<std::string> MaildirFiles(const std::string& dir) {
  std::vector<std::string> names;
  for (const char* sub : {"/new", "/cur"}) {
    DIR* d = opendir((dir + sub).c_str());
    if (!d) continue;
    while (dirent* entry = readdir(d))
      if (entry->d_name[0] != '.') names.push_back(dir + sub + "/" + entry->d_name);
    closedir(d);
  }
  return names;
}

TEST(Pop3Server, ReadsDeletesAndLeavesTheRest) {
  if (access("/usr/sbin/dovecot", X_OK) != 0)
    GTEST_FAIL() << "dovecot-pop3d is missing: run scripts/setup.sh";
  if (geteuid() != 0) GTEST_SKIP() << "the test server switches to the mail user: needs root";
  std::string dir = testing_net::TempDirectory();
  ASSERT_FALSE(dir.empty());
  int port = testing_net::FreePort();
  std::string maildir = dir + "/home/Maildir";
  ASSERT_TRUE(Shell("chmod 755 '" + dir + "' && mkdir -p '" + maildir + "/new' '" + maildir +
                    "/cur' '" + maildir + "/tmp' && cd '" + maildir + "/new' && "
                    "printf 'From: a@x.test\\r\\nSubject: One\\r\\n\\r\\nHello\\r\\n.dot\\r\\n' >1.m1 && "
                    "printf 'From: b@x.test\\r\\nReply-To: r@x.test\\r\\n\\r\\nTwo\\r\\n' >2.m2 && "
                    "chown -R nobody:nogroup '" + dir + "/home' && "
                    "echo 'bob:{PLAIN}pw' >'" + dir + "/passwd'"));
  std::string config =
      "base_dir = " + dir + "/run\nstate_dir = " + dir + "/state\nlog_path = " + dir +
      "/dovecot.log\nprotocols = pop3\nlisten = 127.0.0.1\nssl = no\n"
      "disable_plaintext_auth = no\nauth_failure_delay = 0\nmail_location = maildir:~/Maildir\n"
      "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN " + dir + "/passwd\n}\n"
      "userdb {\n  driver = static\n  args = uid=nobody gid=nogroup home=" + dir + "/home\n}\n"
      "service pop3-login {\n  inet_listener pop3 {\n    address = 127.0.0.1\n    port = " +
      std::to_string(port) + "\n  }\n}\n";
  ASSERT_TRUE(Shell("cat >'" + dir + "/dovecot.conf' <<'EOF'\n" + config + "EOF"));
  ChildProcess server;
  ASSERT_TRUE(server.Start({"/usr/sbin/dovecot", "-F", "-c", dir + "/dovecot.conf"},
                           dir + "/server.log"));
  ASSERT_TRUE(testing_net::WaitForPort(port, 10000)) << ReadFile(dir + "/server.log");

  NetworkSettings settings;
  settings.timeout_global = 10;
  PosixNetworkManager manager(settings);
  MemorySink sink;
  std::string fields;
  {
    POP3 pop3(&manager, 5, &sink);
    ASSERT_TRUE(pop3.Open("127.0.0.1", "bob", "pw", port)) << Text(pop3.ErrorText());
    while (pop3.HasMessage()) {
      POP3Fields f = pop3.Fields();
      fields += Text(f.body) + "|" + Text(f.subject) + "|" + Text(f.reply_to) + ";";
      if (pop3.Current()->number == 2) {
        ASSERT_TRUE(pop3.Delete()) << Text(pop3.ErrorText());
      }
      ASSERT_TRUE(pop3.Next()) << Text(pop3.ErrorText());
    }
    pop3.Close();
  }
  EXPECT_EQ(fields, "PXPOPM.1|One|a@x.test;PXPOPM.2|(no subject)|r@x.test;");
  EXPECT_EQ(sink.files["PXPOPM.1"], "From: a@x.test\nSubject: One\n\nHello\n.dot\n");
  EXPECT_EQ(sink.files["PXPOPM.2"], "From: b@x.test\nReply-To: r@x.test\n\nTwo\n");
  std::vector<std::string> left = MaildirFiles(maildir);
  ASSERT_EQ(left.size(), 1u);
  EXPECT_NE(ReadFile(left[0]).find("Subject: One"), std::string::npos);

  POP3 refused(&manager, 5, &sink);
  EXPECT_FALSE(refused.Open("127.0.0.1", "bob", "wrong", port));
  EXPECT_EQ(Text(refused.ErrorText()),
            "Error logging into '127.0.0.1': [AUTH] Authentication failed.");
  refused.Close();
  server.Stop();
  Shell("rm -rf '" + dir + "'");
}

}  // namespace
}  // namespace pexo
