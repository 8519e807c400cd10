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
    if (root_) {
      Splay(key);
      int c = Compare(key, root_->element);
      if (c == 0) return 0;
      Node* node = new (std::nothrow) Node;
      if (!node) return 0;
      node->element = element;
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
      Node* node = new (std::nothrow) Node;
      if (!node) return 0;
      node->element = element;
      root_ = node;
    }
    ++count_;
    return 1;
  }
  // Unlinks the element under the key and hands it over (not deleted).
  virtual T* Remove(K key) {
    if (!root_) return nullptr;
    Splay(key);
    if (Compare(key, root_->element) != 0) return nullptr;
    Node* old = root_;
    if (!old->left) {
      root_ = old->right;
    } else {
      // Everything on the left is smaller than the key: splaying there
      // brings its maximum up, which has no right child.
      Node* left = SplayNode(old->left, [&](const T* e) { return Compare(key, e); });
      left->right = old->right;
      root_ = left;
    }
    T* element = old->element;
    delete old;
    --count_;
    return element;
  }
  virtual T* Find(K key) {
    if (!root_) return nullptr;
    Splay(key);
    return Compare(key, root_->element) == 0 ? root_->element : nullptr;
  }
  // First element with a key greater than `key`.
  virtual T* Successor(K key) {
    if (!root_) return nullptr;
    Splay(key);
    if (Compare(key, root_->element) < 0) return root_->element;
    if (!root_->right) return nullptr;
    Node* next = SplayNode(root_->right, [](const T*) { return -1; });
    root_->right = next->left;  // null: next is the minimum of that side
    next->left = root_;
    root_ = next;
    return next->element;
  }
  // Last element with a key smaller than `key`.
  virtual T* Predecessor(K key) {
    if (!root_) return nullptr;
    Splay(key);
    if (Compare(key, root_->element) > 0) return root_->element;
    if (!root_->left) return nullptr;
    Node* prev = SplayNode(root_->left, [](const T*) { return 1; });
    root_->left = prev->right;
    prev->right = root_;
    root_ = prev;
    return prev->element;
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
    while (node) {
      if (node->left) {
        Node* left = node->left;
        node->left = left->right;
        left->right = node;
        node = left;
      } else {
        Node* next = node->right;
        if (owns_) DeleteElement(node->element);
        delete node;
        node = next;
      }
    }
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
  void Splay(K key) {
    root_ = SplayNode(root_, [&](const T* e) { return Compare(key, e); });
  }

  // Top-down splay of the subtree at `t`; `direction(element)` says where
  // the target lies (<0 left, >0 right, 0 here). Returns the new subtree root.
  template <typename D>
  static Node* SplayNode(Node* t, D direction) {
    if (!t) return t;
    Node header;
    Node* left_max = &header;   // tree of nodes smaller than the target
    Node* right_min = &header;  // tree of nodes greater than the target
    for (;;) {
      int c = direction(t->element);
      if (c < 0) {
        if (!t->left) break;
        if (direction(t->left->element) < 0) {
          Node* y = t->left;  // rotate right
          t->left = y->right;
          y->right = t;
          t = y;
          if (!t->left) break;
        }
        right_min->left = t;
        right_min = t;
        t = t->left;
      } else if (c > 0) {
        if (!t->right) break;
        if (direction(t->right->element) > 0) {
          Node* y = t->right;  // rotate left
          t->right = y->left;
          y->left = t;
          t = y;
          if (!t->right) break;
        }
        left_max->right = t;
        left_max = t;
        t = t->right;
      } else {
        break;
      }
    }
    left_max->right = t->left;
    right_min->left = t->right;
    t->left = header.right;
    t->right = header.left;
    return t;
  }

  // Frees the nodes only (elements untouched), without recursion.
  void FreeNodes() {
    Node* node = root_;
    root_ = nullptr;
    count_ = 0;
    while (node) {
      if (node->left) {
        Node* left = node->left;
        node->left = left->right;
        left->right = node;
        node = left;
      } else {
        Node* next = node->right;
        delete node;
        node = next;
      }
    }
  }

  Node* root_ = nullptr;
  int32_t count_ = 0;

 private:
  bool owns_;
};

}  // namespace pexo

#endif  // PEXO_VALUES_SPLAY_TREE_H_
