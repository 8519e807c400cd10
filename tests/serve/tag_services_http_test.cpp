// PxDO, captures and lock files in requests served over loopback HTTP by
// the standalone server.
#ifdef PEXO_HAVE_CIVETWEB

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "host/civetweb/standalone_server.h"
#include "http_exchange.h"
#include "serve_fixture.h"

namespace pexo {
namespace testing_serve {
namespace {

class TagServicesHttpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mkdir((site_.root() + "/parts").c_str(), 0755);
    // The called file counts its runs in the caller's global and captures
    // its own part of the page.
    site_.AddProgram("parts/part.pxc",
                     ".global runs, piece\n.segment main start\n incg runs, 1\n pushg piece\n"
                     " capture\n pushc \"part\"\n out\n pushg runs\n out\n capture_end\n");
    site_.AddProgram("page.pxc",
                     ".global runs, piece\n.segment main start\n pushc \"parts/part.pxc\"\n"
                     " op_do_file\n pushc \"parts/part.pxc\"\n op_do_file\n pushc \"[\"\n"
                     " pushg piece\n cat\n pushc \"]\"\n cat\n out\n pushg piece\n capture\n"
                     " pushc \"unsent\"\n out\n");
    // Holds a lock for a while; a lock left behind would make the next
    // request wait for the file time-out.
    site_.AddProgram("locked.pxc",
                     ".segment main start\n pushc \"shared\"\n lockfile\n pushc \"locked\"\n out\n");
    std::string config = site_.dir() + "/pexo.xml";
    std::ofstream(config) << "<configuration><PexoScript serverAdmin=\"\"><paths root=\"" +
                                 site_.root() + "\" data=\"" + site_.data() +
                                 "\"/><timeouts global=\"10\" file=\"5\"/></PexoScript>"
                                 "</configuration>";
    ServeOptions options;
    options.port = 0;
    options.site = site_.root();
    options.config = config;
    std::string error;
    ASSERT_TRUE(server_.Start(options, &error)) << error;
    port_ = server_.port();
    ASSERT_GT(port_, 0);
  }
  void TearDown() override {
    server_.StopAndClean();
  }

  Site site_;
  TestServer server_;
  int port_ = 0;
};

TEST_F(TagServicesHttpTest, CalledFilesAndCapturesMakeThePage) {
  // Each request has its own contexts and globals; the capture left open at
  // the end drops its text and the page before it goes out whole.
  for (int i = 0; i < 2; ++i) {
    std::string reply = Get(port_, "/page.pxc");
    EXPECT_EQ(reply.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << reply;
    EXPECT_EQ(BodyOf(reply), "[part2]") << reply;
    EXPECT_EQ(HeaderOf(reply, "Content-Length"), "7") << reply;
  }
}

TEST_F(TagServicesHttpTest, LocksEndWithTheirRequests) {
  auto started = std::chrono::steady_clock::now();
  std::vector<std::thread> clients;
  std::vector<std::string> replies(4);
  for (size_t i = 0; i < replies.size(); ++i)
    clients.emplace_back([this, &replies, i] { replies[i] = Get(port_, "/locked.pxc"); });
  for (std::thread& client : clients) client.join();
  double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  for (const std::string& reply : replies) EXPECT_EQ(BodyOf(reply), "locked") << reply;
  EXPECT_LT(elapsed, 4.0);
  EXPECT_NE(access((site_.data() + "/shared.lck").c_str(), F_OK), 0);
}

// The tags' messages reach the served page: ends without a start, a lock
// outside the data directory, a missing called file, an unknown commerce
// method, an isolation word that is not one, a damaged language index.
TEST_F(TagServicesHttpTest, TagMessagesReachThePage) {
  struct Case {
    const char* source;
    const char* message;
  } cases[] = {
      {".segment main start\n capture_end\n",
       "Fatal error in m0.pxc @ [00000000:00000000]: Invalid instruction"},
      {".segment main start\n op_commerce_stop x\nx:\n",
       "Fatal error in m1.pxc @ [00000000:00000000]: Invalid instruction"},
      {".segment main start\n tagerror 23, 1\n pushc \"../x\"\n lockfile\n",
       "Runtime error in m2.pxc @ [00000000:00000010]: PxLOCKFILE: Error creating lockfile "
       "'../x.lck': The specified path references a path outside the configured data "
       "directory\n|after"},
      {".segment main start\n tagerror 22, 1\n pushc \"nosuch.pxc\"\n op_do_file\n",
       "Runtime error in m3.pxc @ [00000000:00000010]: PxDO: No such file or directory\n|after"},
      {".segment main start\n pushc \"NOPE\"\n pushc \"\"\n pushc \"a\"\n op_commerce x\nx:\n",
       "Runtime error in m4.pxc @ [00000000:00000012]: PxCOMMERCE: Commerce method 'NOPE' is "
       "unsupported or not configured"},
      {".segment main start\n pushc \"local\"\n asyncn x 1\n retn\nx:\n",
       "PxASYNCHRONOUS: Unsupported isolation flag &quot;local&quot;"},
      {".localized \"en-US\" \"k\" \"T\"\n.section 0x584C\n .bytes 0 0 33 0 0 0 0 0 0 0 0\n"
       ".endsection\n.segment main start\n tagerror 24, 1\n localize \"k\"\n",
       "PxLOCALIZED: localized_index_header.bucket_bits out of range"},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::string name = "m" + std::to_string(n++) + ".pxc";
    site_.AddProgram(name, std::string(c.source) + " pushc \"|after\"\n out\n");
    std::string body = BodyOf(Get(port_, "/" + name));
    EXPECT_NE(body.find(c.message), std::string::npos) << name << ": " << body;
  }
}

}  // namespace
}  // namespace testing_serve
}  // namespace pexo

#endif  // PEXO_HAVE_CIVETWEB
