// SigpipeGuard: keeps a broken pipe from raising SIGPIPE in the calling
// thread while it lives. The TLS library writes to the socket with plain
// write(), which, unlike the engine's own sends, cannot ask for no signal;
// a peer that went away would otherwise end the whole server process. The
// guard blocks the signal and, on leaving, takes back a SIGPIPE that arose
// meanwhile, so the failed call reports an error instead.
#ifndef PEXO_NET_SIGPIPE_GUARD_H_
#define PEXO_NET_SIGPIPE_GUARD_H_

#include <signal.h>

namespace pexo {

class SigpipeGuard {
 public:
  SigpipeGuard();
  ~SigpipeGuard();
  SigpipeGuard(const SigpipeGuard&) = delete;
  SigpipeGuard& operator=(const SigpipeGuard&) = delete;

 private:
  sigset_t old_mask_;
  bool was_pending_ = false;
  bool active_ = false;
};

}  // namespace pexo

#endif  // PEXO_NET_SIGPIPE_GUARD_H_
