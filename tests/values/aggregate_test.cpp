#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// An array whose element i holds the text of `values[i-1]` at index
// `indexes[i-1]`.
void Fill(Variable* array, const std::vector<int32_t>& indexes) {
  for (int32_t i : indexes) array->Element(AggregateIndex(i), 1)->SetValue_Integer(i * 10);
}

// "index=value" pairs in order, walking with Array_Next.
std::string Dump(Variable* array) {
  std::string out;
  for (int32_t i = array->Array_Next(0); i > 0; i = array->Array_Next(i)) {
    if (!out.empty()) out += ' ';
    out += std::to_string(i) + "=" + Text(array->Element(AggregateIndex(i), 0));
  }
  return out;
}

std::vector<std::string> Members(Variable* structure) {
  std::vector<std::string> names;
  structure->Aggregate()->ForEach([&names](AggregateElement* e) {
    names.emplace_back(e->Index().Name().data());
    return true;
  });
  return names;
}

TEST(AggregateIndex, TextFormsAndOrder) {
  AggregateIndex n(12);
  EXPECT_STREQ("12", n.Name().data());
  EXPECT_STREQ("[12]", n.Text().data());
  n.SetNumber(3);
  EXPECT_STREQ("[3]", n.Text().data());
  EXPECT_EQ(0, AggregateIndex(-5).Number());
  AggregateIndex m("Abc", -1);
  EXPECT_EQ(-1, m.Number());
  EXPECT_STREQ(":Abc", m.Text().data());

  const struct {
    const char* a;
    const char* b;
    int sign;
  } names[] = {{"abc", "ABD", -1}, {"ab", "abc", -1}, {"ABC", "abc", 0}, {"b", "A", 1}, {"", "a", -1}};
  for (const auto& c : names) {
    int r = AggregateIndex(c.a, -1).Compare(AggregateIndex(c.b, -1));
    EXPECT_EQ(c.sign, r < 0 ? -1 : (r > 0 ? 1 : 0)) << c.a << " vs " << c.b;
  }
  EXPECT_LT(AggregateIndex(9).Compare(AggregateIndex(10)), 0);
  EXPECT_GT(AggregateIndex(2).Compare(AggregateIndex(1)), 0);
}

TEST(Structure, MembersSortCaseInsensitively) {
  Variable s;
  for (const char* name : {"b", "A", "c", "ab"}) s.Element(AggregateIndex(name, -1), 1)->SetValue(name);
  EXPECT_EQ((std::vector<std::string>{"A", "ab", "b", "c"}), Members(&s));
  EXPECT_EQ(kKindStructure, s.AggregateKind());
  EXPECT_EQ("A,ab,b,c", Text(&s));
  EXPECT_EQ(s.Element(AggregateIndex("B", -1), 0), s.Element(AggregateIndex("b", -1), 0));
  EXPECT_EQ(-1, s.Array_Next(0));
  EXPECT_EQ(-1, s.Array_Previous(5));
  EXPECT_EQ(0, s.Array_Collapse());
}

TEST(Aggregate, KindFollowsTheKey) {
  Variable v;
  EXPECT_EQ(nullptr, v.Element(AggregateIndex(1), 0));
  Fill(&v, {1, 2});
  EXPECT_EQ(nullptr, v.Element(AggregateIndex("x", -1), 0));
  EXPECT_EQ(2, v.ElementsUsed());
  ASSERT_NE(nullptr, v.Element(AggregateIndex("x", -1), 1));
  EXPECT_EQ(kKindStructure, v.AggregateKind());
  EXPECT_EQ(1, v.ElementsUsed());
  v.Set_Element(AggregateIndex(4), v.Element(AggregateIndex("x", -1), 0));
  EXPECT_EQ(kKindArray, v.AggregateKind());
  EXPECT_EQ(1, v.ElementsUsed());
  v.SetValue("scalar");
  EXPECT_EQ(kKindScalar, v.AggregateKind());
  EXPECT_EQ(0, v.ElementsUsed());
}

TEST(Aggregate, SetElementRetainsAndReplaces) {
  Variable array;
  Variable* a = new Variable("a");
  Variable* b = new Variable("b");
  array.Set_Element(AggregateIndex(1), a);
  EXPECT_EQ(2, a->RefCount());
  array.Set_Element(AggregateIndex(1), b);
  EXPECT_EQ(1, a->RefCount());
  EXPECT_EQ(2, b->RefCount());
  EXPECT_EQ(b, array.Element(AggregateIndex(1), 0));
  array.Delete_Element(AggregateIndex(1), 0);
  EXPECT_EQ(1, b->RefCount());
  a->Release();
  b->Release();
}

TEST(Aggregate, StoringAVariableInsideItselfStoresACopy) {
  Variable* v = new Variable("loop");
  v->SetValue("x");
  v->Set_Element(AggregateIndex(1), v);
  Variable* inner = v->Element(AggregateIndex(1), 0);
  ASSERT_NE(nullptr, inner);
  EXPECT_NE(v, inner);
  EXPECT_EQ("x", Text(inner));
  EXPECT_EQ(1, v->RefCount());
  v->Release();
}

TEST(Array, NextPreviousMinMax) {
  Variable v;
  EXPECT_EQ(0, v.Array_Next(3));
  Fill(&v, {9, 1, 5});
  EXPECT_EQ(5, v.Array_Next(3));
  EXPECT_EQ(0, v.Array_Next(9));
  EXPECT_EQ(1, v.Array_Next(-4));
  EXPECT_EQ(5, v.Array_Previous(9));
  EXPECT_EQ(0, v.Array_Previous(1));
  EXPECT_EQ(9, v.Array_Previous(100));
  EXPECT_EQ(1, v.Array_Min());
  EXPECT_EQ(9, v.Array_Max());
  EXPECT_EQ("10,50,90", Text(&v));
}

TEST(Array, NegativeIndexIsZero) {
  Variable v;
  v.Element(AggregateIndex(-3), 1)->SetValue("neg");
  EXPECT_EQ("neg", Text(v.Element(AggregateIndex(0), 0)));
}

TEST(Array, InsertShifts) {
  Variable item;  // outlives the arrays that hold it
  item.SetValue("new");
  Variable v;
  Fill(&v, {1, 2, 3});
  v.Insert_Array_Element(2, &item);
  EXPECT_EQ("1=10 2=new 3=20 4=30", Dump(&v));
  v.Insert_Array_Element(0, &item);
  EXPECT_EQ("1=10 2=new 3=20 4=30 5=new", Dump(&v));
  Variable scalar;
  scalar.Insert_Array_Element(-2, &item);
  EXPECT_EQ("1=new", Dump(&scalar));
  Variable structure;
  structure.Element(AggregateIndex("m", -1), 1);
  structure.Insert_Array_Element(3, &item);
  EXPECT_EQ("3=new", Dump(&structure));
}

TEST(Array, DeleteElementWithAndWithoutShift) {
  Variable v;
  Fill(&v, {1, 2, 3, 4});
  v.Delete_Element(AggregateIndex(2), 1);
  EXPECT_EQ("1=10 2=30 3=40", Dump(&v));
  v.Delete_Element(AggregateIndex(1), 0);
  EXPECT_EQ("2=30 3=40", Dump(&v));
  v.Delete_Element(AggregateIndex("x", -1), 1);  // wrong key type: nothing
  EXPECT_EQ(2, v.ElementsUsed());
  Variable s;
  s.Element(AggregateIndex("a", -1), 1);
  s.Element(AggregateIndex("b", -1), 1);
  s.Delete_Element(AggregateIndex("A", -1), 0);
  EXPECT_EQ((std::vector<std::string>{"b"}), Members(&s));
}

TEST(Array, DeleteRanges) {
  const struct {
    int32_t first, count;
    int shift;
    const char* result;
  } cases[] = {
      {2, 2, 1, "1=10 2=40 3=50"},
      {2, 2, 0, "1=10 4=40 5=50"},
      {3, -1, 0, "1=10 2=20"},
      {0, 2, 1, "1=10 2=20 3=30 4=40 5=50"},
      {4, 100, 1, "1=10 2=20 3=30"},
      {2, 0, 1, "1=10 2=20 3=30 4=40 5=50"},
  };
  for (const auto& c : cases) {
    Variable v;
    Fill(&v, {1, 2, 3, 4, 5});
    v.Delete_Array_Elements(c.first, c.count, c.shift);
    EXPECT_EQ(c.result, Dump(&v)) << c.first << "," << c.count << "," << c.shift;
  }
  Variable s;
  s.Element(AggregateIndex("a", -1), 1);
  s.Delete_Array_Elements(1, 1, 0);
  EXPECT_EQ(kKindArray, s.AggregateKind());
  EXPECT_EQ(0, s.ElementsUsed());
}

TEST(Array, Collapse) {
  Variable v;
  Fill(&v, {3, 7, 10});
  EXPECT_EQ(3, v.Array_Collapse());
  EXPECT_EQ("1=30 2=70 3=100", Dump(&v));
  EXPECT_STREQ("[2]", v.Aggregate()->Find(AggregateIndex(2))->Index().Text().data());
}

TEST(Array, CopyShareOrDuplicate) {
  Variable source, shared, copied;
  Fill(&source, {1, 2, 3});
  shared.Array_Copy(&source, 1, -1, 1, 0);
  copied.Array_Copy(&source, 1, -1, 1, 1);
  source.Element(AggregateIndex(2), 0)->SetValue("changed");
  EXPECT_EQ("1=10 2=changed 3=30", Dump(&shared));
  EXPECT_EQ("1=10 2=20 3=30", Dump(&copied));
}

TEST(Array, CopyRanges) {
  const struct {
    int32_t first, count, destination;
    const char* result;
  } cases[] = {
      {2, 2, 0, "1=1 5=5 6=20 7=30"},    // append after the max
      {0, -1, 10, "1=1 5=5 10=10 11=20 12=30 13=40"},
      {3, 5, 2, "1=1 2=30 3=40 5=5"},   // source range past its end is sparse
  };
  for (const auto& c : cases) {
    Variable source, target;
    Fill(&source, {1, 2, 3, 4});
    target.Element(AggregateIndex(1), 1)->SetValue("1");
    target.Element(AggregateIndex(5), 1)->SetValue("5");
    target.Array_Copy(&source, c.first, c.count, c.destination, 1);
    EXPECT_EQ(c.result, Dump(&target)) << c.first << "," << c.count << "," << c.destination;
  }
}

TEST(Array, CopyWithinOneArrayOverlapping) {
  Variable up;
  Fill(&up, {1, 2, 3, 4, 5});
  up.Array_Copy(&up, 1, 3, 2, 1);  // destination above the source: walks down
  EXPECT_EQ("1=10 2=10 3=20 4=30 5=50", Dump(&up));
  Variable down;
  Fill(&down, {1, 2, 3, 4, 5});
  down.Array_Copy(&down, 2, 3, 1, 1);  // destination below: walks up
  EXPECT_EQ("1=20 2=30 3=40 4=40 5=50", Dump(&down));
  Variable same;
  Fill(&same, {1, 2});
  Variable* first = same.Element(AggregateIndex(1), 0);
  same.Array_Copy(&same, 1, 2, 1, 0);
  EXPECT_EQ(first, same.Element(AggregateIndex(1), 0));
}

TEST(Array, CopyFromNonArrayOnlyMakesAnArray) {
  Variable scalar, target;
  scalar.SetValue("x");
  target.SetValue("y");
  target.Array_Copy(&scalar, 1, 1, 1, 1);
  EXPECT_EQ(kKindArray, target.AggregateKind());
  EXPECT_EQ(0, target.ElementsUsed());
}

TEST(Array, Merge) {
  Variable source, target;
  Fill(&source, {1, 2, 3});
  Fill(&target, {1, 2, 3});
  target.Array_Merge(&source, 2, 2, 2, 1);
  EXPECT_EQ("1=10 2=20 3=30 4=20 5=30", Dump(&target));
  Variable tail;
  Fill(&tail, {1});
  tail.Array_Merge(&source, 0, -1, 0, 0);
  EXPECT_EQ("1=10 2=10 3=20 4=30", Dump(&tail));
  // A non-array source still makes room.
  Variable scalar;
  scalar.SetValue("s");
  Variable room;
  Fill(&room, {1, 2});
  room.Array_Merge(&scalar, 1, 2, 2, 1);
  EXPECT_EQ("1=10 4=20", Dump(&room));
}

TEST(Array, MergeWithinOneArray) {
  Variable v;
  Fill(&v, {1, 2, 3, 4});
  // Range 2..4 inserted at 3: 2 lies below the room, 3 and 4 moved up by 3.
  v.Array_Merge(&v, 2, 3, 3, 1);
  EXPECT_EQ("1=10 2=20 3=20 4=30 5=40 6=30 7=40", Dump(&v));
}

TEST(Aggregate, CopyOfAggregateIsDeepAndNested) {
  Variable source;
  Fill(&source, {1, 2});
  Variable* nested = source.Element(AggregateIndex(3), 1);
  nested->Element(AggregateIndex("c", -1), 1)->SetValue("c");
  Variable copy;
  copy.SetValue_Variable(&source);
  EXPECT_EQ(kKindArray, copy.AggregateKind());
  EXPECT_EQ("10,20,c", Text(&copy));
  nested->Element(AggregateIndex("c", -1), 0)->SetValue("changed");
  EXPECT_EQ("10,20,c", Text(&copy));
  EXPECT_EQ("10,20,changed", Text(&source));
}

TEST(Aggregate, ReferenceListOfElements) {
  Variable v;
  Fill(&v, {2});
  Variable* element = v.Element(AggregateIndex(2), 0);
  Variable* alias = new ReferenceVariable(element, v.Aggregate()->Find(AggregateIndex(2))->Index().Name().data());
  EXPECT_STREQ("2", alias->Name().data());
  EXPECT_EQ(2, element->RefCount());
  EXPECT_EQ("20", Text(alias));
  alias->Release();
  EXPECT_EQ(1, element->RefCount());
}

// Arrays filled in ascending order degenerate into chains; nothing may walk
// them recursively.
TEST(Aggregate, MillionElementChainCopiesWalksAndDies) {
  const int32_t n = 1000000;
  Variable* big = new Variable("big");
  for (int32_t i = 1; i <= n; ++i) big->Element(AggregateIndex(i), 1)->SetValue_Integer(i);
  ASSERT_EQ(n, big->ElementsUsed());
  Variable* copy = new Variable("copy");
  copy->SetValue_Variable(big);
  ASSERT_EQ(n, copy->ElementsUsed());
  int64_t sum = 0;
  int32_t expected = 1;
  bool ordered = true;
  copy->Aggregate()->ForEach([&](AggregateElement* e) {
    ordered = ordered && e->Index().Number() == expected++;
    sum += e->GetVariable()->Value_Integer();
    return true;
  });
  EXPECT_TRUE(ordered);
  EXPECT_EQ(static_cast<int64_t>(n) * (n + 1) / 2, sum);
  EXPECT_EQ(1, copy->Array_Min());  // splays the far end of the chain
  EXPECT_EQ(n, copy->Array_Max());
  big->Insert_Array_Element(1, copy->Element(AggregateIndex(5), 0));
  EXPECT_EQ(n + 1, big->Array_Max());
  EXPECT_EQ(5, big->Element(AggregateIndex(1), 0)->Value_Integer());
  EXPECT_EQ(n, big->Element(AggregateIndex(n + 1), 0)->Value_Integer());
  EXPECT_EQ(n + 1, big->Array_Collapse());
  copy->Release();
  big->Release();
}

}  // namespace
}  // namespace pexo

namespace pexo {
namespace {

// A borrowed member name whose bytes live in an element that the lookup
// itself drops (the array becomes a structure) still names the new member.
TEST(BorrowedIndex, NameOutlivesTheElementHoldingIt) {
  Variable* holder = new Variable("a");
  holder->Element(AggregateIndex(1), 1)->SetValue("member_from_an_element");
  const String& name = holder->Element(AggregateIndex(1), 0)->Value();
  Variable* made = holder->Element(AggregateIndex::Borrow(name.data(), name.length()), 1);
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(holder->AggregateKind(), kKindStructure);
  EXPECT_EQ(holder->ElementsUsed(), 1);
  EXPECT_EQ(holder->Element(AggregateIndex("MEMBER_FROM_AN_ELEMENT", -1), 0), made);
  EXPECT_EQ(std::string(holder->Aggregate()->Minimum()->Index().Name().c_str()),
            "member_from_an_element");
  holder->Release();
}

TEST(BorrowedIndex, FindsAndOrdersLikeAnOwnedName) {
  Variable* s = new Variable("s");
  for (const char* m : {"b", "A", "ab"}) s->Element(AggregateIndex(m, -1), 1)->SetValue(m);
  for (const char* m : {"a", "B", "AB"}) {
    std::string copy = m;
    Variable* found = s->Element(AggregateIndex::Borrow(copy.data(), -1), 0);
    ASSERT_NE(found, nullptr) << m;
    EXPECT_EQ(Text(found).size(), copy.size()) << m;
  }
  EXPECT_EQ(s->Element(AggregateIndex::Borrow("c", 1), 0), nullptr);
  EXPECT_EQ(s->ElementsUsed(), 3);
  s->Release();
}

}  // namespace
}  // namespace pexo
