#include "values/scope_resolver.h"

#include <gtest/gtest.h>

#include <string>

#include "values/dictionary.h"
#include "scope_test_util.h"
#include "values/system_variable_hash.h"
#include "values/variable.h"
#include "values/variable_list.h"

namespace pexo {
namespace {

using testing_util::Text;

// A machine's scopes with one fake open database "orders" holding "total".
class FakeContext : public ScopeContext {
 public:
  FakeContext() : system(6, new Dictionary(), true) {}
  ~FakeContext() override { total->Release(); }
  VariableHash* LocalScope() override { return in_call ? &local : nullptr; }
  VariableHash* GlobalScope() override { return &global; }
  VariableHash* SystemScope() override { return &system; }
  Variable* DatabaseField(const char* alias, int32_t alias_length, const char* name,
                          int32_t length) override {
    last_alias = alias ? std::string(alias, static_cast<size_t>(alias_length)) : "<any>";
    if (alias && !equals_nocase(alias, alias_length, "orders", 6)) return nullptr;
    return equals_nocase(name, length, "total", 5) ? total : nullptr;
  }

  UserVariableHash local, global;
  SystemVariableHash system;
  Variable* total = new Variable("total", -1);
  bool in_call = true;
  std::string last_alias;
};

Variable* Resolve(ScopeContext* c, const char* text, bool* ok = nullptr) {
  Variable* v = nullptr;
  String error;
  bool result = ResolveVariableName(c, text, -1, &v, &error);
  if (ok) *ok = result;
  return v;
}

TEST(ScopeResolverTest, SystemComesBeforeGlobal) {
  FakeContext c;
  c.system.SetVariable("remote_addr", -1, "sys", -1);
  c.global.SetVariable("remote_addr", -1, "glob", -1);
  EXPECT_EQ(Text(Resolve(&c, "REMOTE_ADDR")->Value()), "sys");
  EXPECT_EQ(Text(Resolve(&c, "g.remote_addr")->Value()), "glob");
  EXPECT_EQ(Text(Resolve(&c, "system.remote_addr")->Value()), "sys");
}

TEST(ScopeResolverTest, UnknownUnqualifiedNameBecomesGlobal) {
  FakeContext c;
  Variable* v = Resolve(&c, "brand_new");
  ASSERT_NE(v, nullptr);
  Variable* g = nullptr;
  EXPECT_TRUE(c.global.Find("brand_new", -1, false, &g));
  EXPECT_EQ(g, v);
  EXPECT_EQ(c.local.Entries(), 0);
  EXPECT_EQ(c.system.Entries(), 0);
}

TEST(ScopeResolverTest, SystemPrefixNeverCreates) {
  FakeContext c;
  bool ok = false;
  EXPECT_EQ(Resolve(&c, "s.unknown", &ok), nullptr);
  EXPECT_TRUE(ok);
  EXPECT_EQ(c.system.Entries(), 0);
  EXPECT_EQ(c.global.Entries(), 0);
}

TEST(ScopeResolverTest, LocalsAreSearchedOnlyWhenTheCallHasSome) {
  FakeContext c;
  c.global.SetVariable("x", -1, "global", -1);
  EXPECT_EQ(Text(Resolve(&c, "x")->Value()), "global");  // no locals yet
  Variable* l = Resolve(&c, "l.x");
  ASSERT_NE(l, nullptr);
  l->SetValue("local", -1);
  EXPECT_EQ(Text(Resolve(&c, "x")->Value()), "local");
  EXPECT_EQ(Text(Resolve(&c, "local.X")->Value()), "local");
  c.in_call = false;
  EXPECT_EQ(Text(Resolve(&c, "x")->Value()), "global");
  EXPECT_EQ(Resolve(&c, "l.x"), nullptr);  // no call, no local scope
}

TEST(ScopeResolverTest, DatabaseFieldsInOrderAndByAlias) {
  FakeContext c;
  EXPECT_EQ(Resolve(&c, "d.total"), c.total);
  EXPECT_EQ(c.last_alias, "<any>");
  EXPECT_EQ(Resolve(&c, "orders.d.total"), c.total);
  EXPECT_EQ(c.last_alias, "orders");
  EXPECT_EQ(Resolve(&c, "other.database.total"), nullptr);
  EXPECT_EQ(Resolve(&c, "d.missing"), nullptr);
  EXPECT_EQ(c.global.Entries(), 0);
  // Unqualified: databases come before the global scope.
  EXPECT_EQ(Resolve(&c, "total"), c.total);
  EXPECT_EQ(c.global.Entries(), 0);
}

TEST(ScopeResolverTest, MalformedPathReportsTheTableError) {
  FakeContext c;
  c.system.SetVariable("c", -1, "v", -1);
  for (const char* text : {"a[x]", "g.a[2]x", "l.b[3", "s.c[z]"}) {
    Variable* v = nullptr;
    String error;
    EXPECT_FALSE(ResolveVariableName(&c, text, -1, &v, &error)) << text;
    EXPECT_EQ(v, nullptr) << text;
    EXPECT_EQ(Text(error), "Array index must be positive integer") << text;
  }
}

TEST(ScopeResolverTest, FieldListBindsReferencesInTextOrder) {
  FakeContext c;
  c.global.SetVariable("first", -1, "1", -1);
  c.system.SetVariable("sysvar", -1, "s", -1);
  NULLVariable null_variable;
  VariableList list;
  list.SetVariable("stale", -1, "x", -1);
  String error;
  int32_t n = BuildFieldList(&c, " first ,, s.sysvar,\ts.nothing\n, g.second:m , ", -1,
                             &null_variable, &list, &error);
  ASSERT_EQ(n, 4) << error.c_str();
  const char* names[] = {"first", "sysvar", "nothing", "second:m"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Text(list.At(i)->Name()), names[i]);
  EXPECT_EQ(Text(list.At(0)->Value()), "1");
  EXPECT_EQ(list.At(2)->RealIdentity(), &null_variable);
  // Assigning through the list assigns to the named variable.
  list.At(0)->SetValue("changed", -1);
  EXPECT_EQ(Text(Resolve(&c, "first")->Value()), "changed");
  list.At(3)->SetValue("member", -1);
  EXPECT_EQ(Text(Resolve(&c, "second:m")->Value()), "member");
  list.Clear();
  EXPECT_EQ(BuildFieldList(&c, "ok, bad[x]", -1, &null_variable, &list, &error), -1);
  EXPECT_EQ(Text(error), "Array index must be positive integer");
  EXPECT_EQ(BuildFieldList(&c, " , ", -1, &null_variable, &list, &error), 0);
}

}  // namespace
}  // namespace pexo
