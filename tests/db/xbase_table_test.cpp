#include <sys/stat.h>

#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "db/xbase/xbase_table.h"
#include "xbase_fixture.h"

namespace pexo {
namespace {

std::string Le32(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
  return s;
}

std::string Descriptor(const char* name, char type, int length, int decimals) {
  std::string d(32, '\0');
  d.replace(0, std::string(name).size(), name);
  d[11] = type;
  d[16] = static_cast<char>(length);
  d[17] = static_cast<char>(decimals);
  return d;
}

// The 32-byte header as written today.
std::string Header(unsigned char version, uint32_t count, int header_length, int record_length) {
  time_t now = std::time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  std::string h(32, '\0');
  h[0] = static_cast<char>(version);
  h[1] = static_cast<char>(local.tm_year);
  h[2] = static_cast<char>(local.tm_mon + 1);
  h[3] = static_cast<char>(local.tm_mday);
  h.replace(4, 4, Le32(count));
  h[8] = static_cast<char>(header_length);
  h[9] = static_cast<char>(header_length >> 8);
  h[10] = static_cast<char>(record_length);
  h[11] = static_cast<char>(record_length >> 8);
  return h;
}

using XBaseTableTest = XBaseFixture;

TEST_F(XBaseTableTest, CreateAndAppendWriteBothFilesByteForByte) {
  XBaseTable table(files_.get());
  ASSERT_TRUE(table.CreateTable("t.dbf", "t.dbt", AllTypes())) << Text(table.ErrorText());
  ASSERT_TRUE(Append(&table, {"abc", "12.50", "20200229", "T", "hello"}));
  ASSERT_TRUE(Append(&table, {"x", "-1.00", "", "F", std::string(510, 'a')}));
  ASSERT_TRUE(Append(&table, {"", "", "", "", std::string(511, 'b')}));
  EXPECT_EQ(table.RecordCount(), 3u);
  EXPECT_EQ(table.CurrentRecord(), 3u);

  std::string expected = Header(0x83, 3, 193, 38) + Descriptor("NAME", 'C', 10, 0) +
                         Descriptor("QTY", 'N', 8, 2) + Descriptor("BORN", 'D', 8, 0) +
                         Descriptor("OK", 'L', 1, 0) + Descriptor("NOTE", 'M', 10, 0) + "\x0d" +
                         " abc          12.5020200229T         1" +
                         " x            -1.00        F         2" +
                         "                                     3" + "\x1a";
  EXPECT_EQ(ReadFile("t.dbf"), expected);

  // 510 bytes and two terminators fill one block; 511 spill into a second.
  std::string memo = Le32(5) + std::string(508, '\0') + "hello\x1a\x1a";
  memo.resize(1024, '\0');
  memo += std::string(510, 'a') + "\x1a\x1a" + std::string(511, 'b') + "\x1a\x1a";
  EXPECT_EQ(ReadFile("t.dbt"), memo);

  XBaseTable again(files_.get());
  ASSERT_TRUE(again.OpenTable("t.dbf", kDbOpenExisting)) << Text(again.ErrorText());
  struct Row {
    uint32_t record;
    std::vector<std::string> values;
  } rows[] = {
      {1, {"abc", "12.50", "20200229", "T", "hello"}},
      {2, {"x", "-1.00", "        ", "F", std::string(510, 'a')}},
      {3, {"", "", "        ", " ", std::string(511, 'b')}},
  };
  for (const Row& row : rows) {
    ASSERT_TRUE(again.ReadRecord(row.record)) << Text(again.ErrorText());
    for (size_t i = 0; i < row.values.size(); ++i)
      EXPECT_EQ(Text(again.Fields()[i]->Value()), row.values[i]) << row.record << "/" << i;
  }
}

TEST_F(XBaseTableTest, OpenRefusesBadFilesWithTheirMessages) {
  XBaseTable maker(files_.get());
  ASSERT_TRUE(maker.CreateTable("plain.dbf", "", {Column("NAME", kXBaseCharacter, 4),
                                                  Column("OK", kXBaseLogical, 1)}));
  ASSERT_TRUE(Append(&maker, {"ab", "T"}));
  maker.CloseTable();
  const std::string good = ReadFile("plain.dbf");  // 97-byte header, 6-byte records

  struct Case {
    const char* what;
    int offset;           // byte to patch, or -1
    std::string patch;    // bytes written there
    size_t truncate;      // new length, or 0
    const char* message;
  } cases[] = {
      {"plain opens", -1, "", 0, ""},
      {"memo version opens its memo file", 0, "\x83", 0,
       "Error opening 'plain.dbt': No such file or directory"},
      {"version 0x30", 0, "\x30", 0, "'plain.dbf': Unsupported xBase file version (0x30)"},
      {"unknown type letter", 32 + 32 + 11, "F", 0,
       "'plain.dbf' contains an unsupported field (OK) of type 'F'"},
      {"short header", -1, "", 20, "Error reading from 'plain.dbf': Unexpected end of file"},
      {"header length 32", 8, std::string("\x20\x00", 2), 0,
       "Error reading from 'plain.dbf': Invalid header length"},
      {"header longer than the file", 8, std::string("\xff\x7f", 2), 0,
       "Error reading from 'plain.dbf': Header length exceeds the file size"},
      {"count past the file", 4, Le32(2), 0,
       "Error reading from 'plain.dbf': Record count exceeds the file size"},
      {"huge count", 4, Le32(0xFFFFFFFFu), 0,
       "Error reading from 'plain.dbf': Record count exceeds the file size"},
      {"fields longer than the record", 10, std::string("\x03\x00", 2), 0,
       "Error reading from 'plain.dbf': The fields exceed the record length"},
  };
  for (const Case& c : cases) {
    std::string bytes = good;
    if (c.offset >= 0) bytes.replace(static_cast<size_t>(c.offset), c.patch.size(), c.patch);
    if (c.truncate) bytes.resize(c.truncate);
    WriteFile("plain.dbf", bytes);
    XBaseTable table(files_.get());
    bool opened = table.OpenTable("plain.dbf", kDbOpenExisting);
    EXPECT_EQ(opened, *c.message == '\0') << c.what;
    EXPECT_EQ(Text(table.ErrorText()), c.message) << c.what;
    EXPECT_EQ(table.is_open(), opened) << c.what;
  }

  XBaseTable table(files_.get());
  EXPECT_FALSE(table.OpenTable("none.dbf", kDbOpenExisting));
  EXPECT_EQ(Text(table.ErrorText()), "Error opening 'none.dbf': No such file or directory");
  EXPECT_FALSE(table.OpenTable("../plain.dbf", kDbOpenExisting));
  EXPECT_EQ(Text(table.ErrorText()),
            "Error opening '../plain.dbf': The specified path references a path outside the "
            "configured data directory");
}

TEST_F(XBaseTableTest, RecordNumbersAndAppendsOfAnotherWriter) {
  XBaseTable table(files_.get());
  ASSERT_TRUE(table.CreateTable("n.dbf", "", {Column("N", kXBaseNumeric, 3)}));
  ASSERT_TRUE(Append(&table, {"1"}));
  XBaseTable other(files_.get());
  ASSERT_TRUE(other.OpenTable("n.dbf", kDbOpenExisting));
  ASSERT_TRUE(Append(&table, {"2"}));  // after `other` read the header

  for (uint32_t bad : {0u, 3u}) {
    EXPECT_FALSE(other.ReadRecord(bad));
    EXPECT_EQ(Text(other.ErrorText()), "Invalid record number");
  }
  ASSERT_TRUE(other.ReadRecord(2)) << Text(other.ErrorText());
  EXPECT_EQ(Text(other.Fields()[0]->Value()), "2");
  EXPECT_EQ(other.RecordCount(), 2u);
  // Appends go after the other writer's records, not over them.
  ASSERT_TRUE(Append(&other, {"3"}));
  EXPECT_EQ(other.CurrentRecord(), 3u);
  ASSERT_TRUE(table.ReadRecord(3));
  EXPECT_EQ(Text(table.Fields()[0]->Value()), "3");
}

TEST_F(XBaseTableTest, RewriteAndDeletionMarkTouchOnlyTheirRecord) {
  XBaseTable table(files_.get());
  ASSERT_TRUE(table.CreateTable("r.dbf", "r.dbt", {Column("NAME", kXBaseCharacter, 3),
                                                   Column("NOTE", kXBaseMemo, 10)}));
  ASSERT_TRUE(Append(&table, {"one", "first"}));
  ASSERT_TRUE(Append(&table, {"two", ""}));
  ASSERT_TRUE(table.ReadRecord(1));
  ASSERT_TRUE(table.SetDeleted(true));
  EXPECT_TRUE(table.Deleted());
  ASSERT_TRUE(table.ReadRecord(2));
  table.Fields()[0]->SetValue("2", 1);
  table.Fields()[1]->SetValue("second", 6);
  ASSERT_TRUE(table.RewriteRecord()) << Text(table.ErrorText());

  std::string bytes = ReadFile("r.dbf");
  EXPECT_EQ(bytes.substr(97), std::string("*one         1") + " 2           2" + "\x1a");
  // The new memo goes to a new block; the old one stays as it was.
  std::string memo = ReadFile("r.dbt");
  EXPECT_EQ(memo.substr(0, 4), Le32(3));
  EXPECT_EQ(memo.substr(512, 7), "first\x1a\x1a");
  EXPECT_EQ(memo.substr(1024), "second\x1a\x1a");

  ASSERT_TRUE(table.ReadRecord(1));
  EXPECT_TRUE(table.Deleted());
  EXPECT_EQ(Text(table.Fields()[1]->Value()), "first");
  ASSERT_TRUE(table.SetDeleted(false));
  EXPECT_EQ(ReadFile("r.dbf")[97], ' ');
  // Restoring the read values undoes an unwritten change.
  table.Fields()[0]->SetValue("xyz", 3);
  table.Fields()[0]->RestoreReadValue();
  EXPECT_EQ(Text(table.Fields()[0]->Value()), "one");
}

TEST_F(XBaseTableTest, MemoFileNames) {
  struct {
    const char* table;
    const char* memo;
  } cases[] = {{"t.dbf", "t.dbt"}, {"T.DBF", "T.dbt"}, {"dir.x/t", "dir.x/t.dbt"},
               {"a.b.c", "a.b.dbt"}, {"plain", "plain.dbt"}, {"d\\x.y", "d\\x.dbt"}};
  for (const auto& c : cases) EXPECT_EQ(Text(XBaseTable::MemoName(c.table)), c.memo) << c.table;
}

TEST_F(XBaseTableTest, CreateRefusesTooManyFieldsAndOverlongRecords) {
  XBaseTable table(files_.get());
  std::vector<XBaseFieldDefinition> many(2047, Column("F", kXBaseLogical, 1));
  EXPECT_FALSE(table.CreateTable("m.dbf", "", many));
  EXPECT_EQ(Text(table.ErrorText()), "Error creating 'm.dbf': too many fields (maximum 2046)");
  std::vector<XBaseFieldDefinition> wide(300, Column("F", kXBaseCharacter, 254));
  EXPECT_FALSE(table.CreateTable("m.dbf", "", wide));
  EXPECT_EQ(Text(table.ErrorText()), "Error creating 'm.dbf': records longer than 65535 bytes");
  EXPECT_EQ(ReadFile("m.dbf"), "<missing>");
  EXPECT_FALSE(table.CreateTable("../m.dbf", "", {Column("F", kXBaseLogical, 1)}));
  EXPECT_EQ(Text(table.ErrorText()),
            "Error creating '../m.dbf': The specified path references a path outside the "
            "configured data directory");
}

TEST_F(XBaseTableTest, RebuildFilesAreMadeBesideAndReplaceTheOriginal) {
  ASSERT_EQ(mkdir(Path("sub").c_str(), 0755), 0);
  XBaseTable table(files_.get());
  ASSERT_TRUE(table.CreateTable("sub/t.dbf", "", {Column("N", kXBaseNumeric, 2)}));
  ASSERT_TRUE(Append(&table, {"1"}));
  table.CloseTable();

  String name;
  std::unique_ptr<DatabaseFile> temp(files_->CreateTemporary("sub/t.dbf", &name));
  ASSERT_NE(temp, nullptr) << Text(files_->ErrorText());
  EXPECT_EQ(Text(name).rfind("sub/", 0), 0u) << Text(name);
  ASSERT_TRUE(temp->WriteAt(0, "rebuilt", 7));
  temp.reset();
  ASSERT_TRUE(files_->Replace(name.c_str(), "sub/t.dbf"));
  EXPECT_EQ(ReadFile("sub/t.dbf"), "rebuilt");
  EXPECT_EQ(ReadFile(Text(name)), "<missing>");
  ASSERT_TRUE(files_->Remove("sub/t.dbf"));
  EXPECT_EQ(ReadFile("sub/t.dbf"), "<missing>");
  EXPECT_FALSE(files_->Replace("sub/none", "../escape"));
  EXPECT_EQ(files_->CreateTemporary("../t.dbf", &name), nullptr);
}

}  // namespace
}  // namespace pexo
