#include "values/aggregate_tree.h"

#include <new>
#include <vector>

#include "values/aggregate_walk.h"
#include "values/list.h"
#include "values/variable.h"

namespace pexo {

AggregateElementTree::AggregateElementTree(bool owns_elements)
    : SplayTree<AggregateElement, const AggregateIndex&>(owns_elements) {}

AggregateElementTree::~AggregateElementTree() { RemoveAll(); }

void AggregateElementTree::DeleteElement(AggregateElement* element) { delete element; }

const AggregateIndex& AggregateElementTree::KeyOf(const AggregateElement* element) const {
  return const_cast<AggregateElement*>(element)->Index();
}

int AggregateElementTree::Compare(const AggregateIndex& key, const AggregateElement* element) const {
  return key.Compare(element->key());
}

namespace {

struct KeyOrder {
  const AggregateIndex& key;
  int operator()(const AggregateElement* element) const { return key.Compare(element->key()); }
};

}  // namespace

int AggregateElementTree::Insert(AggregateElement* element) {
  return InsertBy(element, KeyOrder{element->key()});
}

AggregateElement* AggregateElementTree::Remove(const AggregateIndex& key) {
  return RemoveBy(KeyOrder{key});
}

AggregateElement* AggregateElementTree::Find(const AggregateIndex& key) {
  return FindBy(KeyOrder{key});
}

AggregateElement* AggregateElementTree::Successor(const AggregateIndex& key) {
  return SuccessorBy(KeyOrder{key});
}

AggregateElement* AggregateElementTree::Predecessor(const AggregateIndex& key) {
  return PredecessorBy(KeyOrder{key});
}

void AggregateElementTree::Renumber(int32_t from, int32_t delta) {
  if (!root_ || delta == 0) return;
  AggregateIndex start(from);
  SplayBy(KeyOrder{start});
  AggregateIndex& top = root_->element->Index();
  if (!top.IsNumber()) return;
  if (top.Number() >= from) top.SetNumber(top.Number() + delta);
  // Everything right of the root is above it, hence at or above `from`.
  Stack<Node> pending;
  if (root_->right) pending.push(root_->right);
  while (Node* node = pending.pop()) {
    AggregateIndex& index = node->element->Index();
    index.SetNumber(index.Number() + delta);
    if (node->left) pending.push(node->left);
    if (node->right) pending.push(node->right);
  }
}

void AggregateElementTree::Collapse() {
  int32_t next = 1;
  ForEach([&next](AggregateElement* element) {
    element->Index().SetNumber(next++);
    return true;
  });
}

namespace {

// A copy of one element's variable: its class and name, and, for a scalar,
// its value. An aggregate gets an empty tree of its kind, filled by the walk.
Variable* CopyShell(Variable* from, Variable* real, bool aggregate) {
  Variable* shell = from->MakeCopyShell();
  if (!shell) return nullptr;
  if (aggregate) {
    shell->MakeAggregate(real->AggregateKind());
    if (!shell->Aggregate()) {
      shell->Release();
      return nullptr;
    }
  } else {
    shell->SetValue_Variable(from);
  }
  return shell;
}

}  // namespace

AggregateElementTree* AggregateElementTree::CopyTree() const {
  AggregateElementTree* copy = new (std::nothrow) AggregateElementTree(true);
  if (!copy) return nullptr;
  // Walked without recursion; into[d] is the tree that receives the copies
  // of the elements met at depth d + 1. A cycle copies as an empty
  // aggregate. Inserting in key order lands each element next to the root.
  std::vector<AggregateElementTree*> into{copy};
  AggregateWalk walk(const_cast<AggregateElementTree*>(this));
  bool ok = true;
  while (ok && walk.Next()) {
    into.resize(static_cast<size_t>(walk.depth()));
    Variable* shell = CopyShell(walk.variable(), walk.real(), walk.aggregate());
    if (!shell) {
      ok = false;
      break;
    }
    AggregateElement* element = new (std::nothrow) AggregateElement(walk.element()->Index(), shell);
    shell->Release();  // the element holds it now
    if (!element || !into.back()->Insert(element)) {
      delete element;
      ok = false;
      break;
    }
    if (walk.aggregate() && !walk.repeated()) into.push_back(shell->Aggregate());
  }
  if (!ok) {
    delete copy;
    return nullptr;
  }
  return copy;
}

}  // namespace pexo
