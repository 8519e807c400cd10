#include "values/variable_list.h"

#include <gtest/gtest.h>

#include "scope_test_util.h"
#include "values/variable.h"

namespace pexo {
namespace {

using testing_util::Text;

TEST(VariableListTest, InsertRetainsRemoveAndClearRelease) {
  Variable* a = new Variable("a", -1);
  Variable* b = new Variable("b", -1);
  {
    VariableList list;
    list.Insert(a);
    list.Insert(b);
    list.Insert(a);
    EXPECT_EQ(a->RefCount(), 3);
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.First(), a);
    EXPECT_EQ(list.Next(), b);
    EXPECT_EQ(list.Current(), b);
    EXPECT_EQ(list.Next(), a);
    EXPECT_EQ(list.Next(), nullptr);
    EXPECT_TRUE(list.Remove(a));
    EXPECT_EQ(a->RefCount(), 2);
    EXPECT_EQ(list.At(0), b);
    Variable stranger;
    EXPECT_FALSE(list.Remove(&stranger));
  }
  EXPECT_EQ(a->RefCount(), 1);
  EXPECT_EQ(b->RefCount(), 1);
  a->Release();
  b->Release();
}

TEST(VariableListTest, FindComparesLengthThenIgnoringCase) {
  VariableList list;
  list.SetVariable("Color", -1, "red", -1);
  list.SetVariable("col", -1, "x", -1);
  EXPECT_EQ(Text(list.Find("COLOR", -1)->Value()), "red");
  EXPECT_EQ(Text(list.Find("Col", -1)->Value()), "x");
  EXPECT_EQ(list.Find("colo", -1), nullptr);
  EXPECT_EQ(list.Find("colorx", 5)->Name().length(), 5);
}

TEST(VariableListTest, SetVariableChangesExistingOrAppends) {
  VariableList list;
  EXPECT_EQ(list.SetVariable("name", -1, "one", -1), 1);
  EXPECT_EQ(list.SetVariable("other", -1, "o", -1), 1);
  EXPECT_EQ(list.SetVariable("NAME", -1, "two", -1), 1);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(Text(list.At(0)->Name()), "name");
  EXPECT_EQ(Text(list.At(0)->Value()), "two");
  EXPECT_EQ(list.At(0)->RefCount(), 1);  // only the list holds it
  EXPECT_EQ(Text(list.At(1)->Name()), "other");
}

}  // namespace
}  // namespace pexo
