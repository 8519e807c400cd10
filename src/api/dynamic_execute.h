// Running code compiled from an expression for an extension: a nested run
// in a new frame of the running machine on a fresh operand stack, with the
// given local scope (null: the current call's). Succeeds when the run ends
// normally and leaves a value.
#ifndef PEXO_API_DYNAMIC_EXECUTE_H_
#define PEXO_API_DYNAMIC_EXECUTE_H_

namespace pexo {

class PexoVM;
class Segment;
class Variable;
class VariableHash;

// The value is popped into `result`.
bool ExecuteDynamicExpression(PexoVM* vm, Segment* segment, VariableHash* scope,
                              Variable* result);
// The value is popped as a truth value into *truth.
bool ExecuteDynamicExpressionBoolean(PexoVM* vm, Segment* segment, VariableHash* scope,
                                     int* truth);

}  // namespace pexo

#endif  // PEXO_API_DYNAMIC_EXECUTE_H_
