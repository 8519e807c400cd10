// Cost of compiling run-time expressions: 100,000 distinct small
// expressions per iteration, each into its own new segment, as extensions
// and filters compile them.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "expr/expression_compiler.h"
#include "expr/external_function_resolver.h"
#include "values/dictionary.h"
#include "program/function_manager.h"
#include "program/segment_manager.h"
#include "values/string.h"

namespace {

constexpr int kExpressions = 100000;

class Library : public pexo::ExternalFunctionResolver {
 public:
  bool FindExternalFunction(const char* name, int32_t length,
                            pexo::ExternalFunctionInfo* info) override {
    if (!pexo::equals_nocase(name, length, "len", 3)) return false;
    info->parameters = {{"text", 4, 0}};
    return true;
  }
};

std::vector<std::string> MakeExpressions() {
  std::vector<std::string> out;
  out.reserve(kExpressions);
  for (int i = 0; i < kExpressions; ++i) {
    std::string n = std::to_string(i);
    switch (i % 4) {
      case 0: out.push_back("a" + n + " + " + n + " * 3"); break;
      case 1: out.push_back("x EQ " + n + " AND NOT(y" + n + " LT 2)"); break;
      case 2: out.push_back("'v" + n + "' $ len(s[" + n + "]:name)"); break;
      default: out.push_back("(" + n + ".5 - b) / c" + n + " MOD 7"); break;
    }
  }
  return out;
}

// A fresh program for every batch keeps memory bounded: each expression
// gets a segment of 8 KiB.
struct Program {
  explicit Program(pexo::ExternalFunctionResolver* library)
      : functions(&dictionary) {
    tables.externals = library;
    tables.segments = &segments;
    tables.dictionary = &dictionary;
    tables.functions = &functions;
  }
  pexo::Dictionary dictionary;
  pexo::SegmentManager segments;
  pexo::FunctionManager functions;
  pexo::ExpressionProgram tables;
};

constexpr int kBatch = 10000;

void BM_CompileDistinctExpressions(benchmark::State& state) {
  const std::vector<std::string> expressions = MakeExpressions();
  Library library;
  for (auto _ : state) {
    for (int first = 0; first < kExpressions; first += kBatch) {
      state.PauseTiming();
      auto program = std::make_unique<Program>(&library);
      state.ResumeTiming();
      for (int i = first; i < first + kBatch; ++i) {
        const std::string& text = expressions[static_cast<size_t>(i)];
        pexo::ExpressionCompiler compiler(program->tables, text.data(),
                                          static_cast<int32_t>(text.size()));
        if (!compiler.compile()) state.SkipWithError(compiler.error().c_str());
      }
      state.PauseTiming();
      program.reset();
      state.ResumeTiming();
    }
  }
  state.SetItemsProcessed(state.iterations() * kExpressions);
}
BENCHMARK(BM_CompileDistinctExpressions)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
