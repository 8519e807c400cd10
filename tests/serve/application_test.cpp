#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "host/engine_process.h"
#include "host/log_filter.h"
#include "serve_fixture.h"
#include "values/system_variable_hash.h"
#include "values/variable.h"

namespace pexo {
namespace testing_serve {
namespace {

std::string SystemValue(ServerApplication* app, const char* name) {
  Variable* variable = nullptr;
  if (!app->system_variables()->Find(name, static_cast<int32_t>(std::strlen(name)), false,
                                     &variable) ||
      !variable) {
    return "<unset>";
  }
  return variable->Value().c_str();
}

TEST(RequestHelpers, SplitsArgumentsAtPlusAndDecodes) {
  struct Case {
    const char* query;
    std::vector<std::string> args;
  } cases[] = {
      {"a+b%41", {"a", "bA"}},
      {"", {""}},
      {"x++y", {"x", "", "y"}},
      {"%2B+%4", {"+", "%4"}},
      {"%zz%20", {"%zz "}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args;
    SplitArguments(c.query, static_cast<int32_t>(std::strlen(c.query)), &args);
    EXPECT_EQ(args, c.args) << c.query;
  }
}

TEST(RequestHelpers, DocumentUrlOmitsDefaultPorts) {
  struct Case {
    const char *name, *port, *secure, *expected;
  } cases[] = {
      {"example.org", "80", "0", "http://example.org/a.pxc?"},
      {"example.org", "8080", "0", "http://example.org:8080/a.pxc?"},
      {"example.org", "443", "1", "https://example.org/a.pxc?"},
      {"example.org", "80", "1", "https://example.org:80/a.pxc?"},
      {"::1", "8080", "", "http://[::1]:8080/a.pxc?"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DocumentUrl(String(c.name), String(c.port), String(c.secure), String("/a.pxc")),
              c.expected);
  }
}

TEST(RequestHelpers, CallerIdCookieParsing) {
  String id;
  const char* with = "a=1; vrkcallerid=abc123; b=2";
  EXPECT_TRUE(FindCallerId(with, static_cast<int32_t>(std::strlen(with)), &id));
  EXPECT_STREQ(id.c_str(), "abc123");
  const char* at_end = "vrkcallerid=zz";
  EXPECT_TRUE(FindCallerId(at_end, 14, &id));
  EXPECT_STREQ(id.c_str(), "zz");
  const char* empty = "vrkcallerid=; b=2";
  EXPECT_FALSE(FindCallerId(empty, static_cast<int32_t>(std::strlen(empty)), &id));
  EXPECT_FALSE(FindCallerId("vrkcallerid=", 12, &id));
  EXPECT_FALSE(FindCallerId("other=1", 7, &id));
}

TEST(RequestHelpers, NewCallerIdIsHexAndFresh) {
  std::string a = NewCallerId("host", 4, 1, 2, 3);
  std::string b = NewCallerId("host", 4, 1, 2, 3);
  ASSERT_EQ(a.size(), 32u);
  EXPECT_EQ(a.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_NE(a, b);  // random tail
  std::string long_name(400, 'n');
  EXPECT_EQ(NewCallerId(long_name.data(), 400, 1, 2, 3).size(), 32u);
}

TEST(RequestHelpers, CookieExpiryFormat) {
  EXPECT_EQ(CookieExpiry(0), "Thu, 01-Jan-1970 00:00:00 GMT");
  EXPECT_EQ(CookieExpiry(1700000000), "Tue, 14-Nov-2023 22:13:20 GMT");
}

TEST(RequestHelpers, LogCookieNeedsExactValue) {
  const char* cookies = "pexologcookie=secret; x=1";
  int32_t n = static_cast<int32_t>(std::strlen(cookies));
  EXPECT_TRUE(LogCookieMatches(cookies, n, "secret", 6));
  EXPECT_FALSE(LogCookieMatches(cookies, n, "secre", 5));
  EXPECT_FALSE(LogCookieMatches(cookies, n, "secrets", 7));
  EXPECT_FALSE(LogCookieMatches("x=1", 3, "secret", 6));
}

TEST(RequestHelpers, BodyKindByPrefix) {
  EXPECT_EQ(BodyKindOf("application/x-www-form-urlencoded; charset=UTF-8", 48), BODY_URLENCODED);
  EXPECT_EQ(BodyKindOf("Application/JSON", 16), BODY_JSON);
  EXPECT_EQ(BodyKindOf("multipart/form-data; boundary=x", 31), BODY_MULTIPART);
  EXPECT_EQ(BodyKindOf("text/plain", 10), BODY_OTHER);
  EXPECT_EQ(BodyKindOf("application/js", 14), BODY_OTHER);
}

class ExecuteTest : public ::testing::Test {
 protected:
  void SetUp() override { site_.AddProgram("page.pxc", kEmptyProgram); }

  int Run(MemoryRequest* request, RequestEngine* engine = nullptr) {
    ServerApplication app(request, &site_.config(), engine ? engine : &engine_);
    return app.Execute();
  }

  Site site_;
  TestEngine engine_;
};

TEST_F(ExecuteTest, ConfigurationErrorsStopWithStatus500) {
  struct Case {
    const char* attributes;
    std::string section;
    bool paths;
    std::string body;
  } cases[] = {
      {"", "", false, "Configuration Error: pexoroot is not defined"},
      {"serverAdmin=\"ops@example.org\"", "", false,
       "Configuration Error: pexoroot is not defined: Please contact the server administrator: "
       "ops@example.org"},
      {"", "<paths root=\"relative/dir\"/>", false,
       "Configuration Error: The configured Pexo root directory must be an absolute path"},
      {"", "<paths root=\"" + site_.root() + "\"/>", false,
       "Configuration Error: No data directory is defined"},
  };
  for (const Case& c : cases) {
    site_.Configure(c.attributes, c.section, c.paths);
    MemoryRequest request;
    site_.Prepare(&request, "/page.pxc");
    EXPECT_EQ(Run(&request), 1);
    EXPECT_EQ(request.response.status, 500) << c.body;
    EXPECT_EQ(request.response.body, c.body);
    EXPECT_EQ(request.response.Header("Content-Type"), "text/html");
  }
}

TEST_F(ExecuteTest, PathOutsideRootIsNotContained) {
  site_.Configure("", "");
  MemoryRequest request;
  site_.Prepare(&request, "/page.pxc");
  request.variables["PATH_INFO"] = "/elsewhere/<x>.pxc";
  request.variables["PATH_TRANSLATED"] = site_.dir() + "/other/x.pxc";
  EXPECT_EQ(Run(&request), 1);
  EXPECT_EQ(request.response.status, 500);
  EXPECT_EQ(request.response.body,
            "Configuration Error: '/elsewhere/&lt;x&gt;.pxc' is not contained in the configured "
            "script directory");
}

TEST_F(ExecuteTest, InvalidPathTranslated) {
  site_.Configure("", "");
  for (const char* path : {"relative/x.pxc", "/x.pxc", ""}) {
    MemoryRequest request;
    site_.Prepare(&request, "/page.pxc");
    request.variables["PATH_TRANSLATED"] = path;
    EXPECT_EQ(Run(&request), 1);
    EXPECT_EQ(request.response.body, "Configuration Error: Invalid PATH_TRANSLATED") << path;
  }
}

TEST_F(ExecuteTest, MissingAndCorruptProgramsArePlainMessages) {
  site_.Configure("", "");
  site_.AddFile("bad.pxc", "this is not a compiled program at all, just text");
  MemoryRequest missing;
  site_.Prepare(&missing, "/missing.pxc");
  EXPECT_EQ(Run(&missing), 1);
  EXPECT_EQ(missing.response.status, 200);
  EXPECT_EQ(missing.response.body.rfind("Unable to execute '/missing.pxc': ", 0), 0u)
      << missing.response.body;

  MemoryRequest corrupt;
  site_.Prepare(&corrupt, "/bad.pxc");
  EXPECT_EQ(Run(&corrupt), 1);
  EXPECT_EQ(corrupt.response.status, 200);
  EXPECT_EQ(corrupt.response.body.rfind("Unable to execute 'bad.pxc': ", 0), 0u)
      << corrupt.response.body;
  EXPECT_EQ(corrupt.response.Header("Content-Type"), "text/html");
}

TEST_F(ExecuteTest, NullEngineStopsAfterLoading) {
  site_.Configure("", "");
  NullRequestEngine null_engine;
  MemoryRequest request;
  site_.Prepare(&request, "/page.pxc");
  EXPECT_EQ(Run(&request, &null_engine), 1);
  EXPECT_EQ(request.response.body, "No script machine is available in this engine");
}

TEST_F(ExecuteTest, FillsVariablesAndSendsDefaultHeaders) {
  site_.Configure("vrkcallerid=\"true\"", "<timeouts global=\"30\"/>");
  std::map<std::string, std::string> seen;
  engine_.run = [&seen](ServerApplication* app) {
    for (const char* name : {"arg1", "arg2", "arg3", "nargs", "apitype", "documenturl",
                             "callerid", "HTTP_ACCEPT", "HTTP_X_TWO", "REQUEST_METHOD",
                             "globaltimeout", "pexoversion", "AUTH_TYPE"}) {
      seen[name] = SystemValue(app, name);
    }
    app->Write("hello", 5);
    return 1;
  };
  MemoryRequest request;
  site_.Prepare(&request, "/page.pxc", "a+b%41");
  request.variables["SERVER_PORT"] = "8080";
  request.variables["ALL_HTTP"] = "HTTP_ACCEPT:text/*\nno colon here\nHTTP_X_TWO: a:b";
  EXPECT_EQ(Run(&request), 0);
  EXPECT_EQ(request.response.body, "hello");
  EXPECT_EQ(request.response.Header("Content-Type"), "text/html");
  EXPECT_EQ(request.response.Header("Content-Length"), "5");
  std::string cookie = request.response.Header("Set-Cookie");
  EXPECT_EQ(cookie.rfind("vrkcallerid=" + seen["callerid"] + "; expires=", 0), 0u) << cookie;
  EXPECT_EQ(cookie.substr(cookie.size() - 12), " GMT; path=/");
  EXPECT_EQ(seen["callerid"].size(), 32u);
  EXPECT_EQ(seen["arg1"], "/page.pxc");
  EXPECT_EQ(seen["arg2"], "a");
  EXPECT_EQ(seen["arg3"], "bA");
  EXPECT_EQ(seen["nargs"], "3");
  EXPECT_EQ(seen["apitype"], "TEST");
  EXPECT_EQ(seen["documenturl"], "http://localhost:8080/page.pxc?");
  EXPECT_EQ(seen["HTTP_ACCEPT"], "text/*");
  EXPECT_EQ(seen["HTTP_X_TWO"], " a:b");
  EXPECT_EQ(seen["REQUEST_METHOD"], "GET");
  EXPECT_EQ(seen["globaltimeout"], "30");
  EXPECT_EQ(seen["pexoversion"], "5.52");
  EXPECT_EQ(seen["AUTH_TYPE"], "<unset>");
  ASSERT_EQ(engine_.queries.size(), 1u);
  EXPECT_EQ(engine_.queries[0], "a+b%41");
}

TEST_F(ExecuteTest, CallerIdFromCookieIsKeptAndEmptyOneReplaced) {
  site_.Configure("vrkcallerid=\"true\"", "");
  MemoryRequest kept;
  site_.Prepare(&kept, "/page.pxc");
  kept.variables["HTTP_COOKIE"] = "x=1; vrkcallerid=feedface";
  EXPECT_EQ(Run(&kept), 0);
  EXPECT_EQ(kept.response.Header("Set-Cookie").rfind("vrkcallerid=feedface; expires=", 0), 0u);

  MemoryRequest replaced;
  site_.Prepare(&replaced, "/page.pxc");
  replaced.variables["HTTP_COOKIE"] = "vrkcallerid=;";
  EXPECT_EQ(Run(&replaced), 0);
  std::string cookie = replaced.response.Header("Set-Cookie");
  EXPECT_EQ(cookie.find(';'), 44u) << cookie;  // "vrkcallerid=" + 32 digits
}

TEST_F(ExecuteTest, EmptyScriptStillGetsHeadersAndNoCookieWhenOff) {
  site_.Configure("", "");
  MemoryRequest request;
  site_.Prepare(&request, "/page.pxc", "");
  EXPECT_EQ(Run(&request), 0);
  EXPECT_EQ(request.response.Header("Content-Type"), "text/html");
  EXPECT_FALSE(request.response.HasHeader("Set-Cookie"));
  EXPECT_EQ(request.response.Header("Content-Length"), "0");
  EXPECT_TRUE(engine_.queries.empty());
}

TEST_F(ExecuteTest, FlushedOutputHasNoContentLength) {
  site_.Configure("", "");
  engine_.run = [](ServerApplication* app) {
    app->Write("early", 5);
    app->output()->Flush();
    app->Write("late", 4);
    return 1;
  };
  MemoryRequest request;
  site_.Prepare(&request, "/page.pxc");
  EXPECT_EQ(Run(&request), 0);
  EXPECT_EQ(request.response.body, "earlylate");
  EXPECT_FALSE(request.response.HasHeader("Content-Length"));
}

TEST_F(ExecuteTest, StatusHeaderSetsTheResponseStatus) {
  site_.Configure("", "");
  engine_.run = [](ServerApplication* app) {
    app->SetHeader("Status", "404 Not Found");
    app->SetHeader("X-Multi", "one\r\nX-Extra: two");
    return 1;
  };
  MemoryRequest request;
  site_.Prepare(&request, "/page.pxc");
  EXPECT_EQ(Run(&request), 0);
  EXPECT_EQ(request.response.status, 404);
  EXPECT_EQ(request.response.reason, "Not Found");
  EXPECT_EQ(request.response.Header("X-Multi"), "one");
  EXPECT_EQ(request.response.Header("X-Extra"), "two");
}

TEST_F(ExecuteTest, BodyIsFedInPiecesUpToContentLength) {
  site_.Configure("", "");
  MemoryRequest request;
  site_.Prepare(&request, "/page.pxc");
  request.body = std::string(20000, 'x') + "trailing bytes beyond the declared length";
  request.variables["CONTENT_TYPE"] = "application/json";
  request.variables["CONTENT_LENGTH"] = "20000";
  EXPECT_EQ(Run(&request), 0);
  EXPECT_EQ(engine_.pieces, (std::vector<int32_t>{8192, 8192, 3616}));
  EXPECT_EQ(engine_.body, std::string(20000, 'x'));
  ASSERT_EQ(engine_.kinds.size(), 1u);
  EXPECT_EQ(engine_.kinds[0], BODY_JSON);
}

TEST_F(ExecuteTest, NoBodyWithoutTypeOrPositiveLength) {
  site_.Configure("", "");
  for (const char* length : std::vector<const char*>{"0", "-5", nullptr}) {
    MemoryRequest request;
    site_.Prepare(&request, "/page.pxc");
    request.body = "a=1";
    request.variables["CONTENT_TYPE"] = "application/x-www-form-urlencoded";
    if (length) request.variables["CONTENT_LENGTH"] = length;
    EXPECT_EQ(Run(&request), 0);
  }
  MemoryRequest untyped;
  site_.Prepare(&untyped, "/page.pxc");
  untyped.variables["CONTENT_LENGTH"] = "3";
  untyped.body = "a=1";
  EXPECT_EQ(Run(&untyped), 0);
  EXPECT_TRUE(engine_.kinds.empty());
}

TEST_F(ExecuteTest, BodyErrorsStopTheRequest) {
  struct Case {
    const char* limits;
    const char* type;
    std::string body;
    std::string message;
  } cases[] = {
      {"<limits maxUnknownContentLength=\"-1\"/>", "text/plain", "abc",
       "Unknown POST content type"},
      {"<limits maxUnknownContentLength=\"2\"/>", "text/plain", "abc",
       "POST content length exceeds configured maximum for unknown content types"},
      {"", "application/x-www-form-urlencoded", "a=!", "Input data exceeds maximum length"},
  };
  for (const Case& c : cases) {
    site_.Configure("", c.limits);
    bool ran = false;
    engine_.run = [&ran](ServerApplication*) {
      ran = true;
      return 1;
    };
    MemoryRequest request;
    site_.Prepare(&request, "/page.pxc");
    request.body = c.body;
    request.variables["CONTENT_TYPE"] = c.type;
    request.variables["CONTENT_LENGTH"] = std::to_string(c.body.size());
    EXPECT_EQ(Run(&request), 1);
    EXPECT_FALSE(ran);
    EXPECT_EQ(request.response.body, c.message);
  }
}

// The slow-request report with a clock the test controls.
class ClockedApplication : public ServerApplication {
 public:
  using ServerApplication::ServerApplication;
  std::vector<int64_t> times;
  std::vector<std::string> reports;

 protected:
  int64_t Now() const override {
    int64_t value = times.front();
    const_cast<ClockedApplication*>(this)->times.erase(times.begin());
    return value;
  }
  void LogSlowRequest(const String& message) override { reports.push_back(message.c_str()); }
};

TEST_F(ExecuteTest, SlowRequestsAreReportedPastTheLimit) {
  site_.Configure("", "<slowrequestsyslog syslog=\"5\"/>");
  for (int64_t seconds : {5, 6}) {
    MemoryRequest request;
    site_.Prepare(&request, "/page.pxc", "q=1");
    ClockedApplication app(&request, &site_.config(), &engine_);
    app.times = {100, 100 + seconds};
    EXPECT_EQ(app.Execute(), 0);
    if (seconds == 5) {
      EXPECT_TRUE(app.reports.empty());
    } else {
      ASSERT_EQ(app.reports.size(), 1u);
      EXPECT_EQ(app.reports[0],
                "Slow Request: 6 seconds: remote_addr=127.0.0.1, "
                "documenturl=http://localhost/page.pxc?, query_string=q=1");
    }
  }
}

TEST_F(ExecuteTest, LogCookieSuppressesDebugLogUnlessItMatches) {
  site_.Configure("", "<debugLog level=\"255\" cookie=\"letmein\"/>");
  uint32_t level = 99;
  engine_.run = [&level](ServerApplication* app) {
    level = app->DebugLogLevel();
    return 1;
  };
  MemoryRequest without;
  site_.Prepare(&without, "/page.pxc");
  EXPECT_EQ(Run(&without), 0);
  EXPECT_EQ(level, 0u);
  MemoryRequest with;
  site_.Prepare(&with, "/page.pxc");
  with.variables["HTTP_COOKIE"] = "pexologcookie=letmein";
  EXPECT_EQ(Run(&with), 0);
  EXPECT_EQ(level, 255u);
}

TEST_F(ExecuteTest, WatchdogStopsALoopingScriptWhileAnotherCompletes) {
  site_.Configure("", "<timeouts global=\"1\"/>");
  EngineProcess process(std::chrono::milliseconds(200));
  ASSERT_TRUE(process.Start());
  engine_.run = [](ServerApplication* app) {
    // Stands in for the run loop: poll the flag before every "instruction".
    auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!app->flags()->timed_out.load()) {
      if (std::chrono::steady_clock::now() > give_up) return 1;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    app->ReportTimeout("Timed out");
    return 0;
  };
  TestEngine quick;
  MemoryRequest looping;
  site_.Prepare(&looping, "/page.pxc");
  std::string quick_body;
  auto started = std::chrono::steady_clock::now();
  std::thread loop_thread([&] {
    ServerApplication app(&looping, &site_.config(), &engine_);
    RegisteredApplication registered(process.threads(), &app);
    app.Execute();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  {
    quick.run = [](ServerApplication* app) {
      app->Write("done", 4);
      return 1;
    };
    MemoryRequest request;
    site_.Prepare(&request, "/page.pxc");
    ServerApplication app(&request, &site_.config(), &quick);
    RegisteredApplication registered(process.threads(), &app);
    EXPECT_EQ(app.Execute(), 0);
    quick_body = request.response.body;
  }
  loop_thread.join();
  double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_EQ(quick_body, "done");
  EXPECT_EQ(looping.response.body, "Timed out");
  // A deadline is whole seconds: one second past it, plus one watchdog wake.
  EXPECT_GE(elapsed, 1.0);
  EXPECT_LT(elapsed, 3.0);
  EXPECT_EQ(process.threads()->RegisteredCount(), 0);
  process.Stop();
}

TEST(ThreadManagerTest, TasksRunAndAreJoinedAndStopReachesThem) {
  ThreadManager manager(std::chrono::milliseconds(50));
  EXPECT_FALSE(manager.StartTask({[] {}, nullptr}));  // not started
  ASSERT_TRUE(manager.Start());
  std::atomic<int> ran{0};
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(manager.StartTask({[&ran] { ran.fetch_add(1); }, nullptr}));
  }
  for (int i = 0; i < 200 && manager.RunningTasks() > 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(ran.load(), 4);
  EXPECT_EQ(manager.RunningTasks(), 0);

  std::atomic<bool> stop{false};
  std::atomic<bool> ended{false};
  ASSERT_TRUE(manager.StartTask({[&] {
                                   while (!stop.load()) {
                                     std::this_thread::sleep_for(std::chrono::milliseconds(2));
                                   }
                                   ended = true;
                                 },
                                 [&] { stop = true; }}));
  manager.Stop();
  EXPECT_TRUE(ended.load());
  EXPECT_EQ(manager.RunningTasks(), 0);
}

class CountingApplication : public TimedApplication {
 public:
  void CheckTimeouts(time_t) override { checks.fetch_add(1); }
  void RequestStop() override { stops.fetch_add(1); }
  std::atomic<int> checks{0};
  std::atomic<int> stops{0};
};

TEST(ThreadManagerTest, WatchdogTicksRegisteredApplicationsAndStopsThemAtShutdown) {
  ThreadManager manager(std::chrono::milliseconds(20));
  CountingApplication registered;
  CountingApplication gone;
  manager.Register(&registered);
  manager.Register(&gone);
  manager.Unregister(&gone);
  ASSERT_TRUE(manager.Start());
  for (int i = 0; i < 200 && registered.checks.load() < 3; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  manager.Stop();
  EXPECT_GE(registered.checks.load(), 3);
  EXPECT_EQ(registered.stops.load(), 1);
  EXPECT_EQ(gone.checks.load(), 0);
  EXPECT_EQ(gone.stops.load(), 0);
}

TEST(ApplicationTimers, CheckTimeoutsComparesDeadlines) {
  Site site;
  MemoryRequest request;
  site.Prepare(&request, "/page.pxc");
  TestEngine engine;
  ServerApplication app(&request, &site.config(), &engine);
  app.config()->SetInteger(CFG_TIMEOUT_GLOBAL, 10);
  app.config()->SetInteger(CFG_TIMEOUT_POST, 0);
  app.CheckTimeouts(std::time(nullptr) + 1000);  // no deadline yet
  EXPECT_EQ(app.flags()->timed_out.load(), 0);
  app.StartGlobalTimer();
  time_t deadline = app.global_deadline();
  ASSERT_NE(deadline, 0);
  app.CheckTimeouts(deadline);
  EXPECT_EQ(app.flags()->timed_out.load(), 0);
  app.CheckTimeouts(deadline + 1);
  EXPECT_EQ(app.flags()->timed_out.load(), 1);
  app.StartPostTimer();  // 0: no deadline
  app.CheckTimeouts(deadline + 100000);
  EXPECT_EQ(app.flags()->post_timed_out.load(), 0);
  EXPECT_EQ(app.flags()->ticks.load(), 4);
}

}  // namespace
}  // namespace testing_serve
}  // namespace pexo
