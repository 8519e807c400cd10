// The command-line host: `pexo run [options] SCRIPT.pxc` runs one compiled
// script as if it had been requested, writing the response to standard
// output. Exit codes: 0 the script ran (whatever it printed, errors
// included), 1 the request stopped during set-up, 2 a usage error. The
// script runs under the same watchdog as a served request, so
// `timeout_global` stops it with "Application timed out".
#ifndef PEXO_HOST_COMMAND_LINE_H_
#define PEXO_HOST_COMMAND_LINE_H_

#include <cstdio>
#include <string>
#include <vector>

namespace pexo {

struct RunOptions {
  std::string root;  // script directory; default the current directory
  std::string data;
  std::string temp;
  std::string config;
  std::string query;
  std::string method = "GET";
  std::string content_type;
  std::string body_file;
  std::vector<std::string> headers;  // "Name: value"
  bool include_headers = false;
  std::string script;
};

// Parses the arguments after "run". False with a message on bad usage.
bool ParseRunOptions(int argc, const char* const* argv, RunOptions* options, std::string* error);

// Runs a script; returns 0 or 1 as described above.
int RunScript(const RunOptions& options, FILE* out);

// The whole command: subcommand, options, run. Returns the exit code.
int PexoCommand(int argc, const char* const* argv, FILE* out, FILE* err);

}  // namespace pexo

#endif  // PEXO_HOST_COMMAND_LINE_H_
