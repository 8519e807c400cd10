#include "host/thread_manager.h"

#include <algorithm>

namespace pexo {

ThreadManager::ThreadManager(std::chrono::milliseconds interval) : interval_(interval) {}

ThreadManager::~ThreadManager() { Stop(); }

bool ThreadManager::Start() {
  if (started_) return false;
  {
    std::lock_guard<std::mutex> guard(events_lock_);
    stopping_ = false;
  }
  started_ = true;
  watchdog_ = std::thread(&ThreadManager::WatchdogLoop, this);
  manager_ = std::thread(&ThreadManager::ManagerLoop, this);
  return true;
}

void ThreadManager::Stop() {
  if (!started_) return;
  {
    std::lock_guard<std::mutex> guard(events_lock_);
    stopping_ = true;
  }
  events_.notify_all();
  manager_.join();
  started_ = false;
}

void ThreadManager::Register(TimedApplication* application) {
  std::lock_guard<std::mutex> guard(applications_lock_);
  applications_.push_back(application);
}

void ThreadManager::Unregister(TimedApplication* application) {
  std::lock_guard<std::mutex> guard(applications_lock_);
  applications_.remove(application);
}

void ThreadManager::Tick(time_t now) {
  std::lock_guard<std::mutex> guard(applications_lock_);
  for (TimedApplication* application : applications_) application->CheckTimeouts(now);
}

void ThreadManager::StopAll() {
  std::lock_guard<std::mutex> guard(applications_lock_);
  for (TimedApplication* application : applications_) application->RequestStop();
}

int32_t ThreadManager::RegisteredCount() {
  std::lock_guard<std::mutex> guard(applications_lock_);
  return static_cast<int32_t>(applications_.size());
}

int32_t ThreadManager::RunningTasks() {
  std::lock_guard<std::mutex> guard(tasks_lock_);
  return static_cast<int32_t>(tasks_.size());
}

bool ThreadManager::ReserveTask(int32_t limit) {
  std::lock_guard<std::mutex> guard(active_lock_);
  if (limit > 0 && active_ >= limit) return false;
  ++active_;
  return true;
}

void ThreadManager::CancelTask() {
  std::lock_guard<std::mutex> guard(active_lock_);
  if (--active_ == 0) idle_.notify_all();
}

void ThreadManager::WaitForTasks() {
  std::unique_lock<std::mutex> lock(active_lock_);
  idle_.wait(lock, [this] { return active_ == 0; });
}

int32_t ThreadManager::ActiveTasks() {
  std::lock_guard<std::mutex> guard(active_lock_);
  return active_;
}

bool ThreadManager::StartTask(Task task, bool reserved) {
  {
    std::lock_guard<std::mutex> guard(events_lock_);
    if (stopping_ || !started_) {
      if (reserved) CancelTask();
      return false;
    }
  }
  if (!reserved) ReserveTask(0);
  std::lock_guard<std::mutex> guard(tasks_lock_);
  auto thread = std::make_unique<TaskThread>();
  thread->task = std::move(task);
  TaskThread* raw = thread.get();
  tasks_.push_back(std::move(thread));
  raw->thread = std::thread(&ThreadManager::TaskMain, this, raw);
  return true;
}

void ThreadManager::TaskMain(TaskThread* task) {
  if (task->task.run) task->task.run();
  CancelTask();
  {
    std::lock_guard<std::mutex> guard(events_lock_);
    finished_.push_back(task);
  }
  events_.notify_all();
}

void ThreadManager::WatchdogLoop() {
  std::unique_lock<std::mutex> lock(events_lock_);
  for (;;) {
    if (events_.wait_for(lock, interval_, [this] { return stopping_; })) break;
    lock.unlock();
    Tick(std::time(nullptr));
    lock.lock();
  }
  lock.unlock();
  StopAll();
}

void ThreadManager::ManagerLoop() {
  bool stop_signalled = false;
  std::unique_lock<std::mutex> lock(events_lock_);
  for (;;) {
    events_.wait(lock, [this, &stop_signalled] {
      return (stopping_ && !stop_signalled) || !finished_.empty();
    });
    std::deque<TaskThread*> done;
    done.swap(finished_);
    bool stopping = stopping_;
    lock.unlock();
    if (stopping && !stop_signalled) {
      stop_signalled = true;
      std::lock_guard<std::mutex> guard(tasks_lock_);
      for (auto& task : tasks_) {
        if (task->task.stop) task->task.stop();
      }
    }
    for (TaskThread* task : done) {
      std::unique_ptr<TaskThread> owned;
      {
        std::lock_guard<std::mutex> guard(tasks_lock_);
        auto it = std::find_if(tasks_.begin(), tasks_.end(),
                               [task](const std::unique_ptr<TaskThread>& t) {
                                 return t.get() == task;
                               });
        if (it != tasks_.end()) {
          owned = std::move(*it);
          tasks_.erase(it);
        }
      }
      if (owned && owned->thread.joinable()) owned->thread.join();
    }
    lock.lock();
    if (stopping_) {
      std::lock_guard<std::mutex> guard(tasks_lock_);
      if (tasks_.empty() && finished_.empty()) break;
    }
  }
  lock.unlock();
  watchdog_.join();
}

}  // namespace pexo
