// Kept apart from the fixture: the assembler's writer header and the
// program image headers both declare the function flag constants.
#include "program/assembler.h"
#include "program/program_writer.h"
#include "render.h"

namespace pexo {
namespace testing_expr {

std::string AssembleAndRender(const std::string& source) {
  ProgramWriter writer;
  String errors;
  if (!Assemble(source.data(), static_cast<int32_t>(source.size()), "hand.pxa", &writer,
                &errors))
    return std::string("assembly failed: ") + errors.c_str();
  const std::string& code = *writer.segment_code(0);
  return Render(reinterpret_cast<const unsigned char*>(code.data()),
                static_cast<int32_t>(code.size()),
                [&writer](int32_t i) { return writer.string_at(i); });
}

}  // namespace testing_expr
}  // namespace pexo
