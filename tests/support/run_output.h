// Runs a compiled program as `pexo run` does and hands back what it wrote.
#ifndef PEXO_TESTS_SUPPORT_RUN_OUTPUT_H_
#define PEXO_TESTS_SUPPORT_RUN_OUTPUT_H_

#include <cstdio>
#include <string>

#include "host/command_line.h"

namespace pexo {

// The whole output of the run; the command's result in *exit_code when given.
std::string RunScriptOutput(const RunOptions& options, int* exit_code = nullptr);

// Everything written to `file` (flushed and read from its start).
std::string FileText(FILE* file);

}  // namespace pexo

#endif  // PEXO_TESTS_SUPPORT_RUN_OUTPUT_H_
