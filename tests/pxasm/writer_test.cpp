#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "compiled_file.h"
#include "program/program_writer.h"
#include "program/tagged_file.h"
#include "values/lookup2.h"
#include "values/string.h"

namespace pexo {
namespace {

using testing::I16;
using testing::I32;
using testing::Section;
using testing::U32;
using testing::U8;

std::string BuildOrFail(const ProgramWriter& w) {
  std::string out;
  String error;
  EXPECT_TRUE(w.build(&out, &error)) << error.c_str();
  return out;
}

TEST(ProgramWriter, HeaderAndDirectoryFollowTheSectionBodies) {
  ProgramWriter w;
  w.add_segment();
  std::string f = BuildOrFail(w);
  EXPECT_EQ(f.substr(0, 4), "Pexo");
  EXPECT_EQ(I32(f, 4), 65549);
  EXPECT_EQ(f.substr(8, 16), std::string(16, '\0'));
  uint32_t dir = U32(f, 24), entries = U32(f, 28);
  EXPECT_EQ(entries, 7u);  // no languages, so no index sections
  EXPECT_EQ(dir + entries * 12, f.size());
  // Sections are contiguous from byte 32 up to the directory.
  uint32_t expected_offset = 32;
  std::vector<std::string> codes;
  for (uint32_t i = 0; i < entries; ++i) {
    codes.push_back(f.substr(dir + i * 12, 4));
    EXPECT_EQ(U32(f, dir + i * 12 + 4), expected_offset);
    expected_offset += U32(f, dir + i * 12 + 8);
  }
  EXPECT_EQ(expected_offset, dir);
  for (const char* code : {"dict", "syst", "glbl", "locl", "locd", "segs", "func"}) {
    EXPECT_NE(std::find(codes.begin(), codes.end(), code), codes.end()) << code;
  }
}

TEST(ProgramWriter, DictionaryDeduplicatesAndKeepsEmptyStringsValid) {
  ProgramWriter w;
  EXPECT_EQ(w.intern("", 0), 0);
  EXPECT_EQ(w.intern("abc"), 1);
  EXPECT_EQ(w.intern("a\0c", 3), 2);
  EXPECT_EQ(w.intern("abc"), 1);
  EXPECT_EQ(w.intern("ABC"), 3);  // strings are case-sensitive
  w.set_dictionary_flags(1);
  std::string d = Section(BuildOrFail(w), "dict");
  ASSERT_EQ(U32(d, 0), 4u);
  int32_t data_size = I32(d, 4);
  EXPECT_EQ(data_size, 9);
  EXPECT_EQ(U32(d, 8), 1u);
  for (int i = 0; i < 4; ++i) {
    int32_t off = I32(d, 12 + i * 8), size = I32(d, 16 + i * 8);
    EXPECT_GE(off, 0);
    EXPECT_LE(off, data_size - 1) << i;
    EXPECT_LE(off + size, data_size) << i;
  }
  EXPECT_EQ(testing::DictString(BuildOrFail(w), 2), std::string("a\0c", 3));

  // Only the empty string: a data byte must exist for its offset to be valid.
  ProgramWriter empty;
  empty.intern("", 0);
  d = Section(BuildOrFail(empty), "dict");
  EXPECT_EQ(I32(d, 4), 1);
  EXPECT_EQ(I32(d, 12), 0);
  EXPECT_EQ(I32(d, 16), 0);
}

// Reads a name hash at `at`; returns the position after it.
struct Hash {
  int32_t bits;
  std::vector<int32_t> slots;  // by slot, -1 empty
  std::vector<int32_t> names, next;
};
size_t ReadHash(const std::string& s, size_t at, Hash* h) {
  int32_t buckets = I16(s, at);
  h->bits = U8(s, at + 2);
  uint32_t count = U32(s, at + 3);
  h->slots.assign(static_cast<size_t>(1u << h->bits), -1);
  at += 7;
  int32_t last = -1;
  for (int32_t i = 0; i < buckets; ++i, at += 6) {
    int32_t slot = I16(s, at);
    EXPECT_GT(slot, last) << "bucket records in slot order";
    last = slot;
    EXPECT_LT(static_cast<size_t>(slot), h->slots.size());
    if (static_cast<size_t>(slot) < h->slots.size()) h->slots[static_cast<size_t>(slot)] = I32(s, at + 2);
  }
  for (uint32_t i = 0; i < count; ++i, at += 8) {
    h->names.push_back(I32(s, at));
    h->next.push_back(I32(s, at + 4));
  }
  return at;
}

// Every name sits in the chain of its slot, in length-then-nocase order.
void ExpectChains(const std::string& file, const Hash& h) {
  size_t seen = 0;
  uint32_t mask = (1u << h.bits) - 1;
  for (size_t slot = 0; slot < h.slots.size(); ++slot) {
    std::string previous;
    bool first = true;
    for (int32_t n = h.slots[slot]; n != -1; n = h.next[static_cast<size_t>(n)]) {
      ASSERT_LT(static_cast<size_t>(n), h.names.size());
      ++seen;
      ASSERT_LE(seen, h.names.size()) << "chain loops";
      std::string name = testing::DictString(file, h.names[static_cast<size_t>(n)]);
      EXPECT_EQ(lookup2_nocase(name.data(), static_cast<uint32_t>(name.size())) & mask, slot) << name;
      if (!first) {
        bool ordered = previous.size() < name.size() ||
                       (previous.size() == name.size() &&
                        compare_nocase(previous.data(), static_cast<int32_t>(previous.size()), name.data(),
                                       static_cast<int32_t>(name.size())) < 0);
        EXPECT_TRUE(ordered) << previous << " before " << name;
      }
      previous = name;
      first = false;
    }
  }
  EXPECT_EQ(seen, h.names.size());
}

TEST(ProgramWriter, VariableHashesKeepDeclarationNumbersAndOrderedChains) {
  ProgramWriter w;
  w.set_bucket_bits(ProgramWriter::Hash::kGlobal, 0);  // one slot: a single chain of everything
  const char* names[] = {"zeta", "b", "Alpha", "aa", "AB", "c", "alpha2"};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(w.add_global(names[i]), i);
  EXPECT_EQ(w.add_global("ALPHA"), 2);  // names ignore case
  w.add_system("query_string");
  w.add_system("path_info");
  std::string f = BuildOrFail(w);
  Hash g;
  ReadHash(Section(f, "glbl"), 0, &g);
  EXPECT_EQ(g.bits, 0);
  ASSERT_EQ(g.names.size(), 7u);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(testing::DictString(f, g.names[static_cast<size_t>(i)]), names[i]);
  // Expected single chain: b, c, aa, AB, zeta, Alpha, alpha2.
  std::vector<std::string> chain;
  for (int32_t n = g.slots[0]; n != -1 && chain.size() < 10; n = g.next[static_cast<size_t>(n)]) {
    chain.push_back(names[n]);
  }
  EXPECT_EQ(chain, (std::vector<std::string>{"b", "c", "aa", "AB", "zeta", "Alpha", "alpha2"}));

  Hash s;
  ReadHash(Section(f, "syst"), 0, &s);
  EXPECT_EQ(s.bits, 12);
  ExpectChains(f, s);
}

TEST(ProgramWriter, ManyNamesSpreadOverSlotsByLookup2) {
  ProgramWriter w;
  w.set_bucket_bits(ProgramWriter::Hash::kGlobal, 3);
  for (int i = 0; i < 60; ++i) w.add_global(("Var" + std::to_string(i * 37)).c_str());
  std::string f = BuildOrFail(w);
  Hash g;
  ReadHash(Section(f, "glbl"), 0, &g);
  EXPECT_EQ(g.names.size(), 60u);
  ExpectChains(f, g);
}

TEST(ProgramWriter, FunctionSectionCarriesHashParametersAndLocals) {
  ProgramWriter w;
  int32_t seg = w.add_segment();
  w.segment_code(seg)->assign("\x3C\x00\x3C\x00", 4);
  EXPECT_EQ(w.add_function("Main", -1, 0, seg, 0), 0);
  EXPECT_EQ(w.add_function("helper", -1, Function::kPrivate, seg, 2), 1);
  EXPECT_EQ(w.add_function("MAIN", -1, 0, seg, 0), -1);
  EXPECT_EQ(w.add_function("strlen", -1, Function::kExternal, -1, -1), 2);
  EXPECT_EQ(w.add_parameter(1, "total", -1, true), 0);
  EXPECT_EQ(w.add_parameter(1, "step", -1, false), 1);
  EXPECT_EQ(w.add_parameter(1, "STEP", -1, false), -1);
  EXPECT_EQ(w.add_local(1, "tmp"), 2);
  EXPECT_EQ(w.add_local(1, "Total"), 0);
  EXPECT_EQ(w.find_local(1, "TMP"), 2);
  EXPECT_EQ(w.find_function("HELPER"), 1);
  std::string f = BuildOrFail(w);
  std::string s = Section(f, "func");
  Hash fh;
  fh.bits = U8(s, 2);
  uint32_t count = U32(s, 3);
  ASSERT_EQ(count, 3u);
  // Function hash: bucket records then chain links; check via a rebuilt view.
  int32_t buckets = I16(s, 0);
  size_t at = 7;
  fh.slots.assign(static_cast<size_t>(1u << fh.bits), -1);
  for (int32_t i = 0; i < buckets; ++i, at += 6) fh.slots[static_cast<size_t>(I16(s, at))] = I32(s, at + 2);
  for (uint32_t i = 0; i < count; ++i, at += 4) fh.next.push_back(I32(s, at));
  struct Expected {
    const char* name;
    int32_t params, flags, segment, offset;
  } expected[] = {{"Main", 0, 0, 0, 0}, {"helper", 2, 0x20, 0, 2}, {"strlen", 0, 1, -1, -1}};
  for (int i = 0; i < 3; ++i) {
    fh.names.push_back(I32(s, at));
    EXPECT_EQ(testing::DictString(f, I32(s, at)), expected[i].name);
    EXPECT_EQ(I32(s, at + 4), expected[i].params);
    EXPECT_EQ(I32(s, at + 8), expected[i].flags);
    EXPECT_EQ(I32(s, at + 12), expected[i].segment);
    EXPECT_EQ(I32(s, at + 16), expected[i].offset);
    at += 20;
    if (i == 1) {
      EXPECT_EQ(testing::DictString(f, I32(s, at)), "total");
      EXPECT_EQ(I32(s, at + 4), 1);
      EXPECT_EQ(I32(s, at + 8), 0);
      EXPECT_EQ(testing::DictString(f, I32(s, at + 12)), "step");
      EXPECT_EQ(I32(s, at + 16), 0);
      EXPECT_EQ(I32(s, at + 20), 1);
      at += 24;
    }
    Hash locals;
    at = ReadHash(s, at, &locals);
    EXPECT_EQ(locals.names.size(), i == 1 ? 3u : 0u);
    if (i == 1) {
      EXPECT_EQ(testing::DictString(f, locals.names[2]), "tmp");
      ExpectChains(f, locals);
    }
  }
  EXPECT_EQ(at, s.size());
  ExpectChains(f, fh);
}

TEST(ProgramWriter, SegmentsAndLocalizedSections) {
  ProgramWriter w;
  w.add_segment();
  w.add_segment();
  w.segment_code(0)->assign("\x16\x00", 2);
  w.segment_code(1)->assign("\x17\x00\x18\x00", 4);
  w.set_start_segment(1);
  int32_t en = w.add_language("en-US");
  int32_t de = w.add_language("de-DE");
  EXPECT_EQ(w.add_language("EN-us"), en);
  int32_t hello = w.intern("Hello, ");
  int32_t name = w.intern("name");
  int32_t p1 = w.add_piece(static_cast<uint32_t>(LocalizedPiece::kToken), name, -1);
  int32_t p0 = w.add_piece(static_cast<uint32_t>(LocalizedPiece::kText), hello, p1);
  EXPECT_TRUE(w.add_localized_text(en, "greeting", -1, p0));
  EXPECT_FALSE(w.add_localized_text(en, "GREETING", -1, p0));
  EXPECT_TRUE(w.add_localized_text(de, "greeting", -1, p1));
  std::string f = BuildOrFail(w);

  std::string segs = Section(f, "segs");
  EXPECT_EQ(U32(segs, 0), 2u);
  EXPECT_EQ(I32(segs, 4), 1);
  EXPECT_EQ(testing::SegmentCode(f, 0), std::string("\x16\x00", 2));
  EXPECT_EQ(testing::SegmentCode(f, 1), std::string("\x17\x00\x18\x00", 4));

  std::string locd = Section(f, "locd");
  ASSERT_EQ(locd.size(), 4u + 2 * 12);
  EXPECT_EQ(U32(locd, 0), 2u);
  EXPECT_EQ(U32(locd, 4), 0u);
  EXPECT_EQ(I32(locd, 8), name);
  EXPECT_EQ(I32(locd, 12), -1);
  EXPECT_EQ(U32(locd, 16), 1u);
  EXPECT_EQ(I32(locd, 20), hello);
  EXPECT_EQ(I32(locd, 24), p1);

  Hash langs;
  ReadHash(Section(f, "locl"), 0, &langs);
  ASSERT_EQ(langs.names.size(), 2u);
  EXPECT_EQ(testing::DictString(f, langs.names[1]), "de-DE");
  ExpectChains(f, langs);

  // Per-language index: code is "LX" followed by the 16-bit language number.
  std::string index = Section(f, std::string("LX\x01\x00", 4).c_str());
  int32_t bits = U8(index, 2);
  EXPECT_EQ(U32(index, 3), 1u);
  EXPECT_EQ(U32(index, 7), 0u);  // reserved
  ASSERT_EQ(I16(index, 0), 1);
  std::string key = "greeting";
  EXPECT_EQ(I16(index, 11), static_cast<int32_t>(lookup2_nocase(key.data(), 8) & ((1u << bits) - 1)));
  EXPECT_EQ(I32(index, 13), 0);
  EXPECT_EQ(testing::DictString(f, I32(index, 17)), "greeting");
  EXPECT_EQ(I32(index, 21), -1);
  EXPECT_EQ(I32(index, 25), p1);
  EXPECT_EQ(index.size(), 29u);
}

TEST(ProgramWriter, OverridesCraftDamagedFiles) {
  ProgramWriter w;
  w.add_segment();
  w.set_magic("PexO");
  w.set_version(65536);
  w.set_identity("id", 2);
  w.add_raw_section(SectionId("segs"), std::string("\0\0\0\0\0\0\0\0", 8));
  w.add_raw_section(SectionId("xtra"), "abc");
  w.omit_section(SectionId("func"));
  w.add_directory_entry(SectionId("bad!"), -1, 5);
  std::string f = BuildOrFail(w);
  EXPECT_EQ(f.substr(0, 4), "PexO");
  EXPECT_EQ(I32(f, 4), 65536);
  EXPECT_EQ(f.substr(8, 16), std::string("id") + std::string(14, '\0'));
  uint32_t dir = U32(f, 24), entries = U32(f, 28);
  std::vector<std::string> codes;
  for (uint32_t i = 0; i < entries; ++i) codes.push_back(f.substr(dir + i * 12, 4));
  EXPECT_EQ(codes, (std::vector<std::string>{"dict", "syst", "glbl", "locl", "locd", "segs", "xtra", "bad!"}));
  EXPECT_EQ(Section(f, "segs"), std::string(8, '\0'));
  EXPECT_EQ(Section(f, "xtra"), "abc");
  EXPECT_EQ(I32(f, dir + 7 * 12 + 4), -1);

  w.set_directory_offset(0x80000000u);
  w.set_directory_entries(178956971u);
  f = BuildOrFail(w);
  EXPECT_EQ(U32(f, 24), 0x80000000u);
  EXPECT_EQ(U32(f, 28), 178956971u);
}

TEST(ProgramWriter, RejectsBucketBitsThatSixteenBitSlotsCannotHold) {
  ProgramWriter w;
  w.set_bucket_bits(ProgramWriter::Hash::kLocals, 16);
  std::string out;
  String error;
  EXPECT_FALSE(w.build(&out, &error));
  EXPECT_STREQ(error.c_str(), "bucket bits must be between 0 and 15");
}

TEST(ProgramWriter, WriteFileReportsUnwritablePaths) {
  ProgramWriter w;
  String error;
  EXPECT_FALSE(w.write_file("/nonexistent-dir/p.pxc", &error));
  EXPECT_NE(std::string(error.c_str()).find("cannot write '/nonexistent-dir/p.pxc'"), std::string::npos);
}

}  // namespace
}  // namespace pexo
