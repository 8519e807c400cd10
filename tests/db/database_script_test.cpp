// The database instructions run by assembled programs: the manager's
// resolution and its messages, tables created, walked, filtered and written
// by scripts, field names in every scope form, and tables shared with an
// independent dBASE implementation (python3-dbf).
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "../vm/vm_harness.h"
#include "db/database_instructions.h"
#include "host/machine_databases_factory.h"
#include "host/tag_instruction_set.h"
#include "xbase_fixture.h"

namespace pexo {
namespace {

// A tag instruction with its attributes pushed as texts, first deepest.
std::string Tag(const std::string& mnemonic, const std::vector<std::string>& operands) {
  std::string code;
  for (const std::string& operand : operands) {
    code += " pushc \"";
    for (char c : operand) {
      if (c == '"' || c == '\\') code += '\\';
      code += c;
    }
    code += "\"\n";
  }
  return code + " " + mnemonic + "\n";
}

std::string Create(const std::string& name, const std::string& file, const std::string& fields,
                   const std::string& type = "") {
  return Tag("dbcreate", {name, file, type, fields, ""});
}
std::string Open(const std::string& name, const std::string& file, const std::string& type = "") {
  return Tag("dbopen", {name, file, type, "", "", ""});
}
// Writes the text of a name resolved as pushn resolves it.
std::string Show(const std::string& name) { return " pushnc \"" + name + "\"\n out\n"; }
std::string Put(const std::string& name, const std::string& value) {
  return " pushc \"" + value + "\"\n popnc \"" + name + "\"\n";
}
std::string Say(const std::string& text) { return " pushc \"" + text + "\"\n out\n"; }

class DatabaseScriptTest : public XBaseFixture {
 protected:
  // Runs `body` as the start segment; false when the run was stopped.
  bool Run(const std::string& body, const std::string& declarations = "") {
    machine_ = std::make_unique<testing_vm::Machine>();
    machine_->files = posix_.get();
    machine_->databases = MakeMachineDatabases;
    machine_->tag_instructions = EngineTagInstructions();
    return machine_->Run(declarations + ".segment main start\n" + body) == 1;
  }
  std::string Output() const { return machine_->app.output; }
  std::string Error(const char* tag) { return machine_->Global((std::string(tag) + "_Error").c_str()); }

  std::string Shell(const std::string& command) {
    std::string full = "cd '" + Path("") + "' && " + command;
    FILE* pipe = ::popen(full.c_str(), "r");
    if (!pipe) return "<popen failed>";
    std::string out;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    int status = ::pclose(pipe);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) out += "<exit " + std::to_string(status) + ">";
    return out;
  }

  std::unique_ptr<testing_vm::Machine> machine_;
};

const char kPeople[] = "NAME CHAR(10), AGE NUMBER(3), NOTE MEMO";

// Three records: ann 30, bob 40, cy 50, each with a memo "<name> memo".
std::string PeopleTable() {
  std::string code = Create("p", "people.dbf", kPeople);
  const char* names[] = {"ann", "bob", "cy"};
  const char* ages[] = {"30", "40", "50"};
  for (int i = 0; i < 3; ++i)
    code += Put("d.name", names[i]) + Put("d.age", ages[i]) +
            Put("d.note", std::string(names[i]) + " memo") + Tag("dbadd", {"", ""});
  return code;
}

TEST_F(DatabaseScriptTest, ManagerMessages) {
  struct Case {
    const char* what;
    std::string code;
    const char* tag;
    const char* error;
  };
  const std::string people = PeopleTable();
  const Case cases[] = {
      {"no primary", Tag("dbskip", {"", "", "1"}), "PxSKIP",
       "There is no primary database, and no database was specified"},
      {"not open", Tag("dbclose", {"nope"}), "PxCLOSE", "Database 'nope' is not open"},
      {"primary not open", " tagerror 32 1\n" + Tag("dbprimary", {"zz", "", ""}), "PxPRIMARY",
       "Database 'zz' is not open"},
      {"names ignore case", people + Open("P", "people.dbf"), "PxOPEN",
       "A database with the name 'P' is already open"},
      {"unknown view", people + Tag("dbgo", {"p", "v2", "top"}), "PxGO",
       "Database 'p' has no view named 'v2'"},
      {"view exists", people + Tag("dbopenview", {"P", "p", "", ""}), "PxOPENVIEW",
       "Database 'p' already has a view named 'p'"},
      {"unknown type", Open("x", "people.dbf", "xbase"), "PxOPEN",
       "Database type 'xbase' is unsupported or not configured"},
      {"default type", " pushc \"other\"\n popnc \"g.pexo_defaultdatabase\"\n" +
                           Create("x", "x.dbf", "A CHAR(1)"),
       "PxCREATE", "Database type 'other' is unsupported or not configured"},
      {"missing file", Open("x", "none.dbf"), "PxOPEN", "<nonempty>"},
      {"open view", people + Tag("dbopenview", {"", "v", "", ""}), "PxOPENVIEW",
       "PxOPENVIEW is not currently supported for databases of type 'xbase3'"},
      {"close view", people + Tag("dbcloseview", {"", "v"}), "PxCLOSEVIEW",
       "PxCLOSEVIEW is not currently supported for databases of type 'xbase3'"},
      {"query", people + Tag("dbquery", {"", "select", ""}), "PxQUERY",
       "PxQUERY is not currently supported for databases of type 'xbase3'"},
      {"command", people + Tag("dbcommand", {"", "c", "t"}), "PxDBCOMMAND",
       "PxDBCOMMAND is not currently supported for databases of type 'xbase3'"},
      {"find", people + Tag("dbfind", {"", "", "ann", ""}), "PxFIND",
       "Database has no open indexes"},
      {"filter syntax", people + Tag("dbfilter", {"", "", "d.age >"}), "PxFILTER",
       "<prefix>Syntax error in filter: "},
      {"bad field spec", Create("x", "x.dbf", "A CHAR(2),,B DATE"), "PxCREATE",
       "Dangling comma in field\tspecification"},
      {"update without record", Create("x", "x.dbf", "A CHAR(2)") + Tag("dbupdate", {"", ""}),
       "PxUPDATE", "Invalid record number"},
      {"empty flags mean none", people + " tagerror 39 1\n" + Tag("dbmakeindex", {"", "p.ndx", "d.name", ""}),
       "PxMAKEINDEX", "Not implemented"},
      {"dangling flag", people + " tagerror 39 1\n" + Tag("dbmakeindex", {"", "p.ndx", "d.name", "unique,"}),
       "PxMAKEINDEX", "Dangling comma in field\tspecification"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(Run(c.code)) << machine_->LastError();
    std::string error = Error(c.tag);
    if (std::string(c.error) == "<nonempty>")
      EXPECT_FALSE(error.empty() || error == "<none>");
    else if (std::string(c.error).rfind("<prefix>", 0) == 0)
      EXPECT_EQ(error.rfind(c.error + 8, 0), 0u) << error;
    else
      EXPECT_EQ(error, c.error);
  }
}

TEST_F(DatabaseScriptTest, SuccessClearsTheErrorVariable) {
  ASSERT_TRUE(Run(Open("x", "none.dbf") + Create("x", "x.dbf", "A CHAR(1)", "XBASE3") +
                  Show("PxCREATE_Error") + Say("|") + Open("y", "x.dbf") + Show("PxOPEN_Error")));
  EXPECT_EQ(Output(), "|");
}

TEST_F(DatabaseScriptTest, WalkInRecordOrder) {
  struct Case {
    const char* what;
    std::string code;
    const char* output;  // after each step: name recno eof
  };
  const std::string state = Show("d.name") + Say(" ") + Show("d.recno") + Say(" ") +
                            Show("d.eof") + Say(";");
  auto go = [](const char* where) { return Tag("dbgo", {"", "", where}); };
  auto skip = [](const char* count) { return Tag("dbskip", {"", "", count}); };
  const Case cases[] = {
      {"top and bottom", go("TOP") + state + go("Bottom") + state, "ann 1 0;cy 3 0;"},
      {"past the end stays on the last", go("bottom") + skip("1") + state + skip("-5") + state,
       "cy 3 1;ann 1 1;"},
      {"numbers", go("2") + state + go("9") + state + go("0") + state, "bob 2 0;bob 2 1;bob 2 1;"},
      {"skip zero clears eof", go("bottom") + skip("1") + skip("0") + state, "cy 3 0;"},
      {"filter", Tag("dbfilter", {"", "", "d.age GT 35"}) + state + skip("1") + state + skip("1") +
                     state + go("1") + state + go("bottom") + state,
       "bob 2 0;cy 3 0;cy 3 1;ann 1 1;cy 3 0;"},
      {"filter removed", Tag("dbfilter", {"", "", "d.age EQ 40"}) + state +
                             Tag("dbfilter", {"", "", ""}) + state + skip("2") + state,
       "bob 2 0;ann 1 0;cy 3 0;"},
      {"nothing passes", Tag("dbfilter", {"", "", "d.age GT 99"}) + Show("d.eof"), "1"},
      {"records another writer appended are reached",
       Open("other", "people.dbf") + Put("other.d.name", "dee") + Tag("dbadd", {"other", ""}) +
           Tag("dbgo", {"p", "", "3"}) + Tag("dbskip", {"p", "", "1"}) + Show("p.d.name") +
           Tag("dbgo", {"p", "", "bottom"}) + Show("p.d.recno"),
       "dee4"},
      {"deleted records are visited",
       go("2") + Tag("dbdelete", {"", ""}) + go("top") + skip("1") + Show("d.deleted") +
           Tag("dbundelete", {"", ""}) + Show("d.deleted") + Show("d.totrec"),
       "103"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(Run(PeopleTable() + c.code)) << machine_->LastError();
    EXPECT_EQ(Output(), c.output);
  }
}

TEST_F(DatabaseScriptTest, EmptyTableIsAtItsEnd) {
  ASSERT_TRUE(Run(Create("e", "e.dbf", "A CHAR(3)") + Tag("dbgo", {"", "", "BOTTOM"}) +
                  Show("d.eof") + Show("d.recno") + Tag("dbskip", {"", "", "-1"}) + Show("d.eof") +
                  Show("PxGO_Error") + Show("PxSKIP_Error")));
  EXPECT_EQ(Output(), "101");
}

TEST_F(DatabaseScriptTest, WritesReachTheFile) {
  ASSERT_TRUE(Run(PeopleTable() + Tag("dbgo", {"", "", "2"}) + Put("d.age", "41") +
                  Put("d.note", "new memo") + Tag("dbupdate", {"", ""}) +
                  Put("d.age", "abc") +  // refused: the value stays
                  Tag("dbclose", {"p"}) + Open("q", "people.dbf") + Tag("dbgo", {"q", "", "2"}) +
                  Show("q.d.age") + Say(" ") + Show("q.d.note")));
  EXPECT_EQ(Output(), "41 new memo");
  EXPECT_EQ(Error("PxUPDATE"), "<none>");
}

TEST_F(DatabaseScriptTest, OrderAndNameResolution) {
  const std::string two = Create("a", "a.dbf", "NAME CHAR(5)") + Put("d.name", "fromA") +
                          Tag("dbadd", {"", ""}) + Create("b", "b.dbf", "NAME CHAR(5), X CHAR(1)") +
                          Put("d.name", "fromB") + Tag("dbadd", {"", ""});
  struct Case {
    const char* what;
    std::string code;
    const char* output;
  };
  const Case cases[] = {
      {"newest is primary", Show("name") + Show("d.name"), "fromBfromB"},
      {"alias prefixes", Show("a.d.name") + Show("A.database.name") + Show("b.d.name"),
       "fromAfromAfromB"},
      {"primary moves", Tag("dbprimary", {"A", "", ""}) + Show("d.name"), "fromA"},
      {"close leaves the other primary",
       Tag("dbprimary", {"a", "", ""}) + Tag("dbclose", {"a"}) + Show("d.name"), "fromB"},
      {"field of one database only", Show("a.d.x") + Say("|") + Show("d.x"), "|"},
      {"pushd and popd", " pushc \"a\"\n pushc \"NAME\"\n pushd\n out\n"
                         " pushc \"new\"\n pushc \"b\"\n pushc \"name\"\n popd\n"
                         " pushdc \"b\" \"name\"\n out\n"
                         " pushc \"prim\"\n popdc \"\" \"name\"\n pushdc \"\" \"name\"\n out\n"
                         " pushdc \"zz\" \"name\"\n isnull\n out\n",
       "fromAnewprim1"},
      {"system and locals come first, globals last",
       Put("g.name", "global") + Show("name") + Show("g.name"), "fromBglobal"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(Run(two + c.code)) << machine_->LastError();
    EXPECT_EQ(Output(), c.output);
  }
}

// A field variable the script still holds after its database closed keeps
// what it showed and refuses assignments.
TEST_F(DatabaseScriptTest, FieldHeldPastClose) {
  ASSERT_TRUE(Run(PeopleTable() + Tag("dbgo", {"", "", "1"}) +
                      " pushnc \"d.name\"\n pushg keep\n refer\n" + Show("g.keep") +
                      " pushnc \"d.age\"\n pushg unread\n refer\n" + Tag("dbclose", {""}) +
                      Show("g.keep") + Put("g.keep", "x") + Show("g.keep") + Show("g.unread") +
                      Put("g.unread", "7") + Show("g.unread"),
                  ".global keep, unread\n"));
  EXPECT_EQ(Output(), "annannann");
}

// A field list of another tag names fields of the open tables as any
// instruction does: by "d.", by alias, and unqualified.
TEST_F(DatabaseScriptTest, ExportFieldListReachesOpenTables) {
  ASSERT_TRUE(Run(PeopleTable() + Tag("dbgo", {"", "", "2"}) +
                  Tag("export", {"out.txt", "d.name, p.d.age, note, nosuch", "|"})));
  EXPECT_EQ(ReadFile("out.txt"), "bob|40|bob memo|\n");
}

// Four processes append to one table through scripts at the same time; no
// record is lost or written twice.
TEST_F(DatabaseScriptTest, ScriptsInSeveralProcessesAppendToOneTable) {
  ASSERT_TRUE(Run(Create("t", "shared.dbf", "NAME CHAR(12), NOTE MEMO")));
  constexpr int kChildren = 4;
  constexpr int kRecords = 50;
  std::vector<pid_t> children;
  for (int child = 0; child < kChildren; ++child) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      std::string tag = "c" + std::to_string(child) + "-";
      bool ok = Run(Open("t", "shared.dbf") + " storegi i, 0\n"
                    "loop:\n cmpgi i, " + std::to_string(kRecords) + "\n jmp_ge done\n"
                    " pushc \"" + tag + "\"\n pushg i\n cat\n popnc \"d.name\"\n"
                    " pushc \"memo \"\n pushg i\n cat\n popnc \"d.note\"\n" +
                    Tag("dbadd", {"", ""}) + " incg i, 1\n jmp loop\n"
                    "done:\n" + Show("PxADD_Error"),
                    ".global i\n");
      ::_exit(ok && Output().empty() ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  XBaseTable table(files_.get());
  ASSERT_TRUE(table.OpenTable("shared.dbf", kDbOpenExisting));
  ASSERT_EQ(table.RecordCount(), static_cast<uint32_t>(kChildren * kRecords));
  std::vector<std::string> seen;
  for (uint32_t n = 1; n <= table.RecordCount(); ++n) {
    ASSERT_TRUE(table.ReadRecord(n));
    std::string name = XBaseFixture::Text(table.Fields()[0]->Value());
    std::string memo = XBaseFixture::Text(table.Fields()[1]->Value());
    EXPECT_EQ(memo, "memo " + name.substr(name.find('-') + 1));
    seen.push_back(name);
  }
  std::sort(seen.begin(), seen.end());
  std::vector<std::string> expected;
  for (int child = 0; child < kChildren; ++child)
    for (int i = 0; i < kRecords; ++i)
      expected.push_back("c" + std::to_string(child) + "-" + std::to_string(i));
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(seen, expected);
}

TEST_F(DatabaseScriptTest, RevealStructure) {
  ASSERT_TRUE(Run(PeopleTable() + " pushc \"\"\n pushc \"\"\n pushg s\n dbrevealstructureagg\n" +
                      " pushg s\n pushi 2\n elem\n pushc \"FIELD_NAME\"\n memb\n out\n"
                      " pushg s\n pushi 2\n elem\n pushc \"FIELD_LEN\"\n memb\n out\n"
                      " pushg s\n pushi 3\n elem\n pushc \"FIELD_TYPE\"\n memb\n out\n" +
                      Tag("dbrevealstructuredb", {"", "", "shape.dbf"}) + Open("s", "shape.dbf") +
                      Tag("dbgo", {"", "", "bottom"}) + Show("d.field_name") + Show("d.field_len") +
                      Show("d.totrec"),
                  ".global s\n"));
  EXPECT_EQ(Output(), "AGE3MNOTE103");
}

// python3-dbf writes a table; a script walks it, updates, deletes and adds;
// python3-dbf reads the result.
TEST_F(DatabaseScriptTest, PeerTableRoundTrip) {
  if (::access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "python3 missing";
  WriteFile("make.py", R"(import dbf, datetime
t = dbf.Table('peer.dbf', 'name C(12); qty N(7,2); born D; ok L; note M', codepage='cp437')
t.open(dbf.READ_WRITE)
t.append(('alpha', 1.5, datetime.date(2020, 1, 31), True, 'first\nmemo'))
t.append(('beta', -2.25, None, False, ''))
t.append(('gamma', 300, datetime.date(1999, 12, 31), None, 'x' * 600))
t.close()
)");
  ASSERT_EQ(Shell("/usr/bin/python3 make.py 2>&1"), "");
  const std::string loop =
      "walk:\n" + Show("d.name") + Say(",") + Show("d.qty") + Say(",") + Show("d.born") +
      Say(",") + Show("d.ok") + Say(";") + Tag("dbskip", {"", "", "1"}) +
      " pushnc \"d.eof\"\n jmp_eq walk\n";
  ASSERT_TRUE(Run(Open("peer", "peer.dbf") + Tag("dbgo", {"", "", "top"}) + loop + Tag("dbgo", {"", "", "2"}) +
                  Put("d.qty", "7.125") + Put("d.note", "now set") + Put("d.ok", "1") +
                  Tag("dbupdate", {"", ""}) + Tag("dbgo", {"", "", "1"}) +
                  Tag("dbdelete", {"", ""}) + Put("d.name", "delta") + Put("d.qty", "-0.5") +
                  Put("d.born", "20240229") + Put("d.ok", "0") + Put("d.note", "added") +
                  Tag("dbadd", {"", ""}) + Tag("dbclose", {""})));
  EXPECT_EQ(Output(),
            "alpha,1.50,20200131,1;beta,-2.25,        ,0;gamma,300.00,19991231,0;");
  WriteFile("read.py", R"(import dbf, json
t = dbf.Table('peer.dbf'); t.open(dbf.READ_ONLY)
for r in t:
    row = [dbf.is_deleted(r)]
    for v in r:
        row.append(v.isoformat() if hasattr(v, 'isoformat') else (v.rstrip() if isinstance(v, str) else v))
    print(json.dumps(row))
)");
  EXPECT_EQ(Shell("/usr/bin/python3 read.py 2>&1"),
            "[true, \"alpha\", 1.5, \"2020-01-31\", true, \"first\\nmemo\"]\n"
            "[false, \"beta\", 7.12, null, true, \"now set\"]\n"
            "[false, \"gamma\", 300.0, \"1999-12-31\", null, \"" + std::string(600, 'x') +
                "\"]\n"
            "[false, \"delta\", -0.5, \"2024-02-29\", false, \"added\"]\n");
}

}  // namespace
}  // namespace pexo
