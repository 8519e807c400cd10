// StandaloneServer: the engine behind its own small HTTP server, for
// development and tests. Serves ".pxc" programs under the site directory and
// static files beside them as SiteMap decides, and writes one access-log
// line per request. A request whose Content-Length is malformed or given
// twice with different values, or whose path holds an encoded zero byte, is
// refused with 400. Slow clients are bounded by the header and idle
// time-outs and by ConnectionGate.
//
// Without a configuration file the script root is the site directory and
// the data and temporary directories are made under a writable folder
// (given, or a fresh one under /tmp) that Start reports.
#ifndef PEXO_HOST_CIVETWEB_STANDALONE_SERVER_H_
#define PEXO_HOST_CIVETWEB_STANDALONE_SERVER_H_

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "host/civetweb/connection_gate.h"
#include "host/civetweb/site_map.h"
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
  std::vector<std::string> deny;  // --deny PATTERN, repeatable
  int workers = 64;
  int header_timeout_ms = 10000;  // a request head must arrive within this
  int idle_timeout_ms = 2000;     // between kept-alive requests
  int max_slow = 16;              // see ConnectionGate
  int slow_after_ms = 1000;
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
  static int BeginRequest(mg_connection* connection);
  static void EndRequest(const mg_connection* connection, int status);
  int Serve(mg_connection* connection);
  bool PrepareDirectories(const ServeOptions& options, std::string* error);

  EngineProcess process_;
  ConfigFile config_;
  std::string site_;
  std::string default_file_ = "index.pxc";
  std::string work_dir_;
  std::string access_log_;
  std::unique_ptr<SiteMap> site_map_;
  std::unique_ptr<ConnectionGate> gate_;
  mg_context* context_ = nullptr;
  int port_ = 0;
};

// The whole `pexo serve` command; returns the exit code.
int ServeCommand(int argc, const char* const* argv);

}  // namespace pexo

#endif  // PEXO_HOST_CIVETWEB_STANDALONE_SERVER_H_
