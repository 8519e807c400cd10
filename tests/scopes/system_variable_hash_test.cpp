#include "values/system_variable_hash.h"

#include <gtest/gtest.h>

#include <memory>

#include "values/dictionary.h"
#include "scope_test_util.h"
#include "values/variable.h"

namespace pexo {
namespace {

using testing_util::MakeTable;
using testing_util::Text;

std::string ValueOf(VariableHash& h, const char* name) {
  Variable* v = nullptr;
  if (!h.Find(name, -1, false, &v)) return "<absent>";
  return v ? Text(v->Value()) : "<empty>";
}

class SystemHashTest : public ::testing::Test {
 protected:
  SystemHashTest() : h_(12, new Dictionary(), true) {}
  Variable* Named(const char* name, const char* value) {
    Variable* v = new Variable(name, -1);
    v->SetValue(value, -1);
    return v;
  }
  SystemVariableHash h_;
};

TEST_F(SystemHashTest, PopLevelRestoresReplacedVariable) {
  Variable* old = Named("path_info", "/old");
  h_.InsertVariable(old);
  h_.PushLevel();
  EXPECT_EQ(h_.Level(), 1);
  Variable* over = Named("PATH_INFO", "/new");
  EXPECT_EQ(h_.ReplaceVariable(over), 0);
  EXPECT_EQ(ValueOf(h_, "path_info"), "/new");
  EXPECT_EQ(old->RefCount(), 2);  // kept by the record, not released
  EXPECT_EQ(h_.EntryAt(0)->marker, 1);
  EXPECT_EQ(h_.PopLevel(), 1);
  EXPECT_EQ(h_.Level(), 0);
  EXPECT_EQ(ValueOf(h_, "path_info"), "/old");
  EXPECT_EQ(h_.EntryAt(0)->marker, 0);
  EXPECT_EQ(over->RefCount(), 1);
  EXPECT_EQ(h_.PopLevel(), 0);
  old->Release();
  over->Release();
}

TEST_F(SystemHashTest, InsertAtLevelReusesEntryAndNewNamesEndEmpty) {
  Variable* a = Named("a", "1");
  h_.InsertVariable(a);
  h_.PushLevel();
  Variable* a2 = Named("A", "2");
  EXPECT_EQ(h_.InsertVariable(a2), 0);  // reused, not duplicated
  EXPECT_EQ(h_.Entries(), 1);
  EXPECT_EQ(h_.SetVariable("fresh", -1, "f", -1), 1);
  EXPECT_EQ(h_.Entries(), 2);
  EXPECT_EQ(ValueOf(h_, "a"), "2");
  h_.PopLevel();
  EXPECT_EQ(ValueOf(h_, "a"), "1");
  EXPECT_EQ(ValueOf(h_, "fresh"), "<empty>");  // the name stays, without variable
  EXPECT_EQ(h_.Entries(), 2);
  a->Release();
  a2->Release();
}

TEST_F(SystemHashTest, NestedLevelsAndRepeatedChangesUndoInOrder) {
  h_.SetVariable("x", -1, "base", -1);
  h_.PushLevel();
  Variable* one = Named("x", "one");
  Variable* two = Named("x", "two");
  h_.ReplaceVariable(one);
  h_.ReplaceVariable(two);  // two changes of one entry at one level
  h_.PushLevel();
  Variable* three = Named("x", "three");
  h_.ReplaceVariable(three);
  EXPECT_EQ(h_.Level(), 2);
  EXPECT_EQ(ValueOf(h_, "x"), "three");
  h_.PopLevel();
  EXPECT_EQ(ValueOf(h_, "x"), "two");
  h_.PopLevel();
  EXPECT_EQ(ValueOf(h_, "x"), "base");
  for (Variable* v : {one, two, three}) {
    EXPECT_EQ(v->RefCount(), 1);
    v->Release();
  }
}

TEST_F(SystemHashTest, MakingDeclaredVariableIsRecorded) {
  Dictionary dict;
  NameTable t = MakeTable(&dict, 4, {"server_name", "remote_addr"});
  String error;
  std::unique_ptr<SystemVariableHash> h(NewSystemVariableHashFromTable(t, &dict, &error));
  ASSERT_NE(h, nullptr);
  h->PushLevel();
  Variable* v = nullptr;
  ASSERT_TRUE(h->Find("REMOTE_ADDR", -1, true, &v));
  ASSERT_NE(v, nullptr);
  v->SetValue("127.0.0.1", -1);
  EXPECT_EQ(h->EntryAt(1)->marker, 1);
  h->PopLevel();
  EXPECT_EQ(h->VariableAt(1, false), nullptr);
}

TEST_F(SystemHashTest, ValueChangesAreNotRecorded) {
  h_.SetVariable("x", -1, "before", -1);
  h_.PushLevel();
  h_.SetVariable("x", -1, "after", -1);  // same variable, new value
  h_.PopLevel();
  EXPECT_EQ(ValueOf(h_, "x"), "after");
}

TEST_F(SystemHashTest, DestroyingWithOpenLevelsReleasesSavedVariables) {
  Variable* saved = Named("s", "saved");
  Variable* current = Named("s", "current");
  {
    SystemVariableHash h(4, new Dictionary(), true);
    h.InsertVariable(saved);
    h.PushLevel();
    h.ReplaceVariable(current);
    h.PushLevel();
    EXPECT_EQ(saved->RefCount(), 2);
    EXPECT_EQ(current->RefCount(), 2);
  }
  EXPECT_EQ(saved->RefCount(), 1);
  EXPECT_EQ(current->RefCount(), 1);
  saved->Release();
  current->Release();
}

TEST_F(SystemHashTest, RebuildingUnderALevelDoesNotBreakPop) {
  Dictionary dict;
  NameTable big = MakeTable(&dict, 2, {"a", "b", "c"});
  NameTable small = MakeTable(&dict, 2, {"a"});
  String error;
  std::unique_ptr<SystemVariableHash> h(NewSystemVariableHashFromTable(big, &dict, &error));
  ASSERT_NE(h, nullptr);
  h->PushLevel();
  h->SetVariable("c", -1, "x", -1);
  ASSERT_TRUE(h->InitFromTable(small, 0, &error));
  EXPECT_EQ(h->PopLevel(), 1);  // record of entry 2 points past the table
  EXPECT_EQ(h->Entries(), 1);
}

}  // namespace
}  // namespace pexo
