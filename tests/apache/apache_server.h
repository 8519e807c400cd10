// A real web server for the module's tests: Debian's apache2 in the
// foreground on a generated configuration in a fresh temporary directory,
// event MPM, loopback only, on a free port. The directory holds:
//   site/        the document root (static files; "outside" the script root)
//   site/root/   the script root named by the engine's configuration
//   data/ temp/  writable by the server's user
//   pexo.xml     the engine's configuration, httpd.conf, logs/
// Stop (also run by the destructor) ends the server and removes the
// directory.
#ifndef PEXO_TESTS_APACHE_APACHE_SERVER_H_
#define PEXO_TESTS_APACHE_APACHE_SERVER_H_

#include <sys/types.h>

#include <chrono>
#include <string>

namespace pexo {
namespace testing_apache {

constexpr const char kApacheBinary[] = "/usr/sbin/apache2";

// A loopback port nobody listens on now (0 when none could be had).
int FreeLoopbackPort();
// True when something accepts connections on 127.0.0.1:`port`.
bool CanConnect(int port);
// Waits up to `limit` for the child to end and reaps it; true when it did.
bool WaitExit(pid_t pid, std::chrono::milliseconds limit);
// Waits until child `*pid` listens on `port`: 1 when it does, 0 when it
// exited first (`*pid` becomes -1), -1 when `limit` passed.
int WaitListening(pid_t* pid, int port, std::chrono::milliseconds limit);
// SIGTERM, then SIGKILL after `grace`; `*pid` becomes -1.
void StopChild(pid_t* pid, std::chrono::milliseconds grace);
bool WriteText(const std::string& path, const std::string& text);

class ApacheServer {
 public:
  ApacheServer();
  ~ApacheServer();
  ApacheServer(const ApacheServer&) = delete;
  ApacheServer& operator=(const ApacheServer&) = delete;

  // Writes the configurations and starts the server; `engine_section` is
  // the inside of the engine's <PexoScript> element (the paths are added),
  // `server_extra` more lines for httpd.conf.
  bool Start(const std::string& engine_section, const std::string& server_extra,
             std::string* error);
  void Stop();
  // Graceful restart: the parent re-reads every configuration and replaces
  // its children; true once the new generation answers.
  bool Restart(std::string* error);
  // Rewrites the engine's configuration file (same shape as in Start).
  bool WriteEngineConfig(const std::string& engine_section);

  // Assembles `source` into site/root/<name>; false with the message.
  bool AddProgram(const std::string& name, const std::string& source, std::string* error);
  // Writes bytes to site/<relative>.
  bool AddFile(const std::string& relative, const std::string& bytes);

  int port() const { return port_; }
  const std::string& dir() const { return dir_; }
  std::string site() const { return dir_ + "/site"; }
  std::string root() const { return dir_ + "/site/root"; }
  std::string ErrorLog() const;
  // Resident memory (kB) of the server's processes, summed.
  long ResidentKb() const;

 private:
  bool WaitReady(std::string* error);
  int Generation() const;

  std::string dir_;
  int port_ = 0;
  pid_t pid_ = -1;
};

}  // namespace testing_apache
}  // namespace pexo

#endif  // PEXO_TESTS_APACHE_APACHE_SERVER_H_
