// HttpCall: one HTTP call of a script: parses the URL, builds and sends the
// request through the network manager (directly or through its proxy, TLS
// for "https"), reads the response head, and then hands out the body as
// objects: tags and text runs, or with kCallNoParse the whole body once.
// Redirects are not followed: a 3xx response is the call's response.
//
// Use: Start() once; on success read status/headers/certificate, then call
// NextObject() until it returns 0 (end) or -1 (error). Every failure leaves
// the message in ErrorText(). The connection closes with the call.
#ifndef PEXO_NET_HTTP_CALL_H_
#define PEXO_NET_HTTP_CALL_H_

#include <cstdint>
#include <memory>

#include "net/call_buffer.h"
#include "net/call_request.h"
#include "net/http_response_stream.h"
#include "net/network_manager.h"
#include "net/tag_splitter.h"

namespace pexo {

class HttpCall {
 public:
  // Wraps the fresh connection before any byte is sent (call logging);
  // returns the connection to use.
  typedef std::unique_ptr<NetworkConnection> (*Wrapper)(void* context,
                                                        std::unique_ptr<NetworkConnection> inner);

  // The manager and the file source are borrowed (files may be null when the
  // request has none).
  HttpCall(NetworkManager* manager, CallFileSource* files) : manager_(manager), files_(files) {}
  HttpCall(const HttpCall&) = delete;
  HttpCall& operator=(const HttpCall&) = delete;

  void set_wrapper(Wrapper wrapper, void* context) {
    wrapper_ = wrapper;
    wrapper_context_ = context;
  }

  // tls carries the certificate, key and pin settings; its host and
  // verify flags are filled here. timeout: seconds for each network wait
  // (the caller turns a script's 0 into its configured call time-out).
  int Start(const CallRequest& request, const TlsOptions& tls, int32_t timeout);

  const HTTPResponseStream* response() const { return stream_.get(); }
  // The server's certificate in PEM form (https only; empty otherwise).
  const String& server_certificate() const { return certificate_; }

  // 1 and *object filled, 0 at the end of the body, -1 on error.
  int NextObject(CallObject* object);
  // The body's raw bytes instead of objects: the count, 0 at the end, -1
  // on error.
  int32_t ReadBody(char* buffer, int32_t size);
  const String& ErrorText() const { return error_; }

 private:
  int Fail(const String& text);

  NetworkManager* manager_;
  CallFileSource* files_;
  Wrapper wrapper_ = nullptr;
  void* wrapper_context_ = nullptr;
  int32_t flags_ = 0;
  bool done_ = false;
  std::unique_ptr<NetworkConnection> connection_;
  std::unique_ptr<HTTPResponseStream> stream_;
  std::unique_ptr<CallBuffer> buffer_;
  std::unique_ptr<TagSplitter> splitter_;
  String certificate_;
  String error_;
};

}  // namespace pexo

#endif  // PEXO_NET_HTTP_CALL_H_
