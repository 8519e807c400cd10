// RequestVariables: the system scope of one request filled from the server:
// the server variables and the lines of ALL_HTTP, the engine's variables,
// the command-line style arguments and the identity variables (process and
// thread ids, apitype, documenturl), and the caller id of the cookie.
//
// The scope is set once the program is loaded and cleared when it is
// released; without one every Set is ignored. The request is borrowed.
// Process and thread ids and the start time are taken at construction.
#ifndef PEXO_HOST_REQUEST_VARIABLES_H_
#define PEXO_HOST_REQUEST_VARIABLES_H_

#include <sys/time.h>
#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "values/string.h"
#include "values/system_variables.h"

namespace pexo {

class Config;
class ServerRequest;
class SystemVariableHash;
class SystemVariableHost;

class RequestVariables : public SystemVariableSource {
 public:
  explicit RequestVariables(ServerRequest* request);
  RequestVariables(const RequestVariables&) = delete;
  RequestVariables& operator=(const RequestVariables&) = delete;

  void set_scope(SystemVariableHash* system) { system_ = system; }

  // Sets a system variable; text is copied (`length` -1: up to the zero).
  void Set(const char* name, const char* value, int32_t length = -1);
  void SetInteger(const char* name, int32_t value);
  // A server variable, empty when the server does not have it.
  String ServerVariable(const char* name);

  // The CGI set the server has, then each "name:value" line of ALL_HTTP.
  void FillServerVariables();
  // The time structure, the configuration and the live variables, each
  // made when first used; false with `error` set when the scope refuses
  // their entries.
  bool FillEngineVariables(Config* config, SystemVariableHost* host, String* error);
  // arg1 = PATH_INFO, arg2... = the query string split at "+", nargs.
  void FillArguments(const String& path_info, const String& query);
  // process_id, thread_id, apitype and documenturl.
  void FillIdentityVariables(const String& path_info);
  // The caller id the cookie carries, or a fresh one.
  void CallerId(String* id);

  // The server and identity variables are made when first read, from the
  // request, whose variables do not change while it runs.
  Variable* Make(int32_t kind, const char* name, int32_t length) override;

 private:
  // Declares `name` as made by Make; false when its entry already holds a
  // variable (or the scope refuses it), and the caller sets it at once.
  bool Defer(const char* name, int32_t kind);

  ServerRequest* request_;
  SystemVariableHash* system_ = nullptr;
  // Makes the engine's variables of system_ when the script reads them.
  DeferredSystemVariables engine_;
  struct timeval started_;
  const String* path_info_ = nullptr;  // for arg1 and documenturl
  std::vector<std::string> arguments_;  // the query's arguments: arg2 on
  String all_http_;                    // the header lines
  pid_t process_id_;
  uint32_t thread_id_;
};

// Request-step helpers, exposed for tests.

// Splits a query string at "+" into URL-decoded arguments.
void SplitArguments(const char* query, int32_t length, std::vector<std::string>* args);
// "http://host[:port]/path?" from the server's name, port and security.
std::string DocumentUrl(const String& server_name, const String& server_port,
                        const String& port_secure, const String& path_info);
// The caller id in a cookie header, or false when absent or empty.
bool FindCallerId(const char* cookies, int32_t length, String* id);
// The 32-digit caller id of a freshly generated 323-byte block.
std::string NewCallerId(const char* server_name, int32_t name_length, uint32_t process_id,
                        uint32_t thread_id, uint64_t now_100ns);
// "Wdy, DD-Mon-YYYY HH:MM:SS GMT".
std::string CookieExpiry(time_t when);

}  // namespace pexo

#endif  // PEXO_HOST_REQUEST_VARIABLES_H_
