#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <initializer_list>
#include <cstring>
#include <fstream>
#include <thread>

#include "host/engine_process.h"
#include "host/log_filter.h"
#include "serve_fixture.h"
#include "host/request_variables.h"
#include "values/dictionary.h"
#include "values/system_variable_hash.h"
#include "values/variable.h"

namespace pexo {
namespace testing_serve {
namespace {

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

class ExecuteTest : public ::testing::Test {
 protected:
  void SetUp() override { site_.AddProgram("page.pxc", kEmptyProgram); }

  int Run(MemoryRequest* request) { return site_.Run(request, "/page.pxc"); }

  Site site_;
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

// Server and identity variables are made when first read; they must be
// exactly what setting them at once gave: a plain variable named as its
// entry, holding the request's text, in entry order, and an entry that
// already holds a variable keeps it and takes the value.
TEST(RequestVariablesTest, MadeOnFirstReadAsIfSetAtOnce) {
  MemoryRequest request;
  request.variables = {{"REQUEST_METHOD", "POST"}, {"REMOTE_ADDR", "10.1.2.3"},
                       {"SERVER_NAME", "example.org"}, {"SERVER_PORT", "8080"},
                       {"QUERY_STRING", ""}};
  Dictionary names;
  SystemVariableHash scope(12, &names, false);
  ASSERT_EQ(scope.InsertName("Remote_Addr", -1), 0);
  Variable* held = scope.VariableAt(scope.InsertName("server_port", -1), true);
  RequestVariables variables(&request);
  variables.set_scope(&scope);
  variables.FillServerVariables();
  String path("/a.pxc");
  variables.FillIdentityVariables(path);

  struct Case {
    const char* entry;
    const char* value;
  } cases[] = {
      {"Remote_Addr", "10.1.2.3"}, {"server_port", "8080"},   {"QUERY_STRING", ""},
      {"REQUEST_METHOD", "POST"},  {"SERVER_NAME", "example.org"},
      {"process_id", nullptr},     {"thread_id", nullptr},    {"apitype", "TEST"},
      {"documenturl", "http://example.org:8080/a.pxc?"},
  };
  ASSERT_EQ(scope.Entries(), static_cast<int32_t>(sizeof cases / sizeof cases[0]));
  for (int32_t i = 0; i < scope.Entries(); ++i) {
    const Case& c = cases[i];
    Variable* v = scope.VariableAt(i, false);
    ASSERT_NE(v, nullptr) << c.entry;
    EXPECT_TRUE(v->IsOrdinary()) << c.entry;
    EXPECT_STREQ(v->Name().c_str(), c.entry);
    EXPECT_EQ(v->Type(), kTypeText) << c.entry;
    if (c.value) {
      EXPECT_STREQ(v->Value().c_str(), c.value) << c.entry;
    }
  }
  EXPECT_EQ(scope.VariableAt(1, false), held);
  EXPECT_EQ(scope.VariableAt(5, false)->Value_Integer(), static_cast<int32_t>(getpid()));
  // Header lines (a repeated one keeps its first entry and takes the last
  // value) and arguments.
  MemoryRequest other;
  other.variables = {{"REMOTE_USER", "ann"},
                     {"ALL_HTTP", "HTTP_A:1\nHTTP_B: x\nhttp_a:2\n:none\nno colon"}};
  SystemVariableHash second(12, &names, false);
  RequestVariables more(&other);
  more.set_scope(&second);
  more.FillServerVariables();
  String query("p+q%41");
  more.FillArguments(path, query);
  const char* expected[][2] = {{"REMOTE_USER", "ann"}, {"HTTP_A", "2"}, {"HTTP_B", " x"},
                               {"arg1", "/a.pxc"},     {"arg2", "p"},   {"arg3", "qA"},
                               {"nargs", "3"}};
  ASSERT_EQ(second.Entries(), 7);
  for (int32_t i = 0; i < second.Entries(); ++i) {
    Variable* v = second.VariableAt(i, false);
    ASSERT_NE(v, nullptr) << i;
    EXPECT_STREQ(v->Name().c_str(), expected[i][0]);
    EXPECT_STREQ(v->Value().c_str(), expected[i][1]) << expected[i][0];
  }
  // Assigned before its first read, a variable takes the script's value.
  ASSERT_EQ(second.SetVariable("remote_user", -1, "bob", 3), 1);
  Variable* user = nullptr;
  ASSERT_TRUE(second.Find("REMOTE_USER", -1, false, &user));
  EXPECT_STREQ(user->Value().c_str(), "bob");
}

TEST_F(ExecuteTest, MissingAndCorruptProgramsArePlainMessages) {
  site_.Configure("", "");
  site_.AddFile("bad.pxc", "this is not a compiled program at all, just text");
  MemoryRequest missing;
  site_.Prepare(&missing, "/missing.pxc");
  EXPECT_EQ(Run(&missing), 1);
  EXPECT_EQ(missing.response.status, 404);
  EXPECT_EQ(missing.response.body.rfind("Unable to execute '/missing.pxc': ", 0), 0u)
      << missing.response.body;

  MemoryRequest corrupt;
  site_.Prepare(&corrupt, "/bad.pxc");
  EXPECT_EQ(Run(&corrupt), 1);
  EXPECT_EQ(corrupt.response.status, 500);
  EXPECT_EQ(corrupt.response.body.rfind("Unable to execute 'bad.pxc': ", 0), 0u)
      << corrupt.response.body;
  EXPECT_EQ(corrupt.response.Header("Content-Type"), "text/html");
}

TEST_F(ExecuteTest, FillsVariablesAndSendsDefaultHeaders) {
  site_.Configure("vrkcallerid=\"true\"", "<timeouts global=\"30\"/>");
  site_.AddProgram("vars.pxc",
                   PrintSystemVariables({"arg1", "arg2", "arg3", "nargs", "apitype",
                                         "documenturl", "HTTP_ACCEPT", "HTTP_X_TWO",
                                         "REQUEST_METHOD", "globaltimeout", "pexoversion",
                                         "AUTH_TYPE", "callerid"}));
  MemoryRequest request;
  site_.Prepare(&request, "/vars.pxc", "a+b%41");
  request.variables["SERVER_PORT"] = "8080";
  request.variables["ALL_HTTP"] = "HTTP_ACCEPT:text/*\nno colon here\nHTTP_X_TWO: a:b";
  EXPECT_EQ(site_.Run(&request, "/vars.pxc"), 0);
  const std::string& body = request.response.body;
  std::string cookie = request.response.Header("Set-Cookie");
  ASSERT_GT(cookie.size(), 44u) << cookie;
  std::string id = cookie.substr(12, 32);
  EXPECT_EQ(body,
            "arg1=/vars.pxc|arg2=a|arg3=bA|nargs=3|apitype=TEST|"
            "documenturl=http://localhost:8080/vars.pxc?|HTTP_ACCEPT=text/*|HTTP_X_TWO= a:b|"
            "REQUEST_METHOD=GET|globaltimeout=30|pexoversion=5.52|AUTH_TYPE=|callerid=" +
                id + "|");
  EXPECT_EQ(request.response.Header("Content-Type"), "text/html");
  EXPECT_EQ(request.response.Header("Content-Length"), std::to_string(body.size()));
  EXPECT_EQ(cookie.rfind("vrkcallerid=" + id + "; expires=", 0), 0u) << cookie;
  EXPECT_EQ(cookie.substr(cookie.size() - 12), " GMT; path=/");
}

TEST_F(ExecuteTest, QueryStringBecomesGlobalVariables) {
  site_.Configure("", "");
  site_.AddProgram("q.pxc",
                   ".global a, b\n.segment main start\n pushg a\n out\n pushc \"/\"\n out\n"
                   " pushg b\n out\n");
  MemoryRequest request;
  site_.Prepare(&request, "/q.pxc", "a=x+y&b=%3Cz%3E");
  EXPECT_EQ(site_.Run(&request, "/q.pxc"), 0);
  EXPECT_EQ(request.response.body, "x y/<z>");
}

// A request's databases live in its data directory: a table created by one
// request is read by the next; a name outside the data directory is refused.
TEST_F(ExecuteTest, TablesLiveInTheDataDirectory) {
  site_.Configure("", "");
  auto texts = [](std::initializer_list<const char*> list) {
    std::string code;
    for (const char* text : list) code += std::string(" pushc \"") + text + "\"\n";
    return code;
  };
  site_.AddProgram("make.pxc", ".segment main start\n" +
                                   texts({"t", "t.dbf", "", "NAME CHAR(8)", ""}) + " dbcreate\n" +
                                   " pushc \"kept\"\n popnc \"d.name\"\n" + texts({"", ""}) +
                                   " dbadd\n" + texts({"out", "../out.dbf", "", "A DATE", ""}) +
                                   " dbcreate\n pushnc \"PxCREATE_Error\"\n isnull\n out\n");
  site_.AddProgram("read.pxc", ".segment main start\n" +
                                   texts({"t", "t.dbf", "", "", "", ""}) + " dbopen\n" +
                                   texts({"", "", "top"}) + " dbgo\n pushnc \"d.name\"\n out\n");
  MemoryRequest make;
  site_.Prepare(&make, "/make.pxc");
  EXPECT_EQ(site_.Run(&make, "/make.pxc"), 0);
  // The outside name is refused, the message shown (PxCREATE displays).
  EXPECT_EQ(make.response.body,
            "Runtime error in make.pxc @ [00000000:00000058]: PxCREATE: Error creating "
            "'../out.dbf': The specified path references a path outside the configured data "
            "directory\n0");
  EXPECT_EQ(FilesIn(site_.data()), std::vector<std::string>{"t.dbf"});
  MemoryRequest read;
  site_.Prepare(&read, "/read.pxc");
  EXPECT_EQ(site_.Run(&read, "/read.pxc"), 0);
  EXPECT_EQ(read.response.body, "kept");
}

// The default database type is the system setting variable.
TEST_F(ExecuteTest, DefaultDatabaseTypeComesFromTheSetting) {
  site_.Configure("", "");
  site_.AddProgram("type.pxc",
                   ".segment main start\n tagerror 42 0\n"
                   " pushc \"other\"\n popnc \"pexo_defaultdatabase\"\n"
                   " pushc \"t\"\n pushc \"t.dbf\"\n pushc \"\"\n pushc \"A DATE\"\n"
                   " pushc \"\"\n dbcreate\n pushnc \"PxCREATE_Error\"\n out\n");
  MemoryRequest request;
  site_.Prepare(&request, "/type.pxc");
  EXPECT_EQ(site_.Run(&request, "/type.pxc"), 0);
  EXPECT_EQ(request.response.body, "Database type 'other' is unsupported or not configured");
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
  EXPECT_EQ(request.response.body, "");
}

TEST_F(ExecuteTest, FatalErrorIsFlushedWithStatusAndNoContentLength) {
  site_.Configure("", "");
  site_.AddProgram("bad.pxc", ".segment main start\n pushc \"<x>\"\n out\n"
                              " sourcefile \"a&b.px\"\n lineno 2\n .word 0x0001\n"
                              " pushc \"never\"\n out\n");
  MemoryRequest request;
  site_.Prepare(&request, "/bad.pxc");
  EXPECT_EQ(site_.Run(&request, "/bad.pxc"), 0);
  EXPECT_EQ(request.response.status, 500);
  EXPECT_EQ(request.response.body,
            "<x>Fatal error in bad.pxc @ [00000000:00000014]: a&amp;b.px: Line 2: "
            "Illegal Instruction\n");
  EXPECT_FALSE(request.response.HasHeader("Content-Length"));
}

// Array index 0 is a runtime error of the expression tag (62); the program
// picks the tag's setting from its first argument before causing it.
const char kErrorSettingProgram[] =
    ".system arg2\n"
    ".global list\n"
    ".segment main start\n"
    "        pushs arg2\n"
    "        pushi 0\n"
    "        cmp\n"
    "        jmp_eq none\n"
    "        pushs arg2\n"
    "        pushi 1\n"
    "        cmp\n"
    "        jmp_eq shown\n"
    "        tagerror 62, 3\n"
    "        jmp cause\n"
    "none:   tagerror 62, 0\n"
    "        jmp cause\n"
    "shown:  tagerror 62, 1\n"
    "cause:  pushc \"before;\"\n"
    "        out\n"
    "        pushg list\n"
    "        pushi 0\n"
    "        elem\n"
    "        pop\n"
    "        pushc \"after\"\n"
    "        out\n";

TEST_F(ExecuteTest, RuntimeErrorFollowsTheTagSetting) {
  site_.Configure("", "");
  site_.AddProgram("err.pxc", kErrorSettingProgram);
  const std::string message =
      "Runtime error in err.pxc @ [00000000:";
  struct Case {
    const char* setting;
    int status;
    bool shown;
    bool continues;
  } cases[] = {{"0", 200, false, true}, {"1", 200, true, true}, {"3", 500, true, false}};
  for (const Case& c : cases) {
    MemoryRequest request;
    site_.Prepare(&request, "/err.pxc", c.setting);
    EXPECT_EQ(site_.Run(&request, "/err.pxc"), 0);
    const std::string& body = request.response.body;
    EXPECT_EQ(request.response.status, c.status) << c.setting;
    EXPECT_EQ(body.find(message) != std::string::npos, c.shown) << body;
    EXPECT_EQ(body.find("&#40;in expression&#41;: Array index must be positive integer\n") !=
                  std::string::npos,
              c.shown)
        << body;
    EXPECT_EQ(body.rfind("before;", 0), 0u) << body;
    EXPECT_EQ(body.size() >= 5 && body.compare(body.size() - 5, 5, "after") == 0, c.continues)
        << body;
  }
}

TEST_F(ExecuteTest, BodyErrorsStopTheRequestWithAnHonestStatus) {
  const std::string multipart = "--zz\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1";
  struct Case {
    const char* limits;
    const char* type;
    std::string body;
    const char* length;  // null: the body's own
    bool chunked;
    int32_t read_failure;
    std::string message;
    int status;
  } cases[] = {
      {"<limits maxUnknownContentLength=\"-1\"/>", "text/plain", "abc", nullptr, false, 0,
       "Unknown POST content type", 415},
      {"<limits maxUnknownContentLength=\"2\"/>", "text/plain", "abc", nullptr, false, 0,
       "POST content length exceeds configured maximum for unknown content types", 413},
      {"<limits maxUnknownContentLength=\"2\"/>", "text/plain", "abc", nullptr, true, 0,
       "POST content length exceeds configured maximum for unknown content types", 413},
      {"<limits maxPostVars=\"2\"/>", "application/x-www-form-urlencoded", "a=1&b=2&c=3",
       nullptr, false, 0, "Maximum number of POST variables exceeded", 400},
      {"", "multipart/form-data; boundary=zz", "nonsense\r\n", nullptr, false, 0,
       "Failed to find boundary separator", 400},
      {"", "multipart/form-data; boundary=zz", multipart, nullptr, false, 0,
       "Incomplete POST data", 400},
      {"", "multipart/form-data; boundary=zz", multipart, nullptr, true, 0,
       "Incomplete POST data", 400},
      {"", "application/json", "[#]", nullptr, false, 0, "Line #1 - Syntax error: ", 400},
      // The client stops short of its length, or the connection fails.
      {"", "application/x-www-form-urlencoded", "a=1", "10", false, 0, "Incomplete POST data",
       400},
      {"", "application/x-www-form-urlencoded", "a=1", "10", false, kBodyMalformed,
       "Failed to read POST data", 400},
      {"", "application/x-www-form-urlencoded", "a=1", nullptr, true, kBodyMalformed,
       "Failed to read POST data", 400},
      {"", "application/x-www-form-urlencoded", "a=1", "10", false, -413,
       "Failed to read POST data", 413},
      {"", "application/x-www-form-urlencoded", "a=1", "10", false, kBodyTimedOut,
       "Timeout processing POST data", 408},
  };
  site_.AddProgram("ran.pxc", ".segment main start\n pushc \"ran\"\n out\n");
  for (const Case& c : cases) {
    site_.Configure("", c.limits);
    MemoryRequest request;
    site_.Prepare(&request, "/ran.pxc");
    request.body = c.body;
    request.chunked = c.chunked;
    request.read_failure = c.read_failure;
    request.variables["CONTENT_TYPE"] = c.type;
    if (!c.chunked) {
      request.variables["CONTENT_LENGTH"] = c.length ? c.length : std::to_string(c.body.size());
    }
    EXPECT_EQ(site_.Run(&request, "/ran.pxc"), 1) << c.message;
    EXPECT_EQ(request.response.body.rfind(c.message, 0), 0u) << request.response.body;
    EXPECT_EQ(request.response.status, c.status) << c.message;
  }
}

TEST_F(ExecuteTest, ChunkedBodiesAreReadToTheirEnd) {
  site_.Configure("", "");
  site_.AddProgram("form.pxc",
                   ".global a, b\n.segment main start\n pushg a\n out\n pushc \",\"\n out\n"
                   " pushg b\n out\n");
  MemoryRequest form;
  site_.Prepare(&form, "/form.pxc");
  form.chunked = true;
  form.body = "a=1&b=" + std::string(20000, 'x');
  form.variables["CONTENT_TYPE"] = "application/x-www-form-urlencoded";
  EXPECT_EQ(site_.Run(&form, "/form.pxc"), 0);
  EXPECT_EQ(form.response.body, "1," + std::string(20000, 'x'));
  EXPECT_EQ(form.response.status, 200);

  // An empty chunked body is no body: even a refused type runs the script.
  site_.Configure("", "<limits maxUnknownContentLength=\"-1\"/>");
  MemoryRequest empty;
  site_.Prepare(&empty, "/form.pxc");
  empty.chunked = true;
  empty.variables["CONTENT_TYPE"] = "text/plain";
  EXPECT_EQ(site_.Run(&empty, "/form.pxc"), 0);
  EXPECT_EQ(empty.response.body, ",");
}

TEST_F(ExecuteTest, BodyReadsAreBoundByThePostTimer) {
  site_.Configure("", "<timeouts post=\"2\"/>");
  MemoryRequest request;
  site_.Prepare(&request, "/page.pxc");
  request.body = std::string(20000, 'x');
  request.variables["CONTENT_TYPE"] = "text/plain";
  request.variables["CONTENT_LENGTH"] = std::to_string(request.body.size());
  int64_t before = MonotonicMilliseconds();
  EXPECT_EQ(Run(&request), 0);
  ASSERT_EQ(request.deadlines.size(), 3u);
  for (int64_t deadline : request.deadlines) {
    EXPECT_GE(deadline, before + 2000);
    EXPECT_LE(deadline, MonotonicMilliseconds() + 2000);
  }
}

TEST_F(ExecuteTest, FormJsonAndOtherBodiesBecomeVariables) {
  site_.Configure("", "");
  site_.AddProgram("form.pxc",
                   ".global a, b\n.segment main start\n pushg a\n pushi 2\n elem\n out\n"
                   " pushc \",\"\n out\n pushg b\n out\n");
  MemoryRequest form;
  site_.Prepare(&form, "/form.pxc");
  form.body = "a=1&a=2&b=" + std::string(20000, 'x');
  form.variables["CONTENT_TYPE"] = "application/x-www-form-urlencoded";
  form.variables["CONTENT_LENGTH"] = std::to_string(form.body.size());
  EXPECT_EQ(site_.Run(&form, "/form.pxc"), 0);
  EXPECT_EQ(form.response.body, "2," + std::string(20000, 'x'));

  site_.AddProgram("json.pxc",
                   ".system json_data, content_data\n.segment main start\n pushs json_data\n"
                   " pushc \"name\"\n memb\n out\n pushc \"|\"\n out\n pushs content_data\n out\n");
  MemoryRequest json;
  site_.Prepare(&json, "/json.pxc");
  json.body = "{\"name\": \"Ann\"}";
  json.variables["CONTENT_TYPE"] = "application/json; charset=utf-8";
  json.variables["CONTENT_LENGTH"] = std::to_string(json.body.size());
  EXPECT_EQ(site_.Run(&json, "/json.pxc"), 0);
  EXPECT_EQ(json.response.body, "Ann|{\"name\": \"Ann\"}");

  MemoryRequest broken;
  site_.Prepare(&broken, "/json.pxc");
  broken.body = "{\"name\": ";
  broken.variables["CONTENT_TYPE"] = "application/json";
  broken.variables["CONTENT_LENGTH"] = std::to_string(broken.body.size());
  EXPECT_EQ(site_.Run(&broken, "/json.pxc"), 1);
  EXPECT_FALSE(broken.response.body.empty());
  EXPECT_EQ(broken.response.body.find("Ann"), std::string::npos);
}

TEST_F(ExecuteTest, NoBodyWithoutTypeOrPositiveLength) {
  site_.Configure("", "<limits maxUnknownContentLength=\"-1\"/>");
  site_.AddProgram("ran.pxc", ".segment main start\n pushc \"ran\"\n out\n");
  struct Case {
    const char* type;
    const char* length;
  } cases[] = {{nullptr, "3"}, {"text/plain", nullptr}, {"text/plain", "0"},
               {"text/plain", "-5"}};
  for (const Case& c : cases) {
    MemoryRequest request;
    site_.Prepare(&request, "/ran.pxc");
    request.body = "abc";
    if (c.type) request.variables["CONTENT_TYPE"] = c.type;
    if (c.length) request.variables["CONTENT_LENGTH"] = c.length;
    EXPECT_EQ(site_.Run(&request, "/ran.pxc"), 0);
    EXPECT_EQ(request.response.body, "ran");
  }
}

// Multipart bodies with one file part; the program's callbacks decide.
std::string UploadBody(const std::string& data) {
  return "--XyZ\r\nContent-Disposition: form-data; name=\"note\"\r\n\r\nhello\r\n"
         "--XyZ\r\nContent-Disposition: form-data; name=\"doc\"; filename=\"a<b>.txt\"\r\n"
         "Content-Type: text/plain\r\n\r\n" +
         data + "\r\n--XyZ--\r\n";
}

const char kUploadProgram[] =
    ".global note, seen\n"
    ".segment main start\n"
    "        pushg note\n"
    "        out\n"
    "        pushc \";\"\n"
    "        out\n"
    "        pushg seen\n"
    "        out\n"
    ".segment functions\n"
    ".function Pexo_ValidateFileUpload(field, name, type)\n"
    "        pushi 10\n"
    "        ret\n"
    ".end\n"
    ".function Pexo_ProcessFileUpload(field, name, status, path, type, size)\n"
    "        pushl field\n"
    "        pushc \",\"\n"
    "        cat\n"
    "        pushl name\n"
    "        cat\n"
    "        pushc \",\"\n"
    "        cat\n"
    "        pushl status\n"
    "        cat\n"
    "        pushc \",\"\n"
    "        cat\n"
    "        pushl type\n"
    "        cat\n"
    "        pushc \",\"\n"
    "        cat\n"
    "        pushl size\n"
    "        cat\n"
    "        popg seen\n"
    "        retn\n"
    ".end\n";

TEST_F(ExecuteTest, UploadsCallTheScriptAndLeaveNoFiles) {
  site_.Configure("", "");
  site_.AddProgram("up.pxc", kUploadProgram);
  MemoryRequest request;
  site_.Prepare(&request, "/up.pxc");
  request.body = UploadBody(std::string(25, 'd'));
  request.variables["CONTENT_TYPE"] = "multipart/form-data; boundary=XyZ";
  request.variables["CONTENT_LENGTH"] = std::to_string(request.body.size());
  EXPECT_EQ(site_.Run(&request, "/up.pxc"), 0);
  EXPECT_EQ(request.response.body, "hello;doc,a<b>.txt,PARTIAL,text/plain,25");
  EXPECT_TRUE(FilesIn(site_.data()).empty());

  // Without the functions the upload is skipped and the fields still arrive.
  site_.AddProgram("plain.pxc", ".global note\n.segment main start\n pushg note\n out\n");
  MemoryRequest plain;
  site_.Prepare(&plain, "/plain.pxc");
  plain.body = UploadBody("data");
  plain.variables["CONTENT_TYPE"] = "multipart/form-data; boundary=XyZ";
  plain.variables["CONTENT_LENGTH"] = std::to_string(plain.body.size());
  EXPECT_EQ(site_.Run(&plain, "/plain.pxc"), 0);
  EXPECT_EQ(plain.response.body, "hello");
  EXPECT_TRUE(FilesIn(site_.data()).empty());
}

TEST_F(ExecuteTest, UploadCallbackWithWrongParametersFails) {
  site_.Configure("", "");
  site_.AddProgram("wrong.pxc",
                   ".segment main start\n pushc \"ran\"\n out\n.segment functions\n"
                   ".function Pexo_ValidateFileUpload(field, name)\n pushi 0\n retn\n.end\n");
  MemoryRequest request;
  site_.Prepare(&request, "/wrong.pxc");
  request.body = UploadBody("data");
  request.variables["CONTENT_TYPE"] = "multipart/form-data; boundary=XyZ";
  request.variables["CONTENT_LENGTH"] = std::to_string(request.body.size());
  EXPECT_EQ(site_.Run(&request, "/wrong.pxc"), 1);
  EXPECT_EQ(request.response.body, "Failed call to ValidateFileUpload");
}

TEST_F(ExecuteTest, SlowRequestsAreReportedPastTheLimit) {
  site_.Configure("", "<slowrequestsyslog syslog=\"5\" ident=\"slow\"/>");
  for (int64_t seconds : {5, 6}) {
    MemoryRequest request;
    site_.Prepare(&request, "/page.pxc", "q=1");
    RecordingApplication app(&request, &site_.config());
    app.times = {100, 100 + seconds};
    EXPECT_EQ(app.Execute(), 0);
    if (seconds == 5) {
      EXPECT_TRUE(app.log.records.empty());
    } else {
      ASSERT_EQ(app.log.records.size(), 1u);
      EXPECT_EQ(app.log.records[0],
                "slow: Slow Request: 6 seconds: remote_addr=127.0.0.1, "
                "documenturl=http://localhost/page.pxc?, query_string=q=1");
    }
  }
}

TEST_F(ExecuteTest, ErrorLogRecordsMatchingCategories) {
  site_.Configure("",
                  "<syslog syslog=\"fatal, input:&quot;POST&quot;\" ident=\"errs\"/>"
                  "<limits maxUnknownContentLength=\"-1\"/>");
  site_.AddProgram("bad.pxc", ".segment main start\n .word 0x0001\n");
  MemoryRequest fatal;
  site_.Prepare(&fatal, "/bad.pxc");
  RecordingApplication fatal_app(&fatal, &site_.config());
  EXPECT_EQ(fatal_app.Execute(), 0);
  ASSERT_EQ(fatal_app.log.records.size(), 1u);
  EXPECT_EQ(fatal_app.log.records[0].rfind("errs: Fatal error in bad.pxc", 0), 0u);

  MemoryRequest input;
  site_.Prepare(&input, "/page.pxc");
  input.body = "x";
  input.variables["CONTENT_TYPE"] = "text/plain";
  input.variables["CONTENT_LENGTH"] = "1";
  RecordingApplication input_app(&input, &site_.config());
  EXPECT_EQ(input_app.Execute(), 1);
  ASSERT_EQ(input_app.log.records.size(), 1u);
  EXPECT_EQ(input_app.log.records[0], "errs: Unknown POST content type");
}

TEST_F(ExecuteTest, DebugLogWritesRequestEventsUnlessTheCookieIsMissing) {
  std::string log_file = site_.data() + "/trace.log";
  site_.Configure("", "<debugLog level=\"0x6000000\" cookie=\"letmein\" file=\"" + log_file +
                          "\"/>");
  MemoryRequest without;
  site_.Prepare(&without, "/page.pxc", "a=1");
  EXPECT_EQ(Run(&without), 0);
  std::ifstream none(log_file);
  EXPECT_FALSE(none.good());

  MemoryRequest with;
  site_.Prepare(&with, "/page.pxc", "a=1");
  with.variables["HTTP_COOKIE"] = "pexologcookie=letmein";
  EXPECT_EQ(Run(&with), 0);
  std::ifstream in(log_file);
  std::string first, second, third;
  std::getline(in, first);
  std::getline(in, second);
  EXPECT_FALSE(std::getline(in, third));
  EXPECT_NE(first.find("\tRequest Start\t/page.pxc?a=1"), std::string::npos) << first;
  EXPECT_NE(second.find("\tRequest End\t/page.pxc?a=1"), std::string::npos) << second;
}

TEST_F(ExecuteTest, WatchdogStopsALoopingScriptWhileAnotherCompletes) {
  site_.Configure("", "<timeouts global=\"1\"/>");
  site_.AddProgram("loop.pxc", ".segment main start\nagain: jmp again\n");
  site_.AddProgram("quick.pxc", ".segment main start\n pushc \"done\"\n out\n");
  EngineProcess process(std::chrono::milliseconds(200));
  ASSERT_TRUE(process.Start());
  MemoryRequest looping;
  site_.Prepare(&looping, "/loop.pxc");
  auto started = std::chrono::steady_clock::now();
  std::thread loop_thread([&] {
    ServerApplication app(&looping, &site_.config());
    RegisteredApplication registered(process.threads(), &app);
    app.Execute();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  MemoryRequest quick;
  site_.Prepare(&quick, "/quick.pxc");
  {
    ServerApplication app(&quick, &site_.config());
    RegisteredApplication registered(process.threads(), &app);
    EXPECT_EQ(app.Execute(), 0);
  }
  loop_thread.join();
  double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_EQ(quick.response.body, "done");
  EXPECT_EQ(looping.response.body, "Application timed out");
  EXPECT_EQ(looping.response.status, 503);
  // A deadline is whole seconds: up to two past the start, plus one wake.
  EXPECT_GE(elapsed, 1.0);
  EXPECT_LT(elapsed, 4.0);
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
  ServerApplication app(&request, &site.config());
  app.config()->SetInteger(CFG_TIMEOUT_GLOBAL, 10);
  app.config()->SetInteger(CFG_TIMEOUT_POST, 0);
  app.CheckTimeouts(std::time(nullptr) + 1000);  // no deadline yet
  EXPECT_EQ(app.flags()->machine.timeout.load(), 0);
  app.StartGlobalTimer();
  time_t deadline = app.global_deadline();
  ASSERT_NE(deadline, 0);
  app.CheckTimeouts(deadline);
  EXPECT_EQ(app.flags()->machine.timeout.load(), 0);
  app.CheckTimeouts(deadline + 1);
  EXPECT_EQ(app.flags()->machine.timeout.load(), 1);
  app.StartPostTimer();  // 0: no deadline
  app.CheckTimeouts(deadline + 100000);
  EXPECT_EQ(app.flags()->post_timed_out.load(), 0);
  EXPECT_EQ(app.flags()->ticks.load(), 4);
}

TEST(ApplicationSettings, LockHostNameDefaultsToServerName) {
  Site site;
  struct Case {
    const char* server_name;  // null: the server has none
    const char* expected;     // null: no value
  } cases[] = {{"shop.example.org", "shop.example.org"}, {nullptr, nullptr}, {"", nullptr}};
  for (const Case& c : cases) {
    MemoryRequest request;
    site.Prepare(&request, "/page.pxc");
    request.variables.erase("SERVER_NAME");
    if (c.server_name) request.variables["SERVER_NAME"] = c.server_name;
    ServerApplication app(&request, &site.config());
    int32_t length = -1;
    const char* value = app.config()->GetString(CFG_LOCK_HOSTNAME, &length);
    if (!c.expected) {
      EXPECT_EQ(value, nullptr);
      EXPECT_EQ(length, 0);
      continue;
    }
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(std::string(value, static_cast<size_t>(length)), c.expected);
    EXPECT_TRUE(app.config()->IsStored(CFG_LOCK_HOSTNAME));
    // A value set later replaces the default.
    app.config()->SetString(CFG_LOCK_HOSTNAME, "other", -1);
    EXPECT_STREQ(app.config()->GetString(CFG_LOCK_HOSTNAME, &length), "other");
  }
}

// What extensions change through the program handle reaches the request's
// settings, the process name, the global deadline and the response.
TEST(ApplicationSettings, ExtensionHooksChangeTheRequest) {
  Site site;
  MemoryRequest request;
  site.Prepare(&request, "/page.pxc");
  ServerApplication app(&request, &site.config());
  struct Case {
    int32_t setting;
    int (*apply)(ServerApplication*, const char*);
  } cases[] = {
      {SETTING_LANGUAGE, [](ServerApplication* a, const char* t) { return a->SetLanguage(t, -1, false); }},
      {SETTING_DEFAULT_LANGUAGE,
       [](ServerApplication* a, const char* t) { return a->SetLanguage(t, -1, true); }},
      {SETTING_DEFAULT_DATABASE,
       [](ServerApplication* a, const char* t) { return a->SetDefaultDatabase(t, 2); }},
  };
  for (const Case& c : cases) {
    int32_t before = app.SettingChanges(c.setting);
    EXPECT_EQ(c.apply(&app, "de-CH"), 1) << c.setting;
    EXPECT_NE(app.SettingChanges(c.setting), before) << c.setting;
    const String& value = app.Setting(c.setting);
    EXPECT_EQ(std::string(value.data(), static_cast<size_t>(value.length())),
              c.setting == SETTING_DEFAULT_DATABASE ? "de" : "de-CH");
  }
  EXPECT_EQ(app.SetProcessName("worker", -1), 1);
  EXPECT_STREQ(app.ProcessName().c_str(), "worker");

  app.config()->SetInteger(CFG_TIMEOUT_GLOBAL, 50);
  EXPECT_EQ(app.global_deadline(), 0);
  EXPECT_EQ(app.ResetGlobalTimeout(), 1);
  EXPECT_GE(app.global_deadline(), std::time(nullptr) + 49);

  app.Write("early", 5);
  EXPECT_EQ(app.FlushOutput(), 1);
  EXPECT_EQ(request.response.body, "early");
  EXPECT_FALSE(request.response.HasHeader("Content-Length"));
}

}  // namespace
}  // namespace testing_serve
}  // namespace pexo
