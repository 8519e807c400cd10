// AggregateWalk: visits every variable nested under an element tree, in
// pre-order (an aggregate, then its elements in key order), without
// recursion, so nesting depth is bounded only by memory.
//
// Elements are followed through references to their real identity. An
// aggregate whose tree is already open on the current path (a containment
// cycle) is reported but never entered, so every walk ends. In kOnce mode an
// aggregate is entered at most once per walk, which keeps walks over shared
// (DAG-shaped) values linear.
//
// The trees walked must not change while the walk is under way. Trees are
// marked with the walk's id, so a tree is found on the path in O(1) and
// nested walks restore each other's marks.
#ifndef PEXO_VALUES_AGGREGATE_WALK_H_
#define PEXO_VALUES_AGGREGATE_WALK_H_

#include <cstdint>
#include <vector>

namespace pexo {

class AggregateElement;
class AggregateElementTree;
class Variable;

class AggregateWalk {
 public:
  enum Mode { kPath, kOnce };

  explicit AggregateWalk(AggregateElementTree* tree, Mode mode = kPath);
  AggregateWalk(const AggregateWalk&) = delete;
  AggregateWalk& operator=(const AggregateWalk&) = delete;
  // Gives every tree still open its previous mark back.
  ~AggregateWalk();

  // Moves to the next nested variable; false when the walk is over.
  bool Next();
  // Do not enter the current variable's elements.
  void Skip() { enter_ = nullptr; }

  // The current element, its variable as held, and that variable's real
  // identity.
  AggregateElement* element() const { return element_; }
  Variable* variable() const { return variable_; }
  Variable* real() const { return real_; }
  // 1 for the elements of the starting tree.
  int32_t depth() const { return static_cast<int32_t>(open_.size()); }
  // The current variable is an aggregate (its elements follow unless it is
  // repeated or skipped).
  bool aggregate() const { return aggregate_; }
  // The current aggregate is already open on the path (or, in kOnce mode,
  // was entered before): its elements are not visited.
  bool repeated() const { return repeated_; }

 private:
  struct Level {
    AggregateElementTree* tree;
    AggregateElement* last;
    uint64_t previous_mark;
  };
  void Open(AggregateElementTree* tree);

  Mode mode_;
  uint64_t id_;
  std::vector<Level> open_;
  AggregateElement* element_ = nullptr;
  Variable* variable_ = nullptr;
  Variable* real_ = nullptr;
  AggregateElementTree* enter_ = nullptr;  // tree to open on the next step
  bool aggregate_ = false;
  bool repeated_ = false;
};

// Whether `goal` is `from`, lies on its chain of references, or is held
// (directly or through references) anywhere inside it. Storing `from` in
// `goal`, or making `goal` an alias of `from`, would then close a cycle.
bool VariableReaches(Variable* from, const Variable* goal);

}  // namespace pexo

#endif  // PEXO_VALUES_AGGREGATE_WALK_H_
