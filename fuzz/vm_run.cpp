// Runs arbitrary bytes on the machine under an instruction budget and a
// call-depth limit. The first byte picks the form of the rest:
//   even: a whole compiled file, loaded and run from its start segment;
//   odd:  raw code, run as a segment added to a small fixed program that
//         declares globals, locals and functions for the code to reach.
// Output, headers and error reports are discarded. The run is counted
// against a request memory limit, as a served request is.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include "api/machine_api_context.h"
#include "host/script_image.h"
#include "program/assembler.h"
#include "program/program_writer.h"
#include "program/segment.h"
#include "program/segment_manager.h"
#include "support/fake_host.h"
#include "values/memory_account.h"
#include "values/system_variable_hash.h"
#include "vm/machine_host.h"
#include "vm/pexo_vm.h"

namespace {

using namespace pexo;

const char kHostProgram[] =
    ".global g, h, list\n"
    ".system query_string\n"
    ".segment main start\n"
    " pushi 1\n popg g\n"
    ".segment lib\n"
    ".function f(a, var b)\n.local c\n pushl a\n pushl b\n cat\n ret\n.end\n"
    ".function p(x) private\n pushl x\n retn\n.end\n"
    ".extern missing(a)\n";

const std::string& HostProgramBytes() {
  static const std::string bytes = [] {
    ProgramWriter writer;
    String errors;
    std::string out;
    if (!Assemble(kHostProgram, -1, "host.pxa", &writer, &errors) || !writer.build(&out, &errors))
      __builtin_trap();  // the fixed program must assemble
    return out;
  }();
  return bytes;
}

constexpr uint64_t kStepBudget = 20000;
// A request memory limit, as served programs run under (lower than the
// default so that the sanitizers' quarantine stays small).
constexpr int64_t kMemoryLimit = 64LL << 20;
constexpr int32_t kDepthLimit = 64;

void Run(ScriptImage* script, Segment* code) {
  FakeHost app;
  app.record = false;
  app.debug_level = 0x7FFFFFFF;  // every trace path
  app.fixed_hash = "xx";
  app.min_line = std::numeric_limits<int32_t>::min();  // the filter passes every line
  HostFlags flags;
  MemoryAccount account;
  account.SetLimit(kMemoryLimit);
  account.SetStopFlag(&flags.timeout, kStopMemoryLimit);
  MemoryAccountScope counted(&account);
  ProgramContext context;
  context.application = &app;
  context.flags = &flags;
  context.dictionary = &script->image().dictionary();
  context.system = script->system();
  context.globals = script->globals();
  context.segments = &script->image().segments();
  context.functions = &script->image().functions();
  context.program_path = "fuzz/vm.pxc";
  context.extensions = MachineApiContext::Make;
  PexoVM vm(context);
  vm.set_step_limit(kStepBudget);
  vm.set_call_depth_limit(kDepthLimit);
  if (code)
    vm.run_segment(code);
  else
    vm.run_program();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 65536) return 0;
  ScriptImage script;
  String error;
  if ((data[0] & 1) == 0) {
    if (!script.LoadBytes(data + 1, size - 1, "fuzz.pxc", &error)) return 0;
    Run(&script, nullptr);
    return 0;
  }
  const std::string& host = HostProgramBytes();
  if (!script.LoadBytes(host.data(), host.size(), "host.pxc", &error)) __builtin_trap();
  Segment* code = script.image().segments().add_segment();
  if (!code) return 0;
  for (size_t i = 1; i < size; ++i)
    if (!code->put_byte(static_cast<int32_t>(i - 1), data[i])) return 0;
  Run(&script, code);
  return 0;
}
