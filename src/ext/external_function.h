// The machine's path into a library function for a `call` of a function
// marked external. The machine drives it:
//
//   ExternalCall* call = BindExternalFunction(manager, function, &error);
//   if (!call) -> fatal error `error`
//   for each parameter i from the last to the first:
//     if (!ExternalParameterMatches(*call, *function, i))
//       -> fatal error kExternalParameterMismatch
//     bind the argument on top of the stack into the parameter scope at the
//     parameter's local index (by reference: an alias of the caller's
//     variable; by value: the entry's variable, made if needed, receives
//     the value; none: "Invalid parameter reference")
//   Variable* result = call->Invoke(machine, scope);   // one reference
//   push `result` (owned); release the scope's variables.
#ifndef PEXO_EXT_EXTERNAL_FUNCTION_H_
#define PEXO_EXT_EXTERNAL_FUNCTION_H_

#include <cstdint>

#include "values/string.h"

namespace pexo {

class ExternalCall;
class ExternalCallManager;
class Function;

extern const char kExternalParameterCountMismatch[];
extern const char kExternalParameterMismatch[];

// The library function bound to `function`: resolved through `manager` on
// the first call and kept in the function's binding slot. Null with the
// run-time message in `error` when the name is unknown or the descriptor's
// parameter count differs from the declared one.
ExternalCall* BindExternalFunction(ExternalCallManager* manager, Function* function,
                                   String* error);

// Whether the descriptor's flags for parameter `index` equal the declared
// parameter's (1 by reference, 0 by value).
bool ExternalParameterMatches(const ExternalCall& call, const Function& function, int32_t index);

}  // namespace pexo

#endif  // PEXO_EXT_EXTERNAL_FUNCTION_H_
