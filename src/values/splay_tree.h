// SplayTree<T, K>: a top-down splay tree of T* ordered by a key K. Every
// keyed operation first splays at the key, so the found or nearest element
// ends at the root; sequential walks (Successor after Successor) and repeated
// access to one key are amortised O(1). Nothing here recurses: trees built
// in key order degenerate into long chains, and traversals use an explicit
// stack or rotations instead.
//
// Subclasses supply the key of an element, the comparison and the deletion
// of an element; an owning tree deletes its elements in RemoveAll. A
// subclass destructor must call RemoveAll itself (the base destructor cannot
// reach the subclass's DeleteElement).
#ifndef PEXO_VALUES_SPLAY_TREE_H_
#define PEXO_VALUES_SPLAY_TREE_H_

#include <cstdint>
#include <new>

#include "values/list.h"
#include "values/memory_account.h"

namespace pexo {

template <typename T>
struct SplayTreeNode {
  SplayTreeNode* left = nullptr;
  SplayTreeNode* right = nullptr;
  T* element = nullptr;
};

template <typename T, typename K>
class SplayTree {
 public:
  using Node = SplayTreeNode<T>;

  explicit SplayTree(bool owns_elements) : owns_(owns_elements) {}
  SplayTree(const SplayTree&) = delete;
  SplayTree& operator=(const SplayTree&) = delete;
  virtual ~SplayTree() { FreeNodes(); }

  // Inserts; 0 (nothing changed) when the key is present or out of memory.
  virtual int Insert(T* element) {
    K key = KeyOf(element);
    return InsertBy(element, [&](const T* e) { return Compare(key, e); });
  }
  // Unlinks the element under the key and hands it over (not deleted).
  virtual T* Remove(K key) {
    return RemoveBy([&](const T* e) { return Compare(key, e); });
  }
  virtual T* Find(K key) {
    return FindBy([&](const T* e) { return Compare(key, e); });
  }
  // First element with a key greater than `key`.
  virtual T* Successor(K key) {
    return SuccessorBy([&](const T* e) { return Compare(key, e); });
  }
  // Last element with a key smaller than `key`.
  virtual T* Predecessor(K key) {
    return PredecessorBy([&](const T* e) { return Compare(key, e); });
  }
  virtual T* Minimum() {
    if (!root_) return nullptr;
    root_ = SplayNode(root_, [](const T*) { return -1; });
    return root_->element;
  }
  virtual T* Maximum() {
    if (!root_) return nullptr;
    root_ = SplayNode(root_, [](const T*) { return 1; });
    return root_->element;
  }
  // Removes every element, deleting them when the tree owns its elements.
  virtual void RemoveAll() {
    // Rotating left children up turns the tree into a right chain while it
    // is consumed: no stack, no recursion.
    Node* node = root_;
    root_ = nullptr;
    count_ = 0;
    // The nodes are detached first: deleting an element may run code that
    // inserts into this tree again, into fresh blocks.
    Block* blocks = DetachBlocks();
    while (node) {
      if (node->left) {
        Node* left = node->left;
        node->left = left->right;
        left->right = node;
        node = left;
      } else {
        Node* next = node->right;
        if (owns_) DeleteElement(node->element);
        node = next;
      }
    }
    FreeBlockList(blocks);
  }
  virtual void DeleteElement(T* element) = 0;
  virtual K KeyOf(const T* element) const = 0;
  // <0, 0, >0 as `key` sorts before, with or after the element.
  virtual int Compare(K key, const T* element) const = 0;

  int32_t Count() const { return count_; }
  bool owns_elements() const { return owns_; }

  // Visits the elements in key order without splaying. `visit` returns
  // false to stop early.
  template <typename F>
  void ForEach(F visit) const {
    Stack<Node> stack;
    Node* node = root_;
    while (node || !stack.empty()) {
      while (node) {
        stack.push(node);
        node = node->left;
      }
      node = stack.pop();
      if (!visit(node->element)) return;
      node = node->right;
    }
  }

 protected:
  // The keyed operations, generic over the comparison so that a subclass
  // can supply an inlined one; `cmp(element)` is Compare(key, element).
  template <typename C>
  int InsertBy(T* element, C cmp) {
    if (root_) {
      int c = SplayBy(cmp);
      if (c == 0) return 0;
      Node* node = NewNode(element);
      if (!node) return 0;
      if (c < 0) {
        node->left = root_->left;
        node->right = root_;
        root_->left = nullptr;
      } else {
        node->right = root_->right;
        node->left = root_;
        root_->right = nullptr;
      }
      root_ = node;
    } else {
      Node* node = NewNode(element);
      if (!node) return 0;
      root_ = node;
    }
    ++count_;
    return 1;
  }
  template <typename C>
  T* RemoveBy(C cmp) {
    if (!root_) return nullptr;
    if (SplayBy(cmp) != 0) return nullptr;
    Node* old = root_;
    if (!old->left) {
      root_ = old->right;
    } else {
      // Everything on the left is smaller than the key: splaying there
      // brings its maximum up, which has no right child.
      Node* left = SplayNode(old->left, cmp);
      left->right = old->right;
      root_ = left;
    }
    T* element = old->element;
    FreeNode(old);
    --count_;
    return element;
  }
  template <typename C>
  T* FindBy(C cmp) {
    if (!root_) return nullptr;
    return SplayBy(cmp) == 0 ? root_->element : nullptr;
  }
  template <typename C>
  T* SuccessorBy(C cmp) {
    if (!root_) return nullptr;
    if (SplayBy(cmp) < 0) return root_->element;
    if (!root_->right) return nullptr;
    Node* next = SplayNode(root_->right, [](const T*) { return -1; });
    root_->right = next->left;  // null: next is the minimum of that side
    next->left = root_;
    root_ = next;
    return next->element;
  }
  template <typename C>
  T* PredecessorBy(C cmp) {
    if (!root_) return nullptr;
    if (SplayBy(cmp) > 0) return root_->element;
    if (!root_->left) return nullptr;
    Node* prev = SplayNode(root_->left, [](const T*) { return 1; });
    root_->left = prev->right;
    prev->right = root_;
    root_ = prev;
    return prev->element;
  }

  // A root already holding the key (repeated access, an ascending fill
  // probing max + 1) is settled by one comparison. Returns cmp(new root).
  template <typename C>
  int SplayBy(C cmp) {
    int c = cmp(root_->element);
    if (c != 0) root_ = SplayNodeFrom(root_, cmp, &c);
    return c;
  }
  void Splay(K key) {
    if (root_) SplayBy([&](const T* e) { return Compare(key, e); });
  }

  // Top-down splay of the subtree at `t`; `direction(element)` says where
  // the target lies (<0 left, >0 right, 0 here). Returns the new subtree root.
  template <typename D>
  static Node* SplayNode(Node* t, D direction) {
    if (!t) return t;
    int c = direction(t->element);
    return SplayNodeFrom(t, direction, &c);
  }
  // SplayNode for a non-null `t` whose direction *known already holds;
  // *known ends as the direction of the returned root. Each node is
  // asked its direction once.
  template <typename D>
  static Node* SplayNodeFrom(Node* t, D direction, int* known) {
    Node header;
    Node* left_max = &header;   // tree of nodes smaller than the target
    Node* right_min = &header;  // tree of nodes greater than the target
    int c = *known;  // always direction(t->element)
    for (;;) {
      if (c < 0) {
        if (!t->left) break;
        int below = direction(t->left->element);
        if (below < 0) {
          Node* y = t->left;  // rotate right
          t->left = y->right;
          y->right = t;
          t = y;
          c = below;
          if (!t->left) break;
          right_min->left = t;
          right_min = t;
          t = t->left;
          c = direction(t->element);
        } else {
          right_min->left = t;
          right_min = t;
          t = t->left;
          c = below;
        }
      } else if (c > 0) {
        if (!t->right) break;
        int below = direction(t->right->element);
        if (below > 0) {
          Node* y = t->right;  // rotate left
          t->right = y->left;
          y->left = t;
          t = y;
          c = below;
          if (!t->right) break;
          left_max->right = t;
          left_max = t;
          t = t->right;
          c = direction(t->element);
        } else {
          left_max->right = t;
          left_max = t;
          t = t->right;
          c = below;
        }
      } else {
        break;
      }
    }
    *known = c;
    left_max->right = t->left;
    right_min->left = t->right;
    t->left = header.right;
    t->right = header.left;
    return t;
  }

  // Frees the nodes only (elements untouched).
  void FreeNodes() {
    root_ = nullptr;
    count_ = 0;
    FreeBlocks();
  }

  // Nodes come from blocks owned by the tree (doubling up to kMaxBlock
  // nodes) and go back to a free list: no allocator call per element, and
  // dropping the whole tree frees a handful of blocks.
  Node* NewNode(T* element) {
    Node* node = free_;
    if (node) {
      free_ = node->right;
    } else {
      if (block_used_ == block_size_ && !AddBlock()) return nullptr;
      node = new (reinterpret_cast<Node*>(blocks_ + 1) + block_used_++) Node;
    }
    node->left = nullptr;
    node->right = nullptr;
    node->element = element;
    return node;
  }
  void FreeNode(Node* node) {
    node->right = free_;
    free_ = node;
  }

  Node* root_ = nullptr;
  int32_t count_ = 0;

 private:
  // Block header; its nodes follow it in the same allocation.
  struct alignas(Node) Block {
    Block* next;
    int32_t bytes;  // of the whole allocation, for the memory account
  };
  static constexpr int32_t kFirstBlock = 8;
  static constexpr int32_t kMaxBlock = 4096;

  bool AddBlock() {
    int32_t size = block_size_ == 0 ? kFirstBlock : block_size_ * 2;
    if (size > kMaxBlock) size = kMaxBlock;
    size_t bytes = sizeof(Block) + sizeof(Node) * static_cast<size_t>(size);
    void* raw = ::operator new(bytes, std::nothrow);
    if (!raw) return false;
    CountMemory(static_cast<int64_t>(bytes));
    Block* block = static_cast<Block*>(raw);
    block->next = blocks_;
    block->bytes = static_cast<int32_t>(bytes);
    blocks_ = block;
    block_size_ = size;
    block_used_ = 0;
    return true;
  }
  Block* DetachBlocks() {
    Block* blocks = blocks_;
    blocks_ = nullptr;
    free_ = nullptr;
    block_size_ = 0;
    block_used_ = 0;
    return blocks;
  }
  static void FreeBlockList(Block* block) {
    while (block) {
      Block* next = block->next;
      CreditMemory(block->bytes);
      ::operator delete(block);
      block = next;
    }
  }
  void FreeBlocks() { FreeBlockList(DetachBlocks()); }

  bool owns_;
  Block* blocks_ = nullptr;
  Node* free_ = nullptr;
  int32_t block_size_ = 0;
  int32_t block_used_ = 0;
};

}  // namespace pexo

#endif  // PEXO_VALUES_SPLAY_TREE_H_
