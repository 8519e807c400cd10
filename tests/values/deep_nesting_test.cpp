// Values nested a million levels deep, and alias chains as long: built,
// read, copied, frozen and destroyed without exhausting the machine stack.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "values/aggregate_index.h"
#include "values/variable.h"

namespace pexo {
namespace {

constexpr int kDepth = 1000000;

std::string Text(Variable* v) {
  const String& s = v->Value();
  return std::string(s.data(), static_cast<size_t>(s.length()));
}

// root[1][1]...[1] (depth levels) = "leaf"; element 2 of the level just
// above the leaf holds "near". Returns the leaf.
Variable* Nest(Variable* root, int depth) {
  Variable* v = root;
  for (int i = 0; i < depth; ++i) {
    if (i == depth - 1) v->Element(AggregateIndex(2), 1)->SetValue("near");
    v = v->Element(AggregateIndex(1), 1);
  }
  v->SetValue("leaf");
  return v;
}

Variable* Descend(Variable* v, int depth) {
  for (int i = 0; v && i < depth; ++i) v = v->Element(AggregateIndex(1), 0);
  return v;
}

TEST(DeepNesting, MillionLevelsPrintCopyAndDestroy) {
  Variable* root = new Variable("root");
  Nest(root, kDepth);
  EXPECT_EQ("leaf,near", Text(root));
  EXPECT_EQ(1, root->IsTrue());
  EXPECT_EQ(0, root->IsNULL());

  Variable* copy = root->Copy();
  ASSERT_NE(nullptr, copy);
  Variable* copied_leaf = Descend(copy, kDepth);
  ASSERT_NE(nullptr, copied_leaf);
  EXPECT_EQ("leaf", Text(copied_leaf));
  copied_leaf->SetValue("changed");  // a deep copy: the original keeps its leaf
  EXPECT_EQ("leaf,near", Text(root));
  EXPECT_EQ("changed,near", Text(copy));

  Variable* assigned = new Variable("assigned");
  assigned->SetValue_Variable(root);
  EXPECT_EQ("leaf,near", Text(assigned));
  assigned->SetValue("scalar again");  // drops the whole copied nest
  EXPECT_EQ("scalar again", Text(assigned));

  assigned->Release();
  copy->Release();
  root->Release();
}

TEST(DeepNesting, InnerVariableOutlivesItsDestroyedAncestors) {
  Variable* root = new Variable("root");
  Variable* leaf = Nest(root, kDepth);
  leaf->Retain();
  root->Release();
  EXPECT_EQ(1, leaf->RefCount());
  EXPECT_EQ("leaf", Text(leaf));
  leaf->Release();
}

TEST(DeepNesting, ImmutabilitySpreadsThroughAMillionLevels) {
  ImmutableVariable* root = new ImmutableVariable("root");
  Variable* v = root;
  for (int i = 0; i < kDepth; ++i) v = v->Element(AggregateIndex(1), 1);
  v->SetValue("leaf");
  root->MakeImmutable();
  v->SetValue("ignored");
  EXPECT_EQ("leaf", Text(v));
  root->MakeMutable();
  v->SetValue("changed");
  EXPECT_EQ("changed", Text(root));
  Variable* copy = root->Copy();
  EXPECT_NE(nullptr, dynamic_cast<ImmutableVariable*>(Descend(copy, kDepth)));
  copy->Release();
  root->Release();
}

TEST(DeepNesting, MillionAliasChain) {
  Variable* end = new Variable("end");
  end->SetValue_Integer(7);
  std::vector<ReferenceVariable*> chain;
  Variable* previous = end;
  for (int i = 0; i < kDepth; ++i) {
    ReferenceVariable* alias = new ReferenceVariable(previous, "r");
    chain.push_back(alias);
    previous = alias;
  }
  Variable* last = chain.back();
  EXPECT_EQ(end, last->RealIdentity());
  EXPECT_EQ(7, last->Value_Integer());
  last->SetValue("through");
  EXPECT_EQ("through", Text(end));
  // Every alias holds the end once, and each holds the ones before it.
  EXPECT_EQ(kDepth + 1, end->RefCount());
  last->Retain();
  EXPECT_EQ(kDepth + 2, end->RefCount());
  // The chain kept is bounded: the far end is a few hundred links away.
  int32_t links = 0;
  for (Variable* v = last; v->NextIdentity() != v; v = v->NextIdentity()) ++links;
  EXPECT_GE(links, 1);
  EXPECT_LE(links, kMaxAliasChain + 1);
  // Short chains are kept as made.
  EXPECT_EQ(end, chain[0]->NextIdentity());
  EXPECT_EQ(chain[0], chain[1]->NextIdentity());
  last->Release();
  // Releasing from the far end frees the whole chain at once.
  for (int i = kDepth - 1; i >= 0; --i) chain[static_cast<size_t>(i)]->Release();
  EXPECT_EQ(1, end->RefCount());
  end->Release();
}

// Destruction order stays what a recursive destruction gives: a variable,
// then each element in key order with everything below it.
class OrderRecorder : public CallbackVariableCallback {
 public:
  void Detached(Variable* variable) override {
    order += variable->Name().c_str();
    CallbackVariableCallback::Detached(variable);
  }
  std::string order;
};

TEST(DeepNesting, DestructionOrderIsDepthFirst) {
  OrderRecorder recorder;
  auto make = [&recorder](const char* name) {
    CallbackVariable* v = new CallbackVariable(&recorder, nullptr);
    v->SetName(name);
    return v;
  };
  Variable* a = make("a");
  Variable* b = make("b");
  Variable* c = make("c");
  Variable* d = make("d");
  Variable* e = make("e");
  b->Set_Element(AggregateIndex(1), d);
  b->Set_Element(AggregateIndex(2), e);
  a->Set_Element(AggregateIndex(1), b);
  a->Set_Element(AggregateIndex(2), c);
  for (Variable* v : {b, c, d, e}) v->Release();
  a->Release();
  EXPECT_EQ("abdec", recorder.order);
}

}  // namespace
}  // namespace pexo
