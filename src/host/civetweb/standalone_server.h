// StandaloneServer: the engine behind its own small HTTP server, for
// development and tests. Serves ".pxc" programs under the site directory
// (a directory request runs its `default_file` when present), static files
// beside them, and writes one access-log line per request.
//
// Without a configuration file the script root is the site directory and
// the data and temporary directories are made under a writable folder
// (given, or a fresh one under /tmp) that Start reports.
#ifndef PEXO_HOST_CIVETWEB_STANDALONE_SERVER_H_
#define PEXO_HOST_CIVETWEB_STANDALONE_SERVER_H_

#include <chrono>
#include <memory>
#include <string>

#include "host/config_file.h"
#include "host/engine_process.h"

struct mg_context;
struct mg_connection;

namespace pexo {

struct ServeOptions {
  std::string bind = "127.0.0.1";
  int port = 8080;  // 0: any free port
  std::string config;
  std::string data;
  std::string temp;
  std::string site;
};

// Parses `serve` arguments; false with a usage message.
bool ParseServeOptions(int argc, const char* const* argv, ServeOptions* options,
                       std::string* error);

class StandaloneServer {
 public:
  // `watchdog_interval`: how often running requests are checked for their
  // deadlines (tests shorten it).
  explicit StandaloneServer(
      std::chrono::milliseconds watchdog_interval = std::chrono::milliseconds(5000));
  StandaloneServer(const StandaloneServer&) = delete;
  StandaloneServer& operator=(const StandaloneServer&) = delete;
  ~StandaloneServer();

  bool Start(const ServeOptions& options, std::string* error);
  void Stop();
  int port() const { return port_; }
  const std::string& work_dir() const { return work_dir_; }
  const std::string& access_log() const { return access_log_; }
  EngineProcess* process() { return &process_; }

 private:
  static int HandleRequest(mg_connection* connection, void* self);
  int Serve(mg_connection* connection);
  bool PrepareDirectories(const ServeOptions& options, std::string* error);

  EngineProcess process_;
  ConfigFile config_;
  std::string site_;
  std::string default_file_ = "index.pxc";
  std::string work_dir_;
  std::string access_log_;
  mg_context* context_ = nullptr;
  int port_ = 0;
};

// The whole `pexo serve` command; returns the exit code.
int ServeCommand(int argc, const char* const* argv);

}  // namespace pexo

#endif  // PEXO_HOST_CIVETWEB_STANDALONE_SERVER_H_
