// EngineProcess: what a binding sets up once per process and tears down at
// shut-down: the decimal context, the lock that will guard the TLS library,
// the process-wide external library manager, the thread manager with its
// watchdog, and the program cache. A binding owns exactly one, started before its first request and
// stopped after its last. The library manager is left alone when something
// else started it already (then that owner stops it).
#ifndef PEXO_HOST_ENGINE_PROCESS_H_
#define PEXO_HOST_ENGINE_PROCESS_H_

#include <chrono>
#include <mutex>

#include "host/program_cache.h"
#include "host/thread_manager.h"

namespace pexo {

class EngineProcess {
 public:
  explicit EngineProcess(std::chrono::milliseconds watchdog_interval =
                             std::chrono::milliseconds(5000));
  EngineProcess(const EngineProcess&) = delete;
  EngineProcess& operator=(const EngineProcess&) = delete;
  ~EngineProcess();

  // Start-up in order: TLS lock, decimal context, library manager, thread
  // manager. False when one of them cannot be made; nothing is left running.
  bool Start();
  // Stops background tasks and the watchdog, then unloads the libraries.
  void Stop();

  ThreadManager* threads() { return &threads_; }
  ProgramCache* program_cache() { return &program_cache_; }
  std::mutex* tls_lock() { return &tls_lock_; }

 private:
  void StopLibraries();

  std::mutex tls_lock_;  // guards the TLS library once it is loaded
  ThreadManager threads_;
  ProgramCache program_cache_;
  bool owns_libraries_ = false;
  bool started_ = false;
};

// Registers an application with the watchdog for one scope.
class RegisteredApplication {
 public:
  RegisteredApplication(ThreadManager* manager, TimedApplication* application)
      : manager_(manager), application_(application) {
    if (manager_) manager_->Register(application_);
  }
  ~RegisteredApplication() {
    if (manager_) manager_->Unregister(application_);
  }
  RegisteredApplication(const RegisteredApplication&) = delete;
  RegisteredApplication& operator=(const RegisteredApplication&) = delete;

 private:
  ThreadManager* manager_;
  TimedApplication* application_;
};

}  // namespace pexo

#endif  // PEXO_HOST_ENGINE_PROCESS_H_
