#include "io/content_parser.h"

namespace pexo {

const char kMaxPostVarsExceeded[] = "Maximum number of POST variables exceeded";
const char kOutOfMemory[] = "Out of memory";
const char kIncompleteBody[] = "Incomplete POST data";

ContentVariableStore::~ContentVariableStore() = default;

HTTPContentParser::~HTTPContentParser() = default;

void HTTPContentParser::SetError(const char* message) {
  if (failed_) return;
  failed_ = true;
  error_.assign(message);
}

void HTTPContentParser::SetFailure(ContentFailure kind, const char* message) {
  if (failed_) return;
  failure_ = kind;
  SetError(message);
}

}  // namespace pexo
