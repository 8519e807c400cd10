// mod_pexo: runs compiled Pexo programs (".pxc") inside the web server.
//
//   LoadModule pexo_module /usr/lib/apache2/modules/mod_pexo.so
//   PexoConfigFile /etc/pexo/pexo.xml
//   AddHandler pexo-script .pxc
//
// The configuration file is read once in the parent after the server's own
// configuration; a file that cannot be read stops the start-up. Each child
// process starts the engine (decimal context, TLS lock, library manager,
// thread manager and watchdog) in child_init and stops it when the child's
// pool is cleared, after its last request.
// Requests run on the server's worker threads, one application per request,
// registered with the watchdog while they run; nothing else is shared
// between requests, so the module is safe under threaded MPMs.
// The server's headers need httpd.h first.
#include <httpd.h>

#include <apr_pools.h>
#include <apr_strings.h>
#include <http_config.h>
#include <http_log.h>
#include <http_protocol.h>
#include <http_request.h>

#include <cstring>
#include <new>

#include "host/apache/apache_request.h"
#include "host/config_file.h"
#include "host/engine_process.h"
#include "host/server_application.h"

extern "C" {
APLOG_USE_MODULE(pexo);
}

namespace pexo {
namespace {

constexpr const char kHandlerName[] = "pexo-script";

// Per virtual host; read-only once post_config has run.
struct ServerSettings {
  const char* config_path;  // null: not given here
  ConfigFile* config;       // loaded in post_config, shared by servers naming one file
};

// The process-wide engine of this child (created in child_init).
EngineProcess* g_process = nullptr;

ServerSettings* SettingsOf(server_rec* s) {
  return static_cast<ServerSettings*>(ap_get_module_config(s->module_config, &pexo_module));
}

void* CreateServerSettings(apr_pool_t* pool, server_rec*) {
  return apr_pcalloc(pool, sizeof(ServerSettings));
}

void* MergeServerSettings(apr_pool_t* pool, void* base_settings, void* vhost_settings) {
  const ServerSettings* base = static_cast<ServerSettings*>(base_settings);
  const ServerSettings* vhost = static_cast<ServerSettings*>(vhost_settings);
  ServerSettings* merged = static_cast<ServerSettings*>(apr_pcalloc(pool, sizeof(ServerSettings)));
  merged->config_path = vhost->config_path ? vhost->config_path : base->config_path;
  return merged;
}

const char* SetConfigFile(cmd_parms* cmd, void*, const char* path) {
  const char* resolved = ap_server_root_relative(cmd->pool, path);
  if (!resolved) return apr_pstrcat(cmd->pool, "Invalid PexoConfigFile path ", path, nullptr);
  SettingsOf(cmd->server)->config_path = resolved;
  return nullptr;
}

apr_status_t DeleteConfigFile(void* config) {
  delete static_cast<ConfigFile*>(config);
  return APR_SUCCESS;
}

// Loads each named configuration file once; servers naming the same file
// share it.
int PostConfig(apr_pool_t* pconf, apr_pool_t*, apr_pool_t*, server_rec* main_server) {
  for (server_rec* s = main_server; s; s = s->next) {
    ServerSettings* settings = SettingsOf(s);
    if (!settings->config_path) continue;
    for (server_rec* earlier = main_server; earlier != s; earlier = earlier->next) {
      ServerSettings* other = SettingsOf(earlier);
      if (other->config && std::strcmp(other->config_path, settings->config_path) == 0) {
        settings->config = other->config;
        break;
      }
    }
    if (settings->config) continue;
    ConfigFile* config = new (std::nothrow) ConfigFile();
    if (!config) return HTTP_INTERNAL_SERVER_ERROR;
    apr_pool_cleanup_register(pconf, config, DeleteConfigFile, apr_pool_cleanup_null);
    if (!config->Load(settings->config_path)) {
      ap_log_error(APLOG_MARK, APLOG_EMERG, 0, s, "PexoConfigFile: %s",
                   config->ErrorText().c_str());
      return HTTP_INTERNAL_SERVER_ERROR;
    }
    settings->config = config;
  }
  return OK;
}

apr_status_t StopEngine(void*) {
  if (g_process) {
    g_process->Stop();
    delete g_process;
    g_process = nullptr;
  }
  return APR_SUCCESS;
}

void ChildInit(apr_pool_t* pchild, server_rec* s) {
  EngineProcess* process = new (std::nothrow) EngineProcess();
  if (!process || !process->Start()) {
    ap_log_error(APLOG_MARK, APLOG_CRIT, 0, s, "pexo: cannot start the engine");
    delete process;
    return;
  }
  g_process = process;
  apr_pool_cleanup_register(pchild, nullptr, StopEngine, apr_pool_cleanup_null);
}

int Handler(request_rec* r) {
  if (!r->handler || std::strcmp(r->handler, kHandlerName) != 0) return DECLINED;
  if (!g_process) {
    ap_log_rerror(APLOG_MARK, APLOG_ERR, 0, r, "pexo: the engine is not running in this process");
    return HTTP_SERVICE_UNAVAILABLE;
  }
  const ServerSettings* settings = SettingsOf(r->server);
  ApacheRequest request(r);
  {
    ServerApplication app(&request, settings->config);
    RegisteredApplication registered(g_process->threads(), &app);
    app.set_task_threads(g_process->threads());
    app.set_program_cache(g_process->program_cache());
    app.Execute();
  }
  request.DiscardBody();
  return OK;
}

void RegisterHooks(apr_pool_t*) {
  ap_hook_post_config(PostConfig, nullptr, nullptr, APR_HOOK_MIDDLE);
  ap_hook_child_init(ChildInit, nullptr, nullptr, APR_HOOK_MIDDLE);
  ap_hook_handler(Handler, nullptr, nullptr, APR_HOOK_MIDDLE);
}

// The directive table wants one untyped function pointer for every
// argument shape; void(*)() converts to and from any function type.
cmd_func TakeOne(const char* (*fn)(cmd_parms*, void*, const char*)) {
  return reinterpret_cast<cmd_func>(reinterpret_cast<void (*)()>(fn));
}

const command_rec kDirectives[] = {
    {"PexoConfigFile", TakeOne(SetConfigFile), nullptr, RSRC_CONF, TAKE1,
     "path of the Pexo configuration file (XML)"},
    {nullptr, nullptr, nullptr, 0, RAW_ARGS, nullptr},
};

}  // namespace
}  // namespace pexo

extern "C" {
module AP_MODULE_DECLARE_DATA pexo_module = {
    STANDARD20_MODULE_STUFF,
    nullptr,                          // per-directory settings
    nullptr,                          // merge per-directory settings
    pexo::CreateServerSettings,
    pexo::MergeServerSettings,
    pexo::kDirectives,
    pexo::RegisterHooks,
    AP_MODULE_FLAG_NONE,
};
}
