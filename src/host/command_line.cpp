#include "host/command_line.h"

#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/command_line_request.h"
#include "values/config.h"
#include "host/config_file.h"
#include "host/engine_process.h"
#include "host/server_application.h"
#include "values/system_variables.h"

namespace pexo {
namespace {

// The watchdog of `pexo run` looks at its one script every second: a
// `timeout_global` of a few seconds is kept to within a second, at no cost.
constexpr std::chrono::milliseconds kRunWatchdogInterval(1000);

const char kUsage[] =
    "usage: pexo run [--root DIR] [--data DIR] [--temp DIR] [--config FILE] [--query QS]\n"
    "                [--method M] [--content-type T] [--body FILE] [--header 'Name: value']...\n"
    "                [--include-headers|-i] SCRIPT.pxc\n"
    "       pexo serve [--bind ADDR] [--port N] [--config FILE] [--data DIR] [--temp DIR] "
    "SITE_DIR\n";

const char kRunHelp[] =
    "\n"
    "pexo run executes one compiled script as a request and writes the response\n"
    "(the body; with -i the status and headers first) to standard output.\n"
    "\n"
    "Background tasks (PxASYNCHRONOUS) the script starts run on task threads\n"
    "while the script goes on; pexo run waits for every task to finish before\n"
    "it exits. A task's output and messages go to the error log (syslog), never\n"
    "to standard output. timeout_async bounds each task, maxAsynchronousTasks\n"
    "the number running at once.\n";

// The absolute, normalised form of an existing path; empty when it has none.
std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  if (!realpath(path.c_str(), resolved)) return std::string();
  return resolved;
}

// `path` made absolute against the working directory (not normalised).
std::string Absolute(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char cwd[PATH_MAX];
  if (!getcwd(cwd, sizeof cwd)) return path;
  return std::string(cwd) + "/" + path;
}

// The script's path below the root, or empty when it is not inside it.
std::string RelativeTo(const std::string& root, const std::string& path) {
  if (root.empty() || path.empty()) return std::string();
  std::string prefix = root == "/" ? root : root + "/";
  if (path.compare(0, prefix.size(), prefix) != 0 || path.size() == prefix.size())
    return std::string();
  return path.substr(prefix.size());
}

// The request's configuration: the file's sections, then the directories
// given on the command line, which win.
class CommandLineApplication : public ServerApplication {
 public:
  CommandLineApplication(ServerRequest* request, const ConfigFile* file,
                         const RunOptions& options, const std::string& root)
      : ServerApplication(request, file), options_(options), root_(root) {
    // The process ends with the script: handing the heap back is wasted work.
    memory()->SetLargeMark(0);
  }

 protected:
  void LoadServerConfiguration(ServerConfig* config) override {
    ServerApplication::LoadServerConfiguration(config);
    SetText(config, CFG_DIR_PEXO, root_);
    if (!options_.data.empty())
      SetText(config, CFG_DIR_DATA, Absolute(options_.data));
    else if (!HasText(config, CFG_DIR_DATA))
      SetText(config, CFG_DIR_DATA, root_);
    if (!options_.temp.empty()) SetText(config, CFG_DIR_TEMP, Absolute(options_.temp));
  }

 private:
  static bool HasText(ServerConfig* config, int32_t key) {
    int32_t length = 0;
    return config->GetString(key, &length) && length > 0;
  }
  static void SetText(ServerConfig* config, int32_t key, const std::string& text) {
    config->SetString(key, text.data(), static_cast<int32_t>(text.size()));
  }

  const RunOptions& options_;
  std::string root_;
};

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
  ConfigFile file;
  if (!options.config.empty() && !file.Load(options.config.c_str())) {
    std::fprintf(stderr, "pexo: %s\n", file.ErrorText().c_str());
    return 1;
  }
  // The script root: given, else the configuration's, else the script's own
  // directory.
  std::string root = options.root;
  if (root.empty() && file.loaded()) {
    ServerConfig outer;
    file.ConfigFor("/", 1, &outer);
    int32_t length = 0;
    const char* configured = outer.GetString(CFG_DIR_PEXO, &length);
    if (configured && length > 0) root.assign(configured, static_cast<size_t>(length));
  }
  if (root.empty()) {
    size_t slash = options.script.rfind('/');
    root = slash == std::string::npos ? "." : (slash == 0 ? "/" : options.script.substr(0, slash));
  }
  std::string real_root = RealPath(root);
  if (real_root.empty()) real_root = Absolute(root);

  std::string script = RealPath(options.script);
  if (script.empty()) script = Absolute(options.script);
  std::string relative = RelativeTo(real_root, script);
  std::string path_info = relative.empty() ? script : "/" + relative;

  FILE* body = nullptr;
  long body_size = 0;
  if (!options.body_file.empty()) {
    body = std::fopen(options.body_file.c_str(), "rb");
    if (!body || std::fseek(body, 0, SEEK_END) != 0 || (body_size = std::ftell(body)) < 0 ||
        std::fseek(body, 0, SEEK_SET) != 0) {
      std::fprintf(stderr, "pexo: cannot read body file '%s'\n", options.body_file.c_str());
      if (body) std::fclose(body);
      return 1;
    }
  }
  CommandLineRequest request(out, options.include_headers, body);
  request.Set("PATH_INFO", path_info);
  request.Set("PATH_TRANSLATED", script);
  request.Set("SCRIPT_NAME", path_info);
  request.Set("QUERY_STRING", options.query);
  request.Set("REQUEST_METHOD", options.method);
  request.Set("REMOTE_ADDR", "127.0.0.1");
  request.Set("REMOTE_HOST", "localhost");
  request.Set("SERVER_NAME", "localhost");
  request.Set("SERVER_PORT", "80");
  request.Set("SERVER_PORT_SECURE", "0");
  request.Set("SERVER_PROTOCOL", "HTTP/1.1");
  request.Set("SERVER_SOFTWARE", std::string("Pexo/") + kPexoVersion);
  for (const std::string& header : options.headers) request.AddHeader(header);
  String header_type;
  if (!options.content_type.empty())
    request.Set("CONTENT_TYPE", options.content_type);
  else if (request.GetServerVariable("HTTP_CONTENT_TYPE", &header_type))
    request.Set("CONTENT_TYPE", header_type.c_str());
  if (body) request.Set("CONTENT_LENGTH", std::to_string(body_size));

  EngineProcess process(kRunWatchdogInterval);
  if (!process.Start()) {
    std::fputs("pexo: cannot start the engine\n", stderr);
    if (body) std::fclose(body);
    return 1;
  }
  int code;
  {
    CommandLineApplication app(&request, file.loaded() ? &file : nullptr, options, real_root);
    RegisteredApplication registered(process.threads(), &app);
    app.set_task_threads(process.threads());
    code = app.Execute();
  }
  // Background tasks finish before the command does.
  process.threads()->WaitForTasks();
  request.file_response()->Finish();
  if (body) std::fclose(body);
  return code;
}

int PexoCommand(int argc, const char* const* argv, FILE* out, FILE* err) {
  if (argc < 2 || std::strcmp(argv[1], "run") != 0) {
    std::fputs(kUsage, err);
    return 2;
  }
  if (argc == 3 && (std::strcmp(argv[2], "--help") == 0 || std::strcmp(argv[2], "-h") == 0)) {
    std::fputs(kUsage, out);
    std::fputs(kRunHelp, out);
    return 0;
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
