// A site for background-task tests: a temporary root and data directory, a
// configuration, programs assembled from text, and requests served in
// process by applications whose error-log records (and those of their
// tasks) go to one recorder that tests can wait on.
#ifndef PEXO_TESTS_TASKS_TASK_FIXTURE_H_
#define PEXO_TESTS_TASKS_TASK_FIXTURE_H_

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "host/config_file.h"
#include "host/engine_process.h"
#include "host/system_log.h"

namespace pexo {
namespace testing_tasks {

// Records messages from any thread.
class SharedLog : public SystemLog {
 public:
  void Write(const char*, int32_t, int32_t, const char* message, int32_t length) override;
  std::vector<std::string> Records();
  // Number of records containing `text`.
  int Count(const std::string& text);
  // Waits until Count(text) >= n; false after `limit`.
  bool WaitFor(const std::string& text, int n, std::chrono::milliseconds limit);

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<std::string> records_;
};

class TaskSite {
 public:
  TaskSite();
  ~TaskSite();
  // `limits` and the like go into the configuration section as they are.
  void Configure(const std::string& section_body);
  // Assembles `source` into root/<name>.
  void AddProgram(const std::string& name, const std::string& source);
  // Serves one GET of /<name>; the body of the response. With `threads`
  // null the request cannot start tasks.
  std::string Get(const std::string& name, ThreadManager* threads);

  const std::string& dir() const { return dir_; }
  std::string root() const { return dir_ + "/root"; }
  std::string data() const { return dir_ + "/data"; }
  SharedLog& log() { return log_; }

 private:
  std::string dir_;
  ConfigFile config_;
  SharedLog log_;
};

// Reads a whole file ("" when it cannot be read).
std::string ReadFile(const std::string& path);
// Polls `done` every 10 ms until it holds; false after `limit`.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

}  // namespace testing_tasks
}  // namespace pexo

#endif  // PEXO_TESTS_TASKS_TASK_FIXTURE_H_
