// Index files on their own: the layout on disk, key order, search, the
// cursor, B-tree changes checked against a model, and damaged files.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "db/xbase/xbase_index_check.h"
#include "db/xbase/xbase_index_file.h"
#include "xbase_fixture.h"

namespace pexo {
namespace {

class XBaseIndexTest : public XBaseFixture {
 protected:
  std::unique_ptr<XBaseIndexFile> Make(uint32_t flags, const char* name = "i.ndx") {
    auto index = std::make_unique<XBaseIndexFile>(files_.get());
    EXPECT_TRUE(index->CreateIndex(name, "d.key", flags)) << Text(index->ErrorText());
    return index;
  }
  // Every record in cursor order, forward.
  static std::vector<uint32_t> Walk(XBaseIndexFile* index) {
    std::vector<uint32_t> out;
    uint32_t record = 0;
    EXPECT_TRUE(index->First(&record));
    while (record != 0) {
      out.push_back(record);
      EXPECT_TRUE(index->Next(&record)) << Text(index->ErrorText());
    }
    return out;
  }
  static std::vector<uint32_t> WalkBack(XBaseIndexFile* index) {
    std::vector<uint32_t> out;
    uint32_t record = 0;
    EXPECT_TRUE(index->Last(&record));
    while (record != 0) {
      out.insert(out.begin(), record);
      EXPECT_TRUE(index->Previous(&record));
    }
    return out;
  }
  static uint32_t U32(const std::string& bytes, size_t at) {
    uint32_t v = 0;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
  }
  static std::string Patch32(std::string bytes, size_t at, uint32_t value) {
    std::memcpy(&bytes[at], &value, 4);
    return bytes;
  }
};

TEST_F(XBaseIndexTest, LayoutAndTheFirstSplit) {
  auto index = Make(0);
  std::string fresh = ReadFile("i.ndx");
  ASSERT_EQ(fresh.size(), 2048u);
  EXPECT_EQ(fresh.substr(0, 4), "VRKI");
  EXPECT_EQ(fresh[4], 3);
  EXPECT_EQ(U32(fresh, 5), 0u);     // changes
  EXPECT_EQ(U32(fresh, 9), 2u);     // total pages
  EXPECT_EQ(U32(fresh, 13), 1u);    // root
  EXPECT_EQ(U32(fresh, 17) & 0xFFFF, 8u);
  EXPECT_EQ(U32(fresh, 19) & 0xFFFF, 1024u);
  EXPECT_EQ(U32(fresh, 21) & 0xFFFF, 108u);
  EXPECT_EQ(fresh.substr(27, 6), std::string("d.key\0", 6));
  for (uint32_t k = 1; k <= 9; ++k) ASSERT_TRUE(index->InsertKey(k, std::to_string(k)));
  std::string bytes = ReadFile("i.ndx");
  EXPECT_EQ(U32(bytes, 5), 9u);
  EXPECT_EQ(U32(bytes, 9), 4u);
  uint32_t root = U32(bytes, 13);
  EXPECT_EQ(root, 3u);
  VRKIndexPage page;
  ASSERT_TRUE(index->ReadPage(root, &page));
  ASSERT_EQ(page.count(), 1);
  EXPECT_EQ(page.entries()[0].key, "5");
  // The entry's bytes: left child, record, key; then the right child.
  size_t at = root * 1024;
  EXPECT_EQ(U32(bytes, at), 1u);
  EXPECT_EQ(U32(bytes, at + 4), 1u);
  EXPECT_EQ(U32(bytes, at + 8), 5u);
  EXPECT_EQ(bytes.substr(at + 12, 2), std::string("5\0", 2));
  EXPECT_EQ(U32(bytes, at + 4 + 108), 2u);
  VRKIndexPage left, right;
  ASSERT_TRUE(index->ReadPage(1, &left));
  ASSERT_TRUE(index->ReadPage(2, &right));
  ASSERT_EQ(left.count(), 4);
  ASSERT_EQ(right.count(), 4);
  EXPECT_EQ(left.entries()[3].key, "4");
  EXPECT_EQ(right.entries()[0].key, "6");
}

TEST_F(XBaseIndexTest, KeyOrderUnderTheFlags) {
  struct Case {
    uint32_t flags;
    std::vector<uint32_t> order;  // records of keys "10", "9", "abc", " 2"
  } cases[] = {{0, {4, 2, 1, 3}},
               {kVRKString, {4, 1, 2, 3}},
               {kVRKDescending, {3, 1, 2, 4}},
               {kVRKString | kVRKDescending, {3, 2, 1, 4}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    auto index = Make(c.flags);
    const char* keys[] = {"10", "9", "abc", " 2"};
    for (uint32_t r = 1; r <= 4; ++r) ASSERT_TRUE(index->InsertKey(r, keys[r - 1]));
    EXPECT_EQ(Walk(index.get()), c.order);
    EXPECT_EQ(WalkBack(index.get()), c.order);
  }
}

TEST_F(XBaseIndexTest, FindExactPrefixAndMissing) {
  auto index = Make(kVRKString);
  const char* names[] = {"Jones", "Smith", "Adams", "Smalley", "Young", "Smith"};
  for (uint32_t r = 1; r <= 6; ++r) ASSERT_TRUE(index->InsertKey(r, names[r - 1]));
  struct Case {
    const char* key;
    bool exact;
    bool found;
    uint32_t record;
  } cases[] = {{"Sm", false, true, 4},   {"Smith", true, true, 6},  {"Smi", true, false, 6},
               {"Zed", true, false, 0},  {"A", false, true, 3},     {"Jonesy", false, false, 4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    bool found = false;
    uint32_t record = 99;
    ASSERT_TRUE(index->FindKey(c.key, c.exact, &found, &record));
    EXPECT_EQ(found, c.found);
    EXPECT_EQ(record, c.record);
  }
  // The first of equal keys wins; the cursor goes on from there.
  ASSERT_TRUE(index->FindEntry("Smith", 2));
  uint32_t record = 0;
  ASSERT_TRUE(index->Next(&record));
  EXPECT_EQ(record, 5u);
  EXPECT_FALSE(index->FindEntry("Smith", 5));
  EXPECT_EQ(Text(index->ErrorText()), "Record is not in index");
}

TEST_F(XBaseIndexTest, Messages) {
  auto index = Make(kVRKUnique);
  ASSERT_TRUE(index->InsertKey(1, "a"));
  EXPECT_FALSE(index->InsertKey(2, "a"));
  EXPECT_EQ(Text(index->ErrorText()),
            "Index 'i.ndx' was created with the UNIQUE flag and the key 'a' already exists in the index file");
  EXPECT_FALSE(index->DeleteKey(2, "a"));
  EXPECT_EQ(Text(index->ErrorText()), "Record is not in index");
  std::string good = ReadFile("i.ndx");
  // Nine 108-byte entries and the last child fit a page; ten do not.
  std::string bad_page = Patch32(good, 1024, 10);
  // The root's only entry has the root as its left child.
  std::string cycle = Patch32(good, 1024 + 4, 1);
  struct Case {
    const char* what;
    std::string bytes;
    const char* message;
  } cases[] = {
      {"magic", "XRKI" + good.substr(4), "'x.ndx' is either corrupt or is not a valid index file"},
      {"version", good.substr(0, 4) + '\4' + good.substr(5),
       "'x.ndx' was created by a newer version of the software"},
      {"short", good.substr(0, 100), "<prefix>Error reading from 'x.ndx': "},
      {"key count", bad_page,
       "File is corrupt (the number of entries is larger than the maximum entries possible)."},
      {"root at total", Patch32(good, 13, 2), "'x.ndx' is either corrupt or is not a valid index file"},
      {"child at total", Patch32(good, 1024 + 4 + 108, 2),
       "Error 'x.ndx' is corrupt (the page number is larger than the total pages )"},
      {"cycle", cycle, "<prefix>Error 'x.ndx' is corrupt "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile("x.ndx", c.bytes);
    XBaseIndexFile other(files_.get());
    bool ok = other.OpenIndex("x.ndx");
    uint32_t record = 0;
    if (ok) ok = other.First(&record) && other.Last(&record) && other.InsertKey(9, "b");
    ASSERT_FALSE(ok);
    std::string message = c.message;
    if (message.rfind("<prefix>", 0) == 0)
      EXPECT_EQ(Text(other.ErrorText()).rfind(message.substr(8), 0), 0u) << Text(other.ErrorText());
    else
      EXPECT_EQ(Text(other.ErrorText()), message);
  }
  XBaseIndexFile missing(files_.get());
  EXPECT_FALSE(missing.OpenIndex("none.ndx"));
  EXPECT_EQ(Text(missing.ErrorText()).rfind("Error opening 'none.ndx': ", 0), 0u);
}

// Random inserts and deletes with many equal keys, checked after every step
// against a model: the tree's invariants, its entries, and both walks.
TEST_F(XBaseIndexTest, RandomChangesAgainstAModel) {
  for (uint32_t flags : {0u, kVRKString | kVRKDescending}) {
    SCOPED_TRACE(flags);
    auto index = Make(flags);
    std::mt19937 random(flags + 7);
    std::map<uint32_t, std::string> model;
    uint32_t next = 1;
    for (int step = 0; step < 1500; ++step) {
      bool insert = model.size() < 40 || random() % 100 < 55;
      if (step > 1200) insert = false;
      if (insert) {
        std::string key = std::to_string(random() % 60);
        if (random() % 10 == 0) key = std::string(150, 'k') + key;  // longer than the key size
        ASSERT_TRUE(index->InsertKey(next, key)) << Text(index->ErrorText());
        model[next++] = key;
      } else if (!model.empty()) {
        auto it = model.begin();
        std::advance(it, random() % model.size());
        ASSERT_TRUE(index->DeleteKey(it->first, it->second)) << Text(index->ErrorText());
        model.erase(it);
      }
      std::vector<VRKIndexEntry> entries;
      std::string error;
      ASSERT_TRUE(CheckIndexTree(index.get(), &entries, &error)) << error;
      std::vector<VRKIndexEntry> expected;
      for (const auto& m : model) expected.push_back({m.first, m.second});
      ASSERT_TRUE(CompareIndexEntries(*index, entries, expected, &error)) << error;
      if (step % 50 == 0) {
        std::vector<uint32_t> order;
        for (const VRKIndexEntry& e : entries) order.push_back(e.record);
        ASSERT_EQ(Walk(index.get()), order);
        ASSERT_EQ(WalkBack(index.get()), order);
      }
    }
    for (const auto& m : model) ASSERT_TRUE(index->DeleteKey(m.first, m.second));
    std::vector<VRKIndexEntry> entries;
    std::string error;
    ASSERT_TRUE(CheckIndexTree(index.get(), &entries, &error)) << error;
    EXPECT_TRUE(entries.empty());
    EXPECT_TRUE(Walk(index.get()).empty());
  }
}

// A cursor whose file another process changed finds its entry again and
// goes on in order.
TEST_F(XBaseIndexTest, CursorFollowsAnotherWritersChanges) {
  auto walker = Make(0);
  for (uint32_t r = 1; r <= 20; ++r) ASSERT_TRUE(walker->InsertKey(r, std::to_string(r * 10)));
  uint32_t record = 0;
  ASSERT_TRUE(walker->First(&record));
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(walker->Next(&record));
  ASSERT_EQ(record, 4u);
  // Another process changes the file between two steps of the walk.
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    XBaseIndexFile other(files_.get());
    bool ok = other.OpenIndex("i.ndx") && other.InsertKey(21, "25") && other.InsertKey(22, "45") &&
              other.DeleteKey(5, "50");
    for (uint32_t r = 23; ok && r <= 60; ++r) ok = other.InsertKey(r, std::to_string(r));
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  XBaseIndexFile writer(files_.get());
  ASSERT_TRUE(writer.OpenIndex("i.ndx"));
  std::vector<uint32_t> rest;
  for (;;) {
    ASSERT_TRUE(walker->Next(&record)) << Text(walker->ErrorText());
    if (record == 0) break;
    rest.push_back(record);
  }
  // Keys above 40 in order; of equal keys the later insertion comes first.
  std::vector<uint32_t> expected = {41, 42, 43, 44, 45, 22};
  for (uint32_t r = 46; r <= 60; ++r) expected.push_back(r);
  for (uint32_t r = 6; r <= 20; ++r) expected.push_back(r);
  EXPECT_EQ(rest, expected);
  // The deleted entry the cursor stood on: it goes on from the next one.
  ASSERT_TRUE(walker->FindEntry("60", 6));
  ASSERT_TRUE(writer.DeleteKey(6, "60"));
  ASSERT_TRUE(walker->Next(&record));
  EXPECT_EQ(record, 7u);
}

}  // namespace
}  // namespace pexo
