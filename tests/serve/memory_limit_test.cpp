// The per-request memory limit: a runaway request stops with a fatal error
// while others are served, and the heap it used goes back to the system.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "serve_fixture.h"

namespace pexo {
namespace testing_serve {
namespace {

// Fills a[1], a[2], ... until something stops it.
const char kFillArray[] =
    ".global a, i\n"
    ".segment main start\n"
    "        storegi i, 1\n"
    "again:  pushg i\n"
    "        pushg a\n"
    "        pushg i\n"
    "        elem\n"
    "        store\n"
    "        incg i, 1\n"
    "        jmp again\n";

// s = "x"; then s = s $ s for ever, printing "+" after each doubling.
const char kDoubleText[] =
    ".global s\n"
    ".segment main start\n"
    "        pushc \"x\"\n"
    "        popg s\n"
    "again:  pushg s\n"
    "        pushg s\n"
    "        cat\n"
    "        popg s\n"
    "        pushc \"+\"\n"
    "        out\n"
    "        jmp again\n";

// s = s $ 64 bytes for ever: the store that follows fuses with the cat, so
// the text grows in place.
const char kAppendText[] =
    ".global s\n"
    ".segment main start\n"
    "        pushc \"\"\n"
    "        popg s\n"
    "again:  pushg s\n"
    "        pushc \"0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef\"\n"
    "        cat\n"
    "        popg s\n"
    "        jmp again\n";

const char kQuick[] = ".segment main start\n pushc \"done\"\n out\n";

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

int64_t ResidentBytes() {
  long pages = 0, resident = 0;
  FILE* statm = std::fopen("/proc/self/statm", "r");
  if (!statm) return -1;
  int got = std::fscanf(statm, "%ld %ld", &pages, &resident);
  std::fclose(statm);
  return got == 2 ? static_cast<int64_t>(resident) * sysconf(_SC_PAGESIZE) : -1;
}

// The peak resident size since the last ResetPeak, or -1.
int64_t PeakResidentBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stoll(line.substr(6)) * 1024;
  }
  return -1;
}

bool ResetPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return clear.good();
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

class MemoryLimitTest : public ::testing::Test {
 protected:
  Site site_;
};

TEST_F(MemoryLimitTest, RunawayArrayStopsWhileAnotherRequestIsServed) {
  site_.Configure("", "<limits maxRequestMemory=\"48\"/>");
  site_.AddProgram("fill.pxc", kFillArray);
  site_.AddProgram("quick.pxc", kQuick);
  MemoryRequest warm;
  site_.Run(&warm, "/quick.pxc");
  int64_t before = ResidentBytes();
  bool peak_known = ResetPeak();

  MemoryRequest runaway;
  site_.Prepare(&runaway, "/fill.pxc");
  std::thread runaway_thread([&] {
    ServerApplication app(&runaway, &site_.config());
    app.Execute();
  });
  MemoryRequest quick;
  EXPECT_EQ(site_.Run(&quick, "/quick.pxc"), 0);
  runaway_thread.join();

  EXPECT_EQ(quick.response.body, "done");
  EXPECT_EQ(runaway.response.status, 500);
  EXPECT_EQ(runaway.response.body.rfind("Fatal error in fill.pxc @ [00000000:", 0), 0u)
      << runaway.response.body;
  EXPECT_TRUE(EndsWith(runaway.response.body, ": Memory limit exceeded\n"))
      << runaway.response.body;
  if (kSanitized) return;  // the sanitizer's allocator keeps freed memory
  int64_t after = ResidentBytes();
  if (peak_known) {
    int64_t peak = PeakResidentBytes();
    EXPECT_GT(peak - before, 32ll << 20) << "the runaway never grew";
    EXPECT_LT(peak - before, 160ll << 20) << "the limit did not hold";
  }
  EXPECT_LT(after - before, 16ll << 20) << "before " << before << ", after " << after;
}

TEST_F(MemoryLimitTest, TextDoublingIsRefusedNearTheLimit) {
  site_.Configure("", "<limits maxRequestMemory=\"16\"/>");
  site_.AddProgram("double.pxc", kDoubleText);
  MemoryRequest request;
  EXPECT_EQ(site_.Run(&request, "/double.pxc"), 0);
  EXPECT_EQ(request.response.status, 500);
  // 22 doublings reach 4 MiB; the next builds 8 MiB in pieces, and joining
  // them needs 8 MiB more: 20 MiB, past the limit and its headroom, so the
  // join is refused before it allocates.
  const std::string& body = request.response.body;
  EXPECT_EQ(body.rfind(std::string(22, '+') + "Fatal error in double.pxc @ ", 0), 0u)
      << body.substr(0, 100);
  EXPECT_TRUE(EndsWith(body, ": Memory limit exceeded\n")) << body;
}

TEST_F(MemoryLimitTest, AppendingInPlaceStopsAtTheLimit) {
  site_.Configure("", "<limits maxRequestMemory=\"16\"/>");
  site_.AddProgram("append.pxc", kAppendText);
  MemoryRequest request;
  EXPECT_EQ(site_.Run(&request, "/append.pxc"), 0);
  EXPECT_EQ(request.response.status, 500);
  // One report, from the append itself: the instruction ends there.
  const std::string& body = request.response.body;
  EXPECT_EQ(body.rfind("Fatal error in append.pxc @ [", 0), 0u) << body.substr(0, 100);
  EXPECT_EQ(body.find("Fatal error", 1), std::string::npos) << body;
  EXPECT_TRUE(EndsWith(body, ": Memory limit exceeded\n")) << body;
}

}  // namespace
}  // namespace testing_serve
}  // namespace pexo
