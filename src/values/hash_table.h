// HashTable<T>: name -> T* with 2^bits bucket heads holding entry numbers
// (-1 empty), a next-number array and an entry array that grow together by a
// fixed step. Chains are kept sorted (shorter names first, then by byte order,
// folded with tolower in case-insensitive tables) so that a miss stops early.
// Entries are numbered in insertion order and never removed. An owning table
// deletes its values when destroyed. The bucket heads start small with the
// first insert and double as entries are added, up to 2^bits, so a table
// that holds a few names (most of a request's) costs little; lookups are
// the same at every size.
#ifndef PEXO_VALUES_HASH_TABLE_H_
#define PEXO_VALUES_HASH_TABLE_H_

#include <cstdint>
#include <cstring>
#include <vector>

#include "values/lookup2.h"
#include "values/string.h"

namespace pexo {

template <typename T>
class HashTable {
 public:
  explicit HashTable(bool owning = true, bool case_insensitive = true, int bits = 12,
                     int32_t growth = 512)
      : owning_(owning),
        nocase_(case_insensitive),
        bits_(bits),
        growth_(growth > 0 ? growth : 512) {}
  HashTable(const HashTable&) = delete;
  HashTable& operator=(const HashTable&) = delete;
  ~HashTable() {
    if (owning_)
      for (Entry& e : entries_) delete e.value;
  }

  int32_t count() const { return static_cast<int32_t>(entries_.size()); }
  int32_t capacity() const { return static_cast<int32_t>(entries_.capacity()); }

  // Entry number of a name, or -1.
  int32_t find_index(const char* name, int32_t length = -1) const {
    if (buckets_.empty()) return -1;
    length = text_length(name, length);
    int32_t at = buckets_[slot(name, length)];
    while (at >= 0) {
      const Entry& e = entries_[static_cast<size_t>(at)];
      int order = compare(name, length, e.name.data(), e.name.length());
      if (order == 0) return at;
      if (order < 0) return -1;
      at = next_[static_cast<size_t>(at)];
    }
    return -1;
  }

  T* find(const char* name, int32_t length = -1) const {
    int32_t at = find_index(name, length);
    return at < 0 ? nullptr : entries_[static_cast<size_t>(at)].value;
  }

  T* at(int32_t index) const {
    return index >= 0 && index < count() ? entries_[static_cast<size_t>(index)].value : nullptr;
  }
  const String& name_at(int32_t index) const { return entries_[static_cast<size_t>(index)].name; }

  // Adds an entry (no check for an existing one of the same name) and returns
  // its number.
  int32_t insert(const char* name, int32_t length, T* value) {
    length = text_length(name, length);
    if (buckets_.empty() || (buckets_.size() <= entries_.size() && used_bits_ < bits_))
      grow_buckets();
    if (entries_.size() == entries_.capacity()) {
      entries_.reserve(entries_.size() + static_cast<size_t>(growth_));
      next_.reserve(entries_.capacity());
    }
    int32_t number = count();
    entries_.push_back(Entry{String(name, length), value});
    next_.push_back(-1);
    link(number);
    return number;
  }

  // Puts the value under the name: replaces the entry of that name when there
  // is one, inserts otherwise. Returns the entry number.
  int32_t insert_or_replace(const char* name, int32_t length, T* value) {
    int32_t index = find_index(name, length);
    if (index < 0) return insert(name, length, value);
    replace(index, value);
    return index;
  }

  // Replaces the value of an entry; an owning table deletes the old one.
  void replace(int32_t index, T* value) {
    Entry& e = entries_[static_cast<size_t>(index)];
    if (owning_ && e.value != value) delete e.value;
    e.value = value;
  }

 private:
  struct Entry {
    String name;
    T* value;
  };

  size_t slot(const char* name, int32_t length) const {
    uint32_t h = nocase_ ? lookup2_nocase(name, static_cast<uint32_t>(length), 0)
                         : lookup2(name, static_cast<uint32_t>(length), 0);
    return h & static_cast<uint32_t>((uint64_t{1} << used_bits_) - 1);
  }

  // Puts entry `number` into its bucket's chain, in chain order.
  void link(int32_t number) {
    const Entry& added = entries_[static_cast<size_t>(number)];
    int32_t* at = &buckets_[slot(added.name.data(), added.name.length())];
    while (*at >= 0) {
      const Entry& e = entries_[static_cast<size_t>(*at)];
      if (compare(added.name.data(), added.name.length(), e.name.data(), e.name.length()) < 0)
        break;
      at = &next_[static_cast<size_t>(*at)];
    }
    next_[static_cast<size_t>(number)] = *at;
    *at = number;
  }

  // Four times the heads (at first 16), and every entry linked again in
  // insertion order, so entries of the same name keep their order.
  void grow_buckets() {
    int wanted = buckets_.empty() ? 4 : used_bits_ + 2;
    used_bits_ = wanted < bits_ ? wanted : bits_;
    buckets_.assign(size_t{1} << used_bits_, -1);
    for (int32_t i = 0; i < count(); ++i) link(i);
  }

  // Chain order: shorter first, then bytewise (folded when case-insensitive).
  int compare(const char* a, int32_t a_length, const char* b, int32_t b_length) const {
    if (a_length != b_length) return a_length < b_length ? -1 : 1;
    if (nocase_) return compare_nocase(a, a_length, b, b_length);
    return a_length ? std::memcmp(a, b, static_cast<size_t>(a_length)) : 0;
  }

  bool owning_;
  bool nocase_;
  int bits_;       // the most the heads grow to
  int used_bits_ = 0;  // 2^used_bits_ heads while buckets_ is not empty
  int32_t growth_;
  std::vector<int32_t> buckets_;
  std::vector<int32_t> next_;
  std::vector<Entry> entries_;
};

}  // namespace pexo

#endif  // PEXO_VALUES_HASH_TABLE_H_
