// ConnectionGate: bounds the slow connections of the standalone server.
//
// Every accepted connection holds one of the server's workers until it
// closes, also while its request head trickles in or while it idles between
// kept-alive requests. A connection is slow once it has waited `slow_after`
// without a request in hand; at most `max_slow` slow connections are kept,
// and the longest-waiting ones beyond that are shut down, so a few clients
// cannot hold every worker.
//
// The server library has no hook between accepting a connection and reading
// its head, so a watcher thread lists the process's sockets on the server's
// port every `slow_after / 4` and shuts the chosen ones down; the worker
// blocked on such a socket then reads end of input and moves on. A
// connection with a request in hand (between BeginRequest and EndRequest) is
// never cut, nor one whose input waits unread (it is queued for a worker,
// not holding one). Connections are named by their peer, "address:port".
#ifndef PEXO_HOST_CIVETWEB_CONNECTION_GATE_H_
#define PEXO_HOST_CIVETWEB_CONNECTION_GATE_H_

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace pexo {

class ConnectionGate {
 public:
  ConnectionGate(int max_slow, std::chrono::milliseconds slow_after);
  ConnectionGate(const ConnectionGate&) = delete;
  ConnectionGate& operator=(const ConnectionGate&) = delete;
  ~ConnectionGate();

  // Starts watching the connections accepted on local TCP port `port`.
  void Start(int port);
  void Stop();

  void BeginRequest(const std::string& peer);
  void EndRequest(const std::string& peer);

 private:
  using Clock = std::chrono::steady_clock;
  struct Entry {
    bool busy = false;
    Clock::time_point since;  // waiting without a request since then
    Clock::time_point seen;   // last listed then
  };

  void Watch();
  // One pass over the connections; returns how many were shut down.
  int Sweep();

  const int max_slow_;
  const std::chrono::milliseconds slow_after_;
  int port_ = 0;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread watcher_;
  std::map<std::string, Entry> connections_;
};

}  // namespace pexo

#endif  // PEXO_HOST_CIVETWEB_CONNECTION_GATE_H_
