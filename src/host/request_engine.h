// RequestEngine: the pieces of a request that the lifecycle drives but does
// not implement itself: the query-string and body parsers and the script
// machine. A binding hands one engine to every ServerApplication; it must be
// usable from several request threads at once (it only creates objects).
//
// NullRequestEngine is the engine for builds without a machine: it parses
// nothing and refuses to create a machine, so every request stops with a
// clear message after the program was loaded.
#ifndef PEXO_HOST_REQUEST_ENGINE_H_
#define PEXO_HOST_REQUEST_ENGINE_H_

#include <cstdint>

#include "values/string.h"

namespace pexo {

class ServerApplication;

// Body content kinds, chosen on the request's content type.
enum BodyKind : int32_t {
  BODY_URLENCODED = 0,
  BODY_JSON = 1,
  BODY_MULTIPART = 2,
  BODY_OTHER = 3,
};

// A push parser of the request body: fed in pieces, then finished.
class RequestBodyParser {
 public:
  virtual ~RequestBodyParser();
  virtual bool Feed(const char* data, int32_t length) = 0;
  virtual bool Finish() = 0;
  virtual const String& ErrorMessage() const = 0;
};

// One run of the compiled program on a request.
class RequestMachine {
 public:
  virtual ~RequestMachine();
  // Runs the start segment: 1 ended normally, 0 stopped.
  virtual int Run() = 0;
};

class RequestEngine {
 public:
  virtual ~RequestEngine();
  // Query-string variables into the globals; false with the message.
  virtual bool ParseQueryString(ServerApplication* app, const char* text, int32_t length,
                                String* error) = 0;
  // A parser for a body of `kind`, or null with the message.
  virtual RequestBodyParser* NewBodyParser(ServerApplication* app, BodyKind kind,
                                           const String& content_type, int32_t content_length,
                                           String* error) = 0;
  // The machine on the application's loaded program, or null with the
  // message.
  virtual RequestMachine* NewMachine(ServerApplication* app, String* error) = 0;
};

class NullRequestEngine : public RequestEngine {
 public:
  bool ParseQueryString(ServerApplication* app, const char* text, int32_t length,
                        String* error) override;
  RequestBodyParser* NewBodyParser(ServerApplication* app, BodyKind kind,
                                   const String& content_type, int32_t content_length,
                                   String* error) override;
  RequestMachine* NewMachine(ServerApplication* app, String* error) override;
};

}  // namespace pexo

#endif  // PEXO_HOST_REQUEST_ENGINE_H_
