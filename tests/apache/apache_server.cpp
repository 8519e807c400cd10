#include "apache_server.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "program/assembler.h"
#include "program/program_writer.h"

namespace pexo {
namespace testing_apache {

int FreeLoopbackPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

bool CanConnect(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return ok;
}

bool WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  return static_cast<bool>(out);
}

bool WaitExit(pid_t pid, std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid || done < 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

int WaitListening(pid_t* pid, int port, std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(*pid, &status, WNOHANG) == *pid) {
      *pid = -1;
      return 0;
    }
    if (CanConnect(port)) return 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return -1;
}

void StopChild(pid_t* pid, std::chrono::milliseconds grace) {
  if (*pid <= 0) return;
  kill(*pid, SIGTERM);
  if (!WaitExit(*pid, grace)) {
    kill(*pid, SIGKILL);
    WaitExit(*pid, std::chrono::seconds(5));
  }
  *pid = -1;
}

namespace {

long ResidentOf(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.compare(0, 6, "VmRSS:") == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}

pid_t ParentOf(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.compare(0, 5, "PPid:") == 0) return static_cast<pid_t>(std::atol(line.c_str() + 5));
  }
  return -1;
}

}  // namespace

ApacheServer::ApacheServer() {
  char pattern[] = "/tmp/pexo_apache_XXXXXX";
  const char* made = mkdtemp(pattern);
  if (!made) return;
  dir_ = made;
  // The server's children may run as another user.
  chmod(dir_.c_str(), 0755);
  mkdir((dir_ + "/site").c_str(), 0755);
  mkdir((dir_ + "/site/root").c_str(), 0755);
  mkdir((dir_ + "/logs").c_str(), 0755);
  for (const char* writable : {"/data", "/temp"}) {
    mkdir((dir_ + writable).c_str(), 0777);
    chmod((dir_ + writable).c_str(), 0777);
  }
}

ApacheServer::~ApacheServer() {
  Stop();
  if (dir_.rfind("/tmp/pexo_apache_", 0) == 0) {
    std::string command = "rm -rf '" + dir_ + "'";
    int rc = std::system(command.c_str());
    (void)rc;
  }
}

bool ApacheServer::AddProgram(const std::string& name, const std::string& source,
                              std::string* error) {
  ProgramWriter writer;
  String errors;
  std::string path = root() + "/" + name;
  if (!Assemble(source.data(), static_cast<int32_t>(source.size()), path.c_str(), &writer,
                &errors) ||
      !writer.write_file(path.c_str(), &errors)) {
    *error = errors.c_str();
    return false;
  }
  chmod(path.c_str(), 0644);
  return true;
}

bool ApacheServer::AddFile(const std::string& relative, const std::string& bytes) {
  std::string path = site() + "/" + relative;
  size_t slash = path.rfind('/');
  mkdir(path.substr(0, slash).c_str(), 0755);
  bool ok = WriteText(path, bytes);
  chmod(path.c_str(), 0644);
  return ok;
}

std::string ApacheServer::ErrorLog() const {
  std::ifstream in(dir_ + "/logs/error.log");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

long ApacheServer::ResidentKb() const {
  if (pid_ <= 0) return 0;
  long total = ResidentOf(pid_);
  DIR* proc = opendir("/proc");
  if (!proc) return total;
  while (dirent* entry = readdir(proc)) {
    pid_t pid = static_cast<pid_t>(std::atol(entry->d_name));
    if (pid > 0 && ParentOf(pid) == pid_) total += ResidentOf(pid);
  }
  closedir(proc);
  return total;
}

bool ApacheServer::Start(const std::string& engine_section, const std::string& server_extra,
                         std::string* error) {
  if (dir_.empty()) {
    *error = "no temporary directory";
    return false;
  }
  port_ = FreeLoopbackPort();
  std::string modules = PEXO_APACHE_MODULE_DIR;
  std::string conf =
      "ServerRoot " + dir_ + "\n"
      "Listen 127.0.0.1:" + std::to_string(port_) + "\n"
      "PidFile " + dir_ + "/logs/httpd.pid\n"
      "ErrorLog " + dir_ + "/logs/error.log\n"
      "LogLevel warn\n"
      "LoadModule mpm_event_module " + modules + "/mod_mpm_event.so\n"
      "LoadModule authz_core_module " + modules + "/mod_authz_core.so\n"
      "LoadModule mime_module " + modules + "/mod_mime.so\n"
      "LoadModule dir_module " + modules + "/mod_dir.so\n"
      "LoadModule pexo_module " PEXO_APACHE_MODULE "\n"
      "ServerName localhost\n"
      "TypesConfig /dev/null\n"
      "AddType text/plain .txt\n"
      "StartServers 1\nServerLimit 2\nThreadsPerChild 8\nMaxRequestWorkers 16\n"
      // A stop waits this long for requests in flight (under Stop's grace).
      "GracefulShutdownTimeout 10\n"
      "DocumentRoot " + site() + "\n"
      "PexoConfigFile " + dir_ + "/pexo.xml\n"
      "AddHandler pexo-script .pxc\n"
      "DirectoryIndex index.pxc\n"
      "<Directory " + site() + ">\n  Require all granted\n</Directory>\n";
  if (geteuid() == 0) conf += "User nobody\nGroup nogroup\n";
  conf += server_extra;
  if (!WriteEngineConfig(engine_section) || !WriteText(dir_ + "/httpd.conf", conf)) {
    *error = "cannot write the configuration files";
    return false;
  }
  unlink((dir_ + "/logs/httpd.pid").c_str());
  pid_ = fork();
  if (pid_ < 0) {
    *error = "fork failed";
    return false;
  }
  if (pid_ == 0) {
#ifdef PEXO_ASAN_RUNTIME
    // A sanitized module needs its run-time loaded into the server first.
    setenv("LD_PRELOAD", PEXO_ASAN_RUNTIME, 1);
    setenv("ASAN_OPTIONS", "detect_leaks=0:abort_on_error=1", 1);
#endif
    std::string conf_path = dir_ + "/httpd.conf";
    execl(kApacheBinary, kApacheBinary, "-f", conf_path.c_str(), "-DFOREGROUND",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  return WaitReady(error);
}

bool ApacheServer::WriteEngineConfig(const std::string& engine_section) {
  std::string xml = "<configuration><PexoScript serverAdmin=\"\">\n<paths root=\"" + root() +
                    "\" data=\"" + dir_ + "/data\" temp=\"" + dir_ + "/temp\"/>\n" +
                    engine_section + "</PexoScript></configuration>\n";
  return WriteText(dir_ + "/pexo.xml", xml);
}

// Counts the parent's "resuming normal operations" lines: one per
// generation of children.
int ApacheServer::Generation() const {
  std::string log = ErrorLog();
  int count = 0;
  for (size_t at = log.find("resuming normal operations"); at != std::string::npos;
       at = log.find("resuming normal operations", at + 1)) {
    ++count;
  }
  return count;
}

bool ApacheServer::Restart(std::string* error) {
  if (pid_ <= 0) {
    *error = "not running";
    return false;
  }
  int before = Generation();
  kill(pid_, SIGUSR1);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      *error = "the server exited on restart: " + ErrorLog();
      return false;
    }
    if (Generation() > before && CanConnect(port_)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  *error = "no new generation within 20 s: " + ErrorLog();
  return false;
}

bool ApacheServer::WaitReady(std::string* error) {
  // The server listens before the modules' post-configuration runs (where a
  // bad engine configuration stops it); it writes its pid file only after.
  std::string pid_file = dir_ + "/logs/httpd.pid";
  int state = WaitListening(&pid_, port_, std::chrono::seconds(20));
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (state == 1 && access(pid_file.c_str(), F_OK) != 0) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      state = 0;
    } else if (std::chrono::steady_clock::now() >= deadline) {
      state = -1;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  if (state == 1) return true;
  *error = state == 0 ? "the server exited at start-up: " + ErrorLog()
                      : "the server did not listen within 20 s: " + ErrorLog();
  Stop();
  return false;
}

// A graceful stop: each child finishes its connections, then runs its exit
// hooks. SIGTERM is only the fallback: on it the event MPM's main thread
// closes the sockets of busy workers while a worker may be freeing one, and
// the child dies of SIGSEGV inside the server itself (seen with no module
// of ours loaded).
void ApacheServer::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGWINCH);
  if (WaitExit(pid_, std::chrono::seconds(15))) {
    pid_ = -1;
    return;
  }
  StopChild(&pid_, std::chrono::seconds(5));
}

}  // namespace testing_apache
}  // namespace pexo
