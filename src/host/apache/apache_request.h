// ApacheRequest: the engine's view of one request_rec. Server variables are
// the CGI set the server computes (common and CGI variables), with the
// script's URL path as PATH_INFO, its file as PATH_TRANSLATED and every
// request header in ALL_HTTP as "HTTP_NAME:value\n" lines. The body is read
// through the server's client-block reader (chunked bodies are de-chunked),
// each read bounded by the deadline through the connection socket's time-out.
//
// ApacheResponse sets status and headers on the request_rec until the first
// body bytes leave, then passes each body chunk down the output filters
// followed by a flush, so that what the output chain flushes reaches the
// client at once. Both live on the request thread only.
#ifndef PEXO_HOST_APACHE_APACHE_REQUEST_H_
#define PEXO_HOST_APACHE_APACHE_REQUEST_H_

#include <cstdint>

#include "host/server_request.h"
#include "io/server_response.h"

struct request_rec;
struct apr_bucket_brigade;

namespace pexo {

// The `apitype` a script sees when served through this module.
constexpr const char kApacheApiType[] = "Apache2";

class ApacheResponse : public ServerResponse {
 public:
  explicit ApacheResponse(request_rec* r);

  void DisableBuffering() override {}
  int SetStatus(int code, const char* reason, int32_t reason_length) override;
  int SetHeader(const char* name, int32_t name_length, const char* value, int32_t value_length,
                bool replace) override;
  int32_t WriteBody(const char* data, int32_t length, bool more_data) override;

  bool body_started() const { return body_started_; }
  // The server has answered the request itself: nothing more is sent.
  void Abandon() { abandoned_ = true; }

 private:
  request_rec* r_;
  apr_bucket_brigade* brigade_ = nullptr;
  bool body_started_ = false;
  bool failed_ = false;
  bool abandoned_ = false;
};

class ApacheRequest : public ServerRequest {
 public:
  // Computes the server variables; `r` must have a file name mapped.
  explicit ApacheRequest(request_rec* r);

  bool GetServerVariable(const char* name, String* value) override;
  // The server has refused every transfer coding but chunked.
  bool ChunkedBody() override;
  int32_t ReadBody(char* buffer, int32_t size, int64_t deadline) override;
  ServerResponse* Response() override { return &response_; }
  const char* ApiType() const override { return kApacheApiType; }

  // Reads and drops what the script left of the body, so the connection
  // can be kept alive.
  void DiscardBody();

 private:
  void FillVariables();
  int32_t ReadBrigade(char* buffer, int32_t size);

  request_rec* r_;
  ApacheResponse response_;
  apr_bucket_brigade* body_brigade_ = nullptr;
  bool body_setup_ = false;
  bool body_failed_ = false;
};

}  // namespace pexo

#endif  // PEXO_HOST_APACHE_APACHE_REQUEST_H_
