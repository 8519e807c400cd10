// JSON encoding of a variable.
//
// A structure becomes an object of its members (in member order), an array
// a JSON array of its elements in index order (indexes are not written).
// Scalars: an empty value is "", an integer its digits, a decimal its number
// text (NaN and infinities as quoted texts). A text is written as a JSON
// number when it is a finite number below 10^16 in magnitude that does not
// start with "0" (except "0" itself and "0.x"); with kJsonBooleans the texts
// true and false become literals; everything else is a quoted string through
// the JavaScript string encoder (member names too).
//
// kJsonPretty puts a newline and one tab per depth after "{", "[" and ",",
// and a newline and the enclosing depth's tabs before "}" and "]".
//
// Containers are walked with an explicit stack, so nesting depth is bounded
// only by memory. An aggregate found inside itself is written as "".
#ifndef PEXO_IO_JSON_ENCODE_H_
#define PEXO_IO_JSON_ENCODE_H_

#include <cstdint>

#include "values/link_buffer.h"

namespace pexo {

class Variable;

enum : int { kJsonPretty = 1, kJsonBooleans = 2 };

// `utf8` selects the UTF-8 handling of the string encoder (output character
// set "utf-8").
void AppendJson(LinkBuffer* out, Variable* value, int flags, bool utf8);

// A fresh malloc'd zero-terminated buffer (see encoded_text.h); null only
// when out of memory.
char* JsonEncode(Variable* value, int flags, bool utf8, int32_t* out_length,
                 int32_t* out_capacity);

// Whether a text would be written as a bare JSON number.
bool IsJsonNumberText(const char* text, int32_t length);

}  // namespace pexo

#endif  // PEXO_IO_JSON_ENCODE_H_
