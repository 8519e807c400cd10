// Functions on arrays and structures. Results that are lists are new arrays
// numbered from 1 holding copies, so changing them never changes the
// argument. Positions (slice) count elements in element order, which for a
// sparse array differs from the indexes.
#ifndef PEXO_STD_AGGREGATE_FUNCTIONS_H_
#define PEXO_STD_AGGREGATE_FUNCTIONS_H_

#include "std_call.h"

namespace pexo {
namespace stdlib {

void Count(StdCall& call);   // (aggregate): 0 for a scalar
void Keys(StdCall& call);    // (aggregate): indexes or member names
void Sort(StdCall& call);    // (aggregate, mode)
void Search(StdCall& call);  // (aggregate, value): the first key, or empty
void Slice(StdCall& call);   // (aggregate, start, count)

}  // namespace stdlib
}  // namespace pexo

#endif  // PEXO_STD_AGGREGATE_FUNCTIONS_H_
