#include <gtest/gtest.h>

#include <sys/time.h>

#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "values/cloned_variable_hash.h"
#include "values/config.h"
#include "values/dictionary.h"
#include "values/aggregate_index.h"
#include "values/aggregate_tree.h"
#include "values/configuration_variables.h"
#include "values/system_variable_hash.h"
#include "values/system_variables.h"
#include "values/time_variables.h"
#include "values/variable.h"
#include "values/variable_list.h"

namespace pexo {
namespace {

std::string Str(const String& s) { return std::string(s.data(), static_cast<size_t>(s.length())); }

class FakeHost : public SystemVariableHost {
 public:
  const String& Setting(int32_t setting) override { return settings.Get(setting); }
  void SetSetting(int32_t setting, const char* text, int32_t length) override {
    settings.Set(setting, text, length);
  }
  int32_t SettingChanges(int32_t setting) override { return settings.Changes(setting); }
  int32_t SSLAvailable() override {
    ++ssl_reads;
    return 1;
  }
  const String& ProcessName() override { return process_name; }
  const volatile int64_t* GlobalDeadline() override { return &deadline; }
  bool Library(int32_t kind, int32_t index, String* name, String* value) override {
    if (kind != LIBRARIES_COMMERCE || index < 0 || index >= static_cast<int32_t>(shops.size()))
      return false;
    name->assign(shops[static_cast<size_t>(index)].first.c_str());
    value->assign(shops[static_cast<size_t>(index)].second.c_str());
    return true;
  }

  RequestSettings settings;
  String process_name{"worker-7"};
  volatile int64_t deadline = 0;
  int ssl_reads = 0;
  std::vector<std::pair<std::string, std::string>> shops = {{"SHOP", "/lib/shop.so"},
                                                            {"PAY", "/lib/pay.so"}};
};

// Every case runs twice: variables filled at once, and deferred until used.
class SystemVariablesTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    // Sunday 3 March 2024, 12:34:56.123456 UTC.
    struct tm t = {};
    t.tm_year = 124;
    t.tm_mon = 2;
    t.tm_mday = 3;
    t.tm_hour = 12;
    t.tm_min = 34;
    t.tm_sec = 56;
    start_.tv_sec = timegm(&t);
    start_.tv_usec = 123456;
    ASSERT_TRUE(Fill(&scope_));
  }
  bool Fill(SystemVariableHash* scope) {
    String error;
    bool ok = GetParam() ? deferred_.Fill(scope, &config_, &host_, start_, &error)
                         : FillSystemVariables(scope, &config_, &host_, start_, &error);
    EXPECT_TRUE(ok) << error.c_str();
    return ok;
  }
  Variable* Get(const char* name) {
    Variable* v = nullptr;
    EXPECT_TRUE(scope_.Find(name, -1, false, &v)) << name;
    return v;
  }
  Variable* Member(Variable* v, const char* name) {
    return v->Element(AggregateIndex(name, -1), 0);
  }

  struct timeval start_ = {};
  Config config_;
  FakeHost host_;
  Dictionary names_;
  DeferredSystemVariables deferred_;
  SystemVariableHash scope_{12, &names_, false};
};

INSTANTIATE_TEST_SUITE_P(FilledAndDeferred, SystemVariablesTest, ::testing::Bool());

TEST_P(SystemVariablesTest, NamesInInsertionOrder) {
  const char* expected[] = {
      "time_t", "tm_usec", "tm_sec", "tm_min", "tm_hour", "tm_mday", "tm_mon", "stm_mon",
      "tm_year", "tm_wday", "stm_wday", "tm_yday", "tm_isdst", "stm_zone", "globaltimeout",
      "pexoversion", "dyn_time_t", "dyn_tm_usec", "dyn_tm_sec", "dyn_tm_min", "dyn_tm_hour",
      "dyn_tm_mday", "dyn_tm_mon", "dyn_stm_mon", "dyn_tm_year", "dyn_tm_wday", "dyn_stm_wday",
      "dyn_tm_yday", "dyn_tm_isdst", "dyn_stm_zone", "dyn_time_remaining", "pexo_language",
      "pexo_defaultlanguage", "pexo_defaultdatabase", "pexo_charset", "pexo_sslavailable",
      "pexo_config", "process_name"};
  ASSERT_EQ(scope_.Entries(), static_cast<int32_t>(sizeof expected / sizeof expected[0]));
  for (int32_t i = 0; i < scope_.Entries(); ++i) {
    int32_t length = 0;
    const char* name = scope_.EntryName(i, &length);
    EXPECT_EQ(std::string(name, static_cast<size_t>(length)), expected[i]) << i;
    Variable* v = scope_.VariableAt(i, false);
    ASSERT_NE(v, nullptr) << i;
    EXPECT_EQ(Str(v->Name()), expected[i]);
  }
}

TEST_P(SystemVariablesTest, StartTimeOnASundayInMarch) {
  struct Case {
    const char* name;
    int32_t type;
    const char* text;
  };
  std::string seconds = std::to_string(start_.tv_sec);
  const Case cases[] = {
      {"time_t", kTypeInteger, seconds.c_str()}, {"tm_usec", kTypeInteger, "123456"},
      {"tm_sec", kTypeInteger, "56"},           {"tm_min", kTypeInteger, "34"},
      {"tm_hour", kTypeInteger, "12"},          {"tm_mday", kTypeInteger, "3"},
      {"tm_mon", kTypeInteger, "3"},            {"stm_mon", kTypeText, "Mar"},
      {"tm_year", kTypeInteger, "2024"},        {"tm_wday", kTypeInteger, "1"},
      {"stm_wday", kTypeText, "Sun"},           {"tm_yday", kTypeInteger, "63"},
      {"tm_isdst", kTypeInteger, "0"},          {"stm_zone", kTypeText, "UTC"},
      {"pexoversion", kTypeText, "5.52"},       {"globaltimeout", kTypeInteger, "90"},
  };
  for (const Case& c : cases) {
    Variable* v = Get(c.name);
    ASSERT_NE(v, nullptr) << c.name;
    EXPECT_EQ(v->Type(), c.type) << c.name;
    EXPECT_EQ(Str(v->Value()), c.text) << c.name;
  }
}

TEST_P(SystemVariablesTest, FixedVariablesAreImmutableAndStable) {
  Variable* usec = Get("tm_usec");
  usec->SetValue_Integer(5);
  Get("pexoversion")->SetValue("6.0");
  EXPECT_EQ(usec->Value_Integer(), 123456);
  EXPECT_EQ(Str(Get("pexoversion")->Value()), "5.52");
  EXPECT_EQ(usec->Value_Integer(), usec->Value_Integer());
}

TEST_P(SystemVariablesTest, LiveClockVariables) {
  Variable* usec = Get("dyn_tm_usec");
  int32_t first = usec->Value_Integer();
  bool changed = false;
  for (int i = 0; i < 100000 && !changed; ++i) changed = usec->Value_Integer() != first;
  EXPECT_TRUE(changed);

  time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  EXPECT_LE(std::llabs(Get("dyn_time_t")->Value_Integer() - static_cast<long long>(now)), 2);
  EXPECT_EQ(Get("dyn_tm_year")->Value_Integer(), local.tm_year + 1900);
  EXPECT_EQ(Get("dyn_tm_wday")->Value_Integer(), local.tm_wday + 1);
  EXPECT_EQ(Get("dyn_tm_yday")->Value_Integer(), local.tm_yday + 1);
  EXPECT_EQ(Get("dyn_tm_mon")->Type(), kTypeInteger);
  const char* months = "JanFebMarAprMayJunJulAugSepOctNovDec";
  EXPECT_EQ(Str(Get("dyn_stm_mon")->Value()), std::string(months + 3 * local.tm_mon, 3));
  EXPECT_EQ(Get("dyn_stm_wday")->Type(), kTypeText);
  EXPECT_EQ(Str(Get("dyn_stm_zone")->Value()), "UTC");
  Get("dyn_tm_sec")->SetValue_Integer(99);  // ignored
  EXPECT_LT(Get("dyn_tm_sec")->Value_Integer(), 61);
}

TEST_P(SystemVariablesTest, TimeRemaining) {
  Variable* left = Get("dyn_time_remaining");
  EXPECT_EQ(left->Value_Integer(), -1);  // no deadline
  host_.deadline = time(nullptr) + 100;
  EXPECT_GE(left->Value_Integer(), 98);
  EXPECT_LE(left->Value_Integer(), 100);
  host_.deadline = time(nullptr) - 5;
  EXPECT_EQ(left->Value_Integer(), 0);
  EXPECT_EQ(TimeRemainingVariable::Remaining(0, 50), -1);
  EXPECT_EQ(TimeRemainingVariable::Remaining(50, 50), 0);
  EXPECT_EQ(TimeRemainingVariable::Remaining(60, 50), 10);
}

TEST_P(SystemVariablesTest, SettingVariablesAcceptAssignments) {
  Variable* language = Get("pexo_language");
  EXPECT_EQ(Str(language->Value()), "");
  language->SetValue("de");
  EXPECT_EQ(Str(host_.settings.Get(SETTING_LANGUAGE)), "de");
  EXPECT_EQ(host_.settings.Changes(SETTING_LANGUAGE), 1);
  EXPECT_EQ(Str(language->Value()), "de");
  // A change made by the host (an extension) shows on the next read.
  host_.SetSetting(SETTING_LANGUAGE, "fr", 2);
  EXPECT_EQ(Str(language->Value()), "fr");

  Variable* charset = Get("pexo_charset");
  charset->SetValue_Integer(1252);
  EXPECT_EQ(Str(host_.settings.Get(SETTING_CHARACTER_SET)), "1252");
  Variable source;
  source.SetValue("sales");
  Get("pexo_defaultdatabase")->SetValue_Variable(&source);
  EXPECT_EQ(Str(host_.settings.Get(SETTING_DEFAULT_DATABASE)), "sales");
  Get("pexo_defaultlanguage")->SetValue_Variable(language);
  EXPECT_EQ(Str(host_.settings.Get(SETTING_DEFAULT_LANGUAGE)), "fr");
  EXPECT_EQ(Str(Get("pexo_defaultlanguage")->Value()), "fr");
  EXPECT_EQ(host_.settings.Changes(SETTING_LANGUAGE), 2);  // untouched by the others
}

TEST_P(SystemVariablesTest, SslAndProcessNameAreReadOnce) {
  Variable* ssl = Get("pexo_sslavailable");
  EXPECT_EQ(ssl->Value_Integer(), 1);
  EXPECT_EQ(ssl->Type(), kTypeInteger);
  ssl->Value_Integer();
  EXPECT_EQ(host_.ssl_reads, 1);
  EXPECT_EQ(Str(Get("process_name")->Value()), "worker-7");
  host_.process_name.assign("changed");
  EXPECT_EQ(Str(Get("process_name")->Value()), "worker-7");
}

TEST_P(SystemVariablesTest, ConfigurationStructure) {
  Variable* pc = Get("pexo_config");
  ASSERT_EQ(pc->AggregateKind(), kKindStructure);
  int32_t keys = 0;
  for (const ConfigKeyName* k = ConfigKeys(); k->name; ++k) {
    ++keys;
    Variable* m = Member(pc, k->name);
    ASSERT_NE(m, nullptr) << k->name;
    EXPECT_EQ(m->ClassCode(), (k->key & CONFIG_STRING) ? 4 : 3) << k->name;
  }
  EXPECT_EQ(keys, 56);
  EXPECT_EQ(pc->Aggregate()->Count(), keys + 6);
  EXPECT_EQ(Member(pc, "dir_pexo"), Member(pc, "DIR_PEXO"));  // names ignore case

  Variable* timeout = Member(pc, "timeout_global");
  EXPECT_EQ(Str(timeout->Value()), Str(Get("globaltimeout")->Value()));
  EXPECT_EQ(Str(Member(pc, "max_post_vars")->Value()), "2000");
  EXPECT_EQ(Str(Member(pc, "max_request_memory")->Value()), "256");
  EXPECT_EQ(Str(Member(pc, "default_file")->Value()), "index.pxc");
  EXPECT_EQ(Str(Member(pc, "dir_data")->Value()), "");
  // Members read the live configuration.
  config_.SetInteger(CFG_TIMEOUT_GLOBAL, 15);
  config_.SetString(CFG_DIR_DATA, "/srv/data", -1);
  EXPECT_EQ(timeout->Value_Integer(), 15);
  EXPECT_EQ(Str(timeout->Value()), "15");
  EXPECT_EQ(Str(Member(pc, "dir_data")->Value()), "/srv/data");
  // Immutable: assignments and new members are refused.
  timeout->SetValue("1");
  EXPECT_EQ(timeout->Value_Integer(), 15);
  EXPECT_TRUE(pc->Element(AggregateIndex("nosuch", -1), 1)->IsNULL());
  EXPECT_EQ(pc->Aggregate()->Count(), keys + 6);
}

TEST_P(SystemVariablesTest, ConfigurationKeyWithoutValueReadsZero) {
  ConfigurationVariable* v = new ConfigurationVariable(&config_, 0x1000077, "unknown");
  EXPECT_EQ(v->Value_Integer(), 0);
  EXPECT_EQ(Str(v->Value()), "0");
  v->Release();
  ConfigurationVariable* t = new ConfigurationVariable(&config_, 0x2000077, "unknown");
  EXPECT_EQ(Str(t->Value()), "");
  t->Release();
}

TEST_P(SystemVariablesTest, LibraryListsAndLookups) {
  Variable* pc = Get("pexo_config");
  Variable* list = Member(pc, "commerce_list");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->AggregateKind(), kKindArray);
  EXPECT_EQ(Str(list->Element(AggregateIndex(1), 0)->Value()), "SHOP");
  EXPECT_EQ(Str(list->Element(AggregateIndex(2), 0)->Value()), "PAY");
  EXPECT_EQ(list->Element(AggregateIndex(3), 0), nullptr);
  Variable* lookup = Member(pc, "commerce_lookup");
  EXPECT_EQ(lookup->AggregateKind(), kKindStructure);
  EXPECT_EQ(Str(Member(lookup, "pay")->Value()), "/lib/pay.so");
  Variable* empty = Member(pc, "database_list");
  EXPECT_EQ(empty->AggregateKind(), kKindArray);
  EXPECT_EQ(empty->Aggregate()->Count(), 0);
  EXPECT_NE(Member(pc, "systemlib_lookup"), nullptr);
  // Computed once: a later registration does not show.
  host_.shops.push_back({"LATE", "/lib/late.so"});
  EXPECT_EQ(list->Aggregate()->Count(), 2);
}

TEST_P(SystemVariablesTest, DeclaredNameKeepsItsEntryAndListingFollowsEntries) {
  Dictionary names;
  SystemVariableHash scope(12, &names, false);
  ASSERT_EQ(scope.InsertName("TM_MIN", -1), 0);
  ASSERT_TRUE(Fill(&scope));
  EXPECT_EQ(scope.Entries(), scope_.Entries());
  Variable* declared = scope.VariableAt(0, false);
  ASSERT_NE(declared, nullptr);
  EXPECT_EQ(Str(declared->Name()), "tm_min");
  EXPECT_EQ(Str(declared->Value()), "34");
  VariableList list;
  scope.ForEach(&list);
  ASSERT_EQ(list.Count(), scope.Entries());
  for (int32_t i = 0; i < list.Count(); ++i) EXPECT_EQ(list.At(i), scope.VariableAt(i, false));
}

TEST_P(SystemVariablesTest, ReplacedUnderALevelComesBack) {
  scope_.PushLevel();
  Variable* own = new Variable("tm_sec");
  own->SetValue("x");
  scope_.InsertVariable(own);
  own->Release();
  EXPECT_EQ(Str(Get("tm_sec")->Value()), "x");
  ASSERT_EQ(scope_.PopLevel(), 1);
  EXPECT_EQ(Str(Get("tm_sec")->Value()), "56");
  EXPECT_EQ(Get("tm_sec")->Type(), kTypeInteger);

  // Replaced at level 0 the engine's variable is gone for good.
  Variable* plain = new Variable("stm_mon");
  scope_.ReplaceVariable(plain);
  plain->Release();
  EXPECT_EQ(Get("stm_mon"), plain);
  EXPECT_TRUE(Get("stm_mon")->IsNULL());
}

TEST_P(SystemVariablesTest, CopiedScopeHasTheValues) {
  std::unique_ptr<VariableHash> copy(CloneVariableHash(&scope_, &names_, true));
  ASSERT_NE(copy, nullptr);
  Variable* v = nullptr;
  ASSERT_TRUE(copy->Find("tm_mday", -1, false, &v));
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(Str(v->Value()), "3");
  ASSERT_TRUE(copy->Find("pexoversion", -1, false, &v));
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(Str(v->Value()), "5.52");
}

}  // namespace
}  // namespace pexo
