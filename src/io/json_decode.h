// JSON decoding for request bodies.
//
// The text must be one object or one array followed by the end. The decoder
// reports what it reads, in document order, to a JsonSink, which builds the
// value (a Variable in the engine, something simpler in tests). Strings
// arrive with their escapes decoded (\uXXXX to UTF-8, a surrogate followed by
// a second \uXXXX to one 4-byte sequence); numbers arrive as their text.
//
// Nesting is handled with an explicit stack, so deep input cannot exhaust
// the machine stack. On the first error the decoder stops, calls
// sink->Reset() and sets `error` to "Line #<n> - Syntax error: <what>",
// counting lines by the newlines between tokens.
#ifndef PEXO_IO_JSON_DECODE_H_
#define PEXO_IO_JSON_DECODE_H_

#include <cstddef>
#include <cstdint>

#include "values/string.h"

namespace pexo {

class JsonSink {
 public:
  virtual ~JsonSink();
  // A container starts; inside an object every value is preceded by Key.
  virtual void BeginObject() = 0;
  virtual void BeginArray() = 0;
  virtual void EndContainer() = 0;
  virtual void Key(const char* name, int32_t length) = 0;
  virtual void StringValue(const char* text, int32_t length) = 0;
  virtual void NumberValue(const char* text, int32_t length) = 0;
  virtual void BooleanValue(bool value) = 0;
  virtual void NullValue() = 0;
  // Decoding failed: drop whatever was built.
  virtual void Reset() = 0;
};

// Containers nest at most this deep; deeper input fails with "Nesting too
// deep", since the values it would build are freed recursively.
constexpr size_t kMaxJsonDepth = 512;

// Returns true on success. `error` is set only on failure.
bool JsonDecode(const char* text, int32_t length, JsonSink* sink, String* error);

}  // namespace pexo

#endif  // PEXO_IO_JSON_DECODE_H_
