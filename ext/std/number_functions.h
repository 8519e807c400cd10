// Number functions. They compute on the decimal texts the engine gives, so
// results are exact to the engine's 16 significant digits; a value that is
// not a number counts as 0, as everywhere in the language, and NaN and the
// infinities pass through unchanged.
#ifndef PEXO_STD_NUMBER_FUNCTIONS_H_
#define PEXO_STD_NUMBER_FUNCTIONS_H_

#include "std_call.h"

namespace pexo {
namespace stdlib {

void Abs(StdCall& call);           // (number)
void Int(StdCall& call);           // (number): toward zero
void Round(StdCall& call);         // (number, decimals): halves away from zero
void Floor(StdCall& call);         // (number)
void Ceil(StdCall& call);          // (number)
void Min(StdCall& call);           // (a, b)
void Max(StdCall& call);           // (a, b)
void IsNumber(StdCall& call);      // (value)
void NumberFormat(StdCall& call);  // (number, decimals, point, separator)
// (low, high): a uniformly drawn integer in [low, high]. Its generator is
// the function's private data, shared by every request.
void Random(StdCall& call, void** data);

}  // namespace stdlib
}  // namespace pexo

#endif  // PEXO_STD_NUMBER_FUNCTIONS_H_
