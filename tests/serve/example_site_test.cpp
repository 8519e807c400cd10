// The example site's pages, assembled from their sources and requested the
// way a server would request them.
#include <gtest/gtest.h>

#include <string>

#include "program/assembler.h"
#include "serve_fixture.h"

namespace pexo {
namespace testing_serve {
namespace {

class ExampleSiteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    site_.Configure("", "");
    for (const char* page : {"index", "form", "upload", "json", "errors"}) {
      std::string source = std::string(PEXO_SOURCE_DIR) + "/examples/site/" + page + ".pxa";
      std::string output = site_.root() + "/" + page + ".pxc";
      String errors;
      ASSERT_TRUE(AssembleToFile(source.c_str(), output.c_str(), &errors)) << errors.c_str();
    }
  }

  // A POST of `body` to `page`.
  std::string Post(const std::string& page, const std::string& type, const std::string& body,
                   int* status = nullptr) {
    MemoryRequest request;
    site_.Prepare(&request, "/" + page);
    request.variables["REQUEST_METHOD"] = "POST";
    request.variables["CONTENT_TYPE"] = type;
    request.variables["CONTENT_LENGTH"] = std::to_string(body.size());
    request.body = body;
    site_.Run(&request, "/" + page);
    if (status) *status = request.response.status;
    return request.response.body;
  }

  Site site_;
};

TEST_F(ExampleSiteTest, HomeLinksEveryPage) {
  MemoryRequest request;
  EXPECT_EQ(site_.Run(&request, "/index.pxc"), 0);
  const std::string& body = request.response.body;
  EXPECT_NE(body.find("Engine version 5.52"), std::string::npos) << body;
  for (const char* link : {"form.pxc", "upload.pxc", "json.pxc", "errors.pxc?3"})
    EXPECT_NE(body.find(link), std::string::npos) << link;
}

TEST_F(ExampleSiteTest, FormEchoIsEntityEncoded) {
  std::string body = Post("form.pxc", "application/x-www-form-urlencoded",
                          "name=%3Cscript%3Ex%3C%2Fscript%3E&comment=a%22b");
  EXPECT_NE(body.find("value=\"&lt;script&gt;x&lt;/script&gt;\""), std::string::npos) << body;
  EXPECT_NE(body.find("value=\"a&quot;b\""), std::string::npos) << body;
  EXPECT_EQ(body.find("<script>"), std::string::npos) << body;
}

TEST_F(ExampleSiteTest, UploadReportsTheFileAndRemovesIt) {
  std::string body =
      "--b1\r\nContent-Disposition: form-data; name=\"note\"\r\n\r\nhi\r\n"
      "--b1\r\nContent-Disposition: form-data; name=\"file\"; filename=\"r.txt\"\r\n"
      "Content-Type: text/plain\r\n\r\n" +
      std::string(1500, 'z') + "\r\n--b1--\r\n";
  std::string page = Post("upload.pxc", "multipart/form-data; boundary=b1", body);
  EXPECT_NE(page.find("value=\"r.txt &#40;text/plain, 1500 bytes, PARTIAL&#41;\""), std::string::npos)
      << page;
  EXPECT_NE(page.find("name=\"note\" value=\"hi\""), std::string::npos) << page;
  EXPECT_TRUE(FilesIn(site_.data()).empty());
}

TEST_F(ExampleSiteTest, JsonEndpointAnswersJson) {
  EXPECT_EQ(Post("json.pxc", "application/json", "{\"a\": 2, \"b\": 40}"), "{\"sum\": 42}");
  MemoryRequest get;
  site_.Run(&get, "/json.pxc");
  EXPECT_EQ(get.response.body.rfind("{\"error\": ", 0), 0u) << get.response.body;
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

}  // namespace
}  // namespace testing_serve
}  // namespace pexo
