// Functions that shape the response rather than compute a value.
#ifndef PEXO_STD_OUTPUT_FUNCTIONS_H_
#define PEXO_STD_OUTPUT_FUNCTIONS_H_

#include "std_call.h"

namespace pexo {
namespace stdlib {

// (name, value): sets a response header, replacing one of the same name;
// 1 when the engine took it, 0 once the headers have been sent. The name
// must be a non-empty token (no blanks, separators or control bytes) and the
// value must not hold CR, LF or zero bytes, so a script can never split the
// response by passing visitor input through.
void Header(StdCall& call);

}  // namespace stdlib
}  // namespace pexo

#endif  // PEXO_STD_OUTPUT_FUNCTIONS_H_
