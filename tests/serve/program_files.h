// Assembles a test program into a compiled file. Kept apart from the
// engine headers: the writer's flag constants clash with the loader's.
#ifndef PEXO_TESTS_SERVE_PROGRAM_FILES_H_
#define PEXO_TESTS_SERVE_PROGRAM_FILES_H_

#include <string>

namespace pexo {
namespace testing_serve {

bool WriteProgram(const std::string& source, const std::string& path, std::string* error);

}  // namespace testing_serve
}  // namespace pexo

#endif  // PEXO_TESTS_SERVE_PROGRAM_FILES_H_
