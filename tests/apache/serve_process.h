// ServeProcess: the built `pexo serve` program as a child process on a free
// loopback port, so that a test can set it beside the module. Stop (also run
// by the destructor) ends it.
#ifndef PEXO_TESTS_APACHE_SERVE_PROCESS_H_
#define PEXO_TESTS_APACHE_SERVE_PROCESS_H_

#include <sys/types.h>

#include <string>

namespace pexo {
namespace testing_apache {

class ServeProcess {
 public:
  ServeProcess() = default;
  ~ServeProcess();
  ServeProcess(const ServeProcess&) = delete;
  ServeProcess& operator=(const ServeProcess&) = delete;

  // Serves `site` with the configuration file `config`; the program's own
  // output goes to `log`. True once it listens.
  bool Start(const std::string& config, const std::string& site, const std::string& log,
             std::string* error);
  void Stop();
  int port() const { return port_; }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace testing_apache
}  // namespace pexo

#endif  // PEXO_TESTS_APACHE_SERVE_PROCESS_H_
