#include "db/xbase/xbase_index_file.h"

#include <cstring>
#include <utility>

namespace pexo {

namespace {

// Deeper than any tree of these page sizes can grow: a longer path is a
// cycle in a corrupt file.
constexpr uint32_t kMaxDepth = 64;

uint32_t Load32(const char* p) {
  const unsigned char* u = reinterpret_cast<const unsigned char*>(p);
  return u[0] | (u[1] << 8) | (u[2] << 16) | (static_cast<uint32_t>(u[3]) << 24);
}
int32_t Load16(const char* p) {
  const unsigned char* u = reinterpret_cast<const unsigned char*>(p);
  return u[0] | (u[1] << 8);
}
void Store32(char* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}
void Store16(char* p, int32_t value) {
  p[0] = static_cast<char>(value & 0xFF);
  p[1] = static_cast<char>((value >> 8) & 0xFF);
}

}  // namespace

// Holds the header range for one operation; released on every path.
class XBaseIndexFile::HeaderLock {
 public:
  HeaderLock(XBaseIndexFile* index, bool exclusive) : index_(index) {
    // A file being built is nobody else's yet.
    if (index->building_ && index->file_) {
      locked_ = true;
      held_ = false;
      return;
    }
    locked_ = index->file_ && index->file_->Lock(0, kVRKHeaderSize, exclusive);
    if (!locked_) {
      String detail = index->file_ ? index->file_->ErrorText() : String("not open");
      index->Fail("Error locking '", detail);
    }
  }
  ~HeaderLock() {
    if (locked_ && held_) index_->file_->Unlock(0, kVRKHeaderSize);
  }
  bool locked() const { return locked_; }

 private:
  XBaseIndexFile* index_;
  bool locked_;
  bool held_ = true;
};

bool XBaseIndexFile::Fail(const char* what, const String& detail) {
  String message(what);
  message.append(name_);
  message.append("': ");
  message.append(detail);
  error_ = message;
  return false;
}

bool XBaseIndexFile::Corrupt(const char* text) {
  String message("Error '");
  message.append(name_);
  message.append("' is corrupt ");
  message.append(text);
  error_ = message;
  return false;
}

bool XBaseIndexFile::CheckDepth(uint32_t depth) {
  if (depth < kMaxDepth) return true;
  return Corrupt("(the tree is deeper than its pages allow)");
}

std::string XBaseIndexFile::CutKey(const std::string& key) const {
  size_t limit = static_cast<size_t>(header_.entry_size - 8 - 1);
  size_t zero = key.find('\0');
  size_t length = std::min(zero == std::string::npos ? key.size() : zero, limit);
  return key.substr(0, length);
}

bool XBaseIndexFile::ReadHeader() {
  // While building, the header in memory is the only current one.
  if (building_) return true;
  char bytes[kVRKHeaderSize];
  int32_t got = file_->ReadAt(0, bytes, kVRKHeaderSize);
  String bad("'");
  bad.append(name_);
  bool magic = got >= 4 && std::memcmp(bytes, "VRKI", 4) == 0;
  if (got != kVRKHeaderSize && (got < 4 || magic)) return Fail("Error reading from '", file_->ErrorText());
  if (!magic) {
    bad.append("' is either corrupt or is not a valid index file");
    error_ = bad;
    return false;
  }
  VRKIndexHeader header;
  header.version = static_cast<unsigned char>(bytes[4]);
  if (header.version >= 4) {
    bad.append("' was created by a newer version of the software");
    error_ = bad;
    return false;
  }
  header.changes = Load32(bytes + 5);
  header.total_pages = Load32(bytes + 9);
  header.root = Load32(bytes + 13);
  header.max_keys = Load16(bytes + 17);
  header.page_size = Load16(bytes + 19);
  header.entry_size = Load16(bytes + 21);
  header.flags = Load32(bytes + 23);
  const char* expression = bytes + 27;
  const void* zero = std::memchr(expression, 0, kVRKExpressionSize);
  header.expression.assign(expression, zero ? static_cast<const char*>(zero) - expression
                                            : kVRKExpressionSize);
  // The file only grows: a page count already checked needs no new size.
  int64_t size = header.total_pages == checked_total_ && checked_total_ != 0 &&
                         header.page_size == header_.page_size
                     ? static_cast<int64_t>(checked_total_) * header.page_size
                     : file_->Size();
  bool fits = header.page_size >= kVRKHeaderSize && header.entry_size > 9 &&
              header.max_keys >= 2 &&
              header.max_keys <= VRKIndexPage::Capacity(header.entry_size, header.page_size) &&
              header.total_pages >= 2 &&
              static_cast<int64_t>(header.total_pages) * header.page_size <= size &&
              header.root >= 1 && header.root < header.total_pages;
  if (!fits) {
    bad.append("' is either corrupt or is not a valid index file");
    error_ = bad;
    return false;
  }
  header_ = std::move(header);
  checked_total_ = header_.total_pages;
  StampPages(false);
  return true;
}

void XBaseIndexFile::StampPages(bool written) {
  // Only the holder of the exclusive lock writes the header, so its own
  // writes keep what it holds current.
  if (!written && (header_.changes != pages_changes_ || header_.total_pages != pages_total_))
    pages_.clear();
  // A bound on memory: a big walk starts over rather than growing.
  if (pages_.size() > 16384) pages_.clear();
  pages_changes_ = header_.changes;
  pages_total_ = header_.total_pages;
}

bool XBaseIndexFile::WriteHeader() {
  if (building_) {
    StampPages(true);
    return true;
  }
  char bytes[kVRKHeaderSize];
  std::memset(bytes, 0, sizeof bytes);
  std::memcpy(bytes, "VRKI", 4);
  bytes[4] = static_cast<char>(header_.version);
  Store32(bytes + 5, header_.changes);
  Store32(bytes + 9, header_.total_pages);
  Store32(bytes + 13, header_.root);
  Store16(bytes + 17, header_.max_keys);
  Store16(bytes + 19, header_.page_size);
  Store16(bytes + 21, header_.entry_size);
  Store32(bytes + 23, header_.flags);
  std::memcpy(bytes + 27, header_.expression.data(),
              std::min(header_.expression.size(), static_cast<size_t>(kVRKExpressionSize - 1)));
  if (!file_->WriteAt(0, bytes, kVRKHeaderSize)) {
    pages_.clear();
    return Fail("Error writing to '", file_->ErrorText());
  }
  StampPages(true);
  return true;
}

bool XBaseIndexFile::ReadPage(uint32_t number, VRKIndexPage* page) {
  if (number == 0 || number >= header_.total_pages)
    return Corrupt("(the page number is larger than the total pages )");
  auto kept = pages_.find(number);
  if (kept != pages_.end()) {
    *page = kept->second;
    return true;
  }
  std::vector<char> bytes(static_cast<size_t>(header_.page_size));
  int64_t offset = static_cast<int64_t>(number) * header_.page_size;
  int32_t got = file_->ReadAt(offset, bytes.data(), header_.page_size);
  if (got != header_.page_size) return Fail("Error reading from '", file_->ErrorText());
  *page = VRKIndexPage(number, header_.entry_size, header_.page_size);
  if (!page->Decode(bytes.data())) {
    error_.assign("File is corrupt (the number of entries is larger than the maximum entries possible).");
    return false;
  }
  pages_[number] = *page;
  return true;
}

bool XBaseIndexFile::WritePage(const VRKIndexPage& page) {
  std::vector<char> bytes;
  page.Encode(&bytes);
  int64_t offset = static_cast<int64_t>(page.number()) * header_.page_size;
  if (!file_->WriteAt(offset, bytes.data(), header_.page_size)) {
    pages_.clear();
    return Fail("Error writing to '", file_->ErrorText());
  }
  pages_[page.number()] = page;
  return true;
}

// The page is written empty before the header counts it, so the file is
// never shorter than its total pages.
bool XBaseIndexFile::NewPage(VRKIndexPage* page) {
  *page = VRKIndexPage(header_.total_pages, header_.entry_size, header_.page_size);
  if (!WritePage(*page)) return false;
  ++header_.total_pages;
  return WriteHeader();
}

bool XBaseIndexFile::CreateIndex(const char* file, const std::string& expression, uint32_t flags) {
  Close();
  name_.assign(file);
  file_.reset(files_->Open(file, kDbOpenCreate));
  if (!file_) return Fail("Error opening '", files_->ErrorText());
  header_ = VRKIndexHeader();
  header_.flags = flags;
  header_.expression = expression.substr(0, kVRKExpressionSize - 1);
  std::vector<char> first(static_cast<size_t>(header_.page_size), '\0');
  VRKIndexPage root(1, header_.entry_size, header_.page_size);
  if (!file_->WriteAt(0, first.data(), header_.page_size) || !WriteHeader() || !WritePage(root)) {
    Fail("Error writing to '", file_->ErrorText());
    file_.reset();
    return false;
  }
  seen_changes_ = 0;
  return true;
}

bool XBaseIndexFile::OpenIndex(const char* file) {
  Close();
  name_.assign(file);
  file_.reset(files_->Open(file, kDbOpenExisting));
  if (!file_) return Fail("Error opening '", files_->ErrorText());
  bool read;
  {
    HeaderLock lock(this, false);
    read = lock.locked() && ReadHeader();
  }
  if (!read) {
    file_.reset();
    return false;
  }
  seen_changes_ = header_.changes;
  return true;
}

void XBaseIndexFile::BeginBuild() { building_ = file_ != nullptr; }

bool XBaseIndexFile::EndBuild() {
  if (!building_) return true;
  building_ = false;
  return WriteHeader();
}

void XBaseIndexFile::Close() {
  building_ = false;
  file_.reset();
  cursor_.Clear();
  pages_.clear();
  checked_total_ = 0;
}

bool XBaseIndexFile::Flush() {
  if (file_ && !file_->Flush()) return Fail("Error writing to '", file_->ErrorText());
  return true;
}

// --- insertion ---------------------------------------------------------------

bool XBaseIndexFile::Insert(uint32_t number, const VRKIndexEntry& entry, uint32_t depth,
                            Pushed* up) {
  up->pushed = false;
  if (!CheckDepth(depth)) return false;
  VRKIndexPage page;
  if (!ReadPage(number, &page)) return false;
  int32_t i = 0;
  for (; i < page.count(); ++i) {
    int cmp = CompareIndexKeys(entry.key, page.entries()[i].key, header_.flags, false);
    if (cmp == 0 && (header_.flags & kVRKUnique)) {
      SetError("Index '" + std::string(name_.c_str()) +
               "' was created with the UNIQUE flag and the key '" + entry.key +
               "' already exists in the index file");
      return false;
    }
    if (cmp <= 0) break;
  }
  Pushed below;
  uint32_t child = page.children()[static_cast<size_t>(i)];
  if (child == 0) {
    below.pushed = true;
    below.entry = entry;
  } else if (!Insert(child, entry, depth + 1, &below)) {
    return false;
  }
  if (!below.pushed) return true;
  page.entries().insert(page.entries().begin() + i, below.entry);
  page.children().insert(page.children().begin() + i + 1, below.right);
  if (page.count() <= header_.max_keys) return WritePage(page);
  // Split: the left half stays, the middle entry goes up, the right half
  // moves to a new page.
  VRKIndexPage right;
  if (!NewPage(&right)) return false;
  size_t middle = static_cast<size_t>(page.count() / 2);
  if (page.count() % 2 == 0) middle = static_cast<size_t>(page.count() / 2 - 1);
  right.entries().assign(page.entries().begin() + middle + 1, page.entries().end());
  right.children().assign(page.children().begin() + middle + 1, page.children().end());
  up->pushed = true;
  up->entry = page.entries()[middle];
  up->right = right.number();
  page.entries().resize(middle);
  page.children().resize(middle + 1);
  return WritePage(page) && WritePage(right);
}

bool XBaseIndexFile::InsertKey(uint32_t record, const std::string& key) {
  HeaderLock lock(this, true);
  if (!lock.locked() || !ReadHeader()) return false;
  VRKIndexEntry entry;
  entry.record = record;
  entry.key = CutKey(key);
  Pushed up;
  if (!Insert(header_.root, entry, 0, &up)) return false;
  if (up.pushed) {
    VRKIndexPage root;
    if (!NewPage(&root)) return false;
    root.entries().push_back(up.entry);
    root.children() = {header_.root, up.right};
    if (!WritePage(root)) return false;
    header_.root = root.number();
  }
  ++header_.changes;
  if (!WriteHeader()) return false;
  seen_changes_ = header_.changes;
  cursor_.Clear();
  return true;
}

// --- deletion ----------------------------------------------------------------

bool XBaseIndexFile::Repair(VRKIndexPage* parent, int32_t i) {
  VRKIndexPage child;
  uint32_t number = parent->children()[static_cast<size_t>(i)];
  if (!ReadPage(number, &child)) return false;
  int32_t low = MinKeys();
  if (child.count() >= low) return true;
  VRKIndexPage left_sibling, right_sibling;
  bool has_left = i > 0;
  bool has_right = i < parent->count();
  if (!has_left && !has_right) return true;
  if (has_left && !ReadPage(parent->children()[static_cast<size_t>(i - 1)], &left_sibling)) return false;
  if (has_right && !ReadPage(parent->children()[static_cast<size_t>(i + 1)], &right_sibling)) return false;
  // Choose the pair (left, right) and the separator between them.
  bool give_left = has_left && left_sibling.count() > low;
  bool give_right = !give_left && has_right && right_sibling.count() > low;
  bool with_left = give_left || (!give_right && has_left);
  VRKIndexPage& left = with_left ? left_sibling : child;
  VRKIndexPage& right = with_left ? child : right_sibling;
  size_t separator = static_cast<size_t>(with_left ? i - 1 : i);
  std::vector<VRKIndexEntry> entries = left.entries();
  entries.push_back(parent->entries()[separator]);
  entries.insert(entries.end(), right.entries().begin(), right.entries().end());
  std::vector<uint32_t> children = left.children();
  children.insert(children.end(), right.children().begin(), right.children().end());
  size_t keys = entries.size() - 1;
  if (give_left || give_right) {
    // The giving page keeps half of the two pages' keys, rounded down.
    size_t left_count = give_left ? keys / 2 : keys - keys / 2;
    left.entries().assign(entries.begin(), entries.begin() + left_count);
    left.children().assign(children.begin(), children.begin() + left_count + 1);
    parent->entries()[separator] = entries[left_count];
    right.entries().assign(entries.begin() + left_count + 1, entries.end());
    right.children().assign(children.begin() + left_count + 1, children.end());
    return WritePage(left) && WritePage(right) && WritePage(*parent);
  }
  // Merge into the left page; the right page is no longer referenced.
  left.entries() = std::move(entries);
  left.children() = std::move(children);
  parent->entries().erase(parent->entries().begin() + separator);
  parent->children().erase(parent->children().begin() + separator + 1);
  return WritePage(left) && WritePage(*parent);
}

bool XBaseIndexFile::DeleteMin(uint32_t number, uint32_t depth, VRKIndexEntry* removed) {
  if (!CheckDepth(depth)) return false;
  VRKIndexPage page;
  if (!ReadPage(number, &page)) return false;
  if (page.count() == 0) return Corrupt("(an inner page has an empty subtree)");
  if (page.leaf()) {
    *removed = page.entries().front();
    page.entries().erase(page.entries().begin());
    page.children().erase(page.children().begin());
    return WritePage(page);
  }
  return DeleteMin(page.children()[0], depth + 1, removed) && Repair(&page, 0);
}

bool XBaseIndexFile::Delete(uint32_t number, const VRKIndexEntry& entry, uint32_t depth,
                            bool* found) {
  if (!CheckDepth(depth)) return false;
  VRKIndexPage page;
  if (!ReadPage(number, &page)) return false;
  for (int32_t i = 0; i <= page.count(); ++i) {
    int cmp = i < page.count()
                  ? CompareIndexKeys(entry.key, page.entries()[static_cast<size_t>(i)].key,
                                     header_.flags, false)
                  : -1;
    if (cmp > 0) continue;
    if (cmp == 0 && page.entries()[static_cast<size_t>(i)].record == entry.record) {
      *found = true;
      if (page.leaf()) {
        page.entries().erase(page.entries().begin() + i);
        page.children().erase(page.children().begin() + i);
        return WritePage(page);
      }
      // An inner entry gives way to its in-order successor.
      VRKIndexEntry successor;
      if (!DeleteMin(page.children()[static_cast<size_t>(i + 1)], depth + 1, &successor))
        return false;
      page.entries()[static_cast<size_t>(i)] = successor;
      return WritePage(page) && Repair(&page, i + 1);
    }
    uint32_t child = page.children()[static_cast<size_t>(i)];
    if (child != 0) {
      if (!Delete(child, entry, depth + 1, found)) return false;
      if (*found) return Repair(&page, i);
    }
    // Equal keys may go on in the next subtree; a greater one ends it.
    if (cmp < 0) return true;
  }
  return true;
}

bool XBaseIndexFile::DeleteKey(uint32_t record, const std::string& key) {
  HeaderLock lock(this, true);
  if (!lock.locked() || !ReadHeader()) return false;
  VRKIndexEntry entry;
  entry.record = record;
  entry.key = CutKey(key);
  bool found = false;
  if (!Delete(header_.root, entry, 0, &found)) return false;
  if (!found) {
    error_.assign("Record is not in index");
    return false;
  }
  VRKIndexPage root;
  if (!ReadPage(header_.root, &root)) return false;
  if (root.count() == 0 && root.children()[0] != 0) header_.root = root.children()[0];
  ++header_.changes;
  if (!WriteHeader()) return false;
  seen_changes_ = header_.changes;
  cursor_.Clear();
  return true;
}

// --- search and cursor -------------------------------------------------------

bool XBaseIndexFile::Find(const std::string& raw, bool exact, bool* found, uint32_t* record) {
  std::string key = CutKey(raw);
  cursor_.Clear();
  steps_ = 0;
  *found = false;
  *record = 0;
  size_t noted_depth = 0;
  int32_t noted_position = -1;
  uint32_t number = header_.root;
  for (uint32_t depth = 0; number != 0; ++depth) {
    if (!CheckDepth(depth)) return false;
    VRKIndexPage page;
    if (!ReadPage(number, &page)) return false;
    int32_t i = 0;
    bool stop = false;
    for (; i < page.count(); ++i) {
      const VRKIndexEntry& entry = page.entries()[static_cast<size_t>(i)];
      int cmp = CompareIndexKeys(key, entry.key, header_.flags, !exact);
      if (cmp > 0) continue;
      noted_depth = cursor_.depth();
      noted_position = i;
      *found = cmp == 0;
      *record = entry.record;
      stop = cmp == 0 && exact && (header_.flags & kVRKUnique);
      break;
    }
    number = stop ? 0 : page.children()[static_cast<size_t>(i)];
    page.set_position(i);
    cursor_.Push(std::move(page));
  }
  if (noted_position < 0) {
    cursor_.Clear();
    return true;
  }
  cursor_.CutTo(noted_depth + 1);
  cursor_.Top().set_position(noted_position);
  return true;
}

bool XBaseIndexFile::FindKey(const std::string& key, bool exact, bool* found, uint32_t* record) {
  HeaderLock lock(this, false);
  if (!lock.locked() || !ReadHeader()) return false;
  if (!Find(key, exact, found, record)) return false;
  seen_changes_ = header_.changes;
  return true;
}

bool XBaseIndexFile::FindEntry(const std::string& key, uint32_t record) {
  HeaderLock lock(this, false);
  if (!lock.locked() || !ReadHeader()) return false;
  seen_changes_ = header_.changes;
  bool found = false;
  uint32_t at = 0;
  if (!Find(key, true, &found, &at)) return false;
  std::string cut = CutKey(key);
  while (found && at != record) {
    if (!Step(true, &at)) return false;
    found = at != 0 && CompareIndexKeys(cut, cursor_.Current()->key, header_.flags, false) == 0;
  }
  if (!found) {
    error_.assign("Record is not in index");
    return false;
  }
  return true;
}

bool XBaseIndexFile::DescendEdge(uint32_t number, bool leftmost, uint32_t* record) {
  *record = 0;
  if (cursor_.empty()) steps_ = 0;
  for (;;) {
    if (!CheckDepth(static_cast<uint32_t>(cursor_.depth()))) return false;
    VRKIndexPage page;
    if (!ReadPage(number, &page)) return false;
    int32_t position = leftmost ? 0 : page.count();
    uint32_t child = page.children()[static_cast<size_t>(position)];
    if (child == 0) {
      if (page.count() == 0) {
        cursor_.Clear();
        return true;
      }
      page.set_position(leftmost ? 0 : page.count() - 1);
      *record = page.entries()[static_cast<size_t>(page.position())].record;
      cursor_.Push(std::move(page));
      return true;
    }
    page.set_position(position);
    cursor_.Push(std::move(page));
    number = child;
  }
}

bool XBaseIndexFile::Step(bool forward, uint32_t* record) {
  *record = 0;
  if (!cursor_.Current()) return true;
  // A walk from one position meets every entry at most once; more steps
  // mean the pages form a cycle.
  if (++steps_ > static_cast<uint64_t>(header_.total_pages) * (header_.max_keys + 1))
    return Corrupt("(a page is reached more than once)");
  VRKIndexPage& top = cursor_.Top();
  int32_t i = top.position();
  if (forward) {
    uint32_t child = top.children()[static_cast<size_t>(i + 1)];
    if (child != 0) {
      top.set_position(i + 1);
      return DescendEdge(child, true, record);
    }
    if (i + 1 < top.count()) {
      top.set_position(i + 1);
      *record = top.entries()[static_cast<size_t>(i + 1)].record;
      return true;
    }
    cursor_.Pop();
    while (!cursor_.empty()) {
      VRKIndexPage& up = cursor_.Top();
      if (up.position() < up.count()) {
        *record = up.entries()[static_cast<size_t>(up.position())].record;
        return true;
      }
      cursor_.Pop();
    }
    return true;
  }
  uint32_t child = top.children()[static_cast<size_t>(i)];
  if (child != 0) return DescendEdge(child, false, record);
  if (i > 0) {
    top.set_position(i - 1);
    *record = top.entries()[static_cast<size_t>(i - 1)].record;
    return true;
  }
  cursor_.Pop();
  while (!cursor_.empty()) {
    VRKIndexPage& up = cursor_.Top();
    if (up.position() > 0) {
      up.set_position(up.position() - 1);
      *record = up.entries()[static_cast<size_t>(up.position())].record;
      return true;
    }
    cursor_.Pop();
  }
  return true;
}

bool XBaseIndexFile::Move(bool forward, uint32_t* record) {
  HeaderLock lock(this, false);
  if (!lock.locked() || !ReadHeader()) return false;
  *record = 0;
  if (header_.changes != seen_changes_ && cursor_.Current()) {
    // Another writer changed the tree: find the current entry again. When
    // it is gone, the first greater entry is already the next one.
    VRKIndexEntry current = *cursor_.Current();
    seen_changes_ = header_.changes;
    bool found = false;
    uint32_t at = 0;
    if (!Find(current.key, true, &found, &at)) return false;
    while (found && at != current.record) {
      if (!Step(true, &at)) return false;
      found = at != 0 && CompareIndexKeys(current.key, cursor_.Current()->key, header_.flags,
                                          false) == 0;
    }
    if (!found) {
      if (forward) {
        *record = CurrentRecord();
        return true;
      }
      if (!cursor_.Current()) return DescendEdge(header_.root, false, record);
    }
  }
  seen_changes_ = header_.changes;
  return Step(forward, record);
}

bool XBaseIndexFile::Next(uint32_t* record) { return Move(true, record); }
bool XBaseIndexFile::Previous(uint32_t* record) { return Move(false, record); }

bool XBaseIndexFile::First(uint32_t* record) {
  HeaderLock lock(this, false);
  if (!lock.locked() || !ReadHeader()) return false;
  seen_changes_ = header_.changes;
  cursor_.Clear();
  return DescendEdge(header_.root, true, record);
}

bool XBaseIndexFile::Last(uint32_t* record) {
  HeaderLock lock(this, false);
  if (!lock.locked() || !ReadHeader()) return false;
  seen_changes_ = header_.changes;
  cursor_.Clear();
  return DescendEdge(header_.root, false, record);
}

bool XBaseIndexFile::CurrentMatches(const std::string& key, bool exact) const {
  const VRKIndexEntry* current = cursor_.Current();
  return current && CompareIndexKeys(CutKey(key), current->key, header_.flags, !exact) == 0;
}

uint32_t XBaseIndexFile::CurrentRecord() const {
  const VRKIndexEntry* current = cursor_.Current();
  return current ? current->record : 0;
}

}  // namespace pexo
