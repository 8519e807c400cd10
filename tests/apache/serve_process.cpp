#include "serve_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "apache_server.h"

namespace pexo {
namespace testing_apache {

ServeProcess::~ServeProcess() { Stop(); }

bool ServeProcess::Start(const std::string& config, const std::string& site,
                         const std::string& log, std::string* error) {
  port_ = FreeLoopbackPort();
  std::string program = std::string(PEXO_BINARY_DIR) + "/tools/pexo";
  std::string port = std::to_string(port_);
  pid_ = fork();
  if (pid_ < 0) {
    *error = "fork failed";
    return false;
  }
  if (pid_ == 0) {
    int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
      dup2(fd, 1);
      dup2(fd, 2);
    }
    execl(program.c_str(), program.c_str(), "serve", "--bind", "127.0.0.1", "--port",
          port.c_str(), "--config", config.c_str(), site.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      *error = program + " serve exited at start-up (see " + log + ")";
      return false;
    }
    if (CanConnect(port_)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  *error = program + " serve did not listen within 10 s";
  Stop();
  return false;
}

void ServeProcess::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  if (!WaitExit(pid_, std::chrono::seconds(10))) {
    kill(pid_, SIGKILL);
    WaitExit(pid_, std::chrono::seconds(5));
  }
  pid_ = -1;
}

}  // namespace testing_apache
}  // namespace pexo
