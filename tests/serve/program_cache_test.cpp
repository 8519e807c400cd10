// The process's program cache as requests see it: a cached program runs
// with fresh variables, a changed file is loaded again, the byte bound
// evicts the least recently used program, and the logs carry the counts.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "host/program_cache.h"
#include "serve_fixture.h"

namespace pexo {
namespace testing_serve {
namespace {

// Prints what the previous request left in a global (nothing, if the
// variables are fresh), then a localized text.
const char kGreeting[] =
    ".global seen\n.localized \"en-US\" \"w\" \"word\"\n.segment main start\n"
    " pushg seen\n out\n pushc \"stale\"\n popg seen\n localize \"w\"\n";

class ProgramCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    site_.AddProgram("a.pxc", kGreeting);
    site_.AddProgram("b.pxc", ".segment main start\n pushc \"b\"\n out\n");
  }

  // Runs `url` through `cache`; the page. A `slow` run takes 10 seconds by
  // the application's clock and leaves its log records in records_.
  std::string Run(const std::string& url, ProgramCache* cache, bool slow = false) {
    MemoryRequest request;
    site_.Prepare(&request, url);
    RecordingApplication app(&request, &site_.config());
    app.set_program_cache(cache);
    if (slow) app.times = {100, 110};
    EXPECT_EQ(app.Execute(), 0);
    if (slow) records_ = app.log.records;
    return request.response.body;
  }

  void Limit(int64_t bytes, const std::string& more = "") {
    site_.Configure("", "<limits programCacheBytes=\"" + std::to_string(bytes) + "\"/>" + more);
  }

  int64_t BytesOf(const std::string& url) {
    ProgramCache alone;
    Limit(1 << 30);
    Run(url, &alone);
    return alone.counts().bytes;
  }

  Site site_;
  std::vector<std::string> records_;
};

TEST_F(ProgramCacheTest, CachedProgramRunsWithFreshVariables) {
  ProgramCache cache;
  Limit(1 << 20);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Run("/a.pxc", &cache), "word") << i;
  ProgramCache::Counts counts = cache.counts();
  EXPECT_EQ(counts.misses, 1u);
  EXPECT_EQ(counts.hits, 2u);
  EXPECT_EQ(counts.entries, 1);
  EXPECT_GT(counts.bytes, 0);
}

// Files run with PxDO come through the cache too; expressions compiled in
// their context run the same in every request.
TEST_F(ProgramCacheTest, CalledFilesComeThroughTheCache) {
  site_.AddProgram("lib.pxc",
                   ".localized \"en-US\" \"w\" \"called\"\n.segment main start\n localize \"w\"\n"
                   ".segment code\n.function twice(x)\n pushl x\n pushi 2\n mul\n ret\n.end\n");
  site_.AddProgram("caller.pxc",
                   ".segment main start\n pushc \"lib.pxc\"\n op_do_file\n pushc \";\"\n out\n"
                   " pushc \"lib.pxc\"\n pushc \"twice(21)\"\n op_do_function\n out\n");
  ProgramCache cache;
  Limit(1 << 20);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Run("/caller.pxc", &cache), "called;42") << i;
  EXPECT_EQ(cache.counts().misses, 2u);
  EXPECT_EQ(cache.counts().hits, 4u);
  EXPECT_EQ(cache.counts().entries, 2);
}

TEST_F(ProgramCacheTest, ChangedFileIsLoadedAgain) {
  ProgramCache cache;
  Limit(1 << 20);
  EXPECT_EQ(Run("/b.pxc", &cache), "b");
  site_.AddProgram("b.pxc", ".segment main start\n pushc \"changed\"\n out\n");
  EXPECT_EQ(Run("/b.pxc", &cache), "changed");
  EXPECT_EQ(Run("/b.pxc", &cache), "changed");
  EXPECT_EQ(cache.counts().misses, 2u);
  EXPECT_EQ(cache.counts().entries, 1);
}

TEST_F(ProgramCacheTest, TheBoundDecidesWhatIsKept) {
  const int64_t a = BytesOf("/a.pxc"), b = BytesOf("/b.pxc");
  ASSERT_GT(a, 0);
  struct Case {
    int64_t limit;
    std::vector<std::string> urls;
    uint64_t hits;
    int64_t entries;
  } cases[] = {
      {0, {"/a.pxc", "/a.pxc"}, 0, 0},                    // off
      {a - 1, {"/a.pxc", "/a.pxc"}, 0, 0},                // too large to keep
      {a + b, {"/a.pxc", "/b.pxc", "/a.pxc", "/b.pxc"}, 2, 2},
      // Room for one: b evicts a, a evicts b, a stays.
      {std::max(a, b), {"/a.pxc", "/b.pxc", "/a.pxc", "/a.pxc"}, 1, 1},
  };
  for (const Case& c : cases) {
    ProgramCache cache;
    Limit(c.limit);
    for (const std::string& url : c.urls)
      EXPECT_EQ(Run(url, &cache), url == "/a.pxc" ? "word" : "b") << c.limit;
    EXPECT_EQ(cache.counts().hits, c.hits) << c.limit;
    EXPECT_EQ(cache.counts().entries, c.entries) << c.limit;
    EXPECT_LE(cache.counts().bytes, std::max<int64_t>(c.limit, 0)) << c.limit;
  }
}

TEST_F(ProgramCacheTest, DebugAndSlowRequestLogsCarryTheCounts) {
  ProgramCache cache;
  std::string trace = site_.data() + "/trace.log";
  Limit(1 << 20, "<debugLog level=\"0x1000000\" file=\"" + trace +
                     "\"/><slowrequestsyslog syslog=\"5\" ident=\"slow\"/>");
  Run("/b.pxc", &cache);
  Run("/b.pxc", &cache, true);
  std::ifstream in(trace);
  std::string miss, hit;
  std::getline(in, miss);
  std::getline(in, hit);
  EXPECT_NE(miss.find("\tProgram Cache\tmiss, hits=0, misses=1, entries=1, bytes="),
            std::string::npos) << miss;
  EXPECT_NE(hit.find("\tProgram Cache\thit, hits=1, misses=1, entries=1, bytes="),
            std::string::npos) << hit;
  ASSERT_EQ(records_.size(), 2u);
  EXPECT_EQ(records_[0].rfind("slow: Slow Request: 10 seconds: ", 0), 0u) << records_[0];
  EXPECT_EQ(records_[1].rfind("slow: Program Cache: hit, hits=1, misses=1, entries=1, ", 0), 0u)
      << records_[1];
}

// Requests on several threads share one cached program (run under the
// thread sanitizer in CI).
TEST_F(ProgramCacheTest, ConcurrentRequestsShareOneProgram) {
  ProgramCache cache;
  Limit(1 << 20);
  std::vector<std::thread> threads;
  std::vector<int> wrong(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 25; ++i) {
        MemoryRequest request;
        site_.Prepare(&request, "/a.pxc");
        ServerApplication app(&request, &site_.config());
        app.set_program_cache(&cache);
        if (app.Execute() != 0 || request.response.body != "word") ++wrong[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong, std::vector<int>(4, 0));
  EXPECT_EQ(cache.counts().hits + cache.counts().misses, 100u);
  EXPECT_EQ(cache.counts().entries, 1);
}

}  // namespace
}  // namespace testing_serve
}  // namespace pexo
