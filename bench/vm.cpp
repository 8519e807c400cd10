// Machine benchmarks: assembled programs for the hot paths (integer loops,
// text building, calls, decimals, arrays, text search).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "api/machine_api_context.h"
#include "host/script_image.h"
#include "program/assembler.h"
#include "program/program_writer.h"
#include "support/fake_host.h"
#include "values/system_variable_hash.h"
#include "values/variable.h"
#include "values/variable_hash.h"
#include "vm/machine_host.h"
#include "vm/pexo_vm.h"

namespace pexo {
namespace {

// Assembles, loads and runs a program once; reports a global afterwards.
void RunProgram(benchmark::State& state, const std::string& source, const char* check) {
  ProgramWriter writer;
  String errors;
  std::string bytes;
  if (!Assemble(source.data(), static_cast<int32_t>(source.size()), "bench.pxa", &writer, &errors) ||
      !writer.build(&bytes, &errors)) {
    state.SkipWithError(errors.c_str());
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();
    auto script = std::make_unique<ScriptImage>();
    if (!script->LoadBytes(bytes.data(), bytes.size(), "bench.pxc", &errors)) {
      state.SkipWithError(errors.c_str());
      return;
    }
    FakeHost app;
    app.record = false;  // the output only counts; errors go to stderr
    app.echo_errors = true;
    HostFlags flags;
    ProgramContext context;
    context.application = &app;
    context.flags = &flags;
    context.dictionary = &script->image().dictionary();
    context.system = script->system();
    context.globals = script->globals();
    context.segments = &script->image().segments();
    context.functions = &script->image().functions();
    context.program_path = "bench.pxc";
    context.extensions = MachineApiContext::Make;
    auto vm = std::make_unique<PexoVM>(context);
    state.ResumeTiming();
    if (vm->run_program() != 1) state.SkipWithError("run failed");
    state.PauseTiming();
    Variable* result = nullptr;
    if (check && script->globals()->Find(check, -1, false, &result) && result)
      state.counters["result_length"] = result->Value().length();
    vm.reset();
    script.reset();
    state.ResumeTiming();
  }
}

void BM_CountingLoop(benchmark::State& state) {
  RunProgram(state,
             ".global i\n.segment main start\n storegi i, 0\n"
             "loop: incg i, 1\n cmpgi i, 10000000\n jmp_lt loop\n",
             "i");
}
BENCHMARK(BM_CountingLoop)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_AppendText(benchmark::State& state) {
  RunProgram(state,
             ".global s, i\n.segment main start\n pushc \"\"\n popg s\n storegi i, 0\n"
             "loop: pushg s\n pushc \"0123456789\"\n cat\n popg s\n"
             " incg i, 1\n cmpgi i, 200000\n jmp_lt loop\n",
             "s");
}
BENCHMARK(BM_AppendText)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_RecursiveFib(benchmark::State& state) {
  RunProgram(state,
             ".global r\n.segment main start\n pushi 27\n call fib\n popg r\n"
             ".segment lib\n.function fib(n)\n"
             " pushl n\n pushi 2\n lt\n jmp_eq recurse\n pushl n\n ret\n"
             "recurse: pushl n\n pushi 1\n sub\n call fib\n"
             " pushl n\n pushi 2\n sub\n call fib\n add\n ret\n.end\n",
             "r");
}
BENCHMARK(BM_RecursiveFib)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_DecimalSum(benchmark::State& state) {
  RunProgram(state,
             ".global s, i\n.segment main start\n storegi s, 0\n storegi i, 0\n"
             "loop: pushg s\n pushf 0.1\n add\n popg s\n"
             " incg i, 1\n cmpgi i, 1000000\n jmp_lt loop\n",
             "s");
}
BENCHMARK(BM_DecimalSum)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ArrayFillAndSum(benchmark::State& state) {
  RunProgram(state,
             ".global a, i, s\n.segment main start\n storegi i, 0\n"
             "fill: incg i, 1\n pushg i\n pushg a\n pushg i\n elem\n store\n"
             " cmpgi i, 1000000\n jmp_lt fill\n"
             " storegi i, 0\n storegi s, 0\n"
             "sum: incg i, 1\n pushg s\n pushg a\n pushg i\n elemq\n add\n popg s\n"
             " cmpgi i, 1000000\n jmp_lt sum\n",
             "s");
}
BENCHMARK(BM_ArrayFillAndSum)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_TextSearch(benchmark::State& state) {
  // A 100 KB text with "needle" near its end, searched 10,000 times.
  RunProgram(state,
             ".global t, i, r\n.segment main start\n pushc \"\"\n popg t\n storegi i, 0\n"
             "build: pushg t\n pushc \"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
             "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcdefgh\"\n cat\n popg t\n"
             " incg i, 1\n cmpgi i, 800\n jmp_lt build\n"
             " pushg t\n pushc \"needl\"\n cat\n pushc \"xyz\"\n cat\n popg t\n"
             " storegi i, 0\n"
             "find: pushc \"needl\"\n pushg t\n in\n popg r\n"
             " incg i, 1\n cmpgi i, 10000\n jmp_lt find\n",
             "t");
}
BENCHMARK(BM_TextSearch)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace pexo

BENCHMARK_MAIN();
