#include "db/xbase/xbase_index_check.h"

#include <algorithm>
#include <set>

namespace pexo {

namespace {

struct Walk {
  XBaseIndexFile* index;
  std::set<uint32_t> seen;
  std::vector<VRKIndexEntry>* entries;
  int32_t leaf_depth = -1;
  std::string* error;
};

bool Fail(Walk* walk, uint32_t page, const std::string& what) {
  *walk->error = "page " + std::to_string(page) + ": " + what;
  return false;
}

bool WalkPage(Walk* walk, uint32_t number, int32_t depth) {
  const VRKIndexHeader& header = walk->index->header();
  if (!walk->seen.insert(number).second) return Fail(walk, number, "reached more than once");
  if (depth > 64) return Fail(walk, number, "deeper than any tree of these pages");
  VRKIndexPage page;
  if (!walk->index->ReadPage(number, &page))
    return Fail(walk, number, walk->index->ErrorText().c_str());
  bool root = number == header.root;
  if (page.count() > header.max_keys) return Fail(walk, number, "more keys than the maximum");
  if (!root && page.count() < header.max_keys / 2 - 1) return Fail(walk, number, "underfull");
  if (root && page.count() == 0 && !page.leaf()) return Fail(walk, number, "empty inner root");
  bool leaf = page.leaf();
  for (int32_t i = 0; i <= page.count(); ++i) {
    uint32_t child = page.children()[static_cast<size_t>(i)];
    if (!leaf && child == 0) return Fail(walk, number, "inner page with a missing child");
    if (!leaf && !WalkPage(walk, child, depth + 1)) return false;
    if (i == page.count()) break;
    const VRKIndexEntry& entry = page.entries()[static_cast<size_t>(i)];
    if (!walk->entries->empty() &&
        CompareIndexKeys(walk->entries->back().key, entry.key, header.flags, false) > 0)
      return Fail(walk, number, "key '" + entry.key + "' out of order");
    walk->entries->push_back(entry);
  }
  if (leaf) {
    if (walk->leaf_depth < 0) walk->leaf_depth = depth;
    if (walk->leaf_depth != depth) return Fail(walk, number, "leaves at different depths");
  }
  return true;
}

}  // namespace

bool CheckIndexTree(XBaseIndexFile* index, std::vector<VRKIndexEntry>* entries,
                    std::string* error) {
  entries->clear();
  if (!index->ReadHeader()) {
    *error = index->ErrorText().c_str();
    return false;
  }
  Walk walk{index, {}, entries, -1, error};
  return WalkPage(&walk, index->header().root, 0);
}

bool CompareIndexEntries(const XBaseIndexFile& index, const std::vector<VRKIndexEntry>& entries,
                         std::vector<VRKIndexEntry> expected, std::string* error) {
  auto less = [](const VRKIndexEntry& a, const VRKIndexEntry& b) {
    return a.record != b.record ? a.record < b.record : a.key < b.key;
  };
  std::vector<VRKIndexEntry> got = entries;
  for (VRKIndexEntry& entry : expected) entry.key = index.CutKey(entry.key);
  std::sort(got.begin(), got.end(), less);
  std::sort(expected.begin(), expected.end(), less);
  size_t n = std::max(got.size(), expected.size());
  for (size_t i = 0; i < n; ++i) {
    if (i < got.size() && i < expected.size() && got[i].record == expected[i].record &&
        got[i].key == expected[i].key)
      continue;
    auto show = [](const std::vector<VRKIndexEntry>& list, size_t i) {
      return i < list.size() ? "'" + list[i].key + "' #" + std::to_string(list[i].record)
                             : std::string("nothing");
    };
    *error = "index holds " + show(got, i) + " where the table gives " + show(expected, i);
    return false;
  }
  return true;
}

}  // namespace pexo
