// The example site under every binding: each page, requested the same way
// through the module, the standalone server (`pexo serve`) and the command
// line (`pexo run`), gives the same body. The configuration names no
// function library, so every binding finds the standard library by its
// default lookup.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "apache_server.h"
#include "http_exchange.h"
#include "serve_process.h"

namespace pexo {
namespace testing_apache {
namespace {

const char kSiteDir[] = PEXO_SOURCE_DIR "/examples/site";
const char kFormType[] = "application/x-www-form-urlencoded";
const char kUploadType[] = "multipart/form-data; boundary=b1";
const char kUploadBody[] =
    "--b1\r\nContent-Disposition: form-data; name=\"note\"\r\n\r\n<i>hi</i>\r\n"
    "--b1\r\nContent-Disposition: form-data; name=\"file\"; filename=\"r<1>.txt\"\r\n"
    "Content-Type: text/plain\r\n\r\n0123456789\r\n--b1--\r\n";

// One request of a page, and a part of the body every binding must give
// (so that three equal failures cannot pass).
struct PageRequest {
  const char* page;  // examples/site/<page>.pxa
  const char* query;
  const char* method;
  const char* type;  // Content-Type of the body; "" for none
  const char* body;
  const char* expect;
};

const PageRequest kRequests[] = {
    {"index", "", "GET", "", "", "Engine version 5.52"},
    {"form", "", "GET", "", "", "<input name=\"name\" value=\"\">"},
    {"form", "", "POST", kFormType, "name=%3Cb%3Ex&comment=a%22b%26",
     "Hello, <b>&lt;b&gt;x</b>"},
    {"upload", "", "POST", kUploadType, kUploadBody,
     "r&lt;1&gt;.txt &#40;text/plain, 10 bytes, COMPLETE&#41;"},
    {"json", "", "GET", "", "", "{\"error\":\"POST a JSON object with the numbers a and b\"}"},
    {"json", "", "POST", "application/json", "{\"a\": 2, \"b\": 40}",
     "{\"bytes\":17,\"received\":{\"a\":2,\"b\":40},\"sum\":42}"},
    {"errors", "0", "GET", "", "", "after the error"},
    {"errors", "1", "GET", "", "", "Array index must be positive integer"},
    {"errors", "2", "GET", "", "", "before the error"},
    {"errors", "3", "GET", "", "", "Array index must be positive integer"},
};

// The site's page names (without ".pxa").
std::set<std::string> SitePages() {
  std::set<std::string> pages;
  DIR* dir = opendir(kSiteDir);
  if (!dir) return pages;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".pxa") == 0)
      pages.insert(name.substr(0, name.size() - 4));
  }
  closedir(dir);
  return pages;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

HttpReply Ask(int port, const std::string& path, const PageRequest& r) {
  std::string target = path + r.page + ".pxc";
  if (*r.query) target += std::string("?") + r.query;
  std::string headers = *r.type ? std::string("Content-Type: ") + r.type + "\r\n" : "";
  return Request(port, r.method, target, headers, r.body);
}

// The body `pexo run` writes for the request; its own messages go to
// `dir`/run.log.
std::string RunCommandLine(const ApacheServer& server, const PageRequest& r) {
  std::string body_file = server.dir() + "/body.bin";
  WriteText(body_file, r.body);
  std::string command = std::string(PEXO_BINARY_DIR) + "/tools/pexo run --config '" +
                        server.dir() + "/pexo.xml' --method " + r.method + " --query '" +
                        r.query + "'";
  if (*r.type) command += std::string(" --content-type '") + r.type + "' --body '" + body_file + "'";
  command += " '" + server.root() + "/" + r.page + ".pxc' 2>'" + server.dir() + "/run.log'";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return "popen failed";
  std::string text;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
  pclose(pipe);
  return text;
}

class ExampleSiteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access(kApacheBinary, X_OK) != 0) GTEST_SKIP() << kApacheBinary << " is not installed";
    std::string error;
    for (const std::string& page : SitePages()) {
      std::string source = ReadFile(std::string(kSiteDir) + "/" + page + ".pxa");
      ASSERT_TRUE(apache_.AddProgram(page + ".pxc", source, &error)) << page << ": " << error;
    }
  }
  void TearDown() override {
    apache_.Stop();
    std::string log = apache_.ErrorLog();
    for (const char* sign : {"exit signal", "AddressSanitizer", "runtime error"})
      EXPECT_EQ(log.find(sign), std::string::npos) << log;
  }

  ApacheServer apache_;
};

TEST_F(ExampleSiteTest, EveryPageAnswersAlikeUnderEveryBinding) {
  std::string error;
  ASSERT_TRUE(apache_.Start("", "", &error)) << error;
  ServeProcess serve;
  ASSERT_TRUE(serve.Start(apache_.dir() + "/pexo.xml", apache_.root(),
                          apache_.dir() + "/logs/serve.log", &error))
      << error;

  std::set<std::string> untried = SitePages();
  ASSERT_FALSE(untried.empty()) << kSiteDir;
  for (const PageRequest& r : kRequests) {
    untried.erase(r.page);
    std::string label = std::string(r.method) + " " + r.page + "?" + r.query;
    // The module serves the site's document root; the scripts sit in root/.
    HttpReply module = Ask(apache_.port(), "/root/", r);
    HttpReply standalone = Ask(serve.port(), "/", r);
    std::string command_line = RunCommandLine(apache_, r);
    // None of the pages prints what differs between bindings (apitype,
    // server name and port, times, caller id), so the bodies are compared
    // whole.
    EXPECT_NE(module.body.find(r.expect), std::string::npos) << label << "\n" << module.body;
    EXPECT_EQ(module.status, standalone.status) << label;
    EXPECT_EQ(module.body, standalone.body) << label;
    EXPECT_EQ(module.body, command_line) << label << "\n" << ReadFile(apache_.dir() + "/run.log");
  }
  EXPECT_TRUE(untried.empty()) << "a page of the site without a request: " << *untried.begin();
}

// A function library named in the configuration is loaded from its path
// under the module too.
TEST_F(ExampleSiteTest, NamedFunctionLibraryUnderTheModule) {
  std::string copy = apache_.dir() + "/functions.so";
  ASSERT_TRUE(WriteText(copy, ReadFile(PEXO_BINARY_DIR "/tools/libpexostd.so")));
  std::string error;
  ASSERT_TRUE(apache_.Start("<libraries><add type=\"0\" library=\"" + copy + "\"/></libraries>",
                            "", &error))
      << error;
  HttpReply reply = Ask(apache_.port(), "/root/", kRequests[2]);
  EXPECT_EQ(reply.status, 200);
  EXPECT_NE(reply.body.find(kRequests[2].expect), std::string::npos) << reply.body;
}

}  // namespace
}  // namespace testing_apache
}  // namespace pexo
