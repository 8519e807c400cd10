// Containment cycles: every way a script can make a value hold itself is
// refused or turned into a copy, and the readers survive a cycle made by
// going around those checks.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "io/json_encode.h"
#include "values/aggregate_element.h"
#include "values/aggregate_index.h"
#include "values/aggregate_tree.h"
#include "values/variable.h"

namespace pexo {
namespace {

std::string Text(Variable* v) {
  const String& s = v->Value();
  return std::string(s.data(), static_cast<size_t>(s.length()));
}

Variable* At(Variable* v, int32_t i) { return v->Element(AggregateIndex(i), 1); }

// An array holding the given texts at 1..n.
Variable* ArrayOf(std::initializer_list<const char*> texts) {
  Variable* array = new Variable("a");
  int32_t i = 0;
  for (const char* t : texts) At(array, ++i)->SetValue(t);
  return array;
}

TEST(Cycles, ReferenceToAnEnclosingAggregateIsRefused) {
  // The shape of `a[1] refer a`, then the same one and two levels down.
  struct Case {
    const char* name;
    int depth;
  } cases[] = {{"direct element", 1}, {"grandchild", 2}, {"three levels", 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Variable* a = ArrayOf({"x"});
    Variable* inner = a;
    for (int d = 0; d < c.depth; ++d) inner = At(inner, 2);
    inner->SetValue("kept");
    EXPECT_EQ(0, inner->Make_Reference(a));
    EXPECT_EQ(inner, inner->RealIdentity());  // still a plain variable
    EXPECT_EQ("x,kept", Text(a));
    EXPECT_EQ(1, a->RefCount());
    a->Release();
  }
}

TEST(Cycles, ReferenceThroughAnotherAliasIsRefused) {
  // b[1] is an alias of a; making a[1] an alias of b would close a -> b -> a.
  Variable* a = ArrayOf({"x"});
  Variable* b = new Variable("b");
  ReferenceVariable* alias = new ReferenceVariable(a, "alias");
  ASSERT_EQ(1, b->Set_Element(AggregateIndex(1), alias));
  alias->Release();
  EXPECT_EQ(0, At(a, 1)->Make_Reference(b));
  EXPECT_EQ("x", Text(b));
  // A harmless alias between the two still works.
  Variable* c = ArrayOf({"y"});
  EXPECT_EQ(1, At(a, 2)->Make_Reference(c));
  EXPECT_EQ("x,y", Text(b));
  c->Release();
  b->Release();
  a->Release();
}

TEST(Cycles, RetargetingIntoALoopOfAliasesIsRefused) {
  Variable* x = new Variable("x");
  x->SetValue("end");
  ReferenceVariable* r1 = new ReferenceVariable(x, "r1");
  ReferenceVariable* r2 = new ReferenceVariable(r1, "r2");
  // r1 -> r2 -> r1 would loop. Both already end at x, so nothing changes.
  EXPECT_EQ(1, r1->Make_Reference(r2));
  EXPECT_EQ(x, r1->NextIdentity());
  EXPECT_EQ(x, r2->RealIdentity());
  // Retargeting r1 elsewhere through r2 is a loop too, and refused.
  Variable* y = new Variable("y");
  ReferenceVariable* r3 = new ReferenceVariable(r2, "r3");
  Variable* holder = new Variable("holder");
  holder->Set_Element(AggregateIndex(1), r3);
  r3->Release();
  EXPECT_EQ(0, r1->Make_Reference(holder));  // holder[1] -> r3 -> r2 -> r1
  EXPECT_EQ(1, r1->Make_Reference(y));
  EXPECT_EQ("", Text(holder));
  y->SetValue("via y");
  EXPECT_EQ("via y", Text(holder));
  holder->Release();
  y->Release();
  EXPECT_EQ("via y", Text(r2));
  EXPECT_EQ(1, x->RefCount());  // r1 moved every unit it held over to y
  r2->Release();
  r1->Release();
  EXPECT_EQ("end", Text(x));
  x->Release();
}

TEST(Cycles, SharedStoresThatWouldCloseACycleStoreACopy) {
  // a holds b; storing a into b must not share a.
  Variable* a = new Variable("a");
  Variable* b = ArrayOf({"b1"});
  a->Set_Element(AggregateIndex(1), b);
  EXPECT_EQ(1, b->Set_Element(AggregateIndex(2), a));
  Variable* stored = b->Element(AggregateIndex(2), 0);
  ASSERT_NE(nullptr, stored);
  EXPECT_NE(a, stored->RealIdentity());
  EXPECT_EQ("b1,b1", Text(a));  // the copy is a's value before the store
  EXPECT_EQ("b1,b1", Text(b));
  b->Release();
  a->Release();
}

TEST(Cycles, SharingArrayOperationsNeverCloseACycle) {
  // outer = [b, c]; copying and merging outer's elements (shared, copy
  // flag clear) into b and c would store each into itself or into the
  // other that already holds it.
  Variable* outer = new Variable("outer");
  Variable* b = ArrayOf({"b"});
  Variable* c = ArrayOf({"c"});
  outer->Set_Element(AggregateIndex(1), b);
  outer->Set_Element(AggregateIndex(2), c);
  EXPECT_EQ(1, c->Array_Copy(outer, 1, -1, 2, 0));   // c = [c, b, copy of c]
  EXPECT_EQ(b, c->Element(AggregateIndex(2), 0));     // b is shared, no cycle
  EXPECT_NE(c, c->Element(AggregateIndex(3), 0));
  EXPECT_EQ(1, b->Array_Merge(outer, 1, -1, 1, 0));  // b holds c's copy
  EXPECT_NE(b, b->Element(AggregateIndex(1), 0));
  EXPECT_NE(c, b->Element(AggregateIndex(2), 0));
  EXPECT_EQ(1, b->Insert_Array_Element(0, outer));    // outer holds b
  EXPECT_NE(outer, b->Element(AggregateIndex(b->Array_Max()), 0));
  // Everything prints and copies in finite time.
  EXPECT_FALSE(Text(outer).empty());
  Variable* copy = outer->Copy();
  EXPECT_EQ(Text(outer), Text(copy));
  copy->Release();
  c->Release();
  b->Release();
  outer->Release();
}

TEST(Cycles, PlainSharingStillShares) {
  Variable* a = new Variable("a");
  Variable* b = new Variable("b");
  Variable* shared = ArrayOf({"s"});
  a->Set_Element(AggregateIndex(1), shared);
  b->Set_Element(AggregateIndex(1), shared);
  At(shared, 2)->SetValue("t");
  EXPECT_EQ("s,t", Text(a));
  EXPECT_EQ("s,t", Text(b));
  // The same variable twice inside one value is not a cycle.
  a->Set_Element(AggregateIndex(2), shared);
  EXPECT_EQ(shared, a->Element(AggregateIndex(2), 0));
  EXPECT_EQ("s,t,s,t", Text(a));
  shared->Release();
  b->Release();
  a->Release();
}

// A cycle made behind the checks (directly on the element), to prove the
// readers end anyway. The cycle is cut again before release.
class ForcedCycle : public ::testing::Test {
 protected:
  void SetUp() override {
    a_ = ArrayOf({"x", "y"});
    Variable* inner = At(a_, 3);
    At(inner, 1)->SetValue("z");
    At(inner, 2);
    loop_ = inner->Aggregate()->Find(AggregateIndex(2));
    ASSERT_NE(nullptr, loop_);
    loop_->ReplaceVariable(a_);  // a[3][2] is a again
  }
  void TearDown() override {
    Variable* empty = new Variable();
    if (loop_) loop_->ReplaceVariable(empty);
    empty->Release();
    a_->Release();
  }
  Variable* a_ = nullptr;
  AggregateElement* loop_ = nullptr;
};

TEST_F(ForcedCycle, TextSkipsTheRepeatedAggregate) {
  EXPECT_EQ("x,y,z", Text(a_));
  EXPECT_EQ(1, a_->IsTrue());
}

TEST_F(ForcedCycle, CopyEndsWithAnEmptyAggregateInPlaceOfTheCycle) {
  Variable* copy = a_->Copy();
  EXPECT_EQ("x,y,z", Text(copy));
  Variable* cut = copy->Element(AggregateIndex(3), 0)->Element(AggregateIndex(2), 0);
  ASSERT_NE(nullptr, cut);
  EXPECT_EQ(kKindArray, cut->AggregateKind());
  EXPECT_EQ(0, cut->ElementsUsed());
  copy->Release();
}

TEST_F(ForcedCycle, JsonEncodingEnds) {
  int32_t length = 0, capacity = 0;
  char* json = JsonEncode(a_, 0, true, &length, &capacity);
  ASSERT_NE(nullptr, json);
  EXPECT_EQ("[\"x\",\"y\",[\"z\",\"\"]]", std::string(json, static_cast<size_t>(length)));
  std::free(json);
}

TEST_F(ForcedCycle, ReachabilityChecksEnd) {
  Variable* other = new Variable("other");
  EXPECT_EQ(1, other->Make_Reference(a_));  // nothing of a_ leads to other
  EXPECT_EQ("x,y,z", Text(other));
  other->Release();
}

}  // namespace
}  // namespace pexo
