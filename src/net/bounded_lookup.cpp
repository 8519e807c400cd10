#include "net/bounded_lookup.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace pexo {
namespace {

// Shared by the caller and the helper thread; whichever leaves last frees it.
struct PendingLookup {
  std::mutex lock;
  std::condition_variable finished;
  bool done = false;
  bool abandoned = false;
  std::string host;
  std::string service;
  bool has_service = false;
  addrinfo hints = {};
  addrinfo* result = nullptr;
  int status = EAI_AGAIN;
};

void Resolve(std::shared_ptr<PendingLookup> pending) {
  addrinfo* result = nullptr;
  int status = getaddrinfo(pending->host.c_str(),
                           pending->has_service ? pending->service.c_str() : nullptr,
                           &pending->hints, &result);
  std::lock_guard<std::mutex> guard(pending->lock);
  if (pending->abandoned) {
    if (result) freeaddrinfo(result);
    return;
  }
  pending->result = result;
  pending->status = status;
  pending->done = true;
  pending->finished.notify_one();
}

}  // namespace

int BoundedLookup(const char* host, const char* service, const addrinfo* hints, int wait_ms,
                  addrinfo** result) {
  *result = nullptr;
  addrinfo numeric = *hints;
  numeric.ai_flags |= AI_NUMERICHOST;
  if (getaddrinfo(host, service, &numeric, result) == 0) return 0;
  *result = nullptr;
  if (hints->ai_flags & AI_NUMERICHOST) return EAI_NONAME;
  if (wait_ms < 0) return getaddrinfo(host, service, hints, result);
  if (wait_ms == 0) return EAI_AGAIN;
  auto pending = std::make_shared<PendingLookup>();
  pending->host = host;
  pending->has_service = service != nullptr;
  if (service) pending->service = service;
  pending->hints = *hints;
  try {
    std::thread(Resolve, pending).detach();
  } catch (...) {
    // No thread to spare: resolve here, unbounded, rather than fail.
    return getaddrinfo(host, service, hints, result);
  }
  std::unique_lock<std::mutex> guard(pending->lock);
  if (!pending->finished.wait_for(guard, std::chrono::milliseconds(wait_ms),
                                  [&] { return pending->done; })) {
    pending->abandoned = true;
    return EAI_AGAIN;
  }
  *result = pending->result;
  return pending->status;
}

}  // namespace pexo
