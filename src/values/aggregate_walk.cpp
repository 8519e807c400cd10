#include "values/aggregate_walk.h"

#include <atomic>

#include "values/aggregate_element.h"
#include "values/aggregate_tree.h"
#include "values/variable.h"

namespace pexo {

namespace {

// Walk ids are never reused, so a mark left by a finished walk can never be
// mistaken for a live one.
std::atomic<uint64_t> last_walk_id{0};

}  // namespace

AggregateWalk::AggregateWalk(AggregateElementTree* tree, Mode mode)
    : mode_(mode), id_(++last_walk_id) {
  if (tree) Open(tree);
}

AggregateWalk::~AggregateWalk() {
  if (mode_ != kPath) return;
  while (!open_.empty()) {
    open_.back().tree->set_walk_mark(open_.back().previous_mark);
    open_.pop_back();
  }
}

void AggregateWalk::Open(AggregateElementTree* tree) {
  open_.push_back(Level{tree, nullptr, tree->walk_mark()});
  tree->set_walk_mark(id_);
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
      if (mode_ == kPath) level.tree->set_walk_mark(level.previous_mark);
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
    repeated_ = tree && tree->walk_mark() == id_;
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
