// Loopback peers for the connection tests: scripted TCP peers on a thread,
// child processes (proxy, TLS server) stopped by their own pid, and small
// socket helpers. Everything binds 127.0.0.1 or ::1 and gives up after a
// few seconds so a broken test cannot hang.
#ifndef PEXO_TESTS_NET_NET_PEERS_H_
#define PEXO_TESTS_NET_NET_PEERS_H_

#include <sys/types.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "values/string.h"

namespace pexo {
namespace testing_net {

// A String's bytes as a std::string and back, for comparisons.
std::string Text(const String& s);
String Str(const std::string& s);
// One line up to and including its feed; shorter when the peer closes or
// stays silent for 3 s.
std::string ReadLineFrom(int fd);

// Reads up to n bytes (stops early when the peer closes or after
// timeout_ms of silence).
std::string ReadBytes(int fd, size_t n, int timeout_ms = 3000);
void WriteBytes(int fd, const std::string& bytes);
// Waits for the other side to close (bounded).
void DrainUntilClosed(int fd, int timeout_ms = 3000);

// Accepts `connections` connections one after another on a loopback port
// and runs the script on each.
class ScriptedPeer {
 public:
  explicit ScriptedPeer(std::function<void(int)> script, bool ipv6 = false, int connections = 1);
  ~ScriptedPeer();
  ScriptedPeer(const ScriptedPeer&) = delete;
  ScriptedPeer& operator=(const ScriptedPeer&) = delete;
  int port() const { return port_; }
  bool ok() const { return listener_ >= 0; }
  // Waits until the script has served all its connections (the client must
  // have closed them), so what it recorded may be read.
  void Wait() {
    if (thread_.joinable()) thread_.join();
  }

 private:
  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
};

// A port that was free a moment ago.
int FreePort();
// Polls until something listens on 127.0.0.1:port; false after timeout_ms.
bool WaitForPort(int port, int timeout_ms = 5000);

// A child process; the destructor ends it (SIGTERM, then SIGKILL) by pid.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess() { Stop(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  // Output goes to log_path.
  bool Start(const std::vector<std::string>& argv, const std::string& log_path);
  void Stop();
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

// Debian's apache2 on loopback serving <dir>/site (made here; the caller
// puts files in it), plain and, when Start is given a certificate and key,
// TLS on a second port; "/old" redirects to "/small.html". Stopped by
// the destructor.
class ApacheServer {
 public:
  static bool Installed();
  // False with the error log's text in *error.
  bool Start(const std::string& dir, const std::string& cert, const std::string& key,
             std::string* error);
  void Stop() { process_.Stop(); }
  int port() const { return port_; }
  int tls_port() const { return tls_port_; }
  std::string site() const { return dir_ + "/site"; }

 private:
  std::string dir_;
  int port_ = 0;
  int tls_port_ = 0;
  ChildProcess process_;
};

// A self-signed certificate for localhost and 127.0.0.1 as cert.pem and
// key.pem in dir.
bool MakeCertificate(const std::string& dir);

// Runs a shell command; true when it exits with 0.
bool Shell(const std::string& command);
// A fresh temporary directory.
std::string TempDirectory();
std::string ReadFile(const std::string& path);

}  // namespace testing_net
}  // namespace pexo

#endif  // PEXO_TESTS_NET_NET_PEERS_H_
