#include "net/network_settings.h"

#include <time.h>

namespace pexo {

int64_t RequestDeadline::Now() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
}

int WaitMilliseconds(int32_t timeout, int32_t timeout_global, const RequestDeadline& deadline) {
  int64_t wait = -1;
  int32_t seconds = timeout > 0 ? timeout : timeout_global;
  if (seconds > 0) wait = int64_t{seconds} * 1000;
  if (deadline.at() != 0) {
    int64_t left = deadline.at() - RequestDeadline::Now();
    if (left < 0) left = 0;
    if (wait < 0 || left < wait) wait = left;
  }
  if (wait > 0x7fffffff) wait = 0x7fffffff;
  return static_cast<int>(wait);
}

}  // namespace pexo
