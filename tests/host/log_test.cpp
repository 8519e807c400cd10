#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "vm/machine_host.h"
#include "values/config.h"
#include "host/error_log.h"
#include "host/log_filter.h"
#include "host/log_line.h"
#include "host/posix_file_manager.h"
#include "host/request_log.h"
#include "host/system_log.h"
#include "values/aggregate_index.h"
#include "values/variable.h"

namespace pexo {
namespace {

std::string Str(const String& s) { return std::string(s.data(), static_cast<size_t>(s.length())); }

LogStamp FixedStamp() {
  LogStamp stamp;
  stamp.local.tm_mon = 2;  // March
  stamp.local.tm_mday = 5;
  stamp.local.tm_year = 123;
  stamp.local.tm_hour = 7;
  stamp.local.tm_min = 8;
  stamp.local.tm_sec = 9;
  stamp.microseconds = 42;
  stamp.process_id = 123;
  stamp.thread_id = 456;
  return stamp;
}

// ------------------------------------------------------------ line format

TEST(LogLine, PrefixNameAndEveryValueKindByteForByte) {
  Variable v;
  v.SetValue_Integer(17);
  LogValue values[] = {LogValue::Text("a\tb\x01z"), LogValue::Integer(-7), LogValue::Number(1.5),
                       LogValue::Of(&v), LogValue::Text("")};
  String line;
  FormatLogLine(FixedStamp(), kTraceFunctionParameter, values, 5, &line);
  EXPECT_EQ(Str(line),
            "Mar 5  2023 07:08:09.000042\t123.456\tFunction Parameter\ta\\x09b\\x01z\t-7\t1.5\t17\t\n");
}

TEST(LogLine, TwoDigitDayAndUnknownKind) {
  LogStamp stamp = FixedStamp();
  stamp.local.tm_mon = 11;
  stamp.local.tm_mday = 24;
  stamp.local.tm_hour = 23;
  stamp.microseconds = 999999;
  String line;
  FormatLogLine(stamp, 0x3, nullptr, 0, &line);
  EXPECT_EQ(Str(line), "Dec 24 2023 23:08:09.999999\t123.456\tUnknown\n");
}

TEST(LogLine, EventNames) {
  const std::pair<uint32_t, const char*> cases[] = {
      {0x10, "Function Call"},          {0x800, "External Function Return"},
      {0x1000, "PxDO Enter"},           {0x100000, "PxCALL"},
      {0x2000000, "Request Start"},     {0x8000000, "Application Timed Out"},
      {0x40000000, "Trace"},            {0x80000000u, "Unknown"},
      {0x30, "Unknown"},  // two bits at once are no event
  };
  for (const auto& c : cases) EXPECT_STREQ(LogEventName(c.first), c.second) << c.first;
}

TEST(LogLine, EscapesEveryControlByteOnlyThose) {
  std::string all;
  for (int i = 0; i < 34; ++i) all.push_back(static_cast<char>(i));
  all.push_back('\x7f');
  all.push_back('\xe9');
  String out;
  AppendLogText(all.data(), static_cast<int32_t>(all.size()), &out);
  std::string expected;
  char buffer[8];
  for (int i = 0; i < 32; ++i) {
    std::snprintf(buffer, sizeof buffer, "\\x%02x", i);
    expected += buffer;
  }
  expected += " !\x7f\xe9";
  EXPECT_EQ(Str(out), expected);
}

// ------------------------------------------------------------- dump form

TEST(VariableDump, StructuresArraysAndNesting) {
  Variable* s = new Variable("s");
  s->Element(AggregateIndex("b", -1), 1)->SetValue("x\ny");
  Variable* list = s->Element(AggregateIndex("A", -1), 1);
  list->Element(AggregateIndex(1), 1)->SetValue_Integer(10);
  list->Element(AggregateIndex(3), 1)->SetValue("z");
  String out;
  AppendVariableDump(s, &out);
  EXPECT_EQ(Str(out), "{ A: [2] = [ 10, z ], b: x\\x0ay }");
  s->Release();

  Variable empty_struct, empty_array, scalar;
  empty_struct.MakeAggregate(kKindStructure);
  empty_array.MakeAggregate(kKindArray);
  scalar.SetValue("plain");
  String a, b, c;
  AppendVariableDump(&empty_struct, &a);
  AppendVariableDump(&empty_array, &b);
  AppendVariableDump(&scalar, &c);
  EXPECT_EQ(Str(a), "{  }");
  EXPECT_EQ(Str(b), "[0] = [  ]");
  EXPECT_EQ(Str(c), "plain");
}

TEST(VariableDump, CycleAttemptThroughTwoStructuresDumpsTheCopy) {
  Variable* a = new Variable("a");
  Variable* b = new Variable("b");
  a->Set_Element(AggregateIndex("b", -1), b);
  // Storing a inside b would close a cycle: b keeps a copy of a instead.
  b->Set_Element(AggregateIndex("a", -1), a);
  String out;
  AppendVariableDump(a, &out);
  EXPECT_EQ(Str(out), "{ b: { a: { b:  } } }");
  b->Delete_Element(AggregateIndex("a", -1), 0);  // break the cycle
  a->Release();
  b->Release();
}

// ------------------------------------------------------------ log filter

TEST(LogFilter, SyntaxAndMatching) {
  struct Case {
    const char* filter;
    const char* file;
    int32_t line;
    bool passes;
  };
  const Case cases[] = {
      {"", "any.pxc", 3, true},
      {"!a.pxc:10-20", "a.pxc", 9, true},
      {"!a.pxc:10-20", "a.pxc", 10, false},
      {"!a.pxc:10-20", "a.pxc", 20, false},
      {"!a.pxc:10-20", "a.pxc", 21, true},
      {"!a.pxc:10-20", "b.pxc", 15, true},
      {"a.pxc,b.pxc:5", "a.pxc", 999, true},
      {"a.pxc,b.pxc:5", "b.pxc", 5, true},
      {"a.pxc,b.pxc:5", "b.pxc", 6, false},
      {"a.pxc,b.pxc:5", "c.pxc", 1, false},
      {"a.pxc", "A.pxc", 1, false},            // names are case-sensitive
      {"a.pxc", "a.pxcx", 1, false},           // same length required
      {"  ! a.pxc : 3 - 4 ,  b.pxc ", "a.pxc", 3, false},
      {"  ! a.pxc : 3 - 4 ,  b.pxc ", "b.pxc", 1, true},
      {"a.pxc:7-", "a.pxc", 100000, true},     // open upper bound
      {"a.pxc:7-", "a.pxc", 6, false},
      {"a.pxc:-7", "a.pxc", 1, true},          // open lower bound
      {"a.pxc:-7", "a.pxc", 8, false},
      {"a.pxc junk,b.pxc", "b.pxc", 1, true},  // rest of an entry ignored
      {",,!,", "x", 1, true},                  // nameless entries dropped
      {"a.pxc,!a.pxc:2", "a.pxc", 2, false},   // exclusion wins
      {"a.pxc:99999999999", "a.pxc", 2147483647, true},  // saturates
  };
  for (const Case& c : cases) {
    LogFilter filter;
    filter.Parse(c.filter, -1);
    EXPECT_EQ(filter.Passes(c.file, -1, c.line), c.passes)
        << "filter '" << c.filter << "' file " << c.file << " line " << c.line;
  }
}

TEST(LogFilter, ParsedEntries) {
  LogFilter filter;
  filter.Parse("a.pxc, !b.pxc:5, c.pxc:2-9", -1);
  ASSERT_EQ(filter.include().size(), 2u);
  ASSERT_EQ(filter.exclude().size(), 1u);
  EXPECT_EQ(Str(filter.include()[0].name), "a.pxc");
  EXPECT_EQ(filter.include()[0].first, 0);
  EXPECT_EQ(filter.include()[0].last, 0);
  EXPECT_EQ(filter.include()[1].first, 2);
  EXPECT_EQ(filter.include()[1].last, 9);
  EXPECT_EQ(Str(filter.exclude()[0].name), "b.pxc");
  EXPECT_EQ(filter.exclude()[0].first, 5);
  EXPECT_EQ(filter.exclude()[0].last, 5);
}

TEST(LogFilter, SuppressedPassesNothing) {
  LogFilter filter;
  EXPECT_TRUE(filter.Passes("a", -1, 1));
  filter.set_suppressed(true);
  EXPECT_FALSE(filter.Passes("a", -1, 1));
}

TEST(LogFilter, Cookie) {
  EXPECT_TRUE(LogCookieMatches("pexologcookie=k1", -1, "k1", -1));
  EXPECT_TRUE(LogCookieMatches("a=b; pexologcookie=k1; c=d", -1, "k1", -1));
  EXPECT_FALSE(LogCookieMatches("pexologcookie=k12", -1, "k1", -1));
  EXPECT_FALSE(LogCookieMatches("pexologcookie=k", -1, "k1", -1));
  EXPECT_FALSE(LogCookieMatches("a=b", -1, "k1", -1));
  EXPECT_FALSE(LogCookieMatches("pexologcookie", -1, "k1", -1));
  EXPECT_FALSE(LogCookieMatches("", 0, "k1", -1));
}

// ------------------------------------------------------------- error log

TEST(ErrorLog, SyntaxSelectsLists) {
  ErrorLog log;
  // The rest of an entry up to the next comma is ignored: the first
  // "timeout" below is part of the input entry.
  log.Parse("fatal, input:\"POST\" timeout:\"x\", timeout:\"slow\" junk, PxOPEN:\"denied\" x, pxcall ,"
            " Fatal, nosuchtag, input: \"GET\"",
            -1);
  ASSERT_EQ(log.list(ERRORLOG_FATAL).size(), 1u);
  EXPECT_TRUE(log.list(ERRORLOG_FATAL)[0].filter.empty());
  ASSERT_EQ(log.list(ERRORLOG_INPUT).size(), 2u);
  EXPECT_EQ(Str(log.list(ERRORLOG_INPUT)[0].filter), "POST");
  EXPECT_EQ(Str(log.list(ERRORLOG_INPUT)[1].filter), "GET");
  ASSERT_EQ(log.list(ERRORLOG_TIMEOUT).size(), 1u);
  EXPECT_EQ(Str(log.list(ERRORLOG_TIMEOUT)[0].filter), "slow");
  ASSERT_EQ(log.runtime().size(), 2u);  // "Fatal" is no list and no tag
  EXPECT_EQ(log.runtime()[0].code, 28);  // PxOPEN
  EXPECT_EQ(Str(log.runtime()[0].filter), "denied");
  EXPECT_EQ(log.runtime()[1].code, 14);  // PxCALL, any letter case
  EXPECT_TRUE(log.runtime()[1].filter.empty());
}

TEST(ErrorLog, MissingClosingQuoteLeavesFilterEmpty) {
  ErrorLog log;
  log.Parse("input:\"POST, fatal", -1);
  ASSERT_EQ(log.list(ERRORLOG_INPUT).size(), 1u);
  EXPECT_TRUE(log.list(ERRORLOG_INPUT)[0].filter.empty());
  EXPECT_EQ(log.list(ERRORLOG_FATAL).size(), 1u);
}

TEST(ErrorLog, Selection) {
  ErrorLog log;
  log.Parse("fatal, input:\"POST\", PxOPEN:\"denied\", PxOPEN, input", -1);
  struct Case {
    int32_t category;
    int32_t code;
    const char* message;
    int32_t records;
  };
  const Case cases[] = {
      {ERRORLOG_FATAL, 0, "anything", 1},
      {ERRORLOG_INPUT, 0, "Bad POST data", 2},  // both input entries
      {ERRORLOG_INPUT, 0, "Bad GET data", 1},
      {ERRORLOG_INPUT, 0, "bad post data", 1},  // filters are case-sensitive
      {ERRORLOG_TIMEOUT, 0, "Timeout processing POST data", 0},
      {ERRORLOG_RUNTIME, 28, "Access denied", 2},
      {ERRORLOG_RUNTIME, 28, "No such file", 1},
      {ERRORLOG_RUNTIME, 14, "Access denied", 0},  // another tag
      {7, 0, "x", 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(log.Matches(c.category, c.code, c.message, -1), c.records) << c.message;
}

// ------------------------------------------------------------ system log

TEST(SystemLog, FacilityAndPriorityNames) {
  EXPECT_EQ(SyslogFacility("local3", -1, LOG_USER), LOG_LOCAL3);
  EXPECT_EQ(SyslogFacility("DAEMON", -1, LOG_USER), LOG_DAEMON);
  EXPECT_EQ(SyslogFacility("local8", -1, LOG_USER), LOG_USER);
  EXPECT_EQ(SyslogFacility(nullptr, 0, LOG_MAIL), LOG_MAIL);
  EXPECT_EQ(SyslogPriority("warning", -1, LOG_ERR), LOG_WARNING);
  EXPECT_EQ(SyslogPriority("Error", -1, LOG_INFO), LOG_ERR);
  EXPECT_EQ(SyslogPriority("", 0, LOG_ERR), LOG_ERR);
  EXPECT_EQ(SyslogPriority("debugx", -1, LOG_ERR), LOG_ERR);
}

TEST(SystemLog, DatagramReachesTheSocket) {
  char pattern[] = "/tmp/pexo_slXXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  std::string path = std::string(pattern) + "/log";
  int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
  ASSERT_GE(fd, 0);
  struct sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, path.c_str());
  ASSERT_EQ(bind(fd, reinterpret_cast<struct sockaddr*>(&address), sizeof address), 0);

  PosixSystemLog log(path.c_str());
  log.Write("shop", LOG_LOCAL1, LOG_WARNING, "Slow Request: 7 seconds", -1);
  char buffer[512] = {0};
  ssize_t n = recv(fd, buffer, sizeof buffer - 1, MSG_DONTWAIT);
  close(fd);
  unlink(path.c_str());
  rmdir(pattern);
  ASSERT_GT(n, 0);
  std::string record(buffer, static_cast<size_t>(n));
  // <PRI> is facility 17 * 8 + priority 4.
  EXPECT_EQ(record.substr(0, 5), "<140>");
  std::string tail = " shop[" + std::to_string(getpid()) + "]: Slow Request: 7 seconds";
  ASSERT_GE(record.size(), tail.size());
  EXPECT_EQ(record.substr(record.size() - tail.size()), tail);
  EXPECT_EQ(record.size(), 5 + 16 + tail.size() - 1);  // "Mmm dd hh:mm:ss "
}

TEST(SystemLog, MissingSocketDropsTheRecord) {
  PosixSystemLog log("/nonexistent/pexo/log");
  log.Write("x", LOG_USER, LOG_ERR, "dropped", -1);  // must simply return
  String out;
  PosixSystemLog::Format("", LOG_USER, LOG_ERR, "m", -1, 0, &out);
  EXPECT_EQ(Str(out).substr(0, 4), "<11>");
  EXPECT_NE(Str(out).find(" Pexo["), std::string::npos);  // empty ident: the default
}

// ----------------------------------------------------------- request log

struct Record {
  std::string ident;
  int32_t facility;
  int32_t priority;
  std::string message;
};

class FakeSystemLog : public SystemLog {
 public:
  void Write(const char* ident, int32_t facility, int32_t priority, const char* message,
             int32_t length) override {
    records.push_back({ident, facility, priority, std::string(message, static_cast<size_t>(length))});
  }
  std::vector<Record> records;
};

class RequestLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pexo_rlXXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    top_ = pattern;
    log_path_ = top_ + "/trace.log";
    files_ = std::make_unique<PosixFileManager>(&config_);
    log_ = std::make_unique<RequestLog>(&config_, files_.get(), &syslog_);
    log_->set_clock(FixedStamp);
  }
  void TearDown() override {
    log_.reset();
    files_.reset();
    ASSERT_EQ(std::system(("rm -rf '" + top_ + "'").c_str()), 0);
  }
  void UseLogFile(int32_t level) {
    config_.SetString(CFG_LOG_FILE, log_path_.c_str(), -1);
    config_.SetInteger(CFG_LOG_LEVEL, level);
  }
  std::string Trace() {
    FILE* f = std::fopen(log_path_.c_str(), "rb");
    if (!f) return "<missing>";
    std::string text;
    char buffer[512];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
    return text;
  }

  std::string top_, log_path_;
  Config config_;
  FakeSystemLog syslog_;
  std::unique_ptr<PosixFileManager> files_;
  std::unique_ptr<RequestLog> log_;
};

const char kPrefix[] = "Mar 5  2023 07:08:09.000042\t123.456\t";

TEST_F(RequestLogTest, RequestStartAloneWritesOneLine) {
  UseLogFile(kTraceRequestStart);
  log_->Configure(nullptr, 0);
  log_->LogRequest(kTraceRequestStart, "/shop/a.pxc", "x=1");
  log_->LogRequest(kTraceRequestEnd, "/shop/a.pxc", "x=1");
  TraceEvent call;
  call.kind = kTraceFunctionCall;
  log_->LogTraceEvent(call);
  EXPECT_EQ(Trace(), std::string(kPrefix) + "Request Start\t/shop/a.pxc?x=1\n");
}

TEST_F(RequestLogTest, LinesAppendAcrossEvents) {
  UseLogFile(kTraceRequestStart | kTraceRequestEnd);
  log_->LogRequest(kTraceRequestStart, "/a", "");
  log_->LogRequest(kTraceRequestEnd, "/a", nullptr);
  EXPECT_EQ(Trace(), std::string(kPrefix) + "Request Start\t/a?\n" + kPrefix +
                         "Request End\t/a?\n");
}

TEST_F(RequestLogTest, NoFileConfiguredOrUnopenableDropsTheLine) {
  config_.SetInteger(CFG_LOG_LEVEL, -1);
  log_->LogRequest(kTraceRequestStart, "/a", "");
  EXPECT_EQ(Trace(), "<missing>");
  config_.SetString(CFG_LOG_FILE, (top_ + "/no/such/dir/t.log").c_str(), -1);
  log_->LogRequest(kTraceRequestStart, "/a", "");  // silently dropped
  EXPECT_EQ(Trace(), "<missing>");
}

TEST_F(RequestLogTest, TraceEventFields) {
  UseLogFile(kTraceFunctionParameter | kTraceFunctionReturn | kTraceRuntimeError |
             kTraceFunctionReturnValue);
  TraceEvent e;
  e.program = "/s/a.pxc";
  e.source_file = "lib.pxi";
  e.line = 12;
  e.kind = kTraceFunctionParameter;
  e.name = "f";
  e.detail = "p";
  e.value = "";
  log_->LogTraceEvent(e);
  TraceEvent r;
  r.kind = kTraceFunctionReturn;
  r.program = "/s/a.pxc";
  r.line = 0;
  log_->LogTraceEvent(r);
  Variable* s = new Variable("s");
  s->Element(AggregateIndex("k", -1), 1)->SetValue("v");
  TraceEvent v;
  v.kind = kTraceFunctionReturnValue;
  v.name = "f";
  v.variable = s;
  v.value = "ignored";
  log_->LogTraceEvent(v);
  s->Release();
  TraceEvent err;
  err.kind = kTraceRuntimeError;
  err.name = "PxOPEN";
  err.detail = "Runtime error\n";
  log_->LogTraceEvent(err);
  EXPECT_EQ(Trace(), std::string(kPrefix) + "Function Parameter\t/s/a.pxc\tlib.pxi\t12\tf\tp\t\n" +
                         kPrefix + "Function Return\t/s/a.pxc\t\t0\n" + kPrefix +
                         "Function Return Value\t\t\t0\tf\t{ k: v }\n" + kPrefix +
                         "Runtime Error\t\t\t0\tPxOPEN\tRuntime error\\x0a\n");
}

TEST_F(RequestLogTest, LogCookieSuppressesUnlessItMatches) {
  UseLogFile(kTraceRequestStart);
  config_.SetString(CFG_LOG_COOKIE, "secret", -1);
  config_.SetString(CFG_LOG_FILTER, "a.pxc", -1);
  log_->Configure("pexologcookie=secrets", -1);
  EXPECT_FALSE(log_->PassesLogFilter("a.pxc", -1, 1));
  log_->LogRequest(kTraceRequestStart, "/a", "");
  EXPECT_EQ(Trace(), "<missing>");

  RequestLog allowed(&config_, files_.get(), &syslog_);
  allowed.Configure("x=1; pexologcookie=secret", -1);
  EXPECT_TRUE(allowed.PassesLogFilter("a.pxc", -1, 1));
  EXPECT_FALSE(allowed.PassesLogFilter("b.pxc", -1, 1));  // the filter applies too

  RequestLog no_cookie(&config_, files_.get(), &syslog_);
  no_cookie.Configure(nullptr, 0);
  EXPECT_FALSE(no_cookie.PassesLogFilter("a.pxc", -1, 1));
}

TEST_F(RequestLogTest, ErrorLogRecordsWithIdentFacilityAndPriority) {
  config_.SetString(CFG_ERROR_SYSLOG, "fatal, input:\"POST\"", -1);
  config_.SetString(CFG_ERROR_SYSLOG_IDENT, "shop", -1);
  config_.SetString(CFG_ERROR_SYSLOG_FACILITY, "local2", -1);
  config_.SetString(CFG_ERROR_SYSLOG_PRIORITY, "crit", -1);
  EXPECT_EQ(log_->ReportToErrorLog(ERRORLOG_FATAL, 0, "Fatal error in x", -1), 1);
  EXPECT_EQ(log_->ReportToErrorLog(ERRORLOG_INPUT, 0, "Unknown GET thing", -1), 0);
  EXPECT_EQ(log_->ReportToErrorLog(ERRORLOG_INPUT, 0, "Bad POST", -1), 1);
  ASSERT_EQ(syslog_.records.size(), 2u);
  EXPECT_EQ(syslog_.records[0].ident, "shop");
  EXPECT_EQ(syslog_.records[0].facility, LOG_LOCAL2);
  EXPECT_EQ(syslog_.records[0].priority, LOG_CRIT);
  EXPECT_EQ(syslog_.records[0].message, "Fatal error in x");
  EXPECT_EQ(syslog_.records[1].message, "Bad POST");
}

TEST_F(RequestLogTest, SlowRequestRecordUsesItsOwnSettings) {
  config_.SetString(CFG_SLOWREQUEST_SYSLOG_IDENT, "slow", -1);
  config_.SetString(CFG_SLOWREQUEST_SYSLOG_PRIORITY, "warning", -1);
  String message;
  RequestLog::SlowRequestMessage(6, "10.0.0.1", "", nullptr, &message);
  EXPECT_EQ(Str(message),
            "Slow Request: 6 seconds: remote_addr=10.0.0.1, documenturl=NULL, query_string=NULL");
  log_->ReportSlowRequest(message.data(), message.length());
  ASSERT_EQ(syslog_.records.size(), 1u);
  EXPECT_EQ(syslog_.records[0].ident, "slow");
  EXPECT_EQ(syslog_.records[0].facility, LOG_USER);  // unset: default
  EXPECT_EQ(syslog_.records[0].priority, LOG_WARNING);
  EXPECT_EQ(syslog_.records[0].message, Str(message));
  // No ident configured: the default identity.
  log_->ReportError("x", -1);
  EXPECT_EQ(syslog_.records[1].ident, "Pexo");
}

TEST(SlowRequest, Threshold) {
  EXPECT_FALSE(RequestLog::IsSlowRequest(5, 5));
  EXPECT_TRUE(RequestLog::IsSlowRequest(6, 5));
  EXPECT_FALSE(RequestLog::IsSlowRequest(100, -1));
  EXPECT_FALSE(RequestLog::IsSlowRequest(100, 0));
}

}  // namespace
}  // namespace pexo
