// Hot paths of the value model: conversions, comparison, and the element
// tree behind arrays.
#include <benchmark/benchmark.h>

#include <cstring>

#include "values/aggregate_element.h"
#include "values/aggregate_index.h"
#include "values/aggregate_tree.h"
#include "values/conversions.h"
#include "values/variable.h"

namespace pexo {
namespace {

void BM_TextToInteger(benchmark::State& state) {
  const char* text = "1234567";
  int32_t length = static_cast<int32_t>(std::strlen(text));
  for (auto _ : state) {
    int error = 0;
    benchmark::DoNotOptimize(TextToInteger(text, length, &error));
  }
}
BENCHMARK(BM_TextToInteger);

void BM_TextToDecimal(benchmark::State& state) {
  const char* text = "12345.6789";
  int32_t length = static_cast<int32_t>(std::strlen(text));
  mpd_t* d = mpd_qnew();
  for (auto _ : state) benchmark::DoNotOptimize(TextToDecimal(text, length, d));
  mpd_del(d);
}
BENCHMARK(BM_TextToDecimal);

void BM_VariableIntegerRead(benchmark::State& state) {
  Variable v;
  v.SetValue_Integer(42);
  for (auto _ : state) benchmark::DoNotOptimize(v.Value_Integer());
}
BENCHMARK(BM_VariableIntegerRead);

void BM_RetainRelease(benchmark::State& state) {
  Variable* v = new Variable();
  for (auto _ : state) {
    v->Retain();
    v->Release();
  }
  v->Release();
}
BENCHMARK(BM_RetainRelease);

void BM_CompareNumbers(benchmark::State& state) {
  Variable a, b;
  a.SetValue("10");
  b.SetValue("9.5");
  for (auto _ : state) benchmark::DoNotOptimize(CompareVariables(&a, &b));
}
BENCHMARK(BM_CompareNumbers);

void BM_CompareFreshTexts(benchmark::State& state) {
  Variable a, b;
  for (auto _ : state) {
    a.SetValue("10");  // assignment invalidates the cached decimal
    b.SetValue("abc");
    benchmark::DoNotOptimize(CompareVariables(&a, &b));
  }
}
BENCHMARK(BM_CompareFreshTexts);

void BM_DecimalAssignAndPrint(benchmark::State& state) {
  Variable v;
  mpd_t* d = mpd_qnew();
  TextToDecimal("1234.50", -1, d);
  for (auto _ : state) {
    v.SetValue_Decimal(d);
    benchmark::DoNotOptimize(v.Value().data());
  }
  mpd_del(d);
}
BENCHMARK(BM_DecimalAssignAndPrint);

constexpr int32_t kMillion = 1000000;

void BM_TreeFillAscending(benchmark::State& state) {
  for (auto _ : state) {
    Variable* array = new Variable();
    for (int32_t i = 1; i <= kMillion; ++i) array->Element(AggregateIndex(i), 1);
    benchmark::DoNotOptimize(array->ElementsUsed());
    state.PauseTiming();
    array->Release();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kMillion);
}
BENCHMARK(BM_TreeFillAscending)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_TreeOrderedWalk(benchmark::State& state) {
  Variable* array = new Variable();
  for (int32_t i = 1; i <= kMillion; ++i) array->Element(AggregateIndex(i), 1);
  for (auto _ : state) {
    int64_t sum = 0;
    for (int32_t i = array->Array_Next(0); i > 0; i = array->Array_Next(i)) sum += i;
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kMillion);
  array->Release();
}
BENCHMARK(BM_TreeOrderedWalk)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_TreeInOrderVisit(benchmark::State& state) {
  Variable* array = new Variable();
  for (int32_t i = 1; i <= kMillion; ++i) array->Element(AggregateIndex(i), 1);
  for (auto _ : state) {
    int64_t sum = 0;
    array->Aggregate()->ForEach([&sum](AggregateElement* e) {
      sum += e->Index().Number();
      return true;
    });
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kMillion);
  array->Release();
}
BENCHMARK(BM_TreeInOrderVisit)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace pexo

BENCHMARK_MAIN();
