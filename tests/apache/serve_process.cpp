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
  int state = WaitListening(&pid_, port_, std::chrono::seconds(10));
  if (state == 1) return true;
  *error = program + (state == 0 ? " serve exited at start-up (see " + log + ")"
                                 : std::string(" serve did not listen within 10 s"));
  Stop();
  return false;
}

void ServeProcess::Stop() { StopChild(&pid_, std::chrono::seconds(10)); }

}  // namespace testing_apache
}  // namespace pexo
