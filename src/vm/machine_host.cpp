#include "vm/machine_host.h"

#include <crypt.h>

#include <cstring>
#include <memory>

namespace pexo {

const char* TraceEventName(uint32_t bit) {
  switch (bit) {
    case kTraceFunctionCall: return "Function Call";
    case kTraceFunctionParameter: return "Function Parameter";
    case kTraceFunctionReturnValue: return "Function Return Value";
    case kTraceFunctionReturn: return "Function Return";
    case kTraceExternalCall: return "External Function Call";
    case kTraceExternalParameter: return "External Function Parameter";
    case kTraceExternalReturnValue: return "External Function Return Value";
    case kTraceExternalReturn: return "External Function Return";
    case kTraceDoEnter: return "PxDO Enter";
    case kTraceDoExit: return "PxDO Exit";
    case kTraceHttpCall: return "PxCALL";
    case kTraceSmtp: return "PxSMTP";
    case kTraceProgramCache: return "Program Cache";
    case kTraceRequestStart: return "Request Start";
    case kTraceRequestEnd: return "Request End";
    case kTraceTimeout: return "Application Timed Out";
    case kTraceRuntimeError: return "Runtime Error";
    case kTraceFatalError: return "Fatal Error";
    case kTraceLine: return "Trace";
    default: return nullptr;
  }
}

bool SystemPasswordHash(const char* text, int32_t length, const char salt[2], String* result) {
  // Only the first 8 bytes form the key; a zero byte ends it early, as the
  // key is a C string.
  char key[9] = {0};
  std::memcpy(key, text, static_cast<size_t>(length < 8 ? (length < 0 ? 0 : length) : 8));
  char setting[3] = {salt[0], salt[1], 0};
  auto data = std::make_unique<crypt_data>();
  std::memset(data.get(), 0, sizeof(crypt_data));
  const char* hashed = crypt_r(key, setting, data.get());
  if (!hashed || hashed[0] == '*' || std::strlen(hashed) != 13) return false;
  result->assign(hashed, 13);
  return true;
}

}  // namespace pexo
