// RequestContent: the query string and the request body become variables
// through the content parsers.
//
// ParseQueryString feeds a non-empty query string to the URL-encoded parser
// (globals, no variable limit). ReadBody reads a body only when the request
// has a CONTENT_TYPE and a positive CONTENT_LENGTH or comes chunked; the
// POST timer runs while it is read. On failure each sets the answer's
// status, reports the message (a time-out to the timeout reporter, the rest
// as input errors) and returns false; nothing is retried.
//
// Everything is borrowed from the application.
#ifndef PEXO_HOST_REQUEST_CONTENT_H_
#define PEXO_HOST_REQUEST_CONTENT_H_

#include <cstdint>

#include "io/content_parser.h"
#include "values/string.h"

namespace pexo {

class RequestDeadlines;
class RequestMessages;
class RequestUploads;
class ServerConfig;
class ServerRequest;
class SystemVariableHash;
class VariableHash;

class RequestContent {
 public:
  RequestContent(ServerRequest* request, ServerConfig* config, RequestDeadlines* deadlines,
                 RequestMessages* messages, RequestUploads* uploads);
  RequestContent(const RequestContent&) = delete;
  RequestContent& operator=(const RequestContent&) = delete;

  bool ParseQueryString(const String& query, VariableHash* globals);
  bool ReadBody(VariableHash* globals, SystemVariableHash* system);

 private:
  bool BodyFailed(int32_t failure);
  bool ContentFailed(ContentFailure failure, const String& message);

  ServerRequest* request_;
  ServerConfig* config_;
  RequestDeadlines* deadlines_;
  RequestMessages* messages_;
  RequestUploads* uploads_;
};

}  // namespace pexo

#endif  // PEXO_HOST_REQUEST_CONTENT_H_
