#include "values/variable.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "values/aggregate_index.h"
#include "values/conversions.h"
#include "values/decimal.h"

namespace pexo {
namespace {

std::string Text(Variable* v) {
  const String& s = v->Value();
  return std::string(s.data(), static_cast<size_t>(s.length()));
}

std::string DecimalText(const mpd_t* d) {
  String out;
  DecimalToString(d, &out);
  return out.data();
}

// Owns one count of a heap variable for the duration of a test.
struct Held {
  Variable* v;
  explicit Held(Variable* variable) : v(variable) {}
  ~Held() { v->Release(); }
  Variable* operator->() { return v; }
};

TEST(Variable, FreshHasNoValue) {
  Variable v("x");
  EXPECT_EQ(0u, v.valid_flags());
  EXPECT_EQ(kTypeNone, v.Type());
  EXPECT_EQ(kKindScalar, v.AggregateKind());
  EXPECT_EQ(1, v.RefCount());
  EXPECT_TRUE(v.IsNULL());
  EXPECT_FALSE(v.IsTrue());
  EXPECT_EQ(0, v.Value_Integer());
  EXPECT_TRUE(v.IsNULL()) << "reading the integer of nothing must not make a value";
  EXPECT_EQ("", Text(&v));
  EXPECT_STREQ("x", v.Name().data());
}

TEST(Variable, TextReadAsIntegerAndDecimal) {
  const struct {
    const char* text;
    int32_t integer;
    const char* decimal;
  } cases[] = {
      {"42", 42, "42"},          {"0x1F", 31, "31"},   {"1.50", 1, "1.5"},
      {"-2.7", -2, "-2.7"},      {"-0.5", 0, "-0.5"},  {"1e3", 1000, "1000"},
      {"+5", 5, "5"},            {"12abc", 0, "0"},    {"abc", 0, "0"},
      {"2147483648", INT32_MIN, "2147483648"},          {"1e10", 2147483647, "10000000000"},
      {"-1e10", 2147483647, "-10000000000"},            {"1e400", 2147483647, "Infinity"},
      {"12345678901234567", 1567312775, "12345678901234570"},  // strict parse wraps
  };
  for (const auto& c : cases) {
    Variable v;
    v.SetValue(c.text);
    EXPECT_EQ(c.integer, v.Value_Integer()) << c.text;
    EXPECT_EQ(c.decimal, DecimalText(v.Value_Decimal())) << c.text;
    EXPECT_EQ(c.text, Text(&v)) << "the assigned text is kept";
    EXPECT_EQ(kTypeText, v.Type());
  }
}

TEST(Variable, AssignmentKeepsOnlyItsRepresentation) {
  Variable v;
  v.SetValue("7");
  v.Value_Integer();
  v.Value_Decimal();
  EXPECT_EQ(kTextValid | kIntegerValid | kDecimalValid, v.valid_flags() & 7);
  v.SetValue_Integer(-2147483647 - 1);
  EXPECT_EQ(static_cast<uint32_t>(kIntegerValid), v.valid_flags() & 7);
  EXPECT_EQ(kTypeInteger, v.Type());
  EXPECT_EQ("-2147483648", Text(&v));
  EXPECT_EQ(kIntegerValid | kTextValid, v.valid_flags() & 7);

  mpd_t* d = mpd_qnew();
  TextToDecimal("2.50", -1, d);
  v.SetValue_Decimal(d);
  EXPECT_EQ(static_cast<uint32_t>(kDecimalValid), v.valid_flags() & 7);
  EXPECT_EQ(kTypeDecimal, v.Type());
  EXPECT_EQ("2.5", Text(&v));
  EXPECT_EQ(2, v.Value_Integer());
  const mpd_t* own = v.Value_Decimal();
  EXPECT_NE(d, own);
  TextToDecimal("9", -1, d);
  v.SetValue_Decimal(d);
  EXPECT_EQ(own, v.Value_Decimal()) << "the decimal object is reused";
  v.SetValue_Decimal_Nocopy(d);  // takes ownership
  EXPECT_EQ(d, v.Value_Decimal());
  EXPECT_EQ("9", Text(&v));
}

TEST(Variable, NocopyTextAndCountedText) {
  Variable v;
  char* text = static_cast<char*>(std::malloc(8));
  std::memcpy(text, "a\0bc", 4);
  v.SetValue_Nocopy(text, 4, 8);
  EXPECT_EQ(4, v.Value().length());
  EXPECT_EQ(0, std::memcmp(v.Value().data(), "a\0bc", 4));
  int error = 0;
  v.Value_Decimal_Checked(&error);
  EXPECT_EQ(1, error) << "a zero byte makes the text no number";
  v.SetValue("hello", 2);
  EXPECT_EQ("he", Text(&v));
}

TEST(Variable, CheckedDecimal) {
  const struct {
    const char* text;
    int error;
  } cases[] = {{"1.5", 0}, {"", 0}, {"abc", 1}, {"0x10", 0}, {"1 ", 1}, {"NaN", 0}};
  for (const auto& c : cases) {
    Variable v;
    v.SetValue(c.text);
    v.Value_Decimal();  // an unchecked read first must not hide the error
    int error = -1;
    v.Value_Decimal_Checked(&error);
    EXPECT_EQ(c.error, error) << c.text;
    v.Value_Decimal_Checked(&error);
    EXPECT_EQ(c.error, error) << c.text << " (second read)";
  }
  Variable array;
  array.MakeAggregate(kKindArray);
  int error = 0;
  EXPECT_TRUE(mpd_iszero(array.Value_Decimal_Checked(&error)));
  EXPECT_EQ(1, error);
}

TEST(Variable, Truth) {
  const struct {
    const char* text;
    int truth;
  } texts[] = {{"0.0", 0}, {"0.0.0", 1}, {"", 0}, {"000", 0}, {"-0", 1}, {"false", 1}};
  for (const auto& c : texts) {
    Variable v;
    v.SetValue(c.text);
    EXPECT_EQ(c.truth, v.IsTrue()) << c.text;
  }
  Variable v;
  v.SetValue_Integer(0);
  EXPECT_FALSE(v.IsTrue());
  v.SetValue_Integer(-3);
  EXPECT_TRUE(v.IsTrue());
  mpd_t* nan = mpd_qnew();
  TextToDecimal("NaN", -1, nan);
  v.SetValue_Decimal_Nocopy(nan);
  EXPECT_TRUE(v.IsTrue());
  mpd_t* zero = mpd_qnew();
  TextToDecimal("0.000", -1, zero);
  v.SetValue_Decimal_Nocopy(zero);
  EXPECT_FALSE(v.IsTrue());

  Variable one;  // outlives the array that holds it
  one.SetValue("1");
  Variable empty_array;
  empty_array.MakeAggregate(kKindArray);
  EXPECT_FALSE(empty_array.IsTrue());
  empty_array.Set_Element(AggregateIndex(1), &one);
  EXPECT_TRUE(empty_array.IsTrue());
}

TEST(Variable, Emptiness) {
  Variable v;
  v.SetValue_Integer(0);
  EXPECT_FALSE(v.IsNULL());
  v.SetValue("");
  EXPECT_TRUE(v.IsNULL());
  v.SetValue(" ");
  EXPECT_FALSE(v.IsNULL());
  v.MakeAggregate(kKindArray);
  EXPECT_FALSE(v.IsNULL());
  v.Clear();
  EXPECT_TRUE(v.IsNULL());
  EXPECT_EQ(kKindScalar, v.AggregateKind());
  EXPECT_EQ(nullptr, v.Aggregate());
}

TEST(Variable, CopyIsDeep) {
  Held source(new Variable("src"));
  source->SetValue("abc");
  Held copy(source->Copy());
  EXPECT_STREQ("src", copy->Name().data());
  EXPECT_EQ("abc", Text(copy.v));
  EXPECT_EQ(kTypeText, copy->Type());
  source->SetValue("changed");
  EXPECT_EQ("abc", Text(copy.v));

  Variable empty;
  Variable target;
  target.SetValue_Integer(5);
  target.SetValue_Variable(&empty);
  EXPECT_EQ(kTypeNone, target.Type());
  EXPECT_EQ(static_cast<uint32_t>(kTextValid), target.valid_flags() & 7);
  EXPECT_TRUE(target.IsNULL());
}

TEST(Variable, CopyTakesAllValidRepresentations) {
  Variable source;
  source.SetValue("0012");
  source.Value_Integer();
  Variable target;
  target.SetValue_Variable(&source);
  EXPECT_EQ(kTextValid | kIntegerValid, target.valid_flags() & 7);
  EXPECT_EQ(kTypeText, target.Type());
  EXPECT_EQ("0012", Text(&target));
  EXPECT_EQ(12, target.Value_Integer());
}

TEST(Variable, AssigningAnElementOfItselfKeepsTheValue) {
  Variable v;
  Variable* inner = v.Element(AggregateIndex(1), 1);
  ASSERT_NE(nullptr, inner);
  inner->SetValue("kept");
  v.SetValue_Variable(inner);  // the element dies with the tree
  EXPECT_EQ(kKindScalar, v.AggregateKind());
  EXPECT_EQ("kept", Text(&v));

  Variable w;
  w.Element(AggregateIndex(1), 1)->SetValue("also");
  const String& text = w.Element(AggregateIndex(1), 0)->Value();
  w.SetValue(text.data(), text.length());
  EXPECT_EQ("also", Text(&w));
}

TEST(NULLVariable, IsEmptyAndAbsorbsEverything) {
  Held null(new NULLVariable("null"));
  EXPECT_EQ(kClassNull, null->ClassCode());
  EXPECT_FALSE(null->IsTrue());
  EXPECT_TRUE(null->IsNULL());
  EXPECT_EQ("", Text(null.v));
  EXPECT_EQ(0, null->Value_Integer());
  EXPECT_TRUE(mpd_iszero(null->Value_Decimal()));
  null->SetValue("x");
  null->SetValue_Integer(3);
  EXPECT_EQ("", Text(null.v));
  EXPECT_EQ(null.v, null->Element(AggregateIndex("member", -1), 1));
  EXPECT_EQ(null.v, null->Element(AggregateIndex(4), 1)->Element(AggregateIndex("x", -1), 1));
  EXPECT_EQ(0, null->Array_Collapse());
  static_cast<NULLVariable*>(null.v)->MakeMutable();
  null->SetValue("y");
  EXPECT_EQ("", Text(null.v)) << "null never becomes mutable";

  Variable copy;
  copy.SetValue("old");
  copy.SetValue_Variable(null.v);
  EXPECT_EQ("", Text(&copy));
  EXPECT_EQ(kTypeNone, copy.Type());
  EXPECT_TRUE(copy.IsNULL());
}

TEST(ImmutableVariable, IgnoresAssignmentsWhileImmutable) {
  Held v(new ImmutableVariable("sys"));
  auto* immutable = static_cast<ImmutableVariable*>(v.v);
  v->SetValue("fixed");
  immutable->MakeImmutable();
  EXPECT_EQ(1, v->SetValue("other"));
  EXPECT_EQ(1, v->SetValue_Integer(4));
  EXPECT_EQ(1, v->SetValue_Nocopy(static_cast<char*>(std::malloc(4)), 3, 4));  // freed, not leaked
  EXPECT_EQ(1, v->SetValue_Decimal_Nocopy(mpd_qnew()));
  Variable other;
  other.SetValue("x");
  EXPECT_EQ(1, v->SetValue_Variable(&other));
  v->Clear();
  EXPECT_EQ("fixed", Text(v.v));

  Variable* missing = v->Element(AggregateIndex("nope", -1), 1);
  ASSERT_NE(nullptr, missing);
  EXPECT_EQ(kClassNull, missing->ClassCode());
  EXPECT_EQ(0, v->ElementsUsed());

  immutable->MakeMutable();
  v->SetValue("free");
  EXPECT_EQ("free", Text(v.v));
  Variable* member = v->Element(AggregateIndex("m", -1), 1);
  ASSERT_NE(nullptr, member);
  EXPECT_NE(nullptr, dynamic_cast<ImmutableVariable*>(member));
}

TEST(ImmutableVariable, FlagReachesNestedMembersAndWrapsPlainOnes) {
  Held root(new ImmutableVariable("root"));
  Variable plain;
  plain.SetValue("p");
  root->Set_Element(AggregateIndex("a", -1), &plain);
  Variable* stored = root->Element(AggregateIndex("a", -1), 0);
  ASSERT_NE(nullptr, stored);
  EXPECT_NE(&plain, stored) << "a plain variable is stored as an immutable copy";
  ASSERT_NE(nullptr, dynamic_cast<ImmutableVariable*>(stored));
  static_cast<ImmutableVariable*>(root.v)->MakeImmutable();
  stored->SetValue("changed");
  EXPECT_EQ("p", Text(stored));
  root->Set_Element(AggregateIndex("b", -1), &plain);
  EXPECT_EQ(1, root->ElementsUsed());
  static_cast<ImmutableVariable*>(root.v)->MakeMutable();
  stored->SetValue("changed");
  EXPECT_EQ("changed", Text(stored));
}

// A counter that recomputes itself whenever it is marked stale.
class Ticker : public DynamicImmutableVariable {
 public:
  bool stale = true;
  int refreshes = 0;
  int IsCurrent() override { return !stale; }
  void Refresh() override {
    stale = false;
    StoreInteger(++refreshes);
  }
};

TEST(DynamicImmutableVariable, RefreshesWhenStale) {
  Held v(new Ticker());
  auto* t = static_cast<Ticker*>(v.v);
  t->MakeImmutable();
  EXPECT_EQ(1, v->Value_Integer());
  EXPECT_EQ(1, v->Value_Integer());
  EXPECT_EQ(1, t->refreshes) << "a current value is not recomputed";
  t->stale = true;
  EXPECT_EQ("2", Text(v.v));
  v->SetValue("ignored");
  EXPECT_EQ(2, v->Value_Integer());
  t->stale = true;
  Variable copy;
  copy.SetValue_Variable(v.v);  // copying reads too
  EXPECT_EQ(3, copy.Value_Integer());
  EXPECT_EQ(kTypeInteger, copy.Type());
}

TEST(ReferenceVariable, ForwardsAndCountsOnTheTarget) {
  Variable* target = new Variable("t");
  target->SetValue("value");
  Variable* alias = new Variable("alias");
  alias->SetValue("old");
  alias->Retain();  // two holders of the alias
  ASSERT_EQ(1, alias->Make_Reference(target));
  EXPECT_STREQ("alias", alias->Name().data());
  EXPECT_EQ(kClassReference, alias->ClassCode());
  EXPECT_EQ(2, alias->RefCount());
  EXPECT_EQ(3, target->RefCount()) << "each holder of the alias holds the target";
  EXPECT_EQ(target, alias->NextIdentity());
  EXPECT_EQ(target, alias->RealIdentity());
  EXPECT_EQ("value", Text(alias));
  alias->SetValue_Integer(9);
  EXPECT_EQ(9, target->Value_Integer());
  alias->Element(AggregateIndex(2), 1)->SetValue("e");
  EXPECT_EQ(1, target->ElementsUsed());

  Variable copy;
  copy.SetValue_Variable(alias);
  EXPECT_EQ(kKindArray, copy.AggregateKind());

  alias->Release();
  EXPECT_EQ(2, target->RefCount());
  alias->Release();  // the alias is gone
  EXPECT_EQ(1, target->RefCount());
  target->Release();
}

TEST(ReferenceVariable, RetargetMovesTheCounts) {
  Variable* first = new Variable("a");
  Variable* second = new Variable("b");
  Variable* alias = new Variable("r");
  alias->Retain();
  alias->Make_Reference(first);
  EXPECT_EQ(3, first->RefCount());
  EXPECT_EQ(1, alias->Make_Reference(second));
  EXPECT_EQ(1, first->RefCount());
  EXPECT_EQ(3, second->RefCount());
  // Same real identity through another alias: nothing moves.
  Variable* other = new ReferenceVariable(second, "o");
  EXPECT_EQ(4, second->RefCount());
  EXPECT_EQ(1, alias->Make_Reference(other));
  EXPECT_EQ(second, alias->NextIdentity());
  EXPECT_EQ(4, second->RefCount());
  // An alias of oneself is refused, directly or through a chain.
  EXPECT_EQ(0, second->Make_Reference(alias));
  EXPECT_EQ(kClassOrdinary, second->ClassCode());
  other->Release();
  alias->Release();
  alias->Release();
  EXPECT_EQ(1, second->RefCount());
  first->Release();
  second->Release();
}

TEST(ReferenceVariable, ToOwnElementKeepsItAlive) {
  Variable* holder = new Variable("h");
  Variable* element = holder->Element(AggregateIndex(1), 1);
  element->SetValue("inner");
  ASSERT_EQ(1, holder->Make_Reference(element));
  EXPECT_EQ("inner", Text(holder));
  EXPECT_EQ(1, element->RefCount());
  holder->Release();
}

class Recorder : public CallbackVariableCallback {
 public:
  int attached = 0;
  int detached = 0;
  void* data = nullptr;
  void Attached(Variable* v, void* creator_data) override {
    ++attached;
    data = creator_data;
    CallbackVariableCallback::Attached(v, creator_data);
  }
  void Detached(Variable* v) override {
    ++detached;
    CallbackVariableCallback::Detached(v);
  }
  Variable* SupplyMember(Variable*, const AggregateIndex& index) override {
    if (!index.Name().equals_nocase("magic", 5)) return nullptr;
    Variable* member = new Variable("magic");
    member->SetValue_Integer(77);
    return member;
  }
};

TEST(CallbackStructVariable, KeepsStateAndAsksTheCallback) {
  Recorder recorder;
  int tag = 0;
  Variable* v = new Variable("s");
  v->Element(AggregateIndex("known", -1), 1)->SetValue("k");
  v->Retain();
  ASSERT_EQ(1, v->Make_CallbackStruct(&recorder, &tag));
  EXPECT_EQ(1, recorder.attached);
  EXPECT_EQ(&tag, recorder.data);
  EXPECT_EQ(v, recorder.bound());
  EXPECT_EQ(2, v->RefCount());
  EXPECT_STREQ("s", v->Name().data());
  EXPECT_EQ("k", Text(v->Element(AggregateIndex("KNOWN", -1), 0)));
  Variable* magic = v->Element(AggregateIndex("Magic", -1), 0);
  ASSERT_NE(nullptr, magic);
  EXPECT_EQ(77, magic->Value_Integer());
  EXPECT_EQ(nullptr, v->Element(AggregateIndex("other", -1), 0));
  EXPECT_NE(nullptr, v->Element(AggregateIndex("other", -1), 1));
  v->Release();
  v->Release();
  EXPECT_EQ(1, recorder.detached);
  EXPECT_EQ(nullptr, recorder.bound());
}

}  // namespace
}  // namespace pexo
