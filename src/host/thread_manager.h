// ThreadManager: the process-wide registry of running requests, the
// watchdog that times them out, and the threads of background tasks.
//
// The watchdog wakes every `interval` (5000 ms in service) and, under the
// application-list lock, calls CheckTimeouts(now) on every registered
// application; a deadline is therefore noticed up to one interval late.
// Background task threads are started by StartTask; a finished task posts
// itself to the completion queue and the manager's own thread joins and
// destroys it. Stop signals every registered application and every task to
// stop and returns when the task threads and the watchdog have ended.
#ifndef PEXO_HOST_THREAD_MANAGER_H_
#define PEXO_HOST_THREAD_MANAGER_H_

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace pexo {

// What the watchdog can ask of a running request or task.
class TimedApplication {
 public:
  virtual ~TimedApplication() = default;
  virtual void CheckTimeouts(time_t now) = 0;
  virtual void RequestStop() = 0;
};

class ThreadManager {
 public:
  // A background task: runs on its own thread; `stop` is called when the
  // manager shuts down while it runs.
  struct Task {
    std::function<void()> run;
    std::function<void()> stop;
  };

  explicit ThreadManager(std::chrono::milliseconds interval = std::chrono::milliseconds(5000));
  ThreadManager(const ThreadManager&) = delete;
  ThreadManager& operator=(const ThreadManager&) = delete;
  ~ThreadManager();  // stops if still running

  // Starts the watchdog and the manager thread; false when already started.
  bool Start();
  void Stop();

  void Register(TimedApplication* application);
  void Unregister(TimedApplication* application);
  // The watchdog's work, also callable directly.
  void Tick(time_t now);
  void StopAll();

  // Counts a task that is about to be started against `limit` (0: none):
  // false when tasks already running or reserved reach it. A reservation
  // is used by StartTask(..., true) or given back with CancelTask.
  bool ReserveTask(int32_t limit);
  void CancelTask();
  // Runs `task` on a new thread; false when the manager is stopping (a
  // reservation is then given back). The task counts as active until its
  // run has returned.
  bool StartTask(Task task, bool reserved = false);
  // Waits until no task is active or reserved.
  void WaitForTasks();
  int32_t ActiveTasks();
  int32_t RunningTasks();
  int32_t RegisteredCount();

 private:
  struct TaskThread {
    Task task;
    std::thread thread;
  };

  void WatchdogLoop();
  void ManagerLoop();
  void TaskMain(TaskThread* task);

  std::chrono::milliseconds interval_;
  std::mutex applications_lock_;
  std::list<TimedApplication*> applications_;

  std::mutex tasks_lock_;
  std::list<std::unique_ptr<TaskThread>> tasks_;
  // Tasks reserved or running (not yet returned), guarded by active_lock_.
  std::mutex active_lock_;
  std::condition_variable idle_;
  int32_t active_ = 0;

  // Stop event and completion queue, guarded by events_lock_.
  std::mutex events_lock_;
  std::condition_variable events_;
  bool stopping_ = false;
  std::deque<TaskThread*> finished_;

  bool started_ = false;
  std::thread watchdog_;
  std::thread manager_;
};

}  // namespace pexo

#endif  // PEXO_HOST_THREAD_MANAGER_H_
