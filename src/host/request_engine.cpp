#include "host/request_engine.h"

#include "host/server_request.h"

namespace pexo {

ServerRequest::~ServerRequest() = default;
RequestBodyParser::~RequestBodyParser() = default;
RequestMachine::~RequestMachine() = default;
RequestEngine::~RequestEngine() = default;

bool NullRequestEngine::ParseQueryString(ServerApplication*, const char*, int32_t, String*) {
  return true;
}

RequestBodyParser* NullRequestEngine::NewBodyParser(ServerApplication*, BodyKind, const String&,
                                                    int32_t, String* error) {
  error->assign("Request bodies cannot be parsed by this engine");
  return nullptr;
}

RequestMachine* NullRequestEngine::NewMachine(ServerApplication*, String* error) {
  error->assign("No script machine is available in this engine");
  return nullptr;
}

}  // namespace pexo
