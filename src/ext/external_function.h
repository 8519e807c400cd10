// The machine's path into a library function for a `call` of a function
// marked external. CallExternalFunction does all of it; a caller that binds
// arguments itself can use the two pieces:
//
//   BindExternalFunction      resolve on the first call, cache in the
//                             Function's binding slot, check the count
//   ExternalParameterMatches  per parameter, from the last to the first
//   ExternalCall::Invoke      call with the parameter scope; the result
//                             variable comes back with one reference
#ifndef PEXO_EXT_EXTERNAL_FUNCTION_H_
#define PEXO_EXT_EXTERNAL_FUNCTION_H_

#include <cstdint>

#include "values/string.h"

namespace pexo {

class ExternalCall;
class ExternalCallManager;
class Function;
class Variable;
class VariableHash;

// Where the arguments come from: the machine's operand stack, top first.
class ExternalArguments {
 public:
  virtual ~ExternalArguments() = default;
  // Pops the top argument for a by-reference parameter: the variable with
  // one reference for the caller, or null. A source that reports its own
  // failure (a constant where a variable is needed) leaves `error` empty.
  virtual Variable* PopVariable(String* error) = 0;
  // Pops the top argument's value into `target` (copied, or adopted from a
  // temporary). False on failure, as above.
  virtual bool PopInto(Variable* target, String* error) = 0;
};

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

// The whole external path: bind, take the arguments from the last declared
// parameter to the first into `scope` (a by-reference parameter becomes an
// alias of the caller's variable; a by-value one receives the value in the
// scope entry's own variable), call, and leave the scope's entries empty.
// 1 with `*result` holding one reference; 0 with the run-time message in
// `error` (empty when the argument source reported the failure itself).
// Arguments after a failed parameter stay with the source.
int CallExternalFunction(ExternalCallManager* manager, Function* function, void* program,
                         VariableHash* scope, ExternalArguments* arguments, Variable** result,
                         String* error);

}  // namespace pexo

#endif  // PEXO_EXT_EXTERNAL_FUNCTION_H_
