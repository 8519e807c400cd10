// AggregateElement: one element of an aggregate, pairing its index with a
// variable on which the element holds one reference.
#ifndef PEXO_VALUES_AGGREGATE_ELEMENT_H_
#define PEXO_VALUES_AGGREGATE_ELEMENT_H_

#include "values/aggregate_index.h"
#include "values/memory_account.h"

namespace pexo {

class Variable;

class AggregateElement : public CountedObject {
 public:
  // A fresh empty variable, owned by the element.
  explicit AggregateElement(const AggregateIndex& index);
  // Retains `variable`.
  AggregateElement(const AggregateIndex& index, Variable* variable);
  // A deep copy of the other element's variable. Variable() is null when
  // the copy could not be made.
  explicit AggregateElement(const AggregateElement& other);
  AggregateElement& operator=(const AggregateElement&) = delete;
  // Releases the variable.
  virtual ~AggregateElement();

  virtual AggregateIndex& Index() { return index_; }
  // The index without a virtual call, for the tree's inner comparisons.
  const AggregateIndex& key() const { return index_; }
  virtual Variable* GetVariable() { return variable_; }
  // Retains the new variable before releasing the old one.
  virtual void ReplaceVariable(Variable* variable);
  // Hands the element's reference over to the caller; the element is left
  // holding nothing.
  Variable* TakeVariable() {
    Variable* variable = variable_;
    variable_ = nullptr;
    return variable;
  }

 private:
  AggregateIndex index_;
  Variable* variable_;
};

}  // namespace pexo

#endif  // PEXO_VALUES_AGGREGATE_ELEMENT_H_
