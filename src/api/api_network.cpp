// The network and HTTP response families of the extension API. A
// connection handle is an ApiConnection, a response handle an
// ApiResponse; both remember the program run that made them, whose
// manager (and with it the request's deadline) every wait goes through.
// The address checks need no connection.
#include <arpa/inet.h>
#include <strings.h>

#include <cstring>
#include <memory>

#include "api/api_context.h"
#include "net/http_call.h"
#include "net/network_manager.h"

using namespace pexo;

namespace {

const char kNoProgram[] = "No program";

struct ApiConnection {
  ApiContext* context;
  std::unique_ptr<NetworkConnection> connection;
};

struct ApiResponse {
  ApiContext* context;
  std::unique_ptr<HttpCall> call;
};

ApiConnection* AsConnection(PexoNetwork* n) { return reinterpret_cast<ApiConnection*>(n); }
ApiResponse* AsResponse(PexoHTTPResponse* r) { return reinterpret_cast<ApiResponse*>(r); }

// Copies text into a caller's buffer of `size` bytes (terminated); false
// when it does not fit.
bool CopyOut(const String& text, char* buffer, int32_t size) {
  if (!buffer || size <= 0) return false;
  buffer[0] = 0;
  if (text.length() + 1 > size) return false;
  std::memcpy(buffer, text.data(), static_cast<size_t>(text.length()));
  buffer[text.length()] = 0;
  return true;
}

PexoNetwork* Connect(PexoProgram* program, const char* host, int32_t port, bool secure) {
  if (!program) return nullptr;
  ApiContext* context = AsContext(program);
  if (!host) {
    context->SetError("No host");
    return nullptr;
  }
  NetworkManager* manager = context->Network();
  std::unique_ptr<NetworkConnection> connection = manager->OpenConnection(host, port, 0);
  if (!connection) {
    context->SetError(manager->ErrorText());
    return nullptr;
  }
  if (secure) {
    TlsOptions tls;
    tls.host = host;
    if (!manager->StartTLS(connection.get(), tls, 0)) {
      context->SetError(manager->ErrorText());
      return nullptr;
    }
  }
  context->SetError("");
  return reinterpret_cast<PexoNetwork*>(new ApiConnection{context, std::move(connection)});
}

// Moves the "Content-Type:" line of extra headers into the request's
// content type, so it is not sent twice.
void TakeContentType(const char* headers, CallRequest* request) {
  const char* line = headers;
  while (line && *line) {
    const char* end = std::strstr(line, "\r\n");
    const char* next = end ? end + 2 : line + std::strlen(line);
    if (strncasecmp(line, "Content-Type:", 13) == 0) {
      const char* value = line + 13;
      while (*value == ' ' || *value == '\t') ++value;
      request->content_type.assign(value, static_cast<int32_t>((end ? end : next) - value));
    } else {
      request->headers.append(line, static_cast<int32_t>(next - line));
    }
    line = next;
  }
}

}  // namespace

extern "C" {

PexoNetwork* pxNetwork_Connect(PexoProgram* program, const char* host, int32_t port) {
  return Connect(program, host, port, false);
}

PexoNetwork* pxNetwork_Connect_SSL(PexoProgram* program, const char* host, int32_t port) {
  return Connect(program, host, port, true);
}

int pxNetwork_Close(PexoNetwork* connection) {
  if (!connection) return 0;
  delete AsConnection(connection);
  return 1;
}

int32_t pxNetwork_Read(PexoNetwork* handle, void* buffer, int32_t size, int32_t timeout) {
  if (!handle || !buffer || size < 0) return -1;
  ApiConnection* c = AsConnection(handle);
  c->context->Network();
  return c->connection->Read(static_cast<char*>(buffer), size, timeout);
}

int32_t pxNetwork_Write(PexoNetwork* handle, const void* buffer, int32_t length) {
  if (!handle || !buffer || length < 0) return -1;
  ApiConnection* c = AsConnection(handle);
  c->context->Network();
  return c->connection->Write(static_cast<const char*>(buffer), length, 0);
}

int32_t pxNetwork_Read_Line(PexoNetwork* handle, char* buffer, int32_t size, int32_t timeout) {
  if (buffer && size > 0) buffer[0] = 0;
  if (!handle || !buffer || size <= 0) return -1;
  ApiConnection* c = AsConnection(handle);
  c->context->Network();
  String line;
  if (c->connection->ReadLine(&line, 512, timeout) < 0) return -1;
  int32_t length = line.length() < size - 1 ? line.length() : size - 1;
  std::memcpy(buffer, line.data(), static_cast<size_t>(length));
  buffer[length] = 0;
  return length;
}

int pxNetwork_Get_Host_Address(PexoProgram* program, const char* name, char* buffer,
                               int32_t size) {
  if (buffer && size > 0) buffer[0] = 0;
  if (!program || !name) return 0;
  ApiContext* context = AsContext(program);
  NetworkManager* manager = context->Network();
  String address;
  if (!manager->LookUp(name, &address)) {
    context->SetError(manager->ErrorText());
    return 0;
  }
  if (CopyOut(address, buffer, size)) return 1;
  context->SetError("Buffer too small");
  return 0;
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
  return CopyOut(String(made), buffer, size) ? 1 : 0;
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

PexoHTTPResponse* pxNetwork_HTTP_Request(PexoProgram* program, const char* method,
                                         const char* url, const char* headers, const char* body,
                                         int32_t body_length) {
  if (!program) return nullptr;
  ApiContext* context = AsContext(program);
  CallRequest request;
  request.url = url ? url : "";
  request.method = method && *method ? method : "GET";
  TakeContentType(headers, &request);
  if (body && body_length != 0) {
    request.fields.push_back(CallField{String(), String(body, body_length)});
    request.raw_body = true;
  }
  std::unique_ptr<ApiResponse> response(
      new ApiResponse{context, std::unique_ptr<HttpCall>(new HttpCall(context->Network(), nullptr))});
  if (!response->call->Start(request, TlsOptions(), 0)) {
    context->SetError(response->call->ErrorText());
    return nullptr;
  }
  context->SetError("");
  return reinterpret_cast<PexoHTTPResponse*>(response.release());
}

PexoHTTPResponse* pxNetwork_Open_URL(PexoProgram* program, const char* url) {
  return pxNetwork_HTTP_Request(program, "GET", url, nullptr, nullptr, 0);
}

const char* pxNetwork_Error(PexoProgram* program, PexoNetwork* connection, int32_t* length) {
  const String* text = nullptr;
  if (connection)
    text = &AsConnection(connection)->connection->ErrorText();
  else if (program)
    text = &AsContext(program)->ErrorText();
  const char* bytes = text ? text->c_str() : kNoProgram;
  if (length) *length = text ? text->length() : static_cast<int32_t>(sizeof kNoProgram - 1);
  return bytes;
}

int32_t pxHTTPResponse_Read(PexoHTTPResponse* handle, void* buffer, int32_t size) {
  if (!handle || !buffer || size < 0) return -1;
  ApiResponse* r = AsResponse(handle);
  r->context->Network();
  return r->call->ReadBody(static_cast<char*>(buffer), size);
}

int32_t pxHTTPResponse_Status_Code(PexoHTTPResponse* handle) {
  if (!handle || !AsResponse(handle)->call->response()) return -1;
  return AsResponse(handle)->call->response()->status();
}

int64_t pxHTTPResponse_Content_Length(PexoHTTPResponse* handle) {
  if (!handle || !AsResponse(handle)->call->response()) return -1;
  return AsResponse(handle)->call->response()->content_length();
}

const char* pxHTTPResponse_Error(PexoProgram* program, PexoHTTPResponse* response,
                                 int32_t* length) {
  const String* text = nullptr;
  if (response)
    text = &AsResponse(response)->call->ErrorText();
  else if (program)
    text = &AsContext(program)->ErrorText();
  const char* bytes = text ? text->c_str() : kNoProgram;
  if (length) *length = text ? text->length() : static_cast<int32_t>(sizeof kNoProgram - 1);
  return bytes;
}

int pxHTTPResponse_Close(PexoHTTPResponse* response) {
  if (!response) return 0;
  delete AsResponse(response);
  return 1;
}

}  // extern "C"
