#include "values/aggregate_tree.h"

#include <new>
#include <vector>

#include "values/aggregate_walk.h"
#include "values/list.h"
#include "values/variable.h"

namespace pexo {

AggregateElementTree::AggregateElementTree(bool owns_elements)
    : SplayTree<AggregateElement, const AggregateIndex&>(owns_elements) {}

AggregateElementTree::~AggregateElementTree() {
  RemoveAll();
  FreeElementBlocks();
}

void AggregateElementTree::DeleteElement(AggregateElement* element) { DropElement(element); }

AggregateElement* AggregateElementTree::MakeElement(const AggregateIndex& index, Variable* variable) {
  void* place = TakeElementSlot();
  return place ? new (place) AggregateElement(index, variable) : nullptr;
}

void AggregateElementTree::DropElement(AggregateElement* element) {
  if (!element) return;
  Variable* variable = element->TakeVariable();
  FreeElement(element);
  if (variable) variable->Release();
}

void* AggregateElementTree::TakeElementSlot() {
  if (ElementSlot* slot = free_elements_) {
    free_elements_ = slot->next;
    ++live_elements_;
    return slot;
  }
  if (element_block_used_ == element_block_size_) {
    int32_t size = element_block_size_ ? element_block_size_ * 2 : kFirstElementBlock;
    if (size > kMaxElementBlock) size = kMaxElementBlock;
    size_t bytes = sizeof(ElementBlock) + sizeof(ElementSlot) * static_cast<size_t>(size);
    auto* block = static_cast<ElementBlock*>(::operator new(bytes, std::nothrow));
    if (!block) return nullptr;
    CountMemory(static_cast<int64_t>(bytes));
    block->next = element_blocks_;
    block->bytes = static_cast<int64_t>(bytes);
    element_blocks_ = block;
    element_block_size_ = size;
    element_block_used_ = 0;
  }
  static_assert(sizeof(ElementBlock) % alignof(ElementSlot) == 0, "slots follow the header aligned");
  ++live_elements_;
  return reinterpret_cast<ElementSlot*>(element_blocks_ + 1) + element_block_used_++;
}

void AggregateElementTree::FreeElement(AggregateElement* element) {
  element->~AggregateElement();
  if (--live_elements_ == 0) {
    FreeElementBlocks();  // an emptied aggregate keeps no storage
    return;
  }
  auto* slot = reinterpret_cast<ElementSlot*>(element);
  slot->next = free_elements_;
  free_elements_ = slot;
}

void AggregateElementTree::FreeElementBlocks() {
  ElementBlock* block = element_blocks_;
  element_blocks_ = nullptr;
  free_elements_ = nullptr;
  element_block_size_ = element_block_used_ = 0;
  while (block) {
    ElementBlock* next = block->next;
    CreditMemory(block->bytes);
    ::operator delete(block);
    block = next;
  }
}

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

// The slot of an array index in a dense tree of `count` elements, or -1
// (a member name has number -1).
inline int32_t SlotOf(const AggregateIndex& key, int32_t count) {
  int32_t n = key.Number();
  return n >= 1 && n <= count ? n - 1 : -1;
}

}  // namespace

int AggregateElementTree::Insert(AggregateElement* element) {
  if (dense_) {
    const AggregateIndex& key = element->key();
    if (static_cast<int64_t>(key.Number()) == static_cast<int64_t>(count_) + 1)
      return Append(element) ? 1 : 0;
    if (SlotOf(key, count_) >= 0) return 0;
    if (!Spill()) return 0;
  }
  return InsertBy(element, KeyOrder{element->key()});
}

AggregateElement* AggregateElementTree::Remove(const AggregateIndex& key) {
  if (dense_) {
    int32_t slot = SlotOf(key, count_);
    if (slot < 0) return nullptr;
    if (slot == count_ - 1) return slots_[--count_];
    if (!Spill()) return nullptr;
  }
  AggregateElement* removed = RemoveBy(KeyOrder{key});
  if (count_ == 0) Densify();
  return removed;
}

AggregateElement* AggregateElementTree::Find(const AggregateIndex& key) {
  if (dense_) {
    int32_t slot = SlotOf(key, count_);
    return slot >= 0 ? slots_[slot] : nullptr;
  }
  return FindBy(KeyOrder{key});
}

AggregateElement* AggregateElementTree::Successor(const AggregateIndex& key) {
  if (dense_) {
    // Every number sorts before every name; element k + 1 follows index k.
    if (!key.IsNumber()) return nullptr;
    return key.Number() < count_ ? slots_[key.Number()] : nullptr;
  }
  return SuccessorBy(KeyOrder{key});
}

AggregateElement* AggregateElementTree::Predecessor(const AggregateIndex& key) {
  if (dense_) {
    if (count_ == 0) return nullptr;
    if (!key.IsNumber() || key.Number() - 1 > count_) return slots_[count_ - 1];
    return key.Number() >= 2 ? slots_[key.Number() - 2] : nullptr;
  }
  return PredecessorBy(KeyOrder{key});
}

AggregateElement* AggregateElementTree::Minimum() {
  if (dense_) return count_ ? slots_[0] : nullptr;
  return SplayTree<AggregateElement, const AggregateIndex&>::Minimum();
}

AggregateElement* AggregateElementTree::Maximum() {
  if (dense_) return count_ ? slots_[count_ - 1] : nullptr;
  return SplayTree<AggregateElement, const AggregateIndex&>::Maximum();
}

void AggregateElementTree::RemoveAll() {
  if (!dense_) {
    // Dense again before the elements go: deleting one may run code that
    // inserts into this tree afresh.
    dense_ = true;
    SplayTree<AggregateElement, const AggregateIndex&>::RemoveAll();
    return;
  }
  AggregateElement** slots = slots_;
  int32_t count = count_;
  int32_t capacity = capacity_;
  slots_ = nullptr;
  count_ = capacity_ = 0;
  if (owns_elements()) {
    for (int32_t i = 0; i < count; ++i) DeleteElement(slots[i]);
  }
  if (slots) {
    CreditMemory(static_cast<int64_t>(capacity) * static_cast<int64_t>(sizeof(AggregateElement*)));
    ::operator delete(slots);
  }
}

bool AggregateElementTree::Append(AggregateElement* element) {
  if (count_ == capacity_) {
    int32_t capacity = capacity_ ? (capacity_ > INT32_MAX / 2 ? INT32_MAX : capacity_ * 2) : 8;
    if (capacity == capacity_) return false;
    size_t bytes = sizeof(AggregateElement*) * static_cast<size_t>(capacity);
    auto* slots = static_cast<AggregateElement**>(::operator new(bytes, std::nothrow));
    if (!slots) return false;
    CountMemory(static_cast<int64_t>(bytes));
    for (int32_t i = 0; i < count_; ++i) slots[i] = slots_[i];
    FreeSlots();
    slots_ = slots;
    capacity_ = capacity;
  }
  slots_[count_++] = element;
  return true;
}

void AggregateElementTree::FreeSlots() {
  if (!slots_) return;
  CreditMemory(static_cast<int64_t>(capacity_) * static_cast<int64_t>(sizeof(AggregateElement*)));
  ::operator delete(slots_);
  slots_ = nullptr;
  capacity_ = 0;
}

bool AggregateElementTree::Spill() {
  // Ascending keys make a chain of left children under the largest, the
  // shape inserting them one by one gives.
  Node* top = nullptr;
  for (int32_t i = 0; i < count_; ++i) {
    Node* node = NewNode(slots_[i]);
    if (!node) {
      int32_t count = count_;
      FreeNodes();
      count_ = count;
      return false;
    }
    node->left = top;
    top = node;
  }
  root_ = top;
  FreeSlots();
  dense_ = false;
  return true;
}

void AggregateElementTree::Densify() {
  if (dense_) return;
  if (count_ > 0) {
    size_t bytes = sizeof(AggregateElement*) * static_cast<size_t>(count_);
    auto* slots = static_cast<AggregateElement**>(::operator new(bytes, std::nothrow));
    if (!slots) return;  // stays a tree, which answers just the same
    CountMemory(static_cast<int64_t>(bytes));
    int32_t i = 0;
    SplayTree<AggregateElement, const AggregateIndex&>::ForEach([&](AggregateElement* element) {
      slots[i++] = element;
      return true;
    });
    slots_ = slots;
    capacity_ = count_;
  }
  int32_t count = count_;
  FreeNodes();
  count_ = count;
  dense_ = true;
}

void AggregateElementTree::Renumber(int32_t from, int32_t delta) {
  if (dense_) {
    if (delta == 0 || count_ == 0 || from > count_) return;
    if (!Spill()) return;
  }
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

AggregateElement* AggregateElementTree::RemoveClosing(int32_t number) {
  if (!dense_) {
    AggregateElement* removed = Remove(AggregateIndex(number));
    if (removed && number < INT32_MAX) Renumber(number + 1, -1);
    return removed;
  }
  int32_t slot = SlotOf(AggregateIndex(number), count_);
  if (slot < 0) return nullptr;
  AggregateElement* removed = slots_[slot];
  --count_;
  for (int32_t i = slot; i < count_; ++i) {
    slots_[i] = slots_[i + 1];
    slots_[i]->Index().SetNumber(i + 1);
  }
  return removed;
}

bool AggregateElementTree::DeleteClosing(int32_t first, int64_t end) {
  if (!dense_ || first < 1) return false;
  int32_t from = first - 1;
  int32_t to = end - 1 < count_ ? static_cast<int32_t>(end - 1) : count_;
  if (from >= to) return true;
  int32_t n = to - from;
  auto* released = new (std::nothrow) Variable*[static_cast<size_t>(n)];
  if (!released) return false;
  for (int32_t i = 0; i < n; ++i) {
    released[i] = slots_[from + i]->TakeVariable();
    FreeElement(slots_[from + i]);
  }
  for (int32_t i = to; i < count_; ++i) {
    slots_[i - n] = slots_[i];
    slots_[i - n]->Index().SetNumber(i - n + 1);
  }
  count_ -= n;
  // Released once the array is whole again and the tree is no longer
  // touched: releasing may run code, even code that drops this tree.
  for (int32_t i = 0; i < n; ++i)
    if (released[i]) released[i]->Release();
  delete[] released;
  return true;
}

void AggregateElementTree::Collapse() {
  if (dense_) return;  // already 1..n
  int32_t next = 1;
  bool numbers = true;
  ForEach([&](AggregateElement* element) {
    element->Index().SetNumber(next++);
    numbers = numbers && element->key().IsNumber();
    return true;
  });
  if (numbers) Densify();
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
    AggregateElementTree* tree = into.back();
    AggregateElement* element = tree->MakeElement(walk.element()->Index(), shell);
    shell->Release();  // the element holds it now
    if (!element || !tree->Insert(element)) {
      tree->DropElement(element);
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
