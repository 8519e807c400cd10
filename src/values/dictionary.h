// Dictionary: a program's table of byte strings addressed by index.
//
// Strings live in data blocks whose capacity is a multiple of 8192 bytes; an
// entry is (block, offset, size), and several entries may share bytes. The
// entry array starts at 128 entries and grows by 128. Entries are never
// removed, so pointers returned by get() stay valid for the dictionary's life.
//
// A dictionary may sit over a shared base that nobody changes any more (a
// cached program's): the base's entries keep their indexes, and what is
// added goes into the dictionary's own blocks with the indexes after them.
#ifndef PEXO_VALUES_DICTIONARY_H_
#define PEXO_VALUES_DICTIONARY_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "values/string.h"

namespace pexo {

constexpr int32_t TF_DATA_BLOCK_SIZE = 8192;

class TaggedFile;

class Dictionary {
 public:
  Dictionary();
  // Over `base`, which must not change while this dictionary lives.
  explicit Dictionary(std::shared_ptr<const Dictionary> base);
  // Deep copy of the own entries (cloned machines); the base is shared.
  Dictionary(const Dictionary& other);
  Dictionary& operator=(const Dictionary&) = delete;
  ~Dictionary();

  // Loads the "dict" section; on failure the dictionary is unchanged and
  // error() holds the message. Part of the compiled format: defined in
  // program/dictionary_load.cpp.
  bool load(TaggedFile& file);

  // The bytes of entry `index` (not terminated). Null and length 0 when the
  // index is negative or not below count().
  const char* get(int32_t index, int32_t* length) const {
    if (index >= 0 && index < base_count_) return base_->get(index, length);
    return get_own(index, length);
  }
  // Adds a string (length -1: up to a zero byte) and returns its new index.
  // Reuses an occurrence in the current block's used bytes when there is one.
  int32_t add(const char* bytes, int32_t length);
  // Adds a string without looking for an occurrence to reuse: for callers
  // that add many short names (variable tables), where the search costs more
  // than the bytes it saves. Indexes behave exactly as with add().
  int32_t append(const char* bytes, int32_t length);

  // Flag bit: the machine does not take the configured debug-log level.
  static constexpr uint32_t kNoDebugLog = 0x1;

  int32_t count() const { return count_; }
  // Bytes held by the own blocks and entries (not the base's).
  int64_t MemoryBytes() const;
  uint32_t flags() const { return flags_; }
  void set_flags(uint32_t flags) { flags_ = flags; }
  const String& error() const { return error_; }

 private:
  struct Block {
    std::unique_ptr<char[]> bytes;
    int32_t capacity;
    int32_t used;
  };
  struct Entry {
    int32_t block;
    int32_t offset;
    int32_t size;
  };
  const char* get_own(int32_t index, int32_t* length) const;
  bool push_entry(int32_t block, int32_t offset, int32_t size);
  bool load_section(TaggedFile& file, String* error);

  std::shared_ptr<const Dictionary> base_;
  int32_t base_count_ = 0;  // entries below this index are the base's
  std::vector<Block> blocks_;
  std::vector<Entry> entries_;  // own entries from base_count_ on; grows by 128
  int32_t count_ = 0;
  uint32_t flags_ = 0;
  String error_;
};

// Leftmost occurrence of `pattern` in `text`, or -1. An empty pattern is
// found at 0. With `fold_case` both sides are folded with tolower, by a
// bad-character-shift search (256-entry shift table, pattern compared from
// its last byte backwards).
int32_t shift_search(const char* text, int32_t text_length, const char* pattern,
                     int32_t pattern_length, bool fold_case = false);

}  // namespace pexo

#endif  // PEXO_VALUES_DICTIONARY_H_
