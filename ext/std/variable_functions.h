// Functions about variables themselves.
#ifndef PEXO_STD_VARIABLE_FUNCTIONS_H_
#define PEXO_STD_VARIABLE_FUNCTIONS_H_

#include "std_call.h"

namespace pexo {
namespace stdlib {

// (value): "none", "integer", "decimal", "text", "structure" or "array".
void Type(StdCall& call);
// (value): 1 for the empty text, no value, or an aggregate without elements.
void IsEmpty(StdCall& call);
// (name): 1 when a variable of that name or path ("g.total", "s.x") exists.
void IsDefined(StdCall& call);

}  // namespace stdlib
}  // namespace pexo

#endif  // PEXO_STD_VARIABLE_FUNCTIONS_H_
