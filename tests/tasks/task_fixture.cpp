#include "task_fixture.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "../serve/serve_fixture.h"
#include "host/server_application.h"
#include "program/assembler.h"
#include "values/string.h"

namespace pexo {
namespace testing_tasks {

using testing_serve::MemoryRequest;

void SharedLog::Write(const char*, int32_t, int32_t, const char* message, int32_t length) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    records_.emplace_back(message, static_cast<size_t>(length));
  }
  changed_.notify_all();
}

std::vector<std::string> SharedLog::Records() {
  std::lock_guard<std::mutex> guard(lock_);
  return records_;
}

int SharedLog::Count(const std::string& text) {
  std::lock_guard<std::mutex> guard(lock_);
  int n = 0;
  for (const std::string& record : records_)
    if (record.find(text) != std::string::npos) ++n;
  return n;
}

bool SharedLog::WaitFor(const std::string& text, int n, std::chrono::milliseconds limit) {
  auto until = std::chrono::steady_clock::now() + limit;
  std::unique_lock<std::mutex> lock(lock_);
  for (;;) {
    int found = 0;
    for (const std::string& record : records_)
      if (record.find(text) != std::string::npos) ++found;
    if (found >= n) return true;
    if (changed_.wait_until(lock, until) == std::cv_status::timeout) return false;
  }
}

namespace {

// A request whose records, and its tasks' records, go to the site's log.
class LoggedApplication : public ServerApplication {
 public:
  LoggedApplication(ServerRequest* request, const ConfigFile* config, SharedLog* log)
      : ServerApplication(request, config), log_(log) {}

 protected:
  SystemLog* system_log() override { return log_; }
  SystemLog* task_system_log() override { return log_; }

 private:
  SharedLog* log_;
};

}  // namespace

TaskSite::TaskSite() {
  char pattern[] = "/tmp/pexo_tasks_XXXXXX";
  const char* made = mkdtemp(pattern);
  EXPECT_NE(made, nullptr);
  dir_ = made ? made : "/tmp";
  mkdir(root().c_str(), 0755);
  mkdir(data().c_str(), 0755);
  Configure("");
}

TaskSite::~TaskSite() {
  if (dir_.rfind("/tmp/pexo_tasks_", 0) == 0) {
    int rc = std::system(("rm -rf '" + dir_ + "'").c_str());
    (void)rc;
  }
}

void TaskSite::Configure(const std::string& section_body) {
  std::string xml = "<configuration><PexoScript serverAdmin=\"\"><paths root=\"" + root() +
                    "\" data=\"" + data() + "\"/>" + section_body +
                    "</PexoScript></configuration>";
  ASSERT_TRUE(config_.LoadBuffer(xml.data(), xml.size(), "tasks.config"))
      << config_.ErrorText().c_str();
}

void TaskSite::AddProgram(const std::string& name, const std::string& source) {
  std::string text_path = dir_ + "/" + name + ".pxa";
  std::ofstream(text_path) << source;
  String errors;
  ASSERT_TRUE(AssembleToFile(text_path.c_str(), (root() + "/" + name).c_str(), &errors))
      << errors.c_str();
}

std::string TaskSite::Get(const std::string& name, ThreadManager* threads) {
  MemoryRequest request;
  request.variables["PATH_INFO"] = "/" + name;
  request.variables["PATH_TRANSLATED"] = root() + "/" + name;
  request.variables["QUERY_STRING"] = "";
  request.variables["REQUEST_METHOD"] = "GET";
  request.variables["SERVER_NAME"] = "localhost";
  request.variables["SERVER_PORT"] = "8080";
  {
    LoggedApplication app(&request, &config_, &log_);
    RegisteredApplication registered(threads, &app);
    app.set_task_threads(threads);
    app.Execute();
  }
  return request.response.body;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  auto until = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace testing_tasks
}  // namespace pexo
