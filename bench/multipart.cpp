// Throughput of the multipart parser on a 100 MB upload fed in 8192-byte
// pieces, streamed to a real temporary file, and with the upload skipped
// (parsing alone). The body is generated piece by piece, so peak memory
// (reported as peak_rss_mb) shows what the parser itself holds.
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "io/multipart_parser.h"
#include "values/variable.h"

namespace {

constexpr int64_t kUploadSize = 100 << 20;
constexpr int32_t kPiece = 8192;

class DiskFile : public pexo::UploadFile {
 public:
  explicit DiskFile(std::FILE* f) : f_(f) {}
  ~DiskFile() override {
    if (f_) std::fclose(f_);
  }
  bool Write(const char* data, int32_t length) override {
    return std::fwrite(data, 1, static_cast<size_t>(length), f_) == static_cast<size_t>(length);
  }
  bool Close() override {
    bool ok = std::fclose(f_) == 0;
    f_ = nullptr;
    return ok;
  }

 private:
  std::FILE* f_;
};

class TmpFiles : public pexo::UploadFileFactory {
 public:
  pexo::UploadFile* CreateTemporaryFile(pexo::String* path) override {
    char name[] = "/tmp/PEXO_FUP.XXXXXX";
    int fd = mkstemp(name);
    if (fd < 0) return nullptr;
    path->assign(name);
    return new DiskFile(fdopen(fd, "wb"));
  }
  void DeleteFile(const pexo::String& path) override { unlink(path.c_str()); }
};

class Callbacks : public pexo::UploadCallbacks {
 public:
  explicit Callbacks(bool accept) : accept_(accept) {}
  pexo::UploadCallResult ValidateFileUpload(const pexo::String&, const pexo::String&,
                                            const pexo::String&, int32_t* result) override {
    *result = 0;
    return accept_ ? pexo::kUploadCallDone : pexo::kUploadCallUndefined;
  }
  pexo::UploadCallResult ProcessFileUpload(const pexo::String&, const pexo::String&,
                                           const char*, const pexo::String&,
                                           const pexo::String&, int64_t received) override {
    received_ = received;
    return pexo::kUploadCallDone;
  }
  int64_t received_ = -1;

 private:
  bool accept_;
};

class NoStore : public pexo::ContentVariableStore {
 public:
  bool SetFormField(const char*, int32_t, const char*, int32_t) override { return true; }
  pexo::Variable* MakeVariable(const char*) override { return nullptr; }
};

double PeakRssMb() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void Upload(benchmark::State& state, bool accept) {
  const std::string head =
      "--BoUnDaRy0123\r\nContent-Disposition: form-data; name=\"f\"; filename=\"big.bin\"\r\n"
      "Content-Type: application/octet-stream\r\n\r\n";
  const std::string tail = "\r\n--BoUnDaRy0123--\r\n";
  // Random-looking data with plenty of CR LF "--" look-alikes.
  std::vector<char> data(1 << 16);
  uint32_t seed = 12345;
  for (char& c : data) {
    seed = seed * 1103515245 + 12345;
    c = static_cast<char>(seed >> 24);
    if ((seed & 0x3FF) == 0) c = '\r';
  }
  std::memcpy(&data[1000], "\r\n--BoUnDaRy012", 15);
  TmpFiles files;
  NoStore store;
  for (auto _ : state) {
    Callbacks callbacks(accept);
    pexo::MultipartFormParser parser(&callbacks, &files, &store,
                                     "multipart/form-data; boundary=BoUnDaRy0123", -1, 0);
    bool ok = parser.Feed(head.data(), static_cast<int32_t>(head.size()));
    for (int64_t at = 0; ok && at < kUploadSize; at += kPiece) {
      int32_t n = static_cast<int32_t>(std::min<int64_t>(kPiece, kUploadSize - at));
      ok = parser.Feed(&data[static_cast<size_t>(at % static_cast<int64_t>(data.size()))], n);
    }
    ok = ok && parser.Feed(tail.data(), static_cast<int32_t>(tail.size())) && parser.Finish();
    if (!ok) state.SkipWithError(parser.ErrorMessage().c_str());
    if (accept && callbacks.received_ != kUploadSize) state.SkipWithError("wrong size");
  }
  state.SetBytesProcessed(state.iterations() * kUploadSize);
  state.counters["peak_rss_mb"] = PeakRssMb();
}

void BM_MultipartUploadToDisk(benchmark::State& state) { Upload(state, true); }
void BM_MultipartUploadSkipped(benchmark::State& state) { Upload(state, false); }
BENCHMARK(BM_MultipartUploadSkipped)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_MultipartUploadToDisk)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
