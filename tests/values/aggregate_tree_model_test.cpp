// The array tree checked against an ordered map under fills in every order,
// removals that recycle nodes, and walks after each kind of change.
#include <gtest/gtest.h>

#include <algorithm>
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

void Put(Variable* array, Model* model, int32_t index, int32_t value) {
  array->Element(AggregateIndex(index), 1)->SetValue_Integer(value);
  (*model)[index < 0 ? 0 : index] = value;
}

// Walks forwards and backwards and looks every key up, against the model.
void ExpectSame(Variable* array, const Model& model, const std::string& label) {
  ASSERT_EQ(array->ElementsUsed(), static_cast<int32_t>(model.size())) << label;
  std::vector<int32_t> forward, backward, want;
  for (const auto& entry : model) want.push_back(entry.first);
  // Array_Next(0) never finds index 0 itself: start from the minimum.
  if (!model.empty()) {
    for (int32_t i = array->Array_Min();; i = array->Array_Next(i)) {
      forward.push_back(i);
      if (i == array->Array_Max()) break;
    }
    for (int32_t i = array->Array_Max();; i = array->Array_Previous(i)) {
      backward.push_back(i);
      if (i == array->Array_Min()) break;
    }
  }
  std::reverse(backward.begin(), backward.end());
  EXPECT_EQ(forward, want) << label;
  EXPECT_EQ(backward, want) << label;
  for (const auto& entry : model) {
    Variable* found = array->Element(AggregateIndex(entry.first), 0);
    ASSERT_NE(found, nullptr) << label << " index " << entry.first;
    EXPECT_EQ(found->Value_Integer(), entry.second) << label << " index " << entry.first;
  }
}

std::vector<int32_t> Order(const char* kind, int32_t n) {
  std::vector<int32_t> keys;
  for (int32_t i = 1; i <= n; ++i) keys.push_back(i);
  std::string k = kind;
  if (k == "descending") std::reverse(keys.begin(), keys.end());
  if (k == "random") std::shuffle(keys.begin(), keys.end(), std::mt19937(7));
  if (k == "sparse")
    for (int32_t& key : keys) key = key * 1000 + (key % 7);
  if (k == "zigzag")
    for (size_t i = 0; i < keys.size(); ++i) keys[i] = (i % 2) ? n + 1 - keys[i] : keys[i];
  return keys;
}

TEST(ArrayTreeModel, FillsInEveryOrderWalkAndFindLikeAMap) {
  for (const char* kind : {"ascending", "descending", "random", "sparse", "zigzag"}) {
    for (int32_t n : {1, 2, 99, 100, 101, 3000}) {
      Variable* array = new Variable("a");
      Model model;
      int32_t value = 0;
      for (int32_t key : Order(kind, n)) Put(array, &model, key, ++value);
      // Storing again under present keys replaces and adds nothing.
      for (int32_t key : Order(kind, n / 2)) Put(array, &model, key, -key);
      ExpectSame(array, model, std::string(kind) + " n=" + std::to_string(n));
      array->Release();
    }
  }
}

TEST(ArrayTreeModel, ZeroAndNegativeIndexesShareSlotZero) {
  Variable* array = new Variable("a");
  Model model;
  Put(array, &model, 3, 30);
  Put(array, &model, 0, 1);
  Put(array, &model, -4, 2);  // lands on 0, replacing
  Put(array, &model, 1, 10);
  ExpectSame(array, model, "zero");
  EXPECT_EQ(array->Array_Min(), 0);
  EXPECT_EQ(array->Element(AggregateIndex(-1), 0)->Value_Integer(), 2);
  EXPECT_EQ(array->Array_Next(-7), 1);  // a negative key searches as 0
  array->Release();
}

TEST(ArrayTreeModel, RemovalsRecycleNodesWithoutLosingElements) {
  std::mt19937 random(11);
  Variable* array = new Variable("a");
  Model model;
  for (int32_t round = 0; round < 4000; ++round) {
    int32_t key = static_cast<int32_t>(random() % 500) + 1;
    if (random() % 3 == 0) {
      array->Delete_Element(AggregateIndex(key), 0);
      model.erase(key);
    } else {
      Put(array, &model, key, round);
    }
  }
  ExpectSame(array, model, "mixed");
  // Emptied, then filled again: the freed nodes serve the new elements.
  array->Delete_Array_Elements(1, -1, 0);
  model.clear();
  ExpectSame(array, model, "emptied");
  for (int32_t key = 1; key <= 700; ++key) Put(array, &model, key, key * 2);
  ExpectSame(array, model, "refilled");
  array->Release();
}

TEST(ArrayTreeModel, ShiftsAfterAscendingFillKeepOrder) {
  Variable* array = new Variable("a");
  Model model;
  for (int32_t key = 1; key <= 300; ++key) Put(array, &model, key, key);
  Variable* extra = new Variable("x");
  extra->SetValue_Integer(-1);
  array->Insert_Array_Element(150, extra);
  extra->Release();
  Model shifted;
  for (const auto& entry : model) shifted[entry.first >= 150 ? entry.first + 1 : entry.first] = entry.second;
  shifted[150] = -1;
  ExpectSame(array, shifted, "inserted");
  array->Delete_Element(AggregateIndex(10), 1);
  Model after;
  for (const auto& entry : shifted)
    if (entry.first != 10) after[entry.first > 10 ? entry.first - 1 : entry.first] = entry.second;
  ExpectSame(array, after, "deleted with shift");
  array->Release();
}

TEST(ArrayTreeModel, LargeAscendingArrayCopiesAndDestroys) {
  Variable* array = new Variable("a");
  for (int32_t key = 1; key <= 100000; ++key) array->Element(AggregateIndex(key), 1)->SetValue_Integer(key);
  Variable* copy = array->Copy();
  ASSERT_NE(copy, nullptr);
  array->Release();
  EXPECT_EQ(copy->ElementsUsed(), 100000);
  EXPECT_EQ(copy->Element(AggregateIndex(77777), 0)->Value_Integer(), 77777);
  EXPECT_EQ(copy->Array_Previous(1), 0);
  copy->Release();
}

// Members under random churn, against a map keyed by the lowercased name:
// one member per name whatever its case, kept in case-folded order, the
// spelling of its first creation kept.
TEST(StructureTreeModel, MembersChurnLikeACaseFoldedMap) {
  const char* names[] = {"m0", "M1", "m10", "a", "A_", "zz", "Zz9", "m", "\xc0x", "\xe0x", "m1", "b.c"};
  auto fold = [](std::string text) {
    for (char& c : text)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
  };
  std::map<std::string, std::pair<std::string, int32_t>> model;  // folded -> (name, value)
  Variable* record = new Variable("r");
  std::mt19937 random(7);
  for (int step = 0; step < 4000; ++step) {
    std::string name = names[random() % (sizeof(names) / sizeof(names[0]))];
    AggregateIndex key(name.data(), static_cast<int32_t>(name.size()));
    std::string folded = fold(name);
    switch (random() % 3) {
      case 0:
      case 1: {
        record->Element(key, 1)->SetValue_Integer(step);
        auto found = model.find(folded);
        if (found == model.end())
          model[folded] = {name, step};
        else
          found->second.second = step;
        break;
      }
      default:
        record->Delete_Element(key, 0);
        model.erase(folded);
    }
    Variable* looked = record->Element(AggregateIndex::Borrow(name.data(), -1), 0);
    auto want = model.find(folded);
    ASSERT_EQ(looked != nullptr, want != model.end()) << step << " " << name;
    if (looked) {
      ASSERT_EQ(looked->Value_Integer(), want->second.second) << step;
    }
    std::vector<std::pair<std::string, int32_t>> walked, expected;
    if (AggregateElementTree* tree = record->Aggregate()) {
      tree->ForEach([&](AggregateElement* element) {
        walked.emplace_back(element->Index().Name().c_str(), element->GetVariable()->Value_Integer());
        return true;
      });
    }
    for (const auto& entry : model) expected.push_back(entry.second);
    ASSERT_EQ(walked, expected) << step;
  }
  record->Release();
}

}  // namespace
}  // namespace pexo
