// Variable functions, and the default function library of a configuration
// that names none.
#include <string>
#include <vector>

#include "ext/configured_libraries.h"
#include "ext/external_library_manager.h"
#include "pexo/pexo.h"
#include "values/server_config.h"
#include "std_fixture.h"

namespace pexo {
namespace {

class VariableFunctionsTest : public StdLibraryTest {};

TEST_F(VariableFunctionsTest, TypeNamesTheRepresentation) {
  EXPECT_EQ(Run("type", {Text("x")}), "text");
  EXPECT_EQ(Run("type", {Integer(3)}), "integer");
  EXPECT_EQ(Run("type", {Decimal("1.5")}), "decimal");
  EXPECT_EQ(Run("type", {Array({"a"})}), "array");
  EXPECT_EQ(Run("type", {Struct({{"a", "b"}})}), "structure");
  EXPECT_EQ(Run("type", {new Variable()}), "none");
  // Results carry their own types too.
  EXPECT_EQ(Run("type", {Call("length", {Text("abc")})}), "integer");
}

TEST_F(VariableFunctionsTest, IsEmpty) {
  EXPECT_EQ(Run("isempty", {Text("")}), "1");
  EXPECT_EQ(Run("isempty", {new Variable()}), "1");
  EXPECT_EQ(Run("isempty", {Integer(0)}), "0");
  EXPECT_EQ(Run("isempty", {Text(" ")}), "0");
  EXPECT_EQ(Run("isempty", {Array({})}), "1");
  EXPECT_EQ(Run("isempty", {Array({""})}), "0");
}

TEST_F(VariableFunctionsTest, IsDefinedLooksUpScopes) {
  context_.globals.SetVariable("total", -1, "5", -1);
  EXPECT_EQ(Run("isdefined", {Text("total")}), "1");
  EXPECT_EQ(Run("isdefined", {Text("TOTAL")}), "1");
  EXPECT_EQ(Run("isdefined", {Text("missing")}), "0");
  EXPECT_EQ(Run("isdefined", {Text("")}), "0");
  // Asking does not define it.
  EXPECT_EQ(Run("isdefined", {Text("missing")}), "0");
  context_.system.SetVariable("server_name", -1, "localhost", -1);
  EXPECT_EQ(Run("isdefined", {Text("s.server_name")}), "1");
  EXPECT_EQ(Run("isdefined", {Text("g.server_name")}), "0");
  EXPECT_EQ(Run("isdefined", {Text("G.total")}), "1");
}

TEST_F(VariableFunctionsTest, IsDefinedFollowsMembersAndIndexes) {
  Variable* cart = Struct({{"owner", "ann"}});
  Variable* items = Array({"pen", "ink"});
  pxVariable_Set_Struct_Member("items", -1, reinterpret_cast<PexoVariable*>(items),
                               reinterpret_cast<PexoVariable*>(cart));
  items->Release();
  cart->SetName("cart", -1);
  context_.globals.ReplaceVariable(cart);  // the scope takes its own reference
  cart->Release();
  EXPECT_EQ(Run("isdefined", {Text("cart.owner")}), "1");
  EXPECT_EQ(Run("isdefined", {Text("cart.items[2]")}), "1");
  EXPECT_EQ(Run("isdefined", {Text("g.cart.items[3]")}), "0");
  EXPECT_EQ(Run("isdefined", {Text("cart.price")}), "0");
  EXPECT_EQ(Run("isdefined", {Text("cart.items[x]")}), "0");
  EXPECT_EQ(Run("isdefined", {Text("cart.items[1")}), "0");
  EXPECT_EQ(Run("isdefined", {Text("cart.")}), "0");
  // None of those lookups made anything.
  Variable* found = nullptr;
  ASSERT_TRUE(context_.globals.Find("cart", -1, false, &found));
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(Render(found), "{items=[1=pen,2=ink],owner=ann}");
}

TEST_F(VariableFunctionsTest, CallsBindByNameWhateverTheCase) {
  EXPECT_EQ(Run("ReVeRsE", {Text("ab")}), "ba");
  EXPECT_EQ(calls_->Find("no_such_function", -1), nullptr);
}

// Remembers which paths the configuration asked for.
class RecordingLibraries : public ExternalLibraryManager {
 public:
  RecordingLibraries() : ExternalLibraryManager(nullptr) {}
  std::vector<std::string> asked;

 protected:
  ExternalLibrary* Open(const char* path, int32_t) override {
    asked.push_back(path);
    error_.assign("not loaded in this test");
    return nullptr;
  }
};

TEST(DefaultFunctionLibraryTest, UsedOnlyWhenTheConfigurationNamesNone) {
  {
    RecordingLibraries libraries;
    ExternalCallManager calls(&libraries);
    ServerConfig config;
    EXPECT_EQ(RegisterConfiguredLibraries(config, &calls, nullptr, nullptr), 0);
    ASSERT_EQ(libraries.asked.size(), 1u);
    const std::string& path = libraries.asked[0];
    EXPECT_EQ(path.substr(path.rfind('/') + 1), kDefaultFunctionLibrary);
  }
  {
    RecordingLibraries libraries;
    ExternalCallManager calls(&libraries);
    ServerConfig config;
    config.AddSystemLibrary("/opt/mine.so", -1);
    EXPECT_EQ(RegisterConfiguredLibraries(config, &calls, nullptr, nullptr), 1);
    ASSERT_EQ(libraries.asked.size(), 1u);
    EXPECT_EQ(libraries.asked[0], "/opt/mine.so");
  }
}

}  // namespace
}  // namespace pexo
