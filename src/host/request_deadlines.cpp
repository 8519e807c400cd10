#include "host/request_deadlines.h"

#include "host/server_request.h"

namespace pexo {

RequestDeadlines::RequestDeadlines(ServerRequest* request, ServerConfig* config)
    : request_(request), config_(config) {}

void RequestDeadlines::StartGlobalTimer() {
  int32_t seconds = config_->GetInteger(CFG_TIMEOUT_GLOBAL);
  time_t deadline = seconds > 0 ? std::time(nullptr) + seconds : 0;
  global_deadline_ms_ = seconds > 0 ? MonotonicMilliseconds() + seconds * 1000LL : 0;
  global_deadline_.store(deadline);
  deadline_seen_ = deadline;
  // A request past its memory limit stays stopped.
  int32_t timed_out = kStopTimedOut;
  flags_.machine.timeout.compare_exchange_strong(timed_out, 0);
}

void RequestDeadlines::StartPostTimer() {
  int32_t seconds = config_->GetInteger(CFG_TIMEOUT_POST);
  post_deadline_.store(seconds > 0 ? std::time(nullptr) + seconds : 0);
  post_deadline_ms_ = seconds > 0 ? MonotonicMilliseconds() + seconds * 1000LL : 0;
  flags_.post_timed_out.store(0);
}

void RequestDeadlines::StopPostTimer() {
  post_deadline_.store(0);
  post_deadline_ms_ = 0;
  flags_.post_timed_out.store(0);
}

void RequestDeadlines::CheckTimeouts(time_t now) {
  flags_.ticks.fetch_add(1);
  time_t global = global_deadline_.load();
  int32_t running = 0;
  if (global != 0 && global < now)
    flags_.machine.timeout.compare_exchange_strong(running, kStopTimedOut);
  time_t post = post_deadline_.load();
  if (post != 0 && post < now) flags_.post_timed_out.store(1);
  // A body read that outlives its deadline is cut short.
  int64_t body = body_deadline_.load();
  if (body != 0 && MonotonicMilliseconds() >= body) request_->InterruptBody();
}

int64_t RequestDeadlines::BodyDeadline() const {
  return post_deadline_ms_ != 0 ? post_deadline_ms_ : global_deadline_ms_;
}

int32_t RequestDeadlines::ReadBody(char* buffer, int32_t size) {
  int64_t deadline = BodyDeadline();
  if (deadline != 0 && MonotonicMilliseconds() >= deadline) return kBodyTimedOut;
  body_deadline_.store(deadline);
  int32_t got = request_->ReadBody(buffer, size, deadline);
  body_deadline_.store(0);
  // A read cut short by the deadline may report a broken connection.
  if (flags_.post_timed_out.load() || (deadline != 0 && MonotonicMilliseconds() >= deadline)) {
    return kBodyTimedOut;
  }
  return got;
}

}  // namespace pexo
