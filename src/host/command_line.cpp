#include "host/command_line.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/command_line_application.h"
#include "host/script_image.h"
#include "values/system_variable_hash.h"
#include "vm/pexo_vm.h"

namespace pexo {
namespace {

const char kUsage[] =
    "usage: pexo run [--root DIR] [--data DIR] [--temp DIR] [--config FILE] [--query QS]\n"
    "                [--method M] [--content-type T] [--body FILE] [--header 'Name: value']...\n"
    "                [--include-headers|-i] SCRIPT.pxc\n";

// The absolute, normalised form of an existing path; empty when it has none.
std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  if (!realpath(path.c_str(), resolved)) return std::string();
  return resolved;
}

// The script's path below the root, or empty when it is not inside it.
std::string RelativeTo(const std::string& root, const std::string& path) {
  if (root.empty() || path.empty()) return std::string();
  std::string prefix = root == "/" ? root : root + "/";
  if (path.compare(0, prefix.size(), prefix) != 0 || path.size() == prefix.size())
    return std::string();
  return path.substr(prefix.size());
}

}  // namespace

bool ParseRunOptions(int argc, const char* const* argv, RunOptions* options, std::string* error) {
  struct Valued {
    const char* flag;
    std::string* target;
  } valued[] = {
      {"--root", &options->root},     {"--data", &options->data},
      {"--temp", &options->temp},     {"--config", &options->config},
      {"--query", &options->query},   {"--method", &options->method},
      {"--content-type", &options->content_type}, {"--body", &options->body_file},
  };
  for (int i = 0; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "-i") == 0 || std::strcmp(arg, "--include-headers") == 0) {
      options->include_headers = true;
      continue;
    }
    bool matched = false;
    for (const Valued& v : valued) {
      if (std::strcmp(arg, v.flag) != 0) continue;
      if (i + 1 >= argc) {
        *error = std::string("option ") + arg + " needs a value";
        return false;
      }
      *v.target = argv[++i];
      matched = true;
    }
    if (matched) continue;
    if (std::strcmp(arg, "--header") == 0) {
      if (i + 1 >= argc || !std::strchr(argv[i + 1], ':')) {
        *error = "option --header needs a value of the form 'Name: value'";
        return false;
      }
      options->headers.emplace_back(argv[++i]);
      continue;
    }
    if (arg[0] == '-' && arg[1] != '\0') {
      *error = std::string("unknown option ") + arg;
      return false;
    }
    if (!options->script.empty()) {
      *error = "only one script may be given";
      return false;
    }
    options->script = arg;
  }
  if (options->script.empty()) {
    *error = "no script given";
    return false;
  }
  return true;
}

int RunScript(const RunOptions& options, FILE* out) {
  CommandLineApplication app(out, options.include_headers);
  std::string root = RealPath(options.root.empty() ? "." : options.root);
  if (root.empty()) {
    app.ConfigurationError("The configured Pexo root directory must be an absolute path");
    app.Finish();
    return 1;
  }
  std::string script = RealPath(options.script);
  std::string relative = RelativeTo(root, script);
  if (relative.empty()) {
    std::string shown = script.empty() ? options.script : script;
    app.ConfigurationError("'" + shown + "' is not contained in the configured script directory");
    app.Finish();
    return 1;
  }
  ScriptImage image;
  String error;
  if (!image.LoadFile(script.c_str(), relative.c_str(), &error)) {
    std::string message = "Unable to execute '" + relative +
                          "': File does not exist, is corrupt, is not a valid Pexo Script file, "
                          "or cannot be opened due to permission problems";
    app.WriteMessage(message.data(), static_cast<int32_t>(message.size()));
    app.Finish();
    return 1;
  }
  HostFlags flags;
  ProgramContext context;
  context.application = &app;
  context.flags = &flags;
  context.dictionary = &image.image().dictionary();
  context.system = image.system();
  context.globals = image.globals();
  context.segments = &image.image().segments();
  context.functions = &image.image().functions();
  context.program_path = relative.c_str();
  {
    PexoVM vm(context);
    app.DefaultHeaders();
    vm.run_program();
  }
  app.Finish();
  return 0;
}

int PexoCommand(int argc, const char* const* argv, FILE* out, FILE* err) {
  if (argc < 2 || std::strcmp(argv[1], "run") != 0) {
    std::fputs(kUsage, err);
    return 2;
  }
  RunOptions options;
  std::string error;
  if (!ParseRunOptions(argc - 2, argv + 2, &options, &error)) {
    std::fprintf(err, "pexo: %s\n%s", error.c_str(), kUsage);
    return 2;
  }
  return RunScript(options, out);
}

}  // namespace pexo
