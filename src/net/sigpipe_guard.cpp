#include "net/sigpipe_guard.h"

#include <pthread.h>
#include <time.h>

namespace pexo {
namespace {

bool SigpipePending() {
  sigset_t pending;
  sigemptyset(&pending);
  return sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
}

}  // namespace

SigpipeGuard::SigpipeGuard() {
  // A SIGPIPE already pending is not ours to take.
  was_pending_ = SigpipePending();
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  active_ = pthread_sigmask(SIG_BLOCK, &pipe, &old_mask_) == 0;
}

SigpipeGuard::~SigpipeGuard() {
  if (!active_) return;
  if (!was_pending_ && SigpipePending()) {
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    timespec none = {0, 0};
    sigtimedwait(&pipe, nullptr, &none);
  }
  pthread_sigmask(SIG_SETMASK, &old_mask_, nullptr);
}

}  // namespace pexo
