// Arrays and structures: counting, keys, the sort modes, search and slice,
// including sparse arrays and values that are not numbers.
#include <string>
#include <vector>

#include "pexo/pexo.h"
#include "std_fixture.h"

namespace pexo {
namespace {

struct Case {
  const char* function;
  std::vector<Variable*> arguments;
  std::string expected;
};

class AggregateFunctionsTest : public StdLibraryTest {
 protected:
  void RunAll(std::vector<Case> cases) {
    for (Case& c : cases) EXPECT_EQ(Run(c.function, c.arguments), c.expected) << c.function;
  }
};

// Elements at 2, 5 and 9 only.
Variable* Sparse() {
  Variable* array = new Variable();
  const std::pair<int32_t, const char*> entries[] = {{9, "nine"}, {2, "two"}, {5, "five"}};
  for (const auto& entry : entries) {
    Variable* element = Text(entry.second);
    pxVariable_Set_Array_Element(entry.first, reinterpret_cast<PexoVariable*>(element),
                                 reinterpret_cast<PexoVariable*>(array));
    element->Release();
  }
  return array;
}

TEST_F(AggregateFunctionsTest, CountAndKeys) {
  RunAll({
      {"count", {Array({"a", "b", "c"})}, "3"},
      {"count", {Sparse()}, "3"},
      {"count", {Struct({{"x", "1"}})}, "1"},
      {"count", {Text("scalar")}, "0"},
      {"count", {Array({})}, "0"},
      {"keys", {Sparse()}, "[1=2,2=5,3=9]"},
      {"keys", {Struct({{"Beta", "1"}, {"alpha", "2"}})}, "[1=alpha,2=Beta]"},
      {"keys", {Text("x")}, "ERROR: keys(): the first argument is not an array or structure"},
  });
}

TEST_F(AggregateFunctionsTest, SortModes) {
  RunAll({
      {"sort", {Array({"10", "9", "100", "-1.5"}), Text("")}, "[1=-1.5,2=9,3=10,4=100]"},
      {"sort", {Array({"10", "9", "b", "A"}), Text("auto")}, "[1=10,2=9,3=A,4=b]"},
      {"sort", {Array({"10", "9", "100"}), Text("text")}, "[1=10,2=100,3=9]"},
      {"sort", {Array({"b", "A", "a", "C"}), Text("nocase")}, "[1=A,2=a,3=b,4=C]"},
      {"sort", {Array({"b", "A", "a", "C"}), Text("nocase desc")}, "[1=C,2=b,3=A,4=a]"},
      {"sort", {Array({"3", "NaN", "1", "x"}), Text("number")}, "[1=x,2=1,3=3,4=NaN]"},
      {"sort", {Array({"3", "NaN", "1"}), Text("number, desc")}, "[1=NaN,2=3,3=1]"},
      {"sort", {Sparse(), Text("text")}, "[1=five,2=nine,3=two]"},
      {"sort", {Struct({{"a", "z"}, {"b", "y"}}), Text("")}, "[1=y,2=z]"},
      {"sort", {Array({}), Text("")}, "[]"},
      {"sort", {Array({"a"}), Text("sideways")}, "ERROR: sort(): unknown sort mode 'sideways'"},
      {"sort", {Text("a"), Text("")},
       "ERROR: sort(): the first argument is not an array or structure"},
  });
}

TEST_F(AggregateFunctionsTest, SortLeavesItsArgumentAlone) {
  Variable* array = Array({"b", "a"});
  array->Retain();
  EXPECT_EQ(Run("sort", {array, Text("text")}), "[1=a,2=b]");
  EXPECT_EQ(Render(array), "[1=b,2=a]");
  array->Release();
}

TEST_F(AggregateFunctionsTest, SearchFindsTheFirstEqualValue) {
  RunAll({
      {"search", {Array({"a", "1.0", "b", "1"}), Integer(1)}, "2"},
      {"search", {Sparse(), Text("five")}, "5"},
      {"search", {Struct({{"k", "v"}, {"m", "w"}}), Text("w")}, "m"},
      {"search", {Array({"a"}), Text("A")}, ""},
      {"search", {Array({}), Text("")}, ""},
  });
}

TEST_F(AggregateFunctionsTest, SliceCountsPositions) {
  RunAll({
      {"slice", {Array({"a", "b", "c", "d"}), Integer(2), Integer(2)}, "[1=b,2=c]"},
      {"slice", {Array({"a", "b", "c", "d"}), Integer(-2), Integer(10)}, "[1=c,2=d]"},
      {"slice", {Array({"a", "b"}), Integer(0), Integer(1)}, "[1=a]"},
      {"slice", {Array({"a", "b"}), Integer(3), Integer(1)}, "[]"},
      {"slice", {Array({"a", "b"}), Integer(1), Integer(-1)}, "[]"},
      {"slice", {Sparse(), Integer(2), Integer(2147483647)}, "[1=five,2=nine]"},
      {"slice", {Struct({{"a", "1"}, {"b", "2"}}), Integer(2), Integer(1)}, "[1=2]"},
  });
}

}  // namespace
}  // namespace pexo
