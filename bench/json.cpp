// JSON encoding and decoding of a ~1 MB document, next to the same work done
// by the system's jansson library (loaded at run time, so the build needs
// nothing extra; its benchmarks are skipped when it is missing).
#include <dlfcn.h>

#include <cstdlib>
#include <string>

#include <benchmark/benchmark.h>

#include "io/json_encode.h"
#include "io/json_variable.h"
#include "values/variable.h"

namespace {

std::string MakeDocument() {
  std::string doc = "[";
  for (int i = 0; doc.size() < 1000000; i++) {
    if (i) doc += ",";
    doc += "{\"id\":" + std::to_string(i) + ",\"name\":\"item " + std::to_string(i) +
           " \\u00e9\\n\",\"price\":" + std::to_string(i % 997) + "." + std::to_string(i % 100) +
           ",\"tags\":[\"a\",\"bb\",\"ccc\"],\"ok\":true,\"none\":null}";
  }
  return doc + "]";
}

const std::string& Document() {
  static const std::string doc = MakeDocument();
  return doc;
}

struct Jansson {
  typedef void* (*LoadB)(const char*, size_t, size_t, void*);
  typedef size_t (*DumpB)(const void*, char*, size_t, size_t);
  typedef void (*Delete)(void*);
  LoadB loadb = nullptr;
  DumpB dumpb = nullptr;
  Delete del = nullptr;
  Jansson() {
    void* lib = dlopen("libjansson.so.4", RTLD_NOW);
    if (!lib) return;
    loadb = reinterpret_cast<LoadB>(dlsym(lib, "json_loadb"));
    dumpb = reinterpret_cast<DumpB>(dlsym(lib, "json_dumpb"));
    del = reinterpret_cast<Delete>(dlsym(lib, "json_delete"));
  }
  bool ok() const { return loadb && dumpb && del; }
};

const Jansson& Lib() {
  static const Jansson lib;
  return lib;
}

void BM_PexoDecode(benchmark::State& state) {
  const std::string& doc = Document();
  for (auto _ : state) {
    pexo::Variable v;
    pexo::String error;
    if (!pexo::JsonDecodeVariable(doc.data(), static_cast<int32_t>(doc.size()), &v, &error)) {
      state.SkipWithError(error.c_str());
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}
BENCHMARK(BM_PexoDecode)->Unit(benchmark::kMillisecond);

void BM_JanssonDecode(benchmark::State& state) {
  const std::string& doc = Document();
  if (!Lib().ok()) {
    state.SkipWithError("libjansson.so.4 not found");
    return;
  }
  char error[256];
  for (auto _ : state) {
    void* root = Lib().loadb(doc.data(), doc.size(), 0, error);
    if (!root) state.SkipWithError("jansson failed");
    Lib().del(root);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}
BENCHMARK(BM_JanssonDecode)->Unit(benchmark::kMillisecond);

void BM_PexoEncode(benchmark::State& state) {
  const std::string& doc = Document();
  pexo::Variable v;
  pexo::String error;
  pexo::JsonDecodeVariable(doc.data(), static_cast<int32_t>(doc.size()), &v, &error);
  int32_t length = 0;
  for (auto _ : state) {
    int32_t capacity = 0;
    char* text = pexo::JsonEncode(&v, pexo::kJsonBooleans, true, &length, &capacity);
    benchmark::DoNotOptimize(text);
    std::free(text);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * length);
}
BENCHMARK(BM_PexoEncode)->Unit(benchmark::kMillisecond);

void BM_JanssonEncode(benchmark::State& state) {
  const std::string& doc = Document();
  if (!Lib().ok()) {
    state.SkipWithError("libjansson.so.4 not found");
    return;
  }
  char error[256];
  void* root = Lib().loadb(doc.data(), doc.size(), 0, error);
  const size_t kCompact = 1 << 5;  // JSON_COMPACT
  size_t length = Lib().dumpb(root, nullptr, 0, kCompact);
  std::string out(length, '\0');
  for (auto _ : state) {
    size_t n = Lib().dumpb(root, &out[0], out.size(), kCompact);
    benchmark::DoNotOptimize(n);
  }
  Lib().del(root);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * length));
}
BENCHMARK(BM_JanssonEncode)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
