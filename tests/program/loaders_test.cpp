#include <gtest/gtest.h>

#include <string>

#include "program/program_image.h"
#include "program/tagged_file.h"
#include "pxc_builder.h"

namespace pexo {
namespace {

using testing::Bytes;
using testing::Container;
using testing::FunctionSpec;
using testing::ProgramBuilder;
using testing::Stream;

constexpr char kShort[] = "Unexpected end of file";

ProgramBuilder Sample() {
  ProgramBuilder p;
  p.system_names = {"path_info", "query_string"};
  p.global_names = {"counter", "Name", "a", "bb"};
  p.segments = {std::string("\x01\x02\x03\x04", 4), std::string("\x05\x06", 2)};
  p.start = 1;
  FunctionSpec add;
  add.name = "AddOne";
  add.segment = 0;
  add.offset = 2;
  add.params = {{"value", true, 0}, {"step", false, 1}};
  add.locals = {"value", "step", "tmp"};
  FunctionSpec ext;
  ext.name = "upper";
  ext.flags = 0x01 | 0x20;
  ext.segment = -1;
  ext.offset = -1;
  p.functions = {add, ext};
  p.pieces = {{1, "Hello, ", 1}, {0, "who", -1}};
  p.language_keys[0] = {{"greeting", 0}};
  return p;
}

// Loads `bytes` into a fresh image and returns the error ("" on success).
std::string LoadError(const std::string& bytes, ProgramImage* image = nullptr) {
  TaggedFile file;
  if (!file.open("t.pxc", Stream(bytes))) return std::string("open: ") + file.last_error().c_str();
  ProgramImage local;
  ProgramImage* target = image ? image : &local;
  if (target->load(file)) return "";
  EXPECT_FALSE(target->error().empty());
  return target->error().c_str();
}

std::string WithSection(const std::string& code, const std::string& body) {
  ProgramBuilder p = Sample();
  return p.container().set(code, body).build();
}

TEST(ProgramImage, LoadsEverySection) {
  ProgramBuilder p = Sample();
  Container c = p.container();
  TaggedFile file;
  ASSERT_TRUE(file.open("t.pxc", Stream(c.build())));
  ProgramImage image;
  ASSERT_TRUE(image.load(file)) << image.error().c_str();

  int32_t length = 0;
  const char* text = image.dictionary().get(p.intern("Hello, "), &length);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text, length), "Hello, ");
  EXPECT_EQ(image.system_names().count(), 2);
  EXPECT_EQ(image.global_names().count(), 4);
  EXPECT_EQ(image.global_names().slot_count(), 16);

  SegmentManager& segs = image.segments();
  EXPECT_EQ(segs.count(), 2);
  EXPECT_EQ(segs.slot_count(), 64);
  ASSERT_NE(segs.start_segment(), nullptr);
  EXPECT_EQ(segs.start_segment()->number(), 1);
  EXPECT_EQ(segs.start_segment()->length(), 2);
  EXPECT_EQ(segs.segment(0)->capacity(), 4);
  EXPECT_EQ(segs.segment(0)->flags(), 0u);
  int32_t dword = 0;
  EXPECT_TRUE(segs.segment(0)->read_dword(0, &dword));
  EXPECT_EQ(dword, 0x04030201);
  EXPECT_EQ(segs.segment(2), nullptr);

  FunctionManager& fm = image.functions();
  ASSERT_EQ(fm.count(), 2);
  Function* f = fm.find("addONE", -1);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f, fm.function(0));
  EXPECT_STREQ(f->name().c_str(), "AddOne");
  EXPECT_EQ(f->offset(), 2);
  ASSERT_EQ(f->parameters().size(), 2u);
  EXPECT_STREQ(f->parameters()[0].name.c_str(), "value");
  EXPECT_TRUE(f->parameters()[0].by_reference);
  EXPECT_FALSE(f->parameters()[1].by_reference);
  EXPECT_EQ(f->parameters()[1].local_index, 1);
  EXPECT_EQ(f->locals().count(), 3);
  EXPECT_EQ(f->binding(), nullptr);
  Function* ext = fm.find("UPPER", 5);
  ASSERT_NE(ext, nullptr);
  EXPECT_TRUE(ext->is_external());
  EXPECT_TRUE(ext->is_private());
  EXPECT_TRUE(ext->parameters().empty());
  EXPECT_EQ(fm.find("upperx", -1), nullptr);

  LocalizedTables& loc = image.localized();
  ASSERT_EQ(loc.pieces().size(), 2u);
  EXPECT_EQ(loc.pieces()[0].type, LocalizedPiece::kText);
  EXPECT_EQ(loc.pieces()[0].next, 1);
  EXPECT_EQ(loc.languages().count(), 1);
  LocalizedIndex* index = loc.index(file, 0);
  ASSERT_NE(index, nullptr) << loc.error().c_str();
  ASSERT_EQ(index->keys().size(), 1u);
  EXPECT_EQ(index->keys()[0].key, p.intern("greeting"));
  EXPECT_EQ(index->keys()[0].first_piece, 0);
  EXPECT_EQ(loc.index(file, 1), nullptr);
}

TEST(ProgramImage, EverySectionIsRequiredAndTheOrderIsFixed) {
  for (const char* code : {"dict", "syst", "glbl", "locl", "locd", "segs", "func"}) {
    ProgramBuilder p = Sample();
    EXPECT_EQ(LoadError(p.container().remove(code).build()), "Invalid section") << code;
  }
  // With several broken sections the earliest in load order reports.
  ProgramBuilder p = Sample();
  Container c = p.container();
  c.set("func", "").set("segs", Bytes().u32(0).u32(0)).set("glbl", Bytes().u16(0).u8(33).u32(0));
  EXPECT_EQ(LoadError(c.build()), "variable_hash_header.bucket_bits out of range");
  c.set("glbl", Bytes().u16(0).u8(0).u32(0)).set("locd", Bytes().u32(1).u32(2).u32(0).u32(0));
  EXPECT_EQ(LoadError(c.build()), "Invalid localized dictionary entry type");
  c.remove("locd");
  EXPECT_EQ(LoadError(c.build()), "Invalid section");
}

TEST(ProgramImage, FailedLoadKeepsThePreviousImage) {
  ProgramImage image;
  ASSERT_EQ(LoadError(WithSection("dict", Sample().container().sections[0].second), &image), "");
  ASSERT_EQ(image.functions().count(), 2);
  EXPECT_EQ(LoadError(WithSection("func", Bytes().u16(0).u8(0).u32(1)), &image), kShort);
  EXPECT_EQ(image.functions().count(), 2);
  EXPECT_NE(image.functions().find("addone", -1), nullptr);
  EXPECT_EQ(image.segments().count(), 2);
}

TEST(DictionaryLoad, ChecksHeaderAndEntries) {
  auto dict = [](uint32_t entries, uint32_t data_size, const std::string& rest) {
    return Bytes().u32(entries).u32(data_size).u32(0).raw(rest).str();
  };
  const std::string four = "abcd";
  struct Case {
    const char* what;
    std::string body;
    const char* error;
  } cases[] = {
      {"entries at 0x08000000", dict(0x08000000, 4, ""), "dictionary_header.entries out of range"},
      {"entries at 0x10000000", dict(0x10000000, 4, ""), "dictionary_header.entries out of range"},
      {"262143 blocks", dict(0, 262142u * 8192 + 8191, ""), kShort},
      {"262144 blocks", dict(0, 262143u * 8192, ""),
       "( dictionary_header.data_size / TF_DATA_BLOCK_SIZE ) + 1 out of range"},
      {"negative data size", dict(0, 0xFFFFFFFFu, ""),
       "( dictionary_header.data_size / TF_DATA_BLOCK_SIZE ) + 1 out of range"},
      {"negative offset", dict(1, 4, Bytes().u32(0xFFFFFFFFu).u32(0).raw(four)),
       "dictionary_entry.offset out of range"},
      {"offset at data size, size 0", dict(1, 4, Bytes().u32(4).u32(0).raw(four)),
       "dictionary_entry.offset out of range"},
      {"runs past data", dict(1, 4, Bytes().u32(1).u32(4).raw(four)),
       "dictionary_entry.offset + dictionary_entry.size out of range"},
      {"negative size", dict(1, 4, Bytes().u32(2).u32(0xFFFFFFFFu).raw(four)),
       "dictionary_entry.offset + dictionary_entry.size out of range"},
      {"entries checked in order",
       dict(2, 4, Bytes().u32(0).u32(9).u32(9).u32(0).raw(four)),
       "dictionary_entry.offset + dictionary_entry.size out of range"},
      {"table cut short", dict(2, 4, Bytes().u32(0).u32(1)), kShort},
      {"data cut short", dict(1, 4, Bytes().u32(0).u32(1).raw("abc")), kShort},
      {"header cut short", "abc", kShort},
  };
  for (const Case& c : cases) EXPECT_EQ(LoadError(WithSection("dict", c.body)), c.error) << c.what;
}

TEST(DictionaryLoad, ReusesLoadedBytesAndKeepsFlags) {
  Container c;
  c.add("dict", Bytes().u32(2).u32(5).u32(0x81).u32(0).u32(5).u32(1).u32(3).raw("hello"));
  TaggedFile file;
  ASSERT_TRUE(file.open("d", Stream(c.build())));
  Dictionary dictionary;
  ASSERT_TRUE(dictionary.load(file)) << dictionary.error().c_str();
  EXPECT_EQ(dictionary.flags(), 0x81u);
  int32_t length = 0;
  const char* hello = dictionary.get(0, &length);
  ASSERT_EQ(length, 5);
  const char* ell = dictionary.get(1, &length);
  EXPECT_EQ(ell, hello + 1);  // entries share bytes
  int32_t again = dictionary.add("llo", 3);
  EXPECT_EQ(again, 2);
  EXPECT_EQ(dictionary.get(again, &length), hello + 2);
  int32_t fresh = dictionary.add("xyz", 3);
  EXPECT_EQ(dictionary.get(fresh, &length), hello + 5);  // appended in the block
  EXPECT_EQ(dictionary.get(3, nullptr), hello + 5);
  EXPECT_EQ(dictionary.get(4, &length), nullptr);
  EXPECT_EQ(length, 0);
  EXPECT_EQ(dictionary.get(-1, &length), nullptr);
}

// Raw name hash header: bucket record count, bits, name count.
std::string HashHeader(uint32_t records, uint32_t bits, uint32_t count) {
  return Bytes().u16(records).u8(bits).u32(count);
}

TEST(NameHashLoad, ChecksEveryLimitInOrder) {
  struct Case {
    const char* what;
    std::string body;
    const char* error;
  } cases[] = {
      {"bits 33", HashHeader(0, 33, 0), "variable_hash_header.bucket_bits out of range"},
      {"bits before count", HashHeader(0, 33, 0x08000000), "variable_hash_header.bucket_bits out of range"},
      {"bits 29", HashHeader(0, 29, 0), "read_bucket_size out of range"},
      {"count", HashHeader(0, 4, 0x08000000), "variable_hash_header.variable_count out of range"},
      {"count before records", HashHeader(0x8000, 4, 0x08000000),
       "variable_hash_header.variable_count out of range"},
      {"negative records", HashHeader(0xFFFF, 4, 0), "variable_hash_header.bucket_entries out of range"},
      {"negative slot", HashHeader(1, 4, 0) + Bytes().u16(0x8000).u32(0).str(),
       "variable_hash_bucket.index out of range"},
      {"slot = slots", HashHeader(1, 4, 0) + Bytes().u16(16).u32(0).str(),
       "variable_hash_bucket.index out of range"},
      {"slot 1 of bits 32", HashHeader(1, 32, 0) + Bytes().u16(1).u32(0).str(),
       "variable_hash_bucket.index out of range"},
      {"names cut short", HashHeader(0, 4, 2) + Bytes().u32(0).u32(1).str(), kShort},
      {"huge table for nothing", HashHeader(0, 28, 0), "read_bucket_size out of range"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LoadError(WithSection("syst", c.body)), c.error) << c.what;
    EXPECT_EQ(LoadError(WithSection("glbl", c.body)), c.error) << c.what;
  }
}

TEST(NameHashLoad, Bits32MakesOneSlotAndBadChainsAreCut) {
  // Two names in the single slot; the second links back to the first.
  std::string body = HashHeader(1, 32, 2) + Bytes().u16(0).u32(0).u32(0).u32(1).u32(1).u32(0).str();
  ProgramImage image;
  ASSERT_EQ(LoadError(WithSection("syst", body), &image), "");
  const NameTable& t = image.system_names();
  ASSERT_EQ(t.slot_count(), 1);
  EXPECT_EQ(t.buckets[0], 0);
  EXPECT_EQ(t.next[0], 1);
  EXPECT_EQ(t.next[1], -1);  // the cycle is broken

  std::string wild = HashHeader(1, 2, 1) + Bytes().u16(3).u32(7).u32(0).u32(99).str();
  ASSERT_EQ(LoadError(WithSection("glbl", wild), &image), "");
  EXPECT_EQ(image.global_names().buckets[3], -1);
  EXPECT_EQ(image.global_names().next[0], -1);
}

TEST(SegmentLoad, ChecksListAndHeaders) {
  auto segs = [](uint32_t entries, uint32_t start, const std::string& rest) {
    return Bytes().u32(entries).u32(start).raw(rest).str();
  };
  struct Case {
    const char* what;
    std::string body;
    const char* error;
  } cases[] = {
      {"no segments", segs(0, 0, ""), "segment_list.start out of range"},
      {"negative start", segs(1, 0xFFFFFFFFu, Bytes().u32(0).u32(0)), "segment_list.start out of range"},
      {"start = entries", segs(1, 1, Bytes().u32(0).u32(0)), "segment_list.start out of range"},
      {"too many", segs(0x10000000, 0, ""), "segment_list.entries out of range"},
      {"table cut short", segs(2, 0, Bytes().u32(0).u32(0)), kShort},
      {"size top bit", segs(1, 0, Bytes().u32(0).u32(0x80000000u)), "segment_header.size out of range"},
      {"size beyond section", segs(1, 0, Bytes().u32(0).u32(5).raw("abcd")),
       "segment_header.size out of range"},
      {"offset past section", segs(1, 0, Bytes().u32(100).u32(1).raw("a")), "Invalid offset"},
      {"code runs past section", segs(2, 0, Bytes().u32(0).u32(1).u32(1).u32(1).raw("a")),
       "segment_header.size out of range"},
      {"offset at section end", segs(1, 0, Bytes().u32(1).u32(1).raw("a")), kShort},
      {"offset past int32", segs(1, 0, Bytes().u32(0xFFFFFFF0u).u32(1).raw("a")), "Invalid offset"},
      {"header cut short", "abc", kShort},
  };
  for (const Case& c : cases) EXPECT_EQ(LoadError(WithSection("segs", c.body)), c.error) << c.what;

  ProgramImage image;
  ASSERT_EQ(LoadError(WithSection("segs", segs(2, 1, Bytes().u32(0).u32(0).u32(0).u32(2).raw("xy"))),
                      &image),
            "");
  EXPECT_EQ(image.segments().segment(0)->length(), 0);
  EXPECT_EQ(image.segments().segment(1)->code()[1], 'y');
}

// A function section with one bucket record for slot 0 and the given
// functions (already encoded).
std::string FuncSection(uint32_t bits, uint32_t count, const std::string& functions) {
  Bytes b;
  b.u16(count ? 1 : 0).u8(bits).u32(count);
  if (count) b.u16(0).u32(0);
  for (uint32_t i = 0; i < count; ++i) b.u32(i + 1 < count ? i + 1 : 0xFFFFFFFFu);
  return b.raw(functions);
}

std::string FunctionRecord(uint32_t name, uint32_t params, const std::string& rest) {
  return Bytes().u32(name).u32(params).u32(0).u32(0).u32(0).raw(rest);
}

TEST(FunctionLoad, ChecksListFunctionsAndParameters) {
  const std::string empty_locals = HashHeader(0, 0, 0);
  struct Case {
    const char* what;
    std::string body;
    const char* error;
  } cases[] = {
      {"bits 33", Bytes().u16(0).u8(33).u32(0), "function_list_header.bucket_bits out of range"},
      {"bits 29", Bytes().u16(0).u8(29).u32(0), "read_bucket_size out of range"},
      {"count", Bytes().u16(0).u8(0).u32(0x10000000), "function_list_header.function_count out of range"},
      {"negative records", Bytes().u16(0x8001).u8(0).u32(0),
       "function_list_header.bucket_entries out of range"},
      {"slot outside", Bytes().u16(1).u8(1).u32(0).u16(2).u32(0), "function_hash_bucket.index out of range"},
      {"links cut short", Bytes().u16(0).u8(0).u32(3).u32(0), kShort},
      {"bad name", FuncSection(0, 1, FunctionRecord(9999, 0, empty_locals)),
       "Invalid function header name index"},
      {"negative name", FuncSection(0, 1, FunctionRecord(0xFFFFFFFFu, 0, empty_locals)),
       "Invalid function header name index"},
      {"parameter count", FuncSection(0, 1, FunctionRecord(0, 178956971, "")),
       "function_header.parameter_count out of range"},
      {"parameters cut short", FuncSection(0, 1, FunctionRecord(0, 2, Bytes().u32(0).u32(0).u32(0))),
       kShort},
      {"bad parameter name",
       FuncSection(0, 1, FunctionRecord(0, 1, Bytes().u32(9999).u32(0).u32(0).raw(empty_locals))),
       "Invalid function parameter name index"},
      {"bad locals", FuncSection(0, 1, FunctionRecord(0, 0, HashHeader(0, 33, 0))),
       "variable_hash_header.bucket_bits out of range"},
      {"second function missing", FuncSection(0, 2, FunctionRecord(0, 0, empty_locals)), kShort},
  };
  for (const Case& c : cases) EXPECT_EQ(LoadError(WithSection("func", c.body)), c.error) << c.what;
}

TEST(FunctionLoad, NoParameterRecordsWhenCountIsZero) {
  // The locals hash follows the 20-byte header directly.
  std::string locals = HashHeader(1, 0, 1) + Bytes().u16(0).u32(0).u32(1).u32(0xFFFFFFFFu).str();
  ProgramImage image;
  ASSERT_EQ(LoadError(WithSection("func", FuncSection(0, 1, FunctionRecord(0, 0, locals))), &image), "");
  Function* f = image.functions().function(0);
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(f->parameters().empty());
  EXPECT_EQ(f->locals().count(), 1);
  EXPECT_EQ(f->locals().names[0], 1);
}

TEST(FunctionManager, AddsFunctionsInChainOrder) {
  Dictionary dictionary;
  FunctionManager fm(&dictionary);
  EXPECT_EQ(fm.find("x", -1), nullptr);
  const char* names[] = {"gamma", "Alpha", "b", "alphb", "delta_long_name", "ALPHA2"};
  for (const char* n : names) ASSERT_NE(fm.add_function(n, -1, 0, 0, 10), nullptr);
  Function* ext = fm.add_external_function("strlen", -1);
  ASSERT_NE(ext, nullptr);
  EXPECT_EQ(ext->number(), 6);
  EXPECT_TRUE(ext->is_external());
  EXPECT_EQ(ext->segment(), -1);
  EXPECT_EQ(ext->offset(), -1);
  int32_t length = 0;
  EXPECT_EQ(std::string(dictionary.get(ext->name_index(), &length), 6), "strlen");
  for (int i = 0; i < 6; ++i) {
    std::string upper = names[i];
    for (char& ch : upper) ch = static_cast<char>(toupper(ch));
    Function* f = fm.find(upper.c_str(), -1);
    ASSERT_NE(f, nullptr) << upper;
    EXPECT_EQ(f->number(), i);
    EXPECT_EQ(fm.function(i), f);
  }
  EXPECT_EQ(fm.find("alph", -1), nullptr);
  EXPECT_EQ(fm.function(7), nullptr);
  EXPECT_EQ(fm.function(-1), nullptr);
}

TEST(FunctionManager, RuntimeAdditionsJoinLoadedChains) {
  // One slot: every name shares the chain, which must stay ordered.
  ProgramBuilder p = Sample();
  p.hash_bits = 32;
  ProgramImage image;
  ASSERT_EQ(LoadError(p.container().build(), &image), "");
  FunctionManager& fm = image.functions();
  ASSERT_NE(fm.add_function("aaa", -1, 0, 0, 0), nullptr);
  ASSERT_NE(fm.add_function("zzzzzzzzz", -1, 0, 0, 0), nullptr);
  for (const char* n : {"AAA", "addone", "UPPER", "zzzzzzzzz"}) EXPECT_NE(fm.find(n, -1), nullptr) << n;
  EXPECT_EQ(fm.find("aab", -1), nullptr);
}

TEST(LocalizedLoad, ChecksDictionaryAndLanguageHeaders) {
  struct Case {
    const char* what;
    const char* code;
    std::string body;
    const char* error;
  } cases[] = {
      {"pieces", "locd", Bytes().u32(178956971), "loc_dictionary_header.entries out of range"},
      {"pieces cut short", "locd", Bytes().u32(2).u32(1).u32(0).u32(0), kShort},
      {"type 2", "locd", Bytes().u32(1).u32(2).u32(0).u32(0), "Invalid localized dictionary entry type"},
      {"bits", "locl", HashHeader(0, 33, 0), "localized_language_header.bucket_bits out of range"},
      {"slots", "locl", HashHeader(0, 29, 0), "read_bucket_size out of range"},
      {"count", "locl", HashHeader(0, 0, 134217728), "localized_language_header.index_count out of range"},
      {"records", "locl", HashHeader(0x8000, 0, 0), "localized_language_header.bucket_entries out of range"},
      {"slot", "locl", HashHeader(1, 1, 0) + Bytes().u16(2).u32(0).str(),
       "localized_language_bucket.index out of range"},
  };
  for (const Case& c : cases) EXPECT_EQ(LoadError(WithSection(c.code, c.body)), c.error) << c.what;
}

std::string IndexError(const std::string& body, uint32_t version = 65549,
                       const std::string& code = std::string("LX\0\0", 4)) {
  ProgramBuilder p = Sample();
  p.language_keys.clear();
  Container c = p.container();
  c.version = version;
  c.add(code, body);
  TaggedFile file;
  EXPECT_TRUE(file.open("t", Stream(c.build())));
  ProgramImage image;
  EXPECT_TRUE(image.load(file)) << image.error().c_str();
  LocalizedIndex* index = image.localized().index(file, 0);
  return index ? "" : image.localized().error().c_str();
}

TEST(LocalizedLoad, ChecksLanguageIndexSections) {
  auto header = [](uint32_t records, uint32_t bits, uint32_t count) {
    return Bytes().u16(records).u8(bits).u32(count).u32(0).str();
  };
  struct Case {
    const char* what;
    std::string body;
    const char* error;
  } cases[] = {
      {"valid", header(1, 1, 1) + Bytes().u16(1).u32(0).u32(0).u32(0xFFFFFFFFu).u32(0).str(), ""},
      {"bits", header(0, 33, 0), "localized_index_header.bucket_bits out of range"},
      {"slots", header(0, 29, 0), "read_bucket_size out of range"},
      {"count", header(0, 0, 178956971), "localized_index_header.index_count out of range"},
      {"records", header(0x8000, 0, 0), "localized_index_header.bucket_entries out of range"},
      {"slot", header(1, 1, 0) + Bytes().u16(0xFFFF).u32(0).str(), "localized_index_bucket.index out of range"},
      {"keys cut short", header(0, 0, 1) + Bytes().u32(0).str(), kShort},
      {"reserved bytes missing", Bytes().u16(0).u8(0).u32(0), kShort},
  };
  for (const Case& c : cases) EXPECT_EQ(IndexError(c.body), c.error) << c.what;

  // Files before format 0x10008 may keep the index under code 0.
  std::string body = header(0, 0, 0);
  std::string zero(4, '\0');
  EXPECT_EQ(IndexError(body, 0x10007, zero), "");
  EXPECT_EQ(IndexError(body, 0x10008, zero), "Invalid section");
}

}  // namespace
}  // namespace pexo
