#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <sys/wait.h>
#include <string>

#include "compiled_file.h"
#include "l10n/localized_tables.h"
#include "program/byte_stream.h"
#include "program/function_manager.h"
#include "program/program_image.h"
#include "program/segment_manager.h"
#include "program/tagged_file.h"

namespace pexo {
namespace {

std::string Text(const Dictionary& d, int32_t index) {
  int32_t length = 0;
  const char* p = d.get(index, &length);
  return p ? std::string(p, static_cast<size_t>(length)) : std::string("<none>");
}

std::string NameOf(ProgramImage& image, const NameTable& t, int32_t n) {
  return Text(image.dictionary(), t.names[static_cast<size_t>(n)]);
}

// Loads assembled source through the engine's own loaders.
struct Loaded {
  TaggedFile file;
  ProgramImage image;
  bool ok = false;
  std::string error;
  explicit Loaded(const std::string& source) {
    std::string bytes = testing::Build(source);
    auto stream = std::make_unique<MemoryByteStream>(bytes.data(), bytes.size());
    if (!file.open("t.pxc", std::move(stream))) {
      error = file.last_error().c_str();
      return;
    }
    ok = image.load(file);
    if (!ok) error = image.error().c_str();
  }
};

TEST(RoundTrip, AssembledProgramLoadsWithItsNamesFunctionsAndCode) {
  Loaded l(
      ".version 65540\n"
      ".dictflags 1\n"
      ".system query_string, Path_Info\n"
      ".global counter, total\n"
      ".segment main start\n"
      "  pushc \"\"\n"
      "  call Helper\n"
      "  exit\n"
      ".segment lib\n"
      ".function helper(var acc, x) private\n"
      "  .local tmp\n"
      "  pushl tmp\n"
      "  retn\n"
      ".end\n"
      ".extern strlen(s)\n");
  ASSERT_TRUE(l.ok) << l.error;
  EXPECT_EQ(l.file.version(), 65540);
  EXPECT_EQ(l.image.dictionary().flags(), 1u);
  const NameTable& sys = l.image.system_names();
  ASSERT_EQ(sys.count(), 2);
  EXPECT_EQ(NameOf(l.image, sys, 1), "Path_Info");
  EXPECT_EQ(sys.slot_count(), 4096);
  ASSERT_EQ(l.image.global_names().count(), 2);
  EXPECT_EQ(NameOf(l.image, l.image.global_names(), 1), "total");

  SegmentManager& segs = l.image.segments();
  ASSERT_EQ(segs.count(), 2);
  EXPECT_EQ(segs.start(), 0);
  Segment* main = segs.segment(0);
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(main->length(), 6 + 6 + 2);
  uint16_t word = 0;
  int32_t operand = -1;
  ASSERT_TRUE(main->read_dword(2, &operand));
  EXPECT_EQ(Text(l.image.dictionary(), operand), "");  // the empty string loads
  ASSERT_TRUE(main->read_word(6, &word));
  EXPECT_EQ(word, 0x403D);
  ASSERT_TRUE(main->read_dword(8, &operand));
  EXPECT_EQ(operand, 0);

  FunctionManager& fm = l.image.functions();
  ASSERT_EQ(fm.count(), 2);
  Function* helper = fm.find("HELPER", 6);
  ASSERT_NE(helper, nullptr);
  EXPECT_EQ(helper->number(), 0);
  EXPECT_TRUE(helper->is_private());
  EXPECT_EQ(helper->segment(), 1);
  EXPECT_EQ(helper->offset(), 0);
  ASSERT_EQ(helper->parameters().size(), 2u);
  EXPECT_STREQ(helper->parameters()[0].name.c_str(), "acc");
  EXPECT_TRUE(helper->parameters()[0].by_reference);
  EXPECT_FALSE(helper->parameters()[1].by_reference);
  EXPECT_EQ(helper->parameters()[1].local_index, 1);
  ASSERT_EQ(helper->locals().count(), 3);
  EXPECT_EQ(Text(l.image.dictionary(), helper->locals().names[2]), "tmp");
  Function* strlen_fn = fm.find("strlen", 6);
  ASSERT_NE(strlen_fn, nullptr);
  EXPECT_TRUE(strlen_fn->is_external());
  EXPECT_EQ(strlen_fn->segment(), -1);
  EXPECT_EQ(fm.find("nothere", 7), nullptr);
}

TEST(RoundTrip, ManyNamesAreAllFoundThroughTheLoadedChains) {
  std::string source = ".bits functions 2\n.segment s\n";
  for (int i = 0; i < 40; ++i) source += ".function Fn" + std::to_string(i * 13) + "\nretn\n";
  Loaded l(source);
  ASSERT_TRUE(l.ok) << l.error;
  for (int i = 0; i < 40; ++i) {
    std::string name = "fN" + std::to_string(i * 13);
    Function* f = l.image.functions().find(name.data(), static_cast<int32_t>(name.size()));
    ASSERT_NE(f, nullptr) << name;
    EXPECT_EQ(f->number(), i);
    EXPECT_EQ(f->offset(), i * 2);
  }
}

TEST(RoundTrip, LocalizedTextsLoadPerLanguage) {
  Loaded l(
      ".localized \"en-US\" \"greeting\" \"Hello, \" name\n"
      ".localized \"de-DE\" \"greeting\" \"Hallo\"\n");
  ASSERT_TRUE(l.ok) << l.error;
  LocalizedTables& t = l.image.localized();
  ASSERT_EQ(t.languages().count(), 2);
  ASSERT_EQ(t.pieces().size(), 3u);
  EXPECT_EQ(t.pieces()[0].type, LocalizedPiece::kText);
  EXPECT_EQ(t.pieces()[0].next, 1);
  EXPECT_EQ(t.pieces()[1].type, LocalizedPiece::kToken);
  EXPECT_EQ(Text(l.image.dictionary(), t.pieces()[1].text), "name");
  LocalizedIndex* de = t.index(l.file, 1);
  ASSERT_NE(de, nullptr);
  ASSERT_EQ(de->keys().size(), 1u);
  EXPECT_EQ(Text(l.image.dictionary(), de->keys()[0].key), "greeting");
  EXPECT_EQ(de->keys()[0].first_piece, 2);
}

// Texts added while a program runs (languages created on demand, keys
// refused when present in any letter case) are written back in the
// compiled format and read again by the loaders; a clone keeps its own.
TEST(RoundTrip, LocalizedTablesGrowAtRunTimeAndWriteBack) {
  Loaded l(".localized \"en-US\" \"greeting\" \"Hello\"\n");
  ASSERT_TRUE(l.ok) << l.error;
  LocalizedTables& t = l.image.localized();
  Dictionary& d = l.image.dictionary();
  ASSERT_NE(t.index(l.file, 0), nullptr);  // written back with its key
  int32_t bonjour = t.AddPiece(LocalizedPiece::kText, d.add("Bonjour", -1), -1);
  EXPECT_TRUE(t.Add(&d, "fr-FR", 5, "salut", 5, bonjour));
  EXPECT_TRUE(t.Add(&d, "EN-us", 5, "farewell", 8, bonjour));
  EXPECT_FALSE(t.Add(&d, "en-US", 5, "FAREWELL", 8, 0));
  std::unique_ptr<LocalizedTables> copy = t.Clone();
  EXPECT_TRUE(t.Add(&d, "it-IT", 5, "ciao", 4, 0));
  EXPECT_EQ(copy->languages().count(), 2);

  std::vector<std::pair<uint32_t, std::string>> sections;
  String error;
  ASSERT_TRUE(copy->Write(DictionaryText(d), 8, 12, &sections, &error)) << error.c_str();
  ProgramWriter w;
  for (int32_t i = 0; i < d.count(); ++i) ASSERT_EQ(w.intern(Text(d, i).c_str()), i);
  w.add_segment();
  for (auto& section : sections) w.add_raw_section(section.first, section.second);
  std::string bytes;
  ASSERT_TRUE(w.build(&bytes, &error)) << error.c_str();
  TaggedFile file;
  ASSERT_TRUE(file.open("w.pxc", std::make_unique<MemoryByteStream>(bytes.data(), bytes.size())));
  ProgramImage image;
  ASSERT_TRUE(image.load(file)) << image.error().c_str();
  NameText text = DictionaryText(image.dictionary());
  LocalizedTables& back = image.localized();
  int32_t en = back.FindLanguage(text, "en-us", 5);
  int32_t fr = back.FindLanguage(text, "FR-fr", 5);
  ASSERT_GE(en, 0);
  ASSERT_GE(fr, 0);
  EXPECT_EQ(back.FindLanguage(text, "it-IT", 5), -1);
  LocalizedIndex* english = back.index(file, en);
  LocalizedIndex* french = back.index(file, fr);
  ASSERT_NE(english, nullptr);
  ASSERT_NE(french, nullptr);
  EXPECT_EQ(english->Find(text, "Greeting", 8), 0);
  EXPECT_EQ(english->Find(text, "farewell", 8), bonjour);
  EXPECT_EQ(french->Find(text, "salut", 5), bonjour);
  EXPECT_EQ(french->Find(text, "greeting", 8), -1);
  ASSERT_EQ(back.pieces().size(), 2u);
  EXPECT_EQ(Text(image.dictionary(), back.pieces()[1].text), "Bonjour");
}

struct Damage {
  const char* source;
  const char* error;
};

TEST(RoundTrip, DamagedFilesAreRejectedWithTheLoadersMessages) {
  const Damage cases[] = {
      {".header magic \"Pexx\"\n", "File is either corrupt or not a valid compiled Pexo Script file"},
      {".version 65550\n", "File was generated by an incompatible version of the Pexo Script Compiler"},
      {".header directory_entries 178956971\n", "header.directory_entries out of range"},
      {".direntry \"dict\" -5 0\n", "directory[ entry ].section_offset out of range"},
      {".omit \"segs\"\n", "Invalid section"},
      {".start 1\n", "segment_list.start out of range"},
      {".section \"dict\"\n.dword 1 0 0 0 0\n.endsection\n", "dictionary_entry.offset out of range"},
      {".section \"locd\"\n.dword 1 2 0 -1\n.endsection\n", "Invalid localized dictionary entry type"},
  };
  for (const Damage& d : cases) {
    Loaded l(d.source);
    EXPECT_FALSE(l.ok) << d.source;
    EXPECT_EQ(l.error, d.error) << d.source;
  }
}

}  // namespace
}  // namespace pexo

namespace pexo {
namespace {

std::string Capture(const std::string& command) {
  std::string out;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return "popen failed";
  char buffer[512];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
  int status = pclose(p);
  return out + "[exit " + std::to_string(WEXITSTATUS(status)) + "]";
}

TEST(PxlistTool, PrintsTablesAndListingOrReportsTheLoadError) {
  std::string dir = PEXO_BINARY_DIR;
  std::string path = dir + "/pxlist_test.pxc";
  ProgramWriter w;
  String errors;
  const char* source =
      ".global g\n"
      ".function f(var a)\n"
      "pushg g\n"
      "bindg 0\n"
      "retn\n";
  ASSERT_TRUE(Assemble(source, -1, "t.pxa", &w, &errors)) << errors.c_str();
  ASSERT_TRUE(w.write_file(path.c_str(), &errors)) << errors.c_str();
  std::string out = Capture(dir + "/tools/pxlist " + path);
  EXPECT_NE(out.find("version: 65549\n"), std::string::npos) << out;
  EXPECT_NE(out.find("  0 \"f\" flags 0x0 segment 0 offset 0\n    parameter var \"a\" local 0\n"),
            std::string::npos) << out;
  EXPECT_NE(out.find("\n\nExpression: segment 0\n0\tpushg\tdword:0\n6\tIllegal Instruction\ndword:0\n12\tretn\t\n"
                     "[exit 0]"),
            std::string::npos) << out;

  w.set_version(65550);
  ASSERT_TRUE(w.write_file(path.c_str(), &errors));
  EXPECT_EQ(Capture(dir + "/tools/pxlist " + path),
            "pxlist: '" + path + "': File was generated by an incompatible version of the Pexo Script Compiler\n"
            "[exit 1]");
  EXPECT_EQ(Capture(dir + "/tools/pxlist"), "usage: pxlist FILE.pxc\n[exit 2]");
  std::remove(path.c_str());
}

}  // namespace
}  // namespace pexo
