// Feeds arbitrary text to the assembler and, when it assembles, builds the
// file and lists every segment: none of it may crash or read out of bounds.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "program/assembler.h"
#include "program/program_writer.h"
#include "program/listing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  pexo::ProgramWriter writer;
  pexo::String errors;
  if (!pexo::Assemble(reinterpret_cast<const char*>(data), static_cast<int32_t>(size), "fuzz.pxa", &writer,
                      &errors)) {
    return 0;
  }
  std::string bytes;
  if (!writer.build(&bytes, &errors)) return 0;
  static FILE* sink = std::fopen("/dev/null", "w");
  for (int32_t s = 0; s < writer.segment_count() && sink; ++s) {
    const std::string* code = writer.segment_code(s);
    pexo::WriteListing(sink, "", 0, reinterpret_cast<const unsigned char*>(code->data()),
                       static_cast<int32_t>(code->size()));
  }
  return 0;
}
