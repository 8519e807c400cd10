#include "program_files.h"

#include "program/assembler.h"
#include "program/program_writer.h"

namespace pexo {
namespace testing_serve {

bool WriteProgram(const std::string& source, const std::string& path, std::string* error) {
  ProgramWriter writer;
  String errors;
  if (!Assemble(source.data(), static_cast<int32_t>(source.size()), path.c_str(), &writer,
                &errors)) {
    *error = errors.c_str();
    return false;
  }
  if (!writer.write_file(path.c_str(), &errors)) {
    *error = errors.c_str();
    return false;
  }
  return true;
}

}  // namespace testing_serve
}  // namespace pexo
