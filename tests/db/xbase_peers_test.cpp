// Tables written by independent dBASE readers and writers (python3-dbf,
// python3-dbfread, shapelib) are read by the table layer, and tables it
// writes are read back by them, field by field.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "db/xbase/xbase_table.h"
#include "xbase_fixture.h"

namespace pexo {
namespace {

const char kPython[] = "/usr/bin/python3";

class XBasePeersTest : public XBaseFixture {
 protected:
  // Runs a shell command in the data directory; its standard output.
  std::string Run(const std::string& command) {
    std::string full = "cd '" + Path("") + "' && " + command;
    FILE* pipe = ::popen(full.c_str(), "r");
    if (!pipe) return "<popen failed>";
    std::string out;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    int status = ::pclose(pipe);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) out += "<exit status " + std::to_string(status) + ">";
    return out;
  }
  std::string Python(const std::string& program) {
    WriteFile("peer.py", program);
    return Run(std::string(kPython) + " peer.py 2>&1");
  }
  static bool Have(const char* path) { return ::access(path, X_OK) == 0; }
};

// python3-dbf: each record as a JSON list: deleted flag, then the fields.
const char kDbfDump[] = R"(import dbf, json
t = dbf.Table('ours.dbf'); t.open(dbf.READ_ONLY)
for r in t:
    row = [dbf.is_deleted(r)]
    for v in r:
        row.append(v.isoformat() if hasattr(v, 'isoformat') else (v.rstrip() if isinstance(v, str) else v))
    print(json.dumps(row))
)";

// python3-dbfread: live records, then deleted ones.
const char kDbfreadDump[] = R"(import dbfread, json
t = dbfread.DBF('ours.dbf')
for flag, rows in ((False, t), (True, t.deleted)):
    for r in rows:
        print(json.dumps([flag] + [v.isoformat() if hasattr(v, 'isoformat') else v for v in r.values()]))
)";

TEST_F(XBasePeersTest, PeersReadWhatWeWrite) {
  if (!Have(kPython)) GTEST_SKIP() << "python3 missing (scripts/setup.sh installs it)";
  XBaseTable table(files_.get());
  ASSERT_TRUE(table.CreateTable("ours.dbf", "ours.dbt", AllTypes()));
  std::string long_memo(600, 'x');
  ASSERT_TRUE(Append(&table, {"alpha", "12.50", "20240131", "T", "line1\nline2 \\ back"}));
  ASSERT_TRUE(Append(&table, {"beta", "-3.25", "", "F", ""}));
  ASSERT_TRUE(table.SetDeleted(true));
  ASSERT_TRUE(Append(&table, {"gamma", "0.00", "19991231", "F", long_memo}));
  ASSERT_TRUE(table.ReadRecord(1));
  table.Fields()[1]->SetValue("99.99", 5);
  table.Fields()[4]->SetValue("changed memo", -1);
  ASSERT_TRUE(table.RewriteRecord());
  table.CloseTable();

  std::string first = R"([false, "alpha", 99.99, "2024-01-31", true, "changed memo"])";
  std::string second = R"([true, "beta", -3.25, null, false, ""])";
  std::string third = "[false, \"gamma\", 0.0, \"1999-12-31\", false, \"" + long_memo + "\"]";
  EXPECT_EQ(Python(kDbfDump), first + "\n" + second + "\n" + third + "\n");
  // dbfread shows a memo field without a block as null.
  std::string second_dbfread = R"([true, "beta", -3.25, null, false, null])";
  EXPECT_EQ(Python(kDbfreadDump), first + "\n" + third + "\n" + second_dbfread + "\n");

  if (!Have("/usr/bin/dbfdump")) GTEST_SKIP() << "shapelib missing";
  XBaseTable plain(files_.get());
  ASSERT_TRUE(plain.CreateTable("plain.dbf", "", {Column("NAME", kXBaseCharacter, 10),
                                                  Column("QTY", kXBaseNumeric, 8, 2)}));
  ASSERT_TRUE(Append(&plain, {"abc", "12.50"}));
  ASSERT_TRUE(Append(&plain, {"x y", "-3.00"}));
  plain.CloseTable();
  EXPECT_EQ(Run("dbfdump -r plain.dbf"),
            "NAME            QTY \nabc        12.50    \nx y        -3.00    \n");
}

TEST_F(XBasePeersTest, WeReadWhatPeersWrite) {
  if (!Have(kPython)) GTEST_SKIP() << "python3 missing (scripts/setup.sh installs it)";
  std::string out = Python(R"(import dbf, datetime
t = dbf.Table('theirs.dbf', 'name C(12); qty N(7,2); born D; ok L; note M', dbf_type='db3')
t.open(dbf.READ_WRITE)
t.append(('one', 1.5, datetime.date(2001, 2, 3), True, 'multi\nline\n' + 'z' * 1000))
t.append(('two', -12.25, None, False, ''))
t.append(('three', 0, datetime.date(1999, 12, 31), False, 'short'))
dbf.delete(t[1])
t.close()
)");
  ASSERT_EQ(out, "");
  XBaseTable table(files_.get());
  ASSERT_TRUE(table.OpenTable("theirs.dbf", kDbOpenExisting)) << Text(table.ErrorText());
  ASSERT_EQ(table.RecordCount(), 3u);
  struct Row {
    bool deleted;
    std::vector<std::string> values;
  } rows[] = {
      {false, {"one", "1.50", "20010203", "T", "multi\nline\n" + std::string(1000, 'z')}},
      {true, {"two", "-12.25", "        ", "F", ""}},
      {false, {"three", "0.00", "19991231", "F", "short"}},
  };
  for (uint32_t n = 1; n <= 3; ++n) {
    ASSERT_TRUE(table.ReadRecord(n)) << Text(table.ErrorText());
    const Row& row = rows[n - 1];
    EXPECT_EQ(table.Deleted(), row.deleted) << n;
    for (size_t i = 0; i < row.values.size(); ++i)
      EXPECT_EQ(Text(table.Fields()[i]->Value()), row.values[i]) << n << "/" << i;
  }
  // Our appends land where the peer expects them.
  ASSERT_TRUE(Append(&table, {"four", "4.00", "20200101", "T", "added"}));
  table.CloseTable();
  EXPECT_EQ(Python(R"(import dbf
t = dbf.Table('theirs.dbf'); t.open(dbf.READ_ONLY)
r = t[3]
print(len(t), r.name.rstrip(), r.qty, r.born.isoformat(), r.ok, r.note)
)"), "4 four 4.0 2020-01-01 True added\n");

  if (!Have("/usr/bin/dbfcreate")) GTEST_SKIP() << "shapelib missing";
  ASSERT_EQ(Run("dbfcreate shp.dbf -s NAME 10 -n QTY 8 2 && dbfadd shp.dbf abc 12.5 && "
                "dbfadd shp.dbf 'x y' -3"), "");
  ASSERT_TRUE(table.OpenTable("shp.dbf", kDbOpenExisting)) << Text(table.ErrorText());
  const char* expected[2][2] = {{"abc", "12.50"}, {"x y", "-3.00"}};
  for (uint32_t n = 1; n <= 2; ++n) {
    ASSERT_TRUE(table.ReadRecord(n));
    EXPECT_EQ(Text(table.Fields()[0]->Value()), expected[n - 1][0]);
    EXPECT_EQ(Text(table.Fields()[1]->Value()), expected[n - 1][1]);
  }
}

}  // namespace
}  // namespace pexo
