// RequestDeadlines: the timers of one request and the watchdog's check.
//
// The global deadline bounds the machine's run, the POST deadline the body
// read; each is kept twice, in seconds since the epoch for the watchdog and
// on the steady clock (ms) for body reads. Start* and Stop* run on the
// request thread; CheckTimeouts runs on the watchdog's thread and only sets
// the atomic flags the request thread polls (and interrupts a body read
// that outlived its deadline). A request stopped by its memory limit stays
// stopped when the global timer restarts.
#ifndef PEXO_HOST_REQUEST_DEADLINES_H_
#define PEXO_HOST_REQUEST_DEADLINES_H_

#include <atomic>
#include <cstdint>
#include <ctime>

#include "values/server_config.h"
#include "vm/pexo_vm.h"

namespace pexo {

class ServerRequest;

// What the machine and the watchdog share: written by one thread, read by
// another, so each is atomic. `machine.timeout` is the timed-out flag the
// run loop polls; `machine.exit` stops the run at shut-down.
struct RequestFlags {
  HostFlags machine;
  std::atomic<int32_t> post_timed_out{0};
  std::atomic<int64_t> ticks{0};
};

class RequestDeadlines {
 public:
  // Both are borrowed; the configuration gives `timeout_global` and
  // `timeout_post` when a timer starts.
  RequestDeadlines(ServerRequest* request, ServerConfig* config);
  RequestDeadlines(const RequestDeadlines&) = delete;
  RequestDeadlines& operator=(const RequestDeadlines&) = delete;

  // Deadline = now + the configured seconds (0: none); clears the flag.
  void StartGlobalTimer();
  void StartPostTimer();
  void StopPostTimer();
  // The watchdog's entry (seconds since the epoch).
  void CheckTimeouts(time_t now);
  // Asks the running machine to stop (process shut-down).
  void RequestStop() { flags_.machine.exit.store(1); }

  // One read of the body bounded by the running deadline; kBodyTimedOut
  // once it has passed.
  int32_t ReadBody(char* buffer, int32_t size);

  RequestFlags* flags() { return &flags_; }
  time_t global_deadline() const { return global_deadline_.load(); }
  // The same on the monotonic clock in milliseconds (0: none), for waits on
  // the network; read on the request thread.
  int64_t global_deadline_ms() const { return global_deadline_ms_; }
  // The global deadline as the request thread last set it, for
  // "dyn_time_remaining" (read on the same thread).
  const volatile int64_t* deadline_seen() const { return &deadline_seen_; }

 private:
  // The body's deadline: the POST timer's, or the global one while an
  // accepted upload has the POST timer stopped; 0 for none.
  int64_t BodyDeadline() const;

  ServerRequest* request_;
  ServerConfig* config_;
  RequestFlags flags_;
  std::atomic<time_t> global_deadline_{0};
  std::atomic<time_t> post_deadline_{0};
  // The same two deadlines on the steady clock (ms), for body reads; set
  // and read on the request thread.
  int64_t global_deadline_ms_ = 0;
  int64_t post_deadline_ms_ = 0;
  // The deadline of the body read in progress (0: none), for the watchdog.
  std::atomic<int64_t> body_deadline_{0};
  volatile int64_t deadline_seen_ = 0;
};

}  // namespace pexo

#endif  // PEXO_HOST_REQUEST_DEADLINES_H_
