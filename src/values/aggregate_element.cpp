#include "values/aggregate_element.h"

#include <new>

#include "values/variable.h"

namespace pexo {

AggregateElement::AggregateElement(const AggregateIndex& index)
    : index_(index), variable_(new (std::nothrow) Variable()) {}

AggregateElement::AggregateElement(const AggregateIndex& index, Variable* variable)
    : index_(index), variable_(variable) {
  if (variable_) variable_->Retain();
}

AggregateElement::AggregateElement(const AggregateElement& other)
    : index_(other.index_), variable_(other.variable_ ? other.variable_->Copy() : nullptr) {}

AggregateElement::~AggregateElement() {
  if (variable_) variable_->Release();
}

void AggregateElement::ReplaceVariable(Variable* variable) {
  if (variable) variable->Retain();
  Variable* old = variable_;
  variable_ = variable;
  if (old) old->Release();
}

}  // namespace pexo
