// Request content parsers: push parsers that turn a request body (or the
// query string) into variables. The caller feeds the body in pieces of any
// size (the request lifecycle uses at most 8192 bytes), then calls Finish.
// No parser needs the whole body in memory unless its result is the raw body.
//
// A parser that fails keeps its message, stays failed and ignores further
// input; variables set before the failure stay set.
#ifndef PEXO_IO_CONTENT_PARSER_H_
#define PEXO_IO_CONTENT_PARSER_H_

#include <cstdint>

#include "values/string.h"

namespace pexo {

class Variable;

// Where parsed values go: the global scope for form data, the system scope
// for raw bodies.
class ContentVariableStore {
 public:
  virtual ~ContentVariableStore();
  // Assigns a form value to the variable path `name`. A name that already
  // holds a value accumulates: its values become array elements 1, 2, ...
  // False when the name is not a valid path (nothing is set).
  virtual bool SetFormField(const char* name, int32_t name_length, const char* value,
                            int32_t value_length) = 0;
  // The variable of a plain name, made when missing; borrowed. Null only
  // when it cannot be made.
  virtual Variable* MakeVariable(const char* name) = 0;
};

// What a failed parser met; the request lifecycle answers accordingly.
enum ContentFailure {
  kContentRefused,      // malformed or incomplete, or too many variables
  kContentTooLarge,     // over a size limit, or too large to hold
  kContentServerFault,  // an upload callback or a temporary file failed
  kContentUnsupported,  // a content type the configuration refuses
};

class HTTPContentParser {
 public:
  explicit HTTPContentParser(ContentVariableStore* store) : store_(store) {}
  HTTPContentParser(const HTTPContentParser&) = delete;
  HTTPContentParser& operator=(const HTTPContentParser&) = delete;
  virtual ~HTTPContentParser();

  // True to continue, false once the parser has failed.
  virtual bool Feed(const char* data, int32_t length) = 0;
  // True on success.
  virtual bool Finish() = 0;
  virtual const String& ErrorMessage() const { return error_; }
  // Enters the failed state with `message`.
  virtual void SetError(const char* message);
  // The same, recording what kind of failure it was (the default: refused).
  void SetFailure(ContentFailure kind, const char* message);

  bool failed() const { return failed_; }
  ContentFailure failure() const { return failure_; }

 protected:
  ContentVariableStore* store_;
  String error_;
  bool failed_ = false;
  ContentFailure failure_ = kContentRefused;
};

// Message texts shared by the parsers.
extern const char kMaxPostVarsExceeded[];
extern const char kOutOfMemory[];
// A body that ended before its announced length or its closing delimiter.
extern const char kIncompleteBody[];
// A body whose content-length is not known ahead (chunked).
constexpr int64_t kUnknownContentLength = -1;

}  // namespace pexo

#endif  // PEXO_IO_CONTENT_PARSER_H_
