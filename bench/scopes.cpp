// Variable scope micro-benchmarks: name lookup, path lookup, and the making
// of a per-call local table from a prepared name table.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "values/dictionary.h"
#include "values/name_table.h"
#include "values/lookup2.h"
#include "values/variable.h"
#include "values/variable_hash.h"

namespace pexo {
namespace {

std::vector<std::string> Names(int n) {
  std::vector<std::string> names;
  for (int i = 0; i < n; ++i) names.push_back("variable_" + std::to_string(i));
  return names;
}

void BM_FindByName(benchmark::State& state) {
  UserVariableHash h;
  std::vector<std::string> names = Names(static_cast<int>(state.range(0)));
  for (const std::string& n : names) h.SetVariable(n.data(), -1, "x", 1);
  std::vector<std::string> upper = names;
  for (std::string& n : upper)
    for (char& c : n) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  size_t i = 0;
  for (auto _ : state) {
    const std::string& n = upper[i++ % upper.size()];
    Variable* v = nullptr;
    benchmark::DoNotOptimize(h.Find(n.data(), static_cast<int32_t>(n.size()), false, &v));
    benchmark::DoNotOptimize(v);
  }
}
BENCHMARK(BM_FindByName)->Arg(16)->Arg(1000)->Arg(20000);

void BM_FindMiss(benchmark::State& state) {
  UserVariableHash h;
  for (const std::string& n : Names(1000)) h.SetVariable(n.data(), -1, "x", 1);
  for (auto _ : state) {
    Variable* v = nullptr;
    benchmark::DoNotOptimize(h.Find("not_there_at_all", 16, false, &v));
  }
}
BENCHMARK(BM_FindMiss);

void BM_LookupPath(benchmark::State& state) {
  UserVariableHash h;
  h.SetVariablePath("order:items[3]:price", -1, "9.50", -1, false);
  for (auto _ : state) {
    Variable* v = nullptr;
    benchmark::DoNotOptimize(h.Lookup("order:items[3]:price", 20, false, &v));
    benchmark::DoNotOptimize(v);
  }
}
BENCHMARK(BM_LookupPath);

NameTable LocalTable(Dictionary* dict, int bits, int n) {
  NameTable t;
  t.bucket_bits = bits;
  t.buckets.assign(size_t{1} << bits, -1);
  for (int i = 0; i < n; ++i) {
    std::string name = "local_" + std::to_string(i);
    t.names.push_back(dict->add(name.data(), -1));
    // Chains of one name each are enough for building cost.
    uint32_t slot = lookup2_nocase(name.data(), static_cast<uint32_t>(name.size())) &
                    ((1u << bits) - 1);
    t.next.push_back(t.buckets[slot]);
    t.buckets[slot] = i;
  }
  return t;
}

void BM_NewLocalTable(benchmark::State& state) {
  Dictionary dict;
  NameTable t = LocalTable(&dict, 4, static_cast<int>(state.range(0)));
  String error;
  for (auto _ : state) {
    std::unique_ptr<VariableHash> h(NewVariableHashFromTable(t, &dict, &error));
    benchmark::DoNotOptimize(h->VariableAt(0, true));
  }
}
BENCHMARK(BM_NewLocalTable)->Arg(4)->Arg(16);

void BM_RecycledLocalTable(benchmark::State& state) {
  Dictionary dict;
  NameTable t = LocalTable(&dict, 4, static_cast<int>(state.range(0)));
  String error;
  std::unique_ptr<VariableHash> h(NewVariableHashFromTable(t, &dict, &error));
  for (auto _ : state) {
    h->InitFromTable(t, 0, &error);
    benchmark::DoNotOptimize(h->VariableAt(0, true));
  }
}
BENCHMARK(BM_RecycledLocalTable)->Arg(4)->Arg(16);

}  // namespace
}  // namespace pexo

BENCHMARK_MAIN();
