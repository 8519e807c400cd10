// The page format of index files and the cursor over them.
//
// A page (of the header's page size) holds the key count k (4 bytes), then
// k entries of (child page, record number, zero-padded key) and the child
// after the last entry. VRKIndexPage keeps it decoded: k keys and k + 1
// children, children[i] being the subtree before key i and children[k] the
// rightmost one; a leaf has only zero children. Decoding refuses a count
// that does not fit the page, so a page is never read past its end.
//
// VRKIndexPageStack is the path from the root to the current entry: every
// page below the top holds the position of the child the path went through,
// the top page the position of the current entry.
#ifndef PEXO_DB_XBASE_VRK_INDEX_PAGE_H_
#define PEXO_DB_XBASE_VRK_INDEX_PAGE_H_

#include <cstdint>
#include <string>
#include <vector>

namespace pexo {

constexpr int32_t kVRKHeaderSize = 427;
constexpr int32_t kVRKExpressionSize = 400;
constexpr int32_t kVRKVersion = 3;
constexpr int32_t kVRKPageSize = 1024;
constexpr int32_t kVRKMaxKeys = 8;
constexpr int32_t kVRKKeySize = 100;

// Index flags.
enum : uint32_t {
  kVRKUnique = 1,
  kVRKDescending = 2,
  kVRKString = 4,
  kVRKRange = 8,
};

// Compares a search key with an entry key: <0, 0 or >0. A partial
// comparison looks at the search key's length only; a full one compares
// numbers when both texts are numbers (unless kVRKString), else bytes.
int CompareIndexKeys(const std::string& search, const std::string& entry, uint32_t flags,
                     bool partial);

struct VRKIndexEntry {
  uint32_t record = 0;
  std::string key;
};

class VRKIndexPage {
 public:
  VRKIndexPage() = default;
  VRKIndexPage(uint32_t number, int32_t entry_size, int32_t page_size)
      : number_(number), entry_size_(entry_size), page_size_(page_size), children_(1, 0) {}

  // The most keys a page of that geometry can hold.
  static int32_t Capacity(int32_t entry_size, int32_t page_size) {
    return entry_size <= 0 ? 0 : (page_size - 8) / entry_size;
  }
  // From the page's bytes; false when the key count does not fit.
  bool Decode(const char* bytes);
  // Into `page_size` bytes.
  void Encode(std::vector<char>* bytes) const;

  uint32_t number() const { return number_; }
  void set_number(uint32_t number) { number_ = number; }
  int32_t count() const { return static_cast<int32_t>(entries_.size()); }
  bool leaf() const;
  int32_t position() const { return position_; }
  void set_position(int32_t position) { position_ = position; }

  std::vector<VRKIndexEntry>& entries() { return entries_; }
  const std::vector<VRKIndexEntry>& entries() const { return entries_; }
  std::vector<uint32_t>& children() { return children_; }
  const std::vector<uint32_t>& children() const { return children_; }

 private:
  uint32_t number_ = 0;
  int32_t entry_size_ = 0;
  int32_t page_size_ = 0;
  int32_t position_ = 0;
  std::vector<VRKIndexEntry> entries_;
  std::vector<uint32_t> children_{0};
};

class VRKIndexPageStack {
 public:
  void Clear() { pages_.clear(); }
  bool empty() const { return pages_.empty(); }
  size_t depth() const { return pages_.size(); }
  void Push(VRKIndexPage page) { pages_.push_back(std::move(page)); }
  void Pop() { pages_.pop_back(); }
  void CutTo(size_t depth) {
    if (pages_.size() > depth) pages_.resize(depth);
  }
  VRKIndexPage& Top() { return pages_.back(); }
  // The current entry, or null.
  const VRKIndexEntry* Current() const;

 private:
  std::vector<VRKIndexPage> pages_;
};

}  // namespace pexo

#endif  // PEXO_DB_XBASE_VRK_INDEX_PAGE_H_
