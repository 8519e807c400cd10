// Arrays keyed 1..n in their contiguous form: which operations keep that
// form, which move the elements to the tree, and a random mix of every
// array operation checked against an ordered map through both forms.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "values/aggregate_index.h"
#include "values/aggregate_tree.h"
#include "values/variable.h"

namespace pexo {
namespace {

using Model = std::map<int32_t, int32_t>;

void Put(Variable* array, int32_t index, int32_t value) {
  array->Element(AggregateIndex(index), 1)->SetValue_Integer(value);
}

Variable* Filled(int32_t n) {
  Variable* array = new Variable("a");
  for (int32_t i = 1; i <= n; ++i) Put(array, i, i * 10);
  return array;
}

// Keys and values in walk order, forwards, then backwards.
std::string Walk(Variable* array) {
  std::string out;
  if (array->ElementsUsed() == 0) return out;
  for (int32_t i = array->Array_Min();; i = array->Array_Next(i)) {
    out += std::to_string(i) + "=" +
           std::to_string(array->Element(AggregateIndex(i), 0)->Value_Integer()) + " ";
    if (i == array->Array_Max()) break;
  }
  out += "|";
  for (int32_t i = array->Array_Max();; i = array->Array_Previous(i)) {
    out += " " + std::to_string(i);
    if (i == array->Array_Min()) break;
  }
  return out;
}

std::string Walk(const Model& model) {
  std::string out;
  if (model.empty()) return out;
  for (const auto& entry : model) out += std::to_string(entry.first) + "=" + std::to_string(entry.second) + " ";
  out += "|";
  for (auto it = model.rbegin(); it != model.rend(); ++it) out += " " + std::to_string(it->first);
  return out;
}

TEST(DenseArray, EachOperationKeepsOrLeavesTheContiguousForm) {
  struct Case {
    const char* what;
    std::function<void(Variable*)> op;
    bool dense;
    const char* walk;
  };
  Variable* extra = new Variable("x");
  extra->SetValue_Integer(7);
  const std::vector<Case> cases = {
      {"append", [](Variable* a) { Put(a, 4, 40); }, true, "1=10 2=20 3=30 4=40 | 4 3 2 1"},
      {"replace", [](Variable* a) { Put(a, 2, 5); }, true, "1=10 2=5 3=30 | 3 2 1"},
      {"delete last", [](Variable* a) { a->Delete_Element(AggregateIndex(3), 0); }, true, "1=10 2=20 | 2 1"},
      {"closing delete in the middle",
       [](Variable* a) { a->Delete_Element(AggregateIndex(2), 1); }, true, "1=10 2=30 | 2 1"},
      {"closing delete of an absent key",
       [](Variable* a) { a->Delete_Element(AggregateIndex(9), 1); }, true, "1=10 2=20 3=30 | 3 2 1"},
      {"delete from the top", [](Variable* a) { a->Delete_Array_Elements(2, -1, 0); }, true, "1=10 | 1"},
      {"append with insert", [extra](Variable* a) { a->Insert_Array_Element(0, extra); }, true,
       "1=10 2=20 3=30 4=7 | 4 3 2 1"},
      {"gap", [](Variable* a) { Put(a, 5, 50); }, false, "1=10 2=20 3=30 5=50 | 5 3 2 1"},
      {"index zero", [](Variable* a) { Put(a, 0, 1); }, false, "0=1 1=10 2=20 3=30 | 3 2 1 0"},
      {"open delete in the middle",
       [](Variable* a) { a->Delete_Element(AggregateIndex(2), 0); }, false, "1=10 3=30 | 3 1"},
      {"insert in the middle", [extra](Variable* a) { a->Insert_Array_Element(2, extra); }, false,
       "1=10 2=7 3=20 4=30 | 4 3 2 1"},
      {"range deleted with shift", [](Variable* a) { a->Delete_Array_Elements(1, 2, 1); }, true,
       "1=30 | 1"},
      {"range past the end deleted with shift",
       [](Variable* a) { a->Delete_Array_Elements(3, 5, 1); }, true, "1=10 2=20 | 2 1"},
      {"range beyond the end deleted with shift",
       [](Variable* a) { a->Delete_Array_Elements(4, 2, 1); }, true, "1=10 2=20 3=30 | 3 2 1"},
      {"range deleted without shift", [](Variable* a) { a->Delete_Array_Elements(1, 2, 0); }, false,
       "3=30 | 3"},
      {"gap closed by collapse",
       [](Variable* a) {
         Put(a, 9, 90);
         a->Array_Collapse();
       },
       true, "1=10 2=20 3=30 4=90 | 4 3 2 1"},
      {"sparse then emptied and refilled",
       [](Variable* a) {
         Put(a, 100, 1);
         a->Delete_Array_Elements(1, -1, 0);
         Put(a, 1, 11);
       },
       true, "1=11 | 1"},
  };
  for (const Case& c : cases) {
    Variable* array = Filled(3);
    ASSERT_TRUE(array->Aggregate()->dense()) << c.what;
    c.op(array);
    EXPECT_EQ(array->Aggregate()->dense(), c.dense) << c.what;
    EXPECT_EQ(Walk(array), c.walk) << c.what;
    array->Release();
  }
  extra->Release();
}

TEST(DenseArray, MemberNamesSortAfterEveryIndex) {
  Variable* array = Filled(3);
  AggregateElementTree* tree = array->Aggregate();
  AggregateIndex name("m", -1);
  EXPECT_EQ(tree->Find(name), nullptr);
  EXPECT_EQ(tree->Successor(name), nullptr);
  ASSERT_NE(tree->Predecessor(name), nullptr);
  EXPECT_EQ(tree->Predecessor(name)->key().Number(), 3);
  EXPECT_EQ(tree->Successor(AggregateIndex(0))->key().Number(), 1);
  EXPECT_EQ(tree->Predecessor(AggregateIndex(1)), nullptr);
  EXPECT_EQ(tree->Predecessor(AggregateIndex(1000))->key().Number(), 3);
  EXPECT_TRUE(tree->dense());
  array->Release();
}

// A random mix, biased to keep the array contiguous so that both forms and
// the moves between them are exercised, checked against a map.
TEST(DenseArray, RandomOperationsMatchAnOrderedMap) {
  std::mt19937 random(23);
  Variable* array = new Variable("a");
  array->MakeAggregate(kKindArray);
  Model model;
  int dense_steps = 0, tree_steps = 0;
  for (int32_t step = 0; step < 6000; ++step) {
    int32_t max = model.empty() ? 0 : model.rbegin()->first;
    int32_t size = static_cast<int32_t>(model.size());
    int32_t key = static_cast<int32_t>(random() % (size + 3));
    switch (random() % 12) {
      case 0: case 1: case 2: case 3:  // append
        Put(array, max + 1, step);
        model[max + 1] = step;
        break;
      case 4:  // store anywhere near the end
        Put(array, key, step);
        model[key] = step;
        break;
      case 5: {  // delete, closing or not
        int shift = static_cast<int>(random() % 2);
        array->Delete_Element(AggregateIndex(key), shift);
        if (model.erase(key) && shift) {
          Model moved;
          for (const auto& e : model) moved[e.first > key ? e.first - 1 : e.first] = e.second;
          model.swap(moved);
        }
        break;
      }
      case 6: {  // insert at a position, or append
        int32_t position = static_cast<int32_t>(random() % 2) ? key : 0;
        Variable* value = new Variable("x");  // stored by reference
        value->SetValue_Integer(-step);
        array->Insert_Array_Element(position, value);
        value->Release();
        Model moved;
        if (position > 0) {
          for (const auto& e : model) moved[e.first >= position ? e.first + 1 : e.first] = e.second;
          moved[position] = -step;
        } else {
          moved = model;
          moved[max + 1] = -step;
        }
        model.swap(moved);
        break;
      }
      case 7: {  // delete a range, shifting or not
        int32_t first = key < 1 ? 1 : key;
        int32_t count = static_cast<int32_t>(random() % 4);
        int shift = static_cast<int>(random() % 2);
        array->Delete_Array_Elements(first, count, shift);
        if (count > 0) {
          Model moved;
          for (const auto& e : model) {
            if (e.first >= first && e.first < first + count) continue;
            moved[shift && e.first >= first + count ? e.first - count : e.first] = e.second;
          }
          model.swap(moved);
        }
        break;
      }
      case 8:  // cut the top
        if (random() % 4 == 0) {
          int32_t first = key < 1 ? 1 : key;
          array->Delete_Array_Elements(first, -1, 0);
          model.erase(model.lower_bound(first), model.end());
        }
        break;
      case 9:
        if (random() % 8 == 0) {
          array->Array_Collapse();
          Model moved;
          int32_t next = 1;
          for (const auto& e : model) moved[next++] = e.second;
          model.swap(moved);
        }
        break;
      default:  // pop
        if (!model.empty()) {
          array->Delete_Element(AggregateIndex(max), 0);
          model.erase(max);
        }
        break;
    }
    (array->Aggregate()->dense() ? dense_steps : tree_steps)++;
    ASSERT_EQ(array->ElementsUsed(), static_cast<int32_t>(model.size())) << "step " << step;
    if (step % 50 == 0) {
      ASSERT_EQ(Walk(array), Walk(model)) << "step " << step;
    }
  }
  EXPECT_EQ(Walk(array), Walk(model));
  EXPECT_GT(dense_steps, 500);
  EXPECT_GT(tree_steps, 500);
  Variable* copy = array->Copy();
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(Walk(copy), Walk(model));
  copy->Release();
  array->Release();
}

}  // namespace
}  // namespace pexo
