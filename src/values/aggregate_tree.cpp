#include "values/aggregate_tree.h"

#include <new>

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
  return key.Compare(KeyOf(element));
}

void AggregateElementTree::Renumber(int32_t from, int32_t delta) {
  if (!root_ || delta == 0) return;
  Splay(AggregateIndex(from));
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

AggregateElementTree* AggregateElementTree::CopyTree() const {
  AggregateElementTree* copy = new (std::nothrow) AggregateElementTree(true);
  if (!copy) return nullptr;
  bool ok = true;
  // In key order, so each insert lands next to the root: linear overall.
  ForEach([&](AggregateElement* element) {
    AggregateElement* duplicate = new (std::nothrow) AggregateElement(*element);
    if (!duplicate || !duplicate->GetVariable() || !copy->Insert(duplicate)) {
      delete duplicate;
      ok = false;
    }
    return ok;
  });
  if (!ok) {
    delete copy;
    return nullptr;
  }
  return copy;
}

}  // namespace pexo
