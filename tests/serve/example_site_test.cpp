// The example site's pages, assembled from their sources and requested the
// way a server would request them: in memory, through the `pexo` program's
// run command, and over HTTP against the standalone server. The pages call
// the standard library, so every configuration names the built one.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "ext/posix_external_library_manager.h"
#include "program/assembler.h"
#include "serve_fixture.h"
#ifdef PEXO_HAVE_CIVETWEB
#include "host/civetweb/standalone_server.h"
#include "http_exchange.h"
#endif

namespace pexo {
namespace testing_serve {
namespace {

const char kLibraries[] =
    "<libraries><add type=\"0\" library=\"" PEXO_BINARY_DIR "/tools/libpexostd.so\"/></libraries>";

const char kHostileName[] = "%3Cscript%3Ealert(1)%3C%2Fscript%3E";
const char kHostileNameEncoded[] = "&lt;script&gt;alert&#40;1&#41;&lt;/script&gt;";

const char kJsonBody[] = "{\"a\": 2, \"b\": 40}";
const char kJsonAnswer[] = "{\"bytes\":17,\"received\":{\"a\":2,\"b\":40},\"sum\":42}";

std::string UploadBody(size_t file_bytes) {
  return "--b1\r\nContent-Disposition: form-data; name=\"note\"\r\n\r\n<i>hi</i>\r\n"
         "--b1\r\nContent-Disposition: form-data; name=\"file\"; filename=\"r<1>.txt\"\r\n"
         "Content-Type: text/plain\r\n\r\n" +
         std::string(file_bytes, 'z') + "\r\n--b1--\r\n";
}

// Assembles every page of the site into `dir`.
void AssembleSite(const std::string& dir) {
  for (const char* page : {"index", "form", "upload", "json", "errors"}) {
    std::string source = std::string(PEXO_SOURCE_DIR) + "/examples/site/" + page + ".pxa";
    std::string output = dir + "/" + page + ".pxc";
    String errors;
    ASSERT_TRUE(AssembleToFile(source.c_str(), output.c_str(), &errors)) << errors.c_str();
  }
}

class ExampleSiteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartExternalLibraries();  // the process-wide loader, as a server starts it
    site_.Configure("", kLibraries);
    AssembleSite(site_.root());
  }

  // A POST of `body` to `page`.
  MemoryResponse Post(const std::string& page, const std::string& type, const std::string& body) {
    MemoryRequest request;
    site_.Prepare(&request, "/" + page);
    request.variables["REQUEST_METHOD"] = "POST";
    request.variables["CONTENT_TYPE"] = type;
    request.variables["CONTENT_LENGTH"] = std::to_string(body.size());
    request.body = body;
    site_.Run(&request, "/" + page);
    return request.response;
  }

  Site site_;
};

TEST_F(ExampleSiteTest, HomeLinksEveryPage) {
  MemoryRequest request;
  EXPECT_EQ(site_.Run(&request, "/index.pxc"), 0);
  const std::string& body = request.response.body;
  EXPECT_NE(body.find("Engine version 5.52"), std::string::npos) << body;
  for (const char* link :
       {"form.pxc", "upload.pxc", "json.pxc", "errors.pxc?0", "errors.pxc?1", "errors.pxc?2",
        "errors.pxc?3"})
    EXPECT_NE(body.find(link), std::string::npos) << link;
}

TEST_F(ExampleSiteTest, FormEchoIsEntityEncoded) {
  std::string body = Post("form.pxc", "application/x-www-form-urlencoded",
                          std::string("name=") + kHostileName + "&comment=a%22b%26")
                         .body;
  EXPECT_NE(body.find(std::string("Hello, <b>") + kHostileNameEncoded + "</b>"),
            std::string::npos)
      << body;
  EXPECT_NE(body.find(std::string("value=\"") + kHostileNameEncoded + "\""), std::string::npos)
      << body;
  EXPECT_NE(body.find("Your comment (4 bytes):</p>\n<blockquote>a&quot;b&amp;</blockquote>"),
            std::string::npos)
      << body;
  EXPECT_NE(body.find("<textarea name=\"comment\">a&quot;b&amp;</textarea>"), std::string::npos)
      << body;
  EXPECT_EQ(body.find("<script>"), std::string::npos) << body;
}

TEST_F(ExampleSiteTest, FormWithoutPostShowsTheEmptyForm) {
  MemoryRequest request;
  site_.Run(&request, "/form.pxc");
  const std::string& body = request.response.body;
  EXPECT_EQ(body.find("Hello"), std::string::npos) << body;
  EXPECT_NE(body.find("<input name=\"name\" value=\"\">"), std::string::npos) << body;
}

TEST_F(ExampleSiteTest, UploadReportsTheFileAndRemovesIt) {
  std::string page = Post("upload.pxc", "multipart/form-data; boundary=b1", UploadBody(1500)).body;
  EXPECT_NE(page.find("Received: <b>r&lt;1&gt;.txt &#40;text/plain, 1500 bytes, PARTIAL&#41;</b>"),
            std::string::npos)
      << page;
  EXPECT_NE(page.find("Note: &lt;i&gt;hi&lt;/i&gt;"), std::string::npos) << page;
  EXPECT_TRUE(FilesIn(site_.data()).empty());
  std::string small = Post("upload.pxc", "multipart/form-data; boundary=b1", UploadBody(10)).body;
  EXPECT_NE(small.find("10 bytes, COMPLETE"), std::string::npos) << small;
}

TEST_F(ExampleSiteTest, JsonEndpointAnswersJson) {
  MemoryResponse posted = Post("json.pxc", "application/json", kJsonBody);
  EXPECT_EQ(posted.body, kJsonAnswer);
  EXPECT_EQ(posted.Header("Content-Type"), "application/json");
  // Texts from the body are escaped by the encoder, never copied raw.
  MemoryResponse quoted = Post("json.pxc", "application/json", "{\"a\": 1, \"q\": \"x\\\"<\"}");
  EXPECT_EQ(quoted.body, "{\"bytes\":21,\"received\":{\"a\":1,\"q\":\"x\\\"\\u003C\"},\"sum\":1}");
  MemoryRequest get;
  site_.Run(&get, "/json.pxc");
  EXPECT_EQ(get.response.body, "{\"error\":\"POST a JSON object with the numbers a and b\"}");
  EXPECT_EQ(get.response.Header("Content-Type"), "application/json");
}

TEST_F(ExampleSiteTest, ErrorPageUnderEachSetting) {
  struct Case {
    const char* setting;
    int status;
    bool shown;
    bool continues;
  } cases[] = {{"0", 200, false, true},
               {"1", 200, true, true},
               {"2", 500, false, false},
               {"3", 500, true, false}};
  for (const Case& c : cases) {
    MemoryRequest request;
    site_.Run(&request, "/errors.pxc", c.setting);
    const std::string& body = request.response.body;
    EXPECT_EQ(request.response.status, c.status) << c.setting;
    EXPECT_EQ(body.find("Line 20: &#40;in expression&#41;: Array index must be positive "
                        "integer") != std::string::npos,
              c.shown)
        << body;
    EXPECT_EQ(body.find("after the error") != std::string::npos, c.continues) << body;
  }
}

// The site run by the built `pexo` program, which finds the standard
// library beside itself.
class ExampleSiteRunTest : public ::testing::Test {
 protected:
  void SetUp() override { AssembleSite(site_.root()); }

  // `pexo run -i` of `page` with a body of `type`; the exit code in *code.
  std::string RunPage(const std::string& page, const std::string& type, const std::string& body,
                      int* code) {
    std::string body_file = site_.dir() + "/body.bin";
    std::ofstream(body_file, std::ios::binary) << body;
    std::string command = std::string(PEXO_BINARY_DIR) + "/tools/pexo run -i --root '" +
                          site_.root() + "' --data '" + site_.data() +
                          "' --method POST --content-type '" + type + "' --body '" + body_file +
                          "' '" + site_.root() + "/" + page + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return "popen failed";
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) text.append(buffer, n);
    *code = WEXITSTATUS(pclose(pipe));
    return text;
  }

  Site site_;
};

TEST_F(ExampleSiteRunTest, SafeEchoJsonAndUpload) {
  int code = -1;
  std::string form = RunPage("form.pxc", "application/x-www-form-urlencoded",
                             std::string("name=") + kHostileName, &code);
  EXPECT_EQ(code, 0) << form;
  EXPECT_NE(form.find(std::string("Hello, <b>") + kHostileNameEncoded + "</b>"),
            std::string::npos)
      << form;
  EXPECT_EQ(form.find("<script>"), std::string::npos) << form;

  std::string json = RunPage("json.pxc", "application/json", kJsonBody, &code);
  EXPECT_EQ(code, 0) << json;
  EXPECT_NE(json.find("\r\nContent-Type: application/json\r\n"), std::string::npos) << json;
  EXPECT_EQ(json.find("text/html"), std::string::npos) << json;
  EXPECT_EQ(json.substr(json.find("\r\n\r\n") + 4), kJsonAnswer) << json;

  std::string upload =
      RunPage("upload.pxc", "multipart/form-data; boundary=b1", UploadBody(1500), &code);
  EXPECT_EQ(code, 0) << upload;
  EXPECT_NE(upload.find("1500 bytes, PARTIAL"), std::string::npos) << upload;
  EXPECT_TRUE(FilesIn(site_.data()).empty());
}

#ifdef PEXO_HAVE_CIVETWEB
class ExampleSiteHttpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartExternalLibraries();
    AssembleSite(site_.root());
    std::string config = site_.dir() + "/pexo.xml";
    std::ofstream(config) << "<configuration><PexoScript serverAdmin=\"\"><paths root=\"" +
                                 site_.root() + "\" data=\"" + site_.data() + "\"/>" +
                                 kLibraries + "</PexoScript></configuration>";
    ServeOptions options;
    options.port = 0;
    options.site = site_.root();
    options.config = config;
    std::string error;
    ASSERT_TRUE(server_.Start(options, &error)) << error;
    port_ = server_.port();
  }
  void TearDown() override {
    server_.StopAndClean();
  }

  Site site_;
  TestServer server_;
  int port_ = 0;
};

TEST_F(ExampleSiteHttpTest, SafeEchoJsonAndUpload) {
  std::string form = Post(port_, "/form.pxc", "application/x-www-form-urlencoded",
                          std::string("name=") + kHostileName + "&comment=x");
  EXPECT_EQ(form.rfind("HTTP/1.1 200", 0), 0u) << form;
  EXPECT_NE(BodyOf(form).find(std::string("Hello, <b>") + kHostileNameEncoded + "</b>"),
            std::string::npos)
      << form;
  EXPECT_EQ(form.find("<script>"), std::string::npos) << form;

  std::string json = Post(port_, "/json.pxc", "application/json", kJsonBody);
  EXPECT_EQ(json.rfind("HTTP/1.1 200", 0), 0u) << json;
  EXPECT_EQ(HeaderOf(json, "Content-Type"), "application/json") << json;
  EXPECT_EQ(BodyOf(json), kJsonAnswer) << json;

  std::string upload = Post(port_, "/upload.pxc", "multipart/form-data; boundary=b1",
                            UploadBody(20000));
  EXPECT_NE(BodyOf(upload).find("r&lt;1&gt;.txt &#40;text/plain, 20000 bytes, PARTIAL&#41;"),
            std::string::npos)
      << upload;
  EXPECT_TRUE(FilesIn(site_.data()).empty());
}
#endif  // PEXO_HAVE_CIVETWEB

}  // namespace
}  // namespace testing_serve
}  // namespace pexo
