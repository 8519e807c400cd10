#include "values/aggregate_walk.h"

#include "values/aggregate_element.h"
#include "values/aggregate_tree.h"
#include "values/variable.h"

namespace pexo {

AggregateWalk::AggregateWalk(AggregateElementTree* tree, Mode mode) : mode_(mode) {
  if (tree) Open(tree);
}

void AggregateWalk::Open(AggregateElementTree* tree) {
  seen_.insert(tree);
  open_.push_back(Level{tree, nullptr});
}

bool AggregateWalk::Next() {
  if (enter_) {
    Open(enter_);
    enter_ = nullptr;
  }
  while (!open_.empty()) {
    Level& level = open_.back();
    AggregateElement* next =
        level.last ? level.tree->Successor(level.last->Index()) : level.tree->Minimum();
    if (!next) {
      if (mode_ == kPath) seen_.erase(level.tree);
      open_.pop_back();
      continue;
    }
    level.last = next;
    element_ = next;
    variable_ = next->GetVariable();
    if (!variable_) continue;
    real_ = variable_->RealIdentity();
    aggregate_ = real_->AggregateKind() != kKindScalar;
    AggregateElementTree* tree = aggregate_ ? real_->Aggregate() : nullptr;
    repeated_ = tree && seen_.count(tree) != 0;
    if (tree && !repeated_) enter_ = tree;
    return true;
  }
  element_ = nullptr;
  variable_ = real_ = nullptr;
  return false;
}

namespace {

// Follows the chain of references from `variable`; true when it meets
// `goal`. *real receives the end of the chain.
bool ChainMeets(Variable* variable, const Variable* goal, Variable** real) {
  for (;;) {
    if (variable == goal) return true;
    Variable* next = variable->NextIdentity();
    if (next == variable) break;
    variable = next;
  }
  *real = variable;
  return false;
}

}  // namespace

bool VariableReaches(Variable* from, const Variable* goal) {
  if (!from || !goal) return false;
  Variable* real = nullptr;
  if (ChainMeets(from, goal, &real)) return true;
  // Scalars hold nothing: the common case costs no walk.
  if (real->AggregateKind() == kKindScalar || !real->Aggregate()) return false;
  AggregateWalk walk(real->Aggregate(), AggregateWalk::kOnce);
  while (walk.Next()) {
    if (ChainMeets(walk.variable(), goal, &real)) return true;
  }
  return false;
}

}  // namespace pexo
