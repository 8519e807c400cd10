// Arbitrary text must compile or fail with a message, never crash, and
// successful code must decode into whole instructions inside the segment.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "expr/expression_compiler.h"
#include "expr/external_function_resolver.h"
#include "values/dictionary.h"
#include "program/function_manager.h"
#include "program/segment.h"
#include "program/segment_manager.h"
#include "values/string.h"
#include "program/opcodes.h"

namespace {

// Knows "len" (one parameter) and "pair" (two, the second by reference).
class Library : public pexo::ExternalFunctionResolver {
 public:
  bool FindExternalFunction(const char* name, int32_t length,
                            pexo::ExternalFunctionInfo* info) override {
    if (pexo::equals_nocase(name, length, "len", 3)) {
      info->parameters = {{"text", 4, 0}};
      return true;
    }
    if (pexo::equals_nocase(name, length, "pair", 4)) {
      info->parameters = {{"a", 1, 0}, {"b", 1, 1}};
      return true;
    }
    return false;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  pexo::Dictionary dictionary;
  pexo::SegmentManager segments;
  pexo::FunctionManager functions(&dictionary);
  Library library;
  pexo::ExpressionProgram program;
  program.externals = &library;
  program.segments = &segments;
  program.dictionary = &dictionary;
  program.functions = &functions;
  pexo::ExpressionOptions options;
  // The first byte picks the options so both marker and alias paths run.
  if (size > 0 && (data[0] & 1)) {
    options.source_name = "fuzz.pxs";
    options.line = 3;
  }
  if (size > 0 && (data[0] & 2)) options.alias = "db";
  if (size > 0 && (data[0] & 4)) options.version = 65544;
  const char* text = reinterpret_cast<const char*>(data);
  pexo::ExpressionCompiler compiler(program, text, static_cast<int32_t>(size), options);
  if (compiler.compile()) {
    const pexo::Segment* segment = compiler.segment();
    int32_t pc = 0;
    while (pc < compiler.position()) {
      uint16_t word = 0;
      if (!segment->read_word(pc, &word) || !pexo::FindOpcode(word)) abort();
      pc += pexo::InstructionSize(word);
    }
    if (pc != compiler.position()) abort();
  } else if (compiler.error().empty()) {
    abort();
  }
  return 0;
}
