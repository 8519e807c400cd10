#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "values/dictionary.h"
#include "values/hash_table.h"
#include "values/link_buffer.h"
#include "values/lookup2.h"
#include "values/string.h"

namespace pexo {
namespace {

TEST(String, HoldsZeroBytesAndStaysTerminated) {
  String s("a\0b", 3);
  EXPECT_EQ(s.length(), 3);
  EXPECT_EQ(std::memcmp(s.data(), "a\0b", 3), 0);
  EXPECT_EQ(s.data()[3], 0);
  s.append("cd", -1);
  EXPECT_EQ(s.length(), 5);
  EXPECT_STREQ(s.c_str() + 2, "bcd");
  s.append(s.data(), s.length());  // appending itself
  EXPECT_EQ(s.length(), 10);
  EXPECT_EQ(std::memcmp(s.data() + 5, "a\0bcd", 5), 0);
}

TEST(String, AdoptAndReleaseTransferMallocOwnership) {
  char* raw = static_cast<char*>(std::malloc(3));
  std::memcpy(raw, "xyz", 3);
  String s;
  s.adopt(raw, 3, 3);  // no room for the zero byte: grown by one
  EXPECT_STREQ(s.c_str(), "xyz");
  int32_t length = 0, capacity = 0;
  char* out = s.release(&length, &capacity);
  EXPECT_EQ(length, 3);
  EXPECT_GT(capacity, 3);
  EXPECT_TRUE(s.empty());
  std::free(out);
}

// A reader fills the room prepare() gives; commit() adds only what was
// written and never past the room.
TEST(String, PrepareAndCommitFillInPlace) {
  String s("ab");
  char* room = s.prepare(4);
  ASSERT_NE(room, nullptr);
  std::memcpy(room, "cdef", 4);
  s.commit(3);
  EXPECT_EQ(std::string(s.data(), s.length()), "abcde");
  EXPECT_EQ(s.data()[s.length()], 0);
  s.commit(s.capacity());  // more than the room: ignored
  EXPECT_EQ(s.length(), 5);
  EXPECT_EQ(s.prepare(-1), nullptr);
  EXPECT_EQ(s.prepare(INT32_MAX), nullptr);
  EXPECT_EQ(s.length(), 5);
}

TEST(String, CaseInsensitiveOrderPutsPrefixFirst) {
  EXPECT_EQ(compare_nocase("ABC", 3, "abc", 3), 0);
  EXPECT_LT(compare_nocase("ab", 2, "ABC", 3), 0);
  EXPECT_GT(compare_nocase("b", 1, "A", 1), 0);
}

TEST(String, CaseInsensitiveOrderFoldsEveryByteLikeTolower) {
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) {
      char x[2] = {'k', static_cast<char>(a)};
      char y[2] = {'k', static_cast<char>(b)};
      int want = std::tolower(a) - std::tolower(b);
      int got = compare_nocase(x, 2, y, 2);
      ASSERT_EQ(got < 0, want < 0) << a << " " << b;
      ASSERT_EQ(got > 0, want > 0) << a << " " << b;
    }
  }
}

// The inline form must give compare_nocase's exact value (not only its
// sign) for every byte pair, wherever the pair stands and whatever follows.
TEST(String, InlineCaseInsensitiveOrderMatchesTheLibraryForm) {
  struct Shape {
    const char* prefix_a;
    const char* prefix_b;
    const char* suffix_a;
    const char* suffix_b;
  };
  const Shape shapes[] = {{"", "", "", ""},
                          {"mK", "mK", "", ""},
                          {"m", "m", "x", "yz"},
                          {"Zz", "zZ", "A", "a"}};
  for (const Shape& shape : shapes) {
    for (int a = 0; a < 256; ++a) {
      for (int b = 0; b < 256; ++b) {
        std::string x = std::string(shape.prefix_a) + static_cast<char>(a) + shape.suffix_a;
        std::string y = std::string(shape.prefix_b) + static_cast<char>(b) + shape.suffix_b;
        int32_t xl = static_cast<int32_t>(x.size());
        int32_t yl = static_cast<int32_t>(y.size());
        ASSERT_EQ(compare_nocase_inline(x.data(), xl, y.data(), yl),
                  compare_nocase(x.data(), xl, y.data(), yl))
            << shape.prefix_a << " " << a << " " << b;
      }
    }
  }
  EXPECT_EQ(compare_nocase_inline("ab", 2, "AB", 2), 0);
  EXPECT_LT(compare_nocase_inline("ab", 2, "abc", 3), 0);
  EXPECT_GT(compare_nocase_inline("abc", 3, "AB", 2), 0);
  EXPECT_EQ(compare_nocase_inline("", 0, "", 0), 0);
}

// The published reference form of lookup2, written with the original macro,
// to check the engine's version byte for byte over every tail length.
#define REF_MIX(a, b, c)                    \
  {                                         \
    a -= b; a -= c; a ^= (c >> 13);         \
    b -= c; b -= a; b ^= (a << 8);          \
    c -= a; c -= b; c ^= (b >> 13);         \
    a -= b; a -= c; a ^= (c >> 12);         \
    b -= c; b -= a; b ^= (a << 16);         \
    c -= a; c -= b; c ^= (b >> 5);          \
    a -= b; a -= c; a ^= (c >> 3);          \
    b -= c; b -= a; b ^= (a << 10);         \
    c -= a; c -= b; c ^= (b >> 15);         \
  }
uint32_t reference_hash(const unsigned char* k, uint32_t length, uint32_t initval) {
  uint32_t a = 0x9e3779b9, b = 0x9e3779b9, c = initval, len = length;
  while (len >= 12) {
    a += (k[0] + ((uint32_t)k[1] << 8) + ((uint32_t)k[2] << 16) + ((uint32_t)k[3] << 24));
    b += (k[4] + ((uint32_t)k[5] << 8) + ((uint32_t)k[6] << 16) + ((uint32_t)k[7] << 24));
    c += (k[8] + ((uint32_t)k[9] << 8) + ((uint32_t)k[10] << 16) + ((uint32_t)k[11] << 24));
    REF_MIX(a, b, c);
    k += 12;
    len -= 12;
  }
  c += length;
  if (len >= 11) c += ((uint32_t)k[10] << 24);
  if (len >= 10) c += ((uint32_t)k[9] << 16);
  if (len >= 9) c += ((uint32_t)k[8] << 8);
  if (len >= 8) b += ((uint32_t)k[7] << 24);
  if (len >= 7) b += ((uint32_t)k[6] << 16);
  if (len >= 6) b += ((uint32_t)k[5] << 8);
  if (len >= 5) b += k[4];
  if (len >= 4) a += ((uint32_t)k[3] << 24);
  if (len >= 3) a += ((uint32_t)k[2] << 16);
  if (len >= 2) a += ((uint32_t)k[1] << 8);
  if (len >= 1) a += k[0];
  REF_MIX(a, b, c);
  return c;
}

TEST(Lookup2, MatchesReferenceAndFoldsCase) {
  unsigned char bytes[40];
  for (int i = 0; i < 40; ++i) bytes[i] = static_cast<unsigned char>(i * 37 + 200);
  for (uint32_t n = 0; n <= 40; ++n)
    EXPECT_EQ(lookup2(bytes, n, 7), reference_hash(bytes, n, 7)) << n;
  EXPECT_EQ(lookup2_nocase("Hello", 5), lookup2("hello", 5, 0));
  EXPECT_EQ(lookup2_nocase("ABCDEFGHIJKLMNOP", 16), lookup2("abcdefghijklmnop", 16, 0));
  EXPECT_NE(lookup2("a", 1, 0), lookup2("b", 1, 0));
}

TEST(LinkBuffer, GrowsByChunksAndJoins) {
  LinkBuffer buffer(4, 8);
  buffer.append("abc", 3);
  buffer.append("defghij", 7);  // fills the first chunk, opens one of 8
  EXPECT_EQ(buffer.chunk_count(), 2);
  buffer.prepend(">", 1);
  buffer.append_hex(10);
  buffer.append_int(-42);
  int32_t length = 0;
  EXPECT_STREQ(buffer.data(&length), ">abcdefghij0A-42");
  EXPECT_EQ(length, 16);
  int32_t size = 0;
  char* text = buffer.release(&length, &size, 10);
  EXPECT_GE(size, length + 10);
  EXPECT_TRUE(buffer.empty());
  std::free(text);
  text = buffer.release(&length, &size);
  EXPECT_EQ(length, 0);
  EXPECT_EQ(size, 1);
  std::free(text);
}

TEST(LinkBuffer, MoveAppendTakesChunks) {
  LinkBuffer left(8, 8), right(8, 8);
  left.append("left", 4);
  right.append("right", 5);
  left.append_buffer(right, true);
  EXPECT_TRUE(right.empty());
  EXPECT_STREQ(left.data(), "leftright");
}

TEST(HashTable, ChainsStopEarlyAndFoldCase) {
  HashTable<int> table(true, true, 2, 2);  // 4 buckets: plenty of collisions
  const char* names[] = {"alpha", "Beta", "gamma", "delta", "pi", "x", "epsilonz"};
  for (int i = 0; i < 7; ++i) table.insert(names[i], -1, new int(i));
  for (int i = 0; i < 7; ++i) {
    std::string upper(names[i]);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    ASSERT_NE(table.find(upper.c_str()), nullptr) << names[i];
    EXPECT_EQ(*table.find(upper.c_str()), i);
  }
  EXPECT_EQ(table.find("omega"), nullptr);
  EXPECT_EQ(table.find_index("BETA"), 1);
  EXPECT_EQ(table.name_at(1).c_str(), std::string("Beta"));
}

// The heads grow while names are added; every name stays found, a name
// added twice finds its first entry, and misses stay misses.
TEST(HashTable, FindsEveryNameWhileTheHeadsGrow) {
  HashTable<int> table(true, true, 12, 16);
  for (int i = 0; i < 3000; ++i) {
    std::string name = "Name" + std::to_string(i);
    table.insert(name.c_str(), -1, new int(i));
    if (i % 97 == 0) table.insert(("name" + std::to_string(i / 2)).c_str(), -1, new int(-1));
  }
  for (int i = 0; i < 3000; ++i) {
    std::string name = "NAME" + std::to_string(i);
    ASSERT_NE(table.find(name.c_str()), nullptr) << name;
    EXPECT_GE(*table.find(name.c_str()), 0) << name;  // the first of a pair
  }
  EXPECT_EQ(table.find("Name3000"), nullptr);
  HashTable<int> single(true, true, 0, 4);  // one head, never grown
  single.insert("a", -1, new int(1));
  single.insert("B", -1, new int(2));
  EXPECT_EQ(*single.find("b"), 2);
}

TEST(Dictionary, AddReusesBytesOfTheCurrentBlock) {
  Dictionary dict;
  int32_t hello = dict.add("hello world", -1);
  int32_t world = dict.add("world", -1);
  EXPECT_EQ(hello, 0);
  EXPECT_EQ(world, 1);
  int32_t length = 0;
  const char* a = dict.get(hello, &length);
  const char* b = dict.get(world, &length);
  EXPECT_EQ(length, 5);
  EXPECT_EQ(b, a + 6);  // shares the bytes of the first entry
  EXPECT_EQ(dict.get(2, &length), nullptr);
  EXPECT_EQ(length, 0);
  EXPECT_EQ(dict.get(-1, &length), nullptr);
}

TEST(Dictionary, AppendNeverSharesBytesButNumbersLikeAdd) {
  Dictionary dict;
  int32_t hello = dict.append("hello world", -1);
  int32_t world = dict.append("world", -1);
  EXPECT_EQ(hello, 0);
  EXPECT_EQ(world, 1);
  int32_t length = 0;
  const char* a = dict.get(hello, &length);
  const char* b = dict.get(world, &length);
  EXPECT_EQ(std::string(b, static_cast<size_t>(length)), "world");
  EXPECT_EQ(b, a + 11);  // placed after the first text, not inside it
  // A text that no longer fits opens a block of its own.
  std::string big(TF_DATA_BLOCK_SIZE, 'z');
  int32_t last = dict.append(big.data(), static_cast<int32_t>(big.size()));
  EXPECT_EQ(last, 2);
  EXPECT_EQ(std::string(dict.get(last, &length), 3), "zzz");
  EXPECT_EQ(length, TF_DATA_BLOCK_SIZE);
  EXPECT_EQ(dict.add("world", -1), 3);
}

TEST(Dictionary, LongTextsOpenNewBlocks) {
  Dictionary dict;
  std::string big(20000, 'x');
  big[19999] = 'y';
  dict.add("small", -1);
  int32_t index = dict.add(big.data(), static_cast<int32_t>(big.size()));
  int32_t length = 0;
  const char* text = dict.get(index, &length);
  EXPECT_EQ(length, 20000);
  EXPECT_EQ(text[19999], 'y');
  Dictionary copy(dict);
  EXPECT_EQ(std::string(copy.get(0, &length), 5), "small");
}

TEST(ShiftSearch, FindsLeftmostOccurrence) {
  EXPECT_EQ(shift_search("xxabcxxabc", 10, "abc", 3), 2);
  EXPECT_EQ(shift_search("xxabcxx", 7, "ABC", 3), -1);
  EXPECT_EQ(shift_search("xxabcxx", 7, "ABC", 3, true), 2);
  EXPECT_EQ(shift_search("x", 1, "", 0), 0);
  EXPECT_EQ(shift_search("ab", 2, "abc", 3), -1);
  EXPECT_EQ(shift_search("a\0bab\0c", 7, "b\0c", 3), 4);  // bytes, not C strings
  EXPECT_EQ(shift_search("xAc\0aB\0", 7, "AB\0", 3, true), 4);
}

}  // namespace
}  // namespace pexo
