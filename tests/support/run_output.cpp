#include "support/run_output.h"

namespace pexo {

std::string FileText(FILE* file) {
  std::fflush(file);
  std::rewind(file);
  std::string text;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  return text;
}

std::string RunScriptOutput(const RunOptions& options, int* exit_code) {
  FILE* out = std::tmpfile();
  if (!out) return "<no temporary file>";
  int code = RunScript(options, out);
  if (exit_code) *exit_code = code;
  std::string text = FileText(out);
  std::fclose(out);
  return text;
}

}  // namespace pexo
