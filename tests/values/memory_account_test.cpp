// The request memory account and the classes that count into it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

#include "values/aggregate_index.h"
#include "values/link_buffer.h"
#include "values/memory_account.h"
#include "values/string.h"
#include "values/variable.h"

namespace pexo {
namespace {

constexpr int32_t kStop = 7;

class MemoryAccountTest : public ::testing::Test {
 protected:
  void SetUp() override { account_.SetStopFlag(&flag_, kStop); }

  MemoryAccount account_;
  std::atomic<int32_t> flag_{0};
};

TEST_F(MemoryAccountTest, LimitRaisesTheFlagAndRefusesPastTheHeadroom) {
  account_.SetLimit(1000);  // headroom: up to 1250
  struct Step {
    bool charge;  // Charge (refusable) or Count
    int64_t bytes;
    bool accepted;
    int64_t used;
    int32_t flag;
  } steps[] = {
      {true, 1000, true, 1000, 0},    // at the limit: fine
      {true, 200, true, 1200, kStop},  // past it, within the headroom
      {true, 100, false, 1200, kStop},  // past the headroom: refused, not counted
      {false, 100, true, 1300, kStop},  // memory already taken is counted
  };
  for (const Step& s : steps) {
    bool accepted = true;
    if (s.charge) accepted = account_.Charge(s.bytes);
    else account_.Count(s.bytes);
    EXPECT_EQ(accepted, s.accepted) << s.bytes;
    EXPECT_EQ(account_.used(), s.used) << s.bytes;
    EXPECT_EQ(flag_.load(), s.flag) << s.bytes;
  }
  EXPECT_TRUE(account_.exceeded());
  EXPECT_FALSE(account_.Allows(1));
}

TEST_F(MemoryAccountTest, WithoutLimitOnlyCountsAndMarksLargeRequests) {
  account_.SetLargeMark(100);
  EXPECT_TRUE(account_.Charge(99));
  EXPECT_FALSE(account_.Large());
  EXPECT_TRUE(account_.Charge(int64_t{1} << 40));
  EXPECT_TRUE(account_.Large());
  account_.Credit(int64_t{1} << 40);
  EXPECT_TRUE(account_.Large());  // stays: the request did hold that much
  EXPECT_EQ(flag_.load(), 0);
}

TEST_F(MemoryAccountTest, ValuesCountWhatTheyHoldAndGiveItBack) {
  MemoryAccountScope scope(&account_);
  {
    String text("hello");
    EXPECT_EQ(account_.used(), text.capacity());
    int32_t length = 0, capacity = 0;
    char* bytes = text.release(&length, &capacity);
    EXPECT_EQ(account_.used(), 0);  // out of the count with the buffer
    String taker;
    taker.adopt(bytes, length, capacity);
    EXPECT_EQ(account_.used(), capacity);
  }
  EXPECT_EQ(account_.used(), 0);

  Variable* array = new Variable("a");
  for (int32_t i = 1; i <= 1000; ++i) array->Element(AggregateIndex(i), 1)->SetValue("element");
  EXPECT_GT(account_.used(), 1000 * static_cast<int64_t>(sizeof(Variable)));
  array->Release();
  EXPECT_EQ(account_.used(), 0);

  {
    LinkBuffer buffer(16, 16);
    for (int i = 0; i < 100; ++i) buffer.append("0123456789", 10);
    int32_t length = 0;
    EXPECT_EQ(String(buffer.data(&length)).length(), 1000);
    EXPECT_GT(account_.used(), 1000);
  }
  EXPECT_EQ(account_.used(), 0);
}

// Elements live in storage their aggregate keeps for reuse: churning
// members does not grow the count, emptying the aggregate gives all of it
// back, and filling past the limit still stops the request.
TEST_F(MemoryAccountTest, ElementStorageIsReusedCountedAndGivenBack) {
  MemoryAccountScope scope(&account_);
  Variable* record = new Variable("r");
  record->MakeAggregate(kKindStructure);
  int64_t bare = account_.used();
  const char* names[] = {"alpha", "Beta", "gamma", "DELTA", "epsilon"};
  auto churn = [&] {
    for (const char* name : names) record->Element(AggregateIndex(name, -1), 1)->SetValue("v");
    for (int i = 0; i < 3; ++i) record->Delete_Element(AggregateIndex(names[i], -1), 0);
  };
  churn();
  int64_t settled = account_.used();
  for (int round = 0; round < 50; ++round) churn();
  EXPECT_EQ(account_.used(), settled);
  for (const char* name : names) record->Delete_Element(AggregateIndex(name, -1), 0);
  EXPECT_EQ(record->ElementsUsed(), 0);
  EXPECT_EQ(account_.used(), bare);
  record->Release();
  EXPECT_EQ(account_.used(), 0);

  account_.SetLimit(64 * 1024);
  Variable* array = new Variable("a");
  for (int32_t i = 1; i <= 2000 && !account_.exceeded(); ++i)
    array->Element(AggregateIndex(i), 1)->SetValue_Integer(i);
  EXPECT_TRUE(account_.exceeded());
  EXPECT_EQ(flag_.load(), kStop);
  array->Delete_Array_Elements(1, -1, 0);
  array->Release();
  EXPECT_EQ(account_.used(), 0);
}

TEST_F(MemoryAccountTest, RefusedGrowthLeavesTextsWhole) {
  MemoryAccountScope scope(&account_);
  account_.SetLimit(4096);
  String text("abc");
  std::string big(8192, 'x');
  EXPECT_FALSE(text.append(big.data(), static_cast<int32_t>(big.size())));
  EXPECT_EQ(text, String("abc"));
  EXPECT_EQ(flag_.load(), kStop);

  // A join the account refuses hands out no partial text.
  flag_ = 0;
  account_.SetLimit(0);
  LinkBuffer buffer(2048, 2048);
  buffer.append(big.data(), 2000);
  buffer.append(big.data(), 2000);  // a second chunk
  account_.SetLimit(account_.used());  // no room left for the joined copy
  int32_t length = -1;
  EXPECT_STREQ(buffer.data(&length), "");
  EXPECT_EQ(length, 0);
  EXPECT_EQ(flag_.load(), kStop);
}

TEST_F(MemoryAccountTest, TextPastTheLargestLengthIsAnErrorNotATruncation) {
  MemoryAccountScope scope(&account_);
  String text("ab");
  // The length check comes before any byte is read, so no 2 GiB are needed.
  EXPECT_FALSE(text.append("c", INT32_MAX - 2));
  EXPECT_EQ(text, String("ab"));
  EXPECT_EQ(flag_.load(), kStop);  // stops the request even without a limit
  flag_ = 0;
  EXPECT_TRUE(text.append("c", 1));
  EXPECT_EQ(flag_.load(), 0);
}

}  // namespace
}  // namespace pexo
