// DestroyVariable: destroys a variable whose last reference is gone without
// recursing once per nesting level. Destroying an aggregate releases its
// elements; a release that reaches zero while another destruction on this
// thread is under way is queued instead of run, and the outermost call
// drains the queue. Variables still die in the order a recursive
// destruction would give (a variable, then each of its elements in key
// order with everything below it), so callbacks told of destruction see the
// same sequence.
#ifndef PEXO_VALUES_RELEASE_QUEUE_H_
#define PEXO_VALUES_RELEASE_QUEUE_H_

namespace pexo {

class Variable;

void DestroyVariable(Variable* variable);

}  // namespace pexo

#endif  // PEXO_VALUES_RELEASE_QUEUE_H_
