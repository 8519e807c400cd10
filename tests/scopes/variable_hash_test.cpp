#include "values/variable_hash.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "values/dictionary.h"
#include "values/name_table.h"
#include "scope_test_util.h"
#include "values/aggregate_index.h"
#include "values/variable.h"
#include "values/variable_list.h"

namespace pexo {
namespace {

using testing_util::MakeTable;
using testing_util::Text;

std::string NameOf(VariableHash& h, int32_t index) {
  int32_t length;
  const char* name = h.EntryName(index, &length);
  return std::string(name, static_cast<size_t>(length));
}

TEST(VariableHashTest, UserTableStartsEmptyWithOwnDictionary) {
  UserVariableHash h;
  EXPECT_EQ(h.bucket_bits(), 12);
  EXPECT_EQ(h.bucket_count(), 4096);
  EXPECT_EQ(h.Capacity(), 512);
  EXPECT_EQ(h.Entries(), 0);
  ASSERT_NE(h.names(), nullptr);
  EXPECT_EQ(h.names()->count(), 0);
  EXPECT_EQ(h.Underlying(), &h);
  EXPECT_EQ(h.Level(), 0);
  EXPECT_EQ(h.PopLevel(), 0);
}

TEST(VariableHashTest, NamesAreCaseInsensitiveAndKeepFirstSpelling) {
  UserVariableHash h;
  ASSERT_EQ(h.SetVariable("Name", -1, "one", -1), 1);
  EXPECT_EQ(h.SetVariable("NAME", -1, "two", -1), 1);
  Variable* v = nullptr;
  ASSERT_TRUE(h.Find("name", -1, false, &v));
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(Text(v->Value()), "two");
  EXPECT_EQ(Text(v->Name()), "Name");
  EXPECT_EQ(h.Entries(), 1);
  EXPECT_EQ(NameOf(h, 0), "Name");
  EXPECT_EQ(h.FindEntry("nAmE", -1), 0);
}

// With one bucket every name shares a chain. Inserting longer and larger
// names first means each insertion must go before what is there; a lookup
// that stops early would miss every misplaced name.
TEST(VariableHashTest, OneChainKeepsLengthThenCaseInsensitiveOrder) {
  VariableHash h(0, 512, new Dictionary(), true);
  const std::vector<std::string> names = {"zzzz", "Yyyy", "aaaa", "zzz", "B", "a", "abc", "ABD", "x1"};
  for (const std::string& n : names) ASSERT_GE(h.InsertName(n.data(), -1), 0);
  EXPECT_EQ(h.used_buckets(), 1);
  for (size_t i = 0; i < names.size(); ++i)
    EXPECT_EQ(h.FindEntry(names[i].data(), -1), static_cast<int32_t>(i)) << names[i];
  for (const char* absent : {"", "c", "abb", "zz", "zzzzz", "aaab", "yyyz"})
    EXPECT_EQ(h.FindEntry(absent, -1), -1) << absent;
}

// A prepared chain in the wrong order shows that lookups stop at the first
// longer (or equally long and greater) name instead of walking on.
TEST(VariableHashTest, LookupStopsAtFirstLaterName) {
  Dictionary dict;
  NameTable t;
  t.bucket_bits = 0;
  t.buckets = {0};
  t.names = {dict.add("abcd", -1), dict.add("abc", -1)};
  t.next = {1, -1};  // "abcd" before "abc": misordered on purpose
  String error;
  std::unique_ptr<VariableHash> h(NewVariableHashFromTable(t, &dict, &error));
  ASSERT_NE(h, nullptr) << error.c_str();
  EXPECT_EQ(h->FindEntry("abcd", -1), 0);
  EXPECT_EQ(h->FindEntry("abc", -1), -1);
}

TEST(VariableHashTest, GrowsBy512AndNumbersInInsertionOrder) {
  UserVariableHash h;
  for (int i = 0; i < 513; ++i) {
    std::string n = "v" + std::to_string(i);
    ASSERT_EQ(h.InsertName(n.data(), -1), i);
    EXPECT_EQ(h.Capacity(), i < 512 ? 512 : 1024);
  }
  EXPECT_EQ(h.Entries(), 513);
  for (int i = 0; i < 513; i += 37) EXPECT_EQ(h.FindEntry(("V" + std::to_string(i)).c_str(), -1), i);
}

// A copy of an empty table starts with few heads and relinks its entries as
// it grows; every lookup must answer as in a table that had all its heads
// from the start, duplicates included.
TEST(VariableHashTest, CopyOfEmptyTableGrowsItsBucketsAndFindsTheSame) {
  UserVariableHash empty;
  VariableHash grown(empty, new Dictionary(), true, false);
  UserVariableHash full;
  EXPECT_EQ(grown.bucket_count(), VariableHash::kStartBuckets);
  std::vector<std::string> names;
  for (int i = 0; i < 600; ++i) names.push_back((i % 3 ? "v" : "Name_") + std::to_string(i * 7));
  names.push_back("v7");  // a duplicate of entry 1 in other spelling
  names.push_back("NAME_0");
  for (const std::string& name : names) {
    ASSERT_EQ(grown.InsertName(name.c_str(), -1), full.InsertName(name.c_str(), -1)) << name;
  }
  EXPECT_EQ(grown.bucket_count(), 2048);
  EXPECT_EQ(grown.bucket_bits(), 12);
  for (const std::string& name : names) {
    for (const std::string& probe : {name, name + "x", "x" + name}) {
      EXPECT_EQ(grown.FindEntry(probe.c_str(), -1), full.FindEntry(probe.c_str(), -1)) << probe;
    }
  }
  EXPECT_EQ(grown.FindEntry("V7", -1), 1);
  // A copy of a table with entries keeps its heads as they are.
  VariableHash copy(grown, new Dictionary(*grown.names()), true, false);
  EXPECT_EQ(copy.bucket_count(), 2048);
  EXPECT_EQ(copy.FindEntry("name_0", -1), 0);
}

TEST(VariableHashTest, InsertDoesNotCheckForDuplicates) {
  UserVariableHash h;
  EXPECT_EQ(h.InsertName("a", -1), 0);
  EXPECT_EQ(h.InsertName("A", -1), 1);
  EXPECT_EQ(h.Entries(), 2);
  EXPECT_EQ(h.FindEntry("a", -1), 0);  // the first one sorts first
}

TEST(VariableHashTest, PreparedTableEntriesMadeOnFirstUse) {
  Dictionary dict;
  const std::vector<std::string> names = {"alpha", "Beta", "gamma", "d", "epsilon", "ZETA"};
  NameTable t = MakeTable(&dict, 2, names);
  String error;
  std::unique_ptr<VariableHash> h(NewVariableHashFromTable(t, &dict, &error));
  ASSERT_NE(h, nullptr) << error.c_str();
  EXPECT_EQ(h->Entries(), 6);
  EXPECT_EQ(h->bucket_count(), 4);
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(h->FindEntry(names[i].data(), -1), static_cast<int32_t>(i));
    EXPECT_EQ(h->VariableAt(static_cast<int32_t>(i), false), nullptr);
  }
  EXPECT_EQ(h->FindEntry("BETA", -1), 1);
  EXPECT_EQ(h->FindEntryIndex(t.names[5]), 5);
  Variable* v = h->VariableAt(5, true);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(Text(v->Name()), "ZETA");
  EXPECT_EQ(h->VariableAt(5, true), v);
  EXPECT_EQ(h->VariableAt(-1, true), nullptr);
  EXPECT_EQ(h->VariableAt(6, true), nullptr);
  // Inserting into a prepared table links into its chains.
  EXPECT_EQ(h->InsertName("eta", -1), 6);
  EXPECT_EQ(h->FindEntry("ETA", -1), 6);
  EXPECT_EQ(h->FindEntry("alpha", -1), 0);
}

TEST(VariableHashTest, BadPreparedTablesAreRefused) {
  Dictionary dict;
  NameTable good = MakeTable(&dict, 1, {"a", "b", "c"});
  struct Case {
    const char* what;
    NameTable table;
  };
  std::vector<Case> cases;
  NameTable t = good;
  t.buckets[0] = 3;
  cases.push_back({"head out of range", t});
  t = good;
  t.next[0] = -2;
  cases.push_back({"link below -1", t});
  t = good;
  t.buckets = {0, 1};
  t.next = {1, 0, -1};
  cases.push_back({"loop", t});
  t = good;
  t.buckets = {0, 0};
  cases.push_back({"shared chain", t});
  t = good;
  t.buckets.push_back(-1);
  cases.push_back({"slot count differs from bits", t});
  t = good;
  t.next.pop_back();
  cases.push_back({"short next array", t});
  for (const Case& c : cases) {
    String error;
    VariableHash* h = NewVariableHashFromTable(c.table, &dict, &error);
    EXPECT_EQ(h, nullptr) << c.what;
    EXPECT_FALSE(error.empty()) << c.what;
    delete h;
  }
}

TEST(VariableHashTest, BucketBits32MeansOneSlot) {
  Dictionary dict;
  NameTable t = MakeTable(&dict, 32, {"one", "two"});
  ASSERT_EQ(t.buckets.size(), 1u);
  String error;
  std::unique_ptr<VariableHash> h(NewVariableHashFromTable(t, &dict, &error));
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->FindEntry("TWO", -1), 1);
}

TEST(VariableHashTest, InitFromTableRecyclesAndReleases) {
  Dictionary dict;
  NameTable t = MakeTable(&dict, 3, {"p", "q"});
  String error;
  std::unique_ptr<VariableHash> h(NewVariableHashFromTable(t, &dict, &error));
  ASSERT_NE(h, nullptr);
  Variable* keep = h->VariableAt(0, true);
  keep->Retain();
  keep->SetValue("old", -1);
  h->InsertName("extra", -1);
  ASSERT_TRUE(h->InitFromTable(t, 0, &error));
  EXPECT_EQ(keep->RefCount(), 1);  // the table let go of it
  keep->Release();
  EXPECT_EQ(h->Entries(), 2);
  EXPECT_EQ(h->FindEntry("extra", -1), -1);
  EXPECT_EQ(h->VariableAt(0, false), nullptr);
  Variable* fresh = h->VariableAt(0, true);
  ASSERT_NE(fresh, nullptr);
  EXPECT_TRUE(fresh->IsNULL());
  // A bad table leaves the recycled one as it was.
  NameTable bad = t;
  bad.buckets[0] = 7;
  EXPECT_FALSE(h->InitFromTable(bad, 0, &error));
  EXPECT_EQ(h->VariableAt(0, false), fresh);
}

TEST(VariableHashTest, ReplaceAndReferenceEntryManageReferences) {
  UserVariableHash h;
  Variable* first = new Variable("x", -1);
  EXPECT_EQ(h.InsertVariable(first), 0);
  EXPECT_EQ(first->RefCount(), 2);
  Variable* second = new Variable("X", -1);
  second->SetValue("2", -1);
  EXPECT_EQ(h.ReplaceVariable(second), 0);
  EXPECT_EQ(first->RefCount(), 1);
  EXPECT_EQ(second->RefCount(), 2);
  EXPECT_EQ(h.Entries(), 1);
  Variable* other = new Variable("other", -1);
  EXPECT_EQ(h.ReplaceVariable(other), 1);  // absent: inserted

  Variable* target = new Variable("t", -1);
  target->SetValue("target", -1);
  h.ReferenceEntry(0, target);
  EXPECT_EQ(second->RefCount(), 1);
  Variable* ref = h.VariableAt(0, false);
  ASSERT_NE(ref, nullptr);
  EXPECT_NE(ref, target);
  EXPECT_EQ(ref->RealIdentity(), target);
  EXPECT_EQ(Text(ref->Name()), "x");
  EXPECT_EQ(Text(ref->Value()), "target");
  h.ReferenceEntry(5, target);   // out of range: nothing
  h.ReferenceEntry(-1, target);
  EXPECT_EQ(h.Entries(), 2);
  h.VariableAt(0, false)->SetValue("through", -1);
  EXPECT_EQ(Text(target->Value()), "through");

  EXPECT_EQ(target->RefCount(), 2);  // the caller's and the alias's
  EXPECT_EQ(h.ReplaceVariable(target), 2);  // under its own name "t"
  h.ReferenceEntry(2, target);  // already that very variable: nothing
  EXPECT_EQ(h.VariableAt(2, false), target);
  EXPECT_EQ(target->RefCount(), 3);

  for (Variable* v : {first, second, other, target}) v->Release();
}

TEST(VariableHashTest, ClearFindAndForEach) {
  UserVariableHash h;
  h.SetVariable("a", -1, "1", -1);
  h.InsertName("declared", -1);
  h.SetVariable("b", -1, "2", -1);
  EXPECT_EQ(h.ClearVariable("A", -1), 1);
  EXPECT_EQ(h.ClearVariable("declared", -1), 1);
  EXPECT_EQ(h.ClearVariable("nothing", -1), 0);
  Variable* v = nullptr;
  ASSERT_TRUE(h.Find("a", -1, false, &v));
  EXPECT_TRUE(v->IsNULL());
  EXPECT_TRUE(h.Find("declared", -1, false, &v));
  EXPECT_EQ(v, nullptr);
  EXPECT_FALSE(h.Find("nothing", -1, true, &v));  // Find never inserts
  EXPECT_EQ(v, nullptr);
  EXPECT_EQ(h.Entries(), 3);

  VariableList list;
  h.ForEach(&list);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(Text(list.At(0)->Name()), "a");
  EXPECT_EQ(Text(list.At(1)->Name()), "b");
  EXPECT_EQ(list.At(1)->RefCount(), 2);
  ASSERT_TRUE(h.Find("declared", -1, true, &v));
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(Text(v->Name()), "declared");
}

// ---- paths -----------------------------------------------------------------

TEST(VariableHashPathTest, IndexSyntax) {
  const struct {
    const char* path;
    bool ok;
    int32_t element;  // element expected to exist afterwards, 0 none
  } cases[] = {
      {"a[x]", false, 0},   {"a[ 2 ]", true, 2}, {"a[2]x", false, 2},
      {"a[2", false, 0},    {"a[0]", true, 0},   {"a[7]", true, 7},
  };
  for (const auto& c : cases) {
    UserVariableHash h;
    Variable sentinel;
    Variable* v = &sentinel;  // must be overwritten
    EXPECT_EQ(h.Lookup(c.path, -1, true, &v), c.ok) << c.path;
    if (c.ok) {
      ASSERT_NE(v, nullptr) << c.path;
    } else {
      EXPECT_EQ(v, nullptr) << c.path;
      EXPECT_EQ(Text(h.Error()), "Array index must be positive integer") << c.path;
    }
    Variable* a = nullptr;
    ASSERT_TRUE(h.Find("a", -1, false, &a)) << c.path;  // the base stays
    if (c.element) {
      EXPECT_EQ(a->AggregateKind(), kKindArray) << c.path;
      EXPECT_NE(a->Element(AggregateIndex(c.element), 0), nullptr) << c.path;
    }
  }
}

TEST(VariableHashPathTest, MembersAndIndexesBuildAndFind) {
  UserVariableHash h;
  ASSERT_EQ(h.SetVariablePath("order:items[3]:price", -1, "9.50", -1, false), 1);
  Variable* v = nullptr;
  ASSERT_TRUE(h.Lookup("ORDER:Items[ 3 ]:PRICE", -1, false, &v));
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(Text(v->Value()), "9.50");
  Variable* order = nullptr;
  ASSERT_TRUE(h.Find("order", -1, false, &order));
  EXPECT_EQ(order->AggregateKind(), kKindStructure);
  Variable* items = order->Element(AggregateIndex("items", -1), 0);
  ASSERT_NE(items, nullptr);
  EXPECT_EQ(items->AggregateKind(), kKindArray);

  // Missing pieces without create: null and success, nothing made.
  for (const char* path : {"nobody", "order:nothing", "order:items[4]", "nobody[x]",
                           "order:nothing[x]"}) {
    v = order;
    EXPECT_TRUE(h.Lookup(path, -1, false, &v)) << path;
    EXPECT_EQ(v, nullptr) << path;
  }
  EXPECT_EQ(h.Entries(), 1);
  EXPECT_EQ(items->ElementsUsed(), 1);
}

TEST(VariableHashPathTest, MalformedPathKeepsWhatWasBuilt) {
  UserVariableHash h;
  Variable* v = nullptr;
  EXPECT_FALSE(h.Lookup("s:m[1]:n[z]", -1, true, &v));
  Variable* n = nullptr;
  ASSERT_TRUE(h.Lookup("s:m[1]:n", -1, false, &n));
  EXPECT_NE(n, nullptr);
  EXPECT_EQ(h.SetVariablePath("q[", -1, "x", -1, false), 0);
}

TEST(VariableHashPathTest, AccumulatingAssignment) {
  UserVariableHash h;
  ASSERT_EQ(h.SetVariablePath("f", -1, "one", -1, true), 1);
  Variable* f = nullptr;
  ASSERT_TRUE(h.Find("f", -1, false, &f));
  EXPECT_EQ(f->AggregateKind(), kKindScalar);
  EXPECT_EQ(Text(f->Value()), "one");

  ASSERT_EQ(h.SetVariablePath("F", -1, "two", -1, true), 1);
  ASSERT_EQ(f->AggregateKind(), kKindArray);
  EXPECT_EQ(f->ElementsUsed(), 2);
  EXPECT_EQ(Text(f->Element(AggregateIndex(1), 0)->Value()), "one");
  EXPECT_EQ(Text(f->Element(AggregateIndex(2), 0)->Value()), "two");

  ASSERT_EQ(h.SetVariablePath("f", -1, "three", -1, true), 1);
  EXPECT_EQ(f->ElementsUsed(), 3);
  EXPECT_EQ(Text(f->Element(AggregateIndex(3), 0)->Value()), "three");
  EXPECT_EQ(Text(f->Value()), "one,two,three");

  // Without the flag the value simply replaces.
  ASSERT_EQ(h.SetVariablePath("g", -1, "a", -1, false), 1);
  ASSERT_EQ(h.SetVariablePath("g", -1, "b", -1, false), 1);
  Variable* g = nullptr;
  ASSERT_TRUE(h.Find("g", -1, false, &g));
  EXPECT_EQ(Text(g->Value()), "b");

  // An empty text counts as no value: the next one replaces it.
  ASSERT_EQ(h.SetVariablePath("e", -1, "", 0, true), 1);
  ASSERT_EQ(h.SetVariablePath("e", -1, "x", -1, true), 1);
  Variable* e = nullptr;
  ASSERT_TRUE(h.Find("e", -1, false, &e));
  EXPECT_EQ(e->AggregateKind(), kKindScalar);
  EXPECT_EQ(Text(e->Value()), "x");
}

}  // namespace
}  // namespace pexo
