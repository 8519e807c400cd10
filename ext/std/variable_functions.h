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
// (name): 1 when a variable of that name exists, by the language's scope
// order or a scope prefix ("g.", "l.", "s."), followed by members and
// indexes ("g.cart.items[2]"). Never creates the variable.
void IsDefined(StdCall& call);

}  // namespace stdlib
}  // namespace pexo

#endif  // PEXO_STD_VARIABLE_FUNCTIONS_H_
