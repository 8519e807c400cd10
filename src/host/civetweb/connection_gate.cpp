#include "host/civetweb/connection_gate.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <vector>

#include "host/civetweb/connection_socket.h"

namespace pexo {

namespace {

struct Listed {
  std::string peer;
  int fd;
  bool pending;  // input waits unread
};

// The connections on `port`, named as the server library names its peers.
std::vector<Listed> ListConnections(int port) {
  std::vector<Listed> found;
  for (const ConnectionSocket& socket : ListConnectionSockets(port)) {
    int unread = 0;
    bool pending = ioctl(socket.fd, FIONREAD, &unread) == 0 && unread > 0;
    found.push_back({socket.peer, socket.fd, pending});
  }
  return found;
}

// Shuts the connection down if `fd` still names it. The duplicate keeps the
// socket from being closed and its number reused while it is checked.
bool Cut(int fd, const std::string& peer) {
  int copy = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return false;
  bool same = SocketPeer(copy) == peer;
  if (same) shutdown(copy, SHUT_RDWR);
  close(copy);
  return same;
}

}  // namespace

ConnectionGate::ConnectionGate(int max_slow, std::chrono::milliseconds slow_after)
    : max_slow_(max_slow), slow_after_(slow_after) {}

ConnectionGate::~ConnectionGate() { Stop(); }

void ConnectionGate::Start(int port) {
  Stop();
  port_ = port;
  stopping_ = false;
  watcher_ = std::thread(&ConnectionGate::Watch, this);
}

void ConnectionGate::Stop() {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (watcher_.joinable()) watcher_.join();
}

void ConnectionGate::BeginRequest(const std::string& peer) {
  std::lock_guard<std::mutex> hold(mutex_);
  Entry& entry = connections_[peer];
  entry.busy = true;
  entry.since = Clock::now();
}

void ConnectionGate::EndRequest(const std::string& peer) {
  std::lock_guard<std::mutex> hold(mutex_);
  Entry& entry = connections_[peer];
  entry.busy = false;
  entry.since = Clock::now();
}

int ConnectionGate::Sweep() {
  Clock::time_point now = Clock::now();
  std::vector<Listed> listed = ListConnections(port_);
  std::vector<std::pair<Clock::time_point, Listed>> slow;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    for (const Listed& connection : listed) {
      auto [at, fresh] = connections_.try_emplace(connection.peer);
      if (fresh) at->second.since = now;
      at->second.seen = now;
      if (!at->second.busy && !connection.pending && now - at->second.since >= slow_after_) {
        slow.emplace_back(at->second.since, connection);
      }
    }
    // Closed: not listed now and not touched since this pass began.
    for (auto at = connections_.begin(); at != connections_.end();) {
      bool closed = at->second.seen < now && at->second.since < now;
      at = closed ? connections_.erase(at) : std::next(at);
    }
  }
  if (static_cast<int>(slow.size()) <= max_slow_) return 0;
  std::sort(slow.begin(), slow.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  int cut = 0;
  size_t excess = slow.size() - static_cast<size_t>(std::max(max_slow_, 0));
  for (size_t i = 0; i < excess; ++i) {
    if (Cut(slow[i].second.fd, slow[i].second.peer)) ++cut;
  }
  return cut;
}

void ConnectionGate::Watch() {
  std::chrono::milliseconds interval =
      std::max(slow_after_ / 4, std::chrono::milliseconds(10));
  std::unique_lock<std::mutex> hold(mutex_);
  while (!wake_.wait_for(hold, interval, [this] { return stopping_; })) {
    hold.unlock();
    Sweep();
    hold.lock();
  }
}

}  // namespace pexo
