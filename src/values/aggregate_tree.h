// AggregateElementTree: the elements of an array or structure, kept in a
// splay tree ordered by AggregateIndex (array indexes by number, member
// names case-insensitively, a prefix first). The tree of a variable owns its
// elements: it deletes them when they are removed with RemoveAll or when the
// tree is destroyed, and copies them (deep) when the tree is copied.
// No operation recurses, whatever the size or shape of the tree.
//
// Elements are made with MakeElement, from blocks the tree owns (doubling
// up to kMaxElementBlock elements, counted in the memory account like any
// allocation), and an element taken out of the tree is ended with
// DropElement of the same tree, which puts its storage on a free list for
// the next one. The blocks go when the last element made by the tree has
// been dropped, and with the tree.
//
// Dense form: while the keys are exactly the numbers 1..n the elements sit
// in a plain vector (element k at slot k - 1) and the splay tree is empty;
// lookups are index arithmetic. The first key or renumbering that leaves
// 1..n moves every element into the tree for good (Collapse and emptying
// bring the dense form back). Both forms answer every operation alike.
#ifndef PEXO_VALUES_AGGREGATE_TREE_H_
#define PEXO_VALUES_AGGREGATE_TREE_H_

#include <cstdint>

#include "values/aggregate_element.h"
#include "values/aggregate_index.h"
#include "values/splay_tree.h"

namespace pexo {

class AggregateElementTree : public SplayTree<AggregateElement, const AggregateIndex&> {
 public:
  explicit AggregateElementTree(bool owns_elements = true);
  ~AggregateElementTree() override;

  void DeleteElement(AggregateElement* element) override;

  // A new element holding `variable` (retained) under a copy of `index`,
  // not yet inserted; null when out of memory.
  AggregateElement* MakeElement(const AggregateIndex& index, Variable* variable);
  // Ends an element made by this tree and no longer in it (null is
  // ignored). Its storage is back on the free list before its variable is
  // released, as releasing may run code that reaches this tree.
  void DropElement(AggregateElement* element);
  const AggregateIndex& KeyOf(const AggregateElement* element) const override;
  int Compare(const AggregateIndex& key, const AggregateElement* element) const override;

  // The keyed operations with the comparison inlined.
  int Insert(AggregateElement* element) override;
  AggregateElement* Remove(const AggregateIndex& key) override;
  AggregateElement* Find(const AggregateIndex& key) override;
  AggregateElement* Successor(const AggregateIndex& key) override;
  AggregateElement* Predecessor(const AggregateIndex& key) override;

  AggregateElement* Minimum() override;
  AggregateElement* Maximum() override;
  void RemoveAll() override;

  // Adds `delta` to every array index >= `from`. The caller guarantees the
  // shift keeps the order (no index lands on or past a neighbour).
  virtual void Renumber(int32_t from, int32_t delta);
  // Removes the array element `number` and moves every index above it down
  // by one; the removed element is handed over (null when absent, and then
  // nothing moves).
  AggregateElement* RemoveClosing(int32_t number);
  // Dense form only: deletes the elements first..end-1 that exist and moves
  // the ones above down over them, keeping the form. False (nothing done)
  // when the tree is not dense or memory runs out.
  bool DeleteClosing(int32_t first, int64_t end);
  // Renumbers the array elements 1..n in their order.
  void Collapse();

  // In key order, like SplayTree::ForEach.
  template <typename F>
  void ForEach(F visit) const {
    if (!dense_) {
      SplayTree<AggregateElement, const AggregateIndex&>::ForEach(visit);
      return;
    }
    for (int32_t i = 0; i < count_; ++i)
      if (!visit(slots_[i])) return;
  }
  bool dense() const { return dense_; }

  // A deep copy of this tree (every element's variable copied), or null
  // when out of memory.
  AggregateElementTree* CopyTree() const;

  // Scratch for AggregateWalk: the id of the walk that has this tree open
  // (or, for a walk entering each tree once, that entered it). 0 for none.
  uint64_t walk_mark() const { return walk_mark_; }
  void set_walk_mark(uint64_t mark) { walk_mark_ = mark; }

 private:
  // Moves the dense elements into the splay tree; false (nothing moved)
  // when out of memory.
  bool Spill();
  bool Append(AggregateElement* element);
  void Densify();
  void FreeSlots();
  // Element storage: a block header, then its slots.
  struct ElementBlock {
    ElementBlock* next;
    int64_t bytes;
  };
  union ElementSlot {
    ElementSlot* next;  // while free
    alignas(AggregateElement) unsigned char bytes[sizeof(AggregateElement)];
  };
  static constexpr int32_t kFirstElementBlock = 8;
  static constexpr int32_t kMaxElementBlock = 1024;
  void* TakeElementSlot();
  // Destroys the element and puts its storage on the free list.
  void FreeElement(AggregateElement* element);
  void FreeElementBlocks();

  uint64_t walk_mark_ = 0;
  bool dense_ = true;
  AggregateElement** slots_ = nullptr;
  int32_t capacity_ = 0;
  ElementBlock* element_blocks_ = nullptr;
  ElementSlot* free_elements_ = nullptr;
  int32_t element_block_size_ = 0;
  int32_t element_block_used_ = 0;
  int64_t live_elements_ = 0;  // made and not yet dropped
};

}  // namespace pexo

#endif  // PEXO_VALUES_AGGREGATE_TREE_H_
