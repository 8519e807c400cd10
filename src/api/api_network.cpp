// The network and HTTP response families of the extension API. This engine
// has no outbound network subsystem yet: every operation fails and the error
// functions report why. The address checks need no connection and work.
#include <arpa/inet.h>

#include <cstring>

#include "api/api_context.h"

using namespace pexo;

namespace {
const char kNoNetwork[] = "Network functions are not available in this engine";

int Refuse(PexoProgram* program) {
  if (program) AsContext(program)->SetError(kNoNetwork);
  return 0;
}
}  // namespace

extern "C" {

PexoNetwork* pxNetwork_Connect(PexoProgram* program, const char*, int32_t) {
  Refuse(program);
  return nullptr;
}

PexoNetwork* pxNetwork_Connect_SSL(PexoProgram* program, const char*, int32_t) {
  Refuse(program);
  return nullptr;
}

int pxNetwork_Close(PexoNetwork*) { return 0; }

int32_t pxNetwork_Read(PexoNetwork*, void*, int32_t, int32_t) { return -1; }

int32_t pxNetwork_Write(PexoNetwork*, const void*, int32_t) { return -1; }

int32_t pxNetwork_Read_Line(PexoNetwork*, char* buffer, int32_t size, int32_t) {
  if (buffer && size > 0) buffer[0] = 0;
  return -1;
}

int pxNetwork_Get_Host_Address(PexoProgram* program, const char*, char* buffer, int32_t size) {
  if (buffer && size > 0) buffer[0] = 0;
  return Refuse(program);
}

int pxNetwork_Normalize_IP_Address(PexoProgram* program, const char* text, char* buffer,
                                   int32_t size) {
  if (!text || !buffer || size <= 0) return 0;
  buffer[0] = 0;
  unsigned char address[16];
  char out[INET6_ADDRSTRLEN];
  const char* made = nullptr;
  if (inet_pton(AF_INET, text, address) == 1)
    made = inet_ntop(AF_INET, address, out, sizeof out);
  else if (inet_pton(AF_INET6, text, address) == 1)
    made = inet_ntop(AF_INET6, address, out, sizeof out);
  if (!made) {
    if (program) AsContext(program)->SetError("Not an IP address");
    return 0;
  }
  size_t length = strlen(made);
  if (length + 1 > static_cast<size_t>(size)) return 0;
  memcpy(buffer, made, length + 1);
  return 1;
}

int pxNetwork_Is_IPv4_Address(const char* text) {
  unsigned char address[4];
  return text && inet_pton(AF_INET, text, address) == 1 ? 1 : 0;
}

int pxNetwork_Is_IPv6_Address(const char* text) {
  unsigned char address[16];
  return text && inet_pton(AF_INET6, text, address) == 1 ? 1 : 0;
}

int pxNetwork_Is_IP_Address(const char* text) {
  return pxNetwork_Is_IPv4_Address(text) || pxNetwork_Is_IPv6_Address(text) ? 1 : 0;
}

PexoHTTPResponse* pxNetwork_Open_URL(PexoProgram* program, const char*) {
  Refuse(program);
  return nullptr;
}

PexoHTTPResponse* pxNetwork_HTTP_Request(PexoProgram* program, const char*, const char*,
                                         const char*, const char*, int32_t) {
  Refuse(program);
  return nullptr;
}

const char* pxNetwork_Error(PexoProgram*, PexoNetwork*, int32_t* length) {
  if (length) *length = static_cast<int32_t>(sizeof kNoNetwork - 1);
  return kNoNetwork;
}

int32_t pxHTTPResponse_Read(PexoHTTPResponse*, void*, int32_t) { return -1; }

int32_t pxHTTPResponse_Status_Code(PexoHTTPResponse*) { return -1; }

int64_t pxHTTPResponse_Content_Length(PexoHTTPResponse*) { return -1; }

const char* pxHTTPResponse_Error(PexoProgram*, PexoHTTPResponse*, int32_t* length) {
  if (length) *length = static_cast<int32_t>(sizeof kNoNetwork - 1);
  return kNoNetwork;
}

int pxHTTPResponse_Close(PexoHTTPResponse*) { return 0; }

}  // extern "C"
