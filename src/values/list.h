// List<T>: doubly linked list of T* with a cursor (first, next, current), and
// Stack<T>: a linked stack of T*. Neither owns its elements unless asked to.
#ifndef PEXO_VALUES_LIST_H_
#define PEXO_VALUES_LIST_H_

#include <cstdint>
#include <iterator>
#include <list>
#include <vector>

namespace pexo {

template <typename T>
class List {
 public:
  explicit List(bool owning = false) : owning_(owning) {}
  List(const List&) = delete;
  List& operator=(const List&) = delete;
  ~List() { clear(); }

  void append(T* item) { items_.push_back(item); }
  void prepend(T* item) { items_.push_front(item); }
  int32_t count() const { return static_cast<int32_t>(items_.size()); }
  bool empty() const { return items_.empty(); }

  // Cursor: first() resets it to the first item, next() advances; both return
  // the item under the cursor or null past the end.
  T* first() {
    cursor_ = items_.begin();
    return current();
  }
  T* next() {
    if (cursor_ != items_.end()) ++cursor_;
    return current();
  }
  T* current() const { return cursor_ == items_.end() ? nullptr : *cursor_; }
  // Removes the item under the cursor (not deleted) and moves to the next one.
  T* remove_current() {
    if (cursor_ == items_.end()) return nullptr;
    T* item = *cursor_;
    cursor_ = items_.erase(cursor_);
    return item;
  }
  // Removes an item (not deleted); true when it was in the list.
  bool remove(T* item) {
    for (auto it = items_.begin(); it != items_.end(); ++it) {
      if (*it == item) {
        if (cursor_ == it) ++cursor_;
        items_.erase(it);
        return true;
      }
    }
    return false;
  }
  void clear() {
    if (owning_)
      for (T* item : items_) delete item;
    items_.clear();
    cursor_ = items_.end();
  }

  typename std::list<T*>::iterator begin() { return items_.begin(); }
  typename std::list<T*>::iterator end() { return items_.end(); }
  typename std::list<T*>::const_iterator begin() const { return items_.begin(); }
  typename std::list<T*>::const_iterator end() const { return items_.end(); }

 private:
  bool owning_;
  std::list<T*> items_;
  typename std::list<T*>::iterator cursor_ = items_.end();
};

template <typename T>
class Stack {
 public:
  explicit Stack(bool owning = false) : owning_(owning) {}
  Stack(const Stack&) = delete;
  Stack& operator=(const Stack&) = delete;
  ~Stack() {
    if (owning_)
      for (T* item : items_) delete item;
  }
  void push(T* item) { items_.push_back(item); }
  T* pop() {
    if (items_.empty()) return nullptr;
    T* item = items_.back();
    items_.pop_back();
    return item;
  }
  T* top() const { return items_.empty() ? nullptr : items_.back(); }
  bool empty() const { return items_.empty(); }
  int32_t count() const { return static_cast<int32_t>(items_.size()); }

 private:
  bool owning_;
  std::vector<T*> items_;
};

// SearchableList<T>: a List whose items are found by a name; T provides
// `bool MatchesName(const char* name, int32_t length) const`.
template <typename T>
class SearchableList : public List<T> {
 public:
  explicit SearchableList(bool owning = false) : List<T>(owning) {}
  T* find(const char* name, int32_t length) const {
    for (T* item : *this)
      if (item->MatchesName(name, length)) return item;
    return nullptr;
  }
};

}  // namespace pexo

#endif  // PEXO_VALUES_LIST_H_
