#include "net_peers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace pexo {
namespace testing_net {

std::string Text(const String& s) { return std::string(s.data(), static_cast<size_t>(s.length())); }

String Str(const std::string& s) { return String(s.data(), static_cast<int32_t>(s.size())); }

std::string ReadLineFrom(int fd) {
  std::string line;
  while (line.empty() || line.back() != '\n') {
    pollfd entry = {fd, POLLIN, 0};
    char c;
    if (poll(&entry, 1, 3000) <= 0 || recv(fd, &c, 1, 0) != 1) break;
    line.push_back(c);
  }
  return line;
}

std::string ReadBytes(int fd, size_t n, int timeout_ms) {
  std::string got;
  while (got.size() < n) {
    pollfd entry = {fd, POLLIN, 0};
    if (poll(&entry, 1, timeout_ms) <= 0) break;
    char buffer[4096];
    size_t want = n - got.size() < sizeof buffer ? n - got.size() : sizeof buffer;
    ssize_t r = recv(fd, buffer, want, 0);
    if (r <= 0) break;
    got.append(buffer, static_cast<size_t>(r));
  }
  return got;
}

void WriteBytes(int fd, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

void DrainUntilClosed(int fd, int timeout_ms) {
  for (;;) {
    pollfd entry = {fd, POLLIN, 0};
    if (poll(&entry, 1, timeout_ms) <= 0) return;
    char buffer[4096];
    if (recv(fd, buffer, sizeof buffer, 0) <= 0) return;
  }
}

ScriptedPeer::ScriptedPeer(std::function<void(int)> script, bool ipv6, int connections) {
  int family = ipv6 ? AF_INET6 : AF_INET;
  listener_ = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) return;
  sockaddr_storage address = {};
  socklen_t length;
  if (ipv6) {
    sockaddr_in6* in6 = reinterpret_cast<sockaddr_in6*>(&address);
    in6->sin6_family = AF_INET6;
    in6->sin6_addr = in6addr_loopback;
    length = sizeof *in6;
  } else {
    sockaddr_in* in = reinterpret_cast<sockaddr_in*>(&address);
    in->sin_family = AF_INET;
    in->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    length = sizeof *in;
  }
  if (bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      listen(listener_, 8) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(listener_);
    listener_ = -1;
    return;
  }
  port_ = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                     : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
  int listener = listener_;
  thread_ = std::thread([listener, script, connections] {
    for (int i = 0; i < connections; ++i) {
      pollfd entry = {listener, POLLIN, 0};
      if (poll(&entry, 1, 5000) <= 0) return;
      int fd = accept(listener, nullptr, nullptr);
      if (fd < 0) return;
      script(fd);
      close(fd);
    }
  });
}

ScriptedPeer::~ScriptedPeer() {
  if (thread_.joinable()) {
    // Wakes an accept that still waits.
    shutdown(listener_, SHUT_RDWR);
    thread_.join();
  }
  if (listener_ >= 0) close(listener_);
}

int FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in in = {};
  in.sin_family = AF_INET;
  in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof in;
  bind(fd, reinterpret_cast<sockaddr*>(&in), length);
  getsockname(fd, reinterpret_cast<sockaddr*>(&in), &length);
  close(fd);
  return ntohs(in.sin_port);
}

bool WaitForPort(int port, int timeout_ms) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < until) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in in = {};
    in.sin_family = AF_INET;
    in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    in.sin_port = htons(static_cast<uint16_t>(port));
    bool up = connect(fd, reinterpret_cast<sockaddr*>(&in), sizeof in) == 0;
    close(fd);
    if (up) return true;
    usleep(20000);
  }
  return false;
}

bool ChildProcess::Start(const std::vector<std::string>& argv, const std::string& log_path) {
  pid_ = fork();
  if (pid_ < 0) return false;
  if (pid_ == 0) {
    int log = open(log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int null = open("/dev/null", O_RDONLY);
    if (log >= 0) {
      dup2(log, 1);
      dup2(log, 2);
    }
    if (null >= 0) dup2(null, 0);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  return true;
}

void ChildProcess::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  for (int i = 0; i < 100; ++i) {
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    usleep(20000);
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

bool Shell(const std::string& command) { return system(command.c_str()) == 0; }

std::string TempDirectory() {
  char pattern[] = "/tmp/pexo_net_XXXXXX";
  const char* made = mkdtemp(pattern);
  return made ? made : "";
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

}  // namespace testing_net
}  // namespace pexo
