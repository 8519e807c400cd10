#include <gtest/gtest.h>

#include <memory>

#include "values/dictionary.h"
#include "scope_test_util.h"
#include "values/cloned_variable_hash.h"
#include "values/reference_variable_hash.h"
#include "values/system_variable_hash.h"
#include "values/variable.h"
#include "values/variable_list.h"

namespace pexo {
namespace {

using testing_util::MakeTable;
using testing_util::Text;

// The globals of one program seen through another program's name table.
class ReferenceHashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    NameTable own = MakeTable(&target_dict_, 3, {"shared", "only_there"});
    String error;
    target_.reset(NewVariableHashFromTable(own, &target_dict_, &error));
    ASSERT_NE(target_, nullptr);
    // The other program numbers the names differently.
    NameTable theirs = MakeTable(&dict_, 2, {"new_one", "SHARED"});
    ref_.reset(NewReferenceVariableHashFromTable(theirs, &dict_, target_.get(), &error));
    ASSERT_NE(ref_, nullptr);
  }
  Dictionary target_dict_, dict_;
  std::unique_ptr<VariableHash> target_;
  std::unique_ptr<ReferenceVariableHash> ref_;
};

TEST_F(ReferenceHashTest, IndexOperationsResolveThroughTheCache) {
  EXPECT_EQ(ref_->EntryAt(1)->marker, -1);
  Variable* shared = ref_->VariableAt(1, true);
  ASSERT_NE(shared, nullptr);
  EXPECT_EQ(ref_->EntryAt(1)->marker, 0);
  EXPECT_EQ(target_->VariableAt(0, false), shared);
  EXPECT_EQ(Text(shared->Name()), "shared");  // the target's spelling

  // A name the target lacks: null without create, inserted with it.
  EXPECT_EQ(ref_->VariableAt(0, false), nullptr);
  EXPECT_EQ(target_->Entries(), 2);
  Variable* made = ref_->VariableAt(0, true);
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(target_->Entries(), 3);
  EXPECT_EQ(ref_->EntryAt(0)->marker, 2);
  EXPECT_EQ(target_->FindEntry("NEW_ONE", -1), 2);
  EXPECT_EQ(ref_->VariableAt(0, false), made);
  EXPECT_EQ(ref_->VariableAt(2, true), nullptr);
}

TEST_F(ReferenceHashTest, NameOperationsGoToTheTarget) {
  EXPECT_EQ(ref_->SetVariable("only_there", -1, "v", -1), 1);
  Variable* v = nullptr;
  ASSERT_TRUE(target_->Find("only_there", -1, false, &v));
  EXPECT_EQ(Text(v->Value()), "v");
  EXPECT_EQ(ref_->FindEntry("ONLY_THERE", -1), 1);
  EXPECT_EQ(ref_->InsertName("added", -1), 2);
  EXPECT_EQ(target_->FindEntry("added", -1), 2);
  EXPECT_EQ(ref_->Entries(), 2);  // its own numbering is unchanged
  EXPECT_FALSE(ref_->Lookup("x[y]", -1, true, &v));
  EXPECT_EQ(Text(ref_->Error()), "Array index must be positive integer");
  EXPECT_EQ(Text(target_->Error()), "Array index must be positive integer");
  EXPECT_EQ(ref_->Underlying(), target_.get());

  Variable* t = new Variable("t", -1);
  ref_->ReferenceEntry(1, t);  // "shared" in the target now refers to t
  EXPECT_EQ(target_->VariableAt(0, false)->RealIdentity(), t);
  t->Release();

  VariableList list;
  ref_->ForEach(&list);
  EXPECT_EQ(list.Count(), 3);  // shared (now a reference), only_there, x
}

TEST(ClonedHashTest, PlainTableClonesToARealTable) {
  Dictionary dict;
  NameTable t = MakeTable(&dict, 2, {"a", "b"});
  String error;
  std::unique_ptr<VariableHash> source(NewVariableHashFromTable(t, &dict, &error));
  source->SetVariable("a", -1, "va", -1);
  for (bool copy : {true, false}) {
    std::unique_ptr<VariableHash> clone(CloneVariableHash(source.get(), &dict, copy));
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->Underlying(), clone.get());
    EXPECT_EQ(clone->Entries(), 2);
    Variable* v = clone->VariableAt(0, false);
    if (copy) {
      ASSERT_NE(v, nullptr);
      EXPECT_NE(v, source->VariableAt(0, false));
      EXPECT_EQ(Text(v->Value()), "va");
      v->SetValue("changed", -1);
      EXPECT_EQ(Text(source->VariableAt(0, false)->Value()), "va");
    } else {
      EXPECT_EQ(v, nullptr);
    }
    clone->SetVariable("new", -1, "n", -1);
    EXPECT_EQ(source->FindEntry("new", -1), -1);
  }
}

TEST(ClonedHashTest, SystemTableClonesIntoAForwardedCopy) {
  auto* dict = new Dictionary();
  SystemVariableHash sys(4, dict, true);
  sys.SetVariable("server_name", -1, "example", -1);
  std::unique_ptr<VariableHash> clone(CloneVariableHash(&sys, dict, true));
  ASSERT_NE(clone, nullptr);
  EXPECT_NE(clone->Underlying(), &sys);
  EXPECT_NE(dynamic_cast<SystemVariableHash*>(clone->Underlying()), nullptr);
  Variable* v = clone->VariableAt(0, false);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(Text(v->Value()), "example");
  EXPECT_NE(v, sys.VariableAt(0, false));
  clone->PushLevel();
  EXPECT_EQ(clone->Level(), 1);
  EXPECT_EQ(sys.Level(), 0);
  clone->SetVariable("task_only", -1, "t", -1);
  EXPECT_EQ(sys.FindEntry("task_only", -1), -1);
  EXPECT_EQ(clone->PopLevel(), 1);
}

TEST(ClonedHashTest, ForwardingSourceGetsItsOwnTargetCopy) {
  // Included program's view (forwarding) onto the globals of the main one.
  Dictionary main_dict, inc_dict;
  NameTable globals = MakeTable(&main_dict, 2, {"g1", "g2"});
  NameTable view = MakeTable(&inc_dict, 2, {"G2"});
  String error;
  std::unique_ptr<VariableHash> target(NewVariableHashFromTable(globals, &main_dict, &error));
  std::unique_ptr<ReferenceVariableHash> source(
      NewReferenceVariableHashFromTable(view, &inc_dict, target.get(), &error));
  ASSERT_NE(source, nullptr);
  target->SetVariable("g2", -1, "two", -1);

  std::unique_ptr<VariableHash> clone(CloneVariableHash(source.get(), &inc_dict, true));
  ASSERT_NE(clone, nullptr);
  EXPECT_NE(clone->Underlying(), target.get());
  Variable* v = clone->VariableAt(0, true);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(Text(v->Value()), "two");
  EXPECT_NE(v, target->VariableAt(1, false));
  // The copy's own dictionary serves its names after the original is gone.
  target.reset();
  source.reset();
  EXPECT_EQ(clone->FindEntry("g1", -1), 0);
  Variable* g1 = nullptr;
  ASSERT_TRUE(clone->Find("G1", -1, true, &g1));
  EXPECT_EQ(Text(g1->Name()), "g1");
}

TEST(ClonedHashTest, ForwardingOverSystemCopiesTheSystemTable) {
  auto* dict = new Dictionary();
  SystemVariableHash sys(4, dict, true);
  sys.SetVariable("remote_user", -1, "bob", -1);
  Dictionary view_dict;
  NameTable view = MakeTable(&view_dict, 1, {"REMOTE_USER"});
  String error;
  std::unique_ptr<ReferenceVariableHash> source(
      NewReferenceVariableHashFromTable(view, &view_dict, &sys, &error));
  std::unique_ptr<VariableHash> clone(CloneVariableHash(source.get(), &view_dict, false));
  ASSERT_NE(clone, nullptr);
  EXPECT_NE(dynamic_cast<SystemVariableHash*>(clone->Underlying()), nullptr);
  EXPECT_EQ(clone->VariableAt(0, false), nullptr);  // variables not copied
  EXPECT_EQ(clone->Underlying()->Entries(), 1);
}

}  // namespace
}  // namespace pexo
