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

bool ApacheServer::Installed() { return access("/usr/sbin/apache2", X_OK) == 0; }

bool ApacheServer::Start(const std::string& dir, const std::string& cert, const std::string& key,
                         std::string* error) {
  dir_ = dir;
  port_ = FreePort();
  Shell("mkdir -p '" + dir + "/site' '" + dir + "/logs' && chmod 755 '" + dir + "'");
  const std::string modules = "/usr/lib/apache2/modules";
  std::ofstream conf(dir + "/httpd.conf");
  conf << "ServerRoot " << dir << "\nListen 127.0.0.1:" << port_ << "\nPidFile " << dir
       << "/logs/httpd.pid\nErrorLog " << dir << "/logs/error.log\n"
       << "LoadModule mpm_event_module " << modules << "/mod_mpm_event.so\n"
       << "LoadModule authz_core_module " << modules << "/mod_authz_core.so\n"
       << "LoadModule alias_module " << modules << "/mod_alias.so\n"
       << "ServerName localhost\nDocumentRoot " << dir << "/site\n"
       << "Redirect 301 /old /small.html\nKeepAlive On\nMaxKeepAliveRequests 0\n"
       << "<Directory " << dir << "/site>\n  Require all granted\n</Directory>\n"
       << (geteuid() == 0 ? "User nobody\nGroup nogroup\n" : "");
  if (!cert.empty()) {
    tls_port_ = FreePort();
    conf << "LoadModule ssl_module " << modules << "/mod_ssl.so\n"
         << "LoadModule socache_shmcb_module " << modules << "/mod_socache_shmcb.so\n"
         << "SSLSessionCache shmcb:" << dir << "/logs/ssl_cache(512000)\n"
         << "Listen 127.0.0.1:" << tls_port_ << "\n<VirtualHost 127.0.0.1:" << tls_port_
         << ">\n  SSLEngine on\n  SSLCertificateFile " << cert << "\n  SSLCertificateKeyFile "
         << key << "\n</VirtualHost>\n";
  }
  conf.close();
  bool up = process_.Start({"/usr/sbin/apache2", "-f", dir + "/httpd.conf", "-DFOREGROUND"},
                           dir + "/apache.log") &&
            WaitForPort(port_, 10000) && (tls_port_ == 0 || WaitForPort(tls_port_, 10000));
  if (!up && error) *error = ReadFile(dir + "/logs/error.log") + ReadFile(dir + "/apache.log");
  return up;
}

bool MakeCertificate(const std::string& dir) {
  return Shell("cd '" + dir + "' && openssl req -x509 -newkey ec -pkeyopt "
               "ec_paramgen_curve:prime256v1 -nodes -keyout key.pem -out cert.pem -days 2 "
               "-subj /CN=localhost -addext subjectAltName=DNS:localhost,IP:127.0.0.1 "
               ">cert.log 2>&1 && chmod 644 key.pem");
}

}  // namespace testing_net
}  // namespace pexo
