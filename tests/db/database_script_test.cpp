// The database instructions run by assembled programs: the manager's
// resolution and its messages, tables created, walked, filtered and written
// by scripts, field names in every scope form, and tables shared with an
// independent dBASE implementation (python3-dbf).
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "../vm/vm_harness.h"
#include "db/database_instructions.h"
#include "db/xbase/xbase_index_check.h"
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
      {"empty field declaration", Create("x", "x.dbf", "A CHAR(2),,B DATE"), "PxCREATE",
       "Dangling comma in field\tspecification"},
      {"update without record", Create("x", "x.dbf", "A CHAR(2)") + Tag("dbupdate", {"", ""}),
       "PxUPDATE", "Invalid record number"},
      {"empty flags mean none", people + " tagerror 39 1\n" + Tag("dbmakeindex", {"", "p.ndx", "d.name", ""}),
       "PxMAKEINDEX", "<none>"},
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

std::string MakeIndex(const std::string& file, const std::string& expression,
                      const std::string& flags) {
  return Tag("dbmakeindex", {"", file, expression, flags});
}

// People and a fourth record, al 35, with an index on the name.
std::string IndexedPeople(const std::string& flags = "STRING") {
  return PeopleTable() + Put("d.name", "al") + Put("d.age", "35") + Put("d.note", "") +
         Tag("dbadd", {"", ""}) + MakeIndex("n.ndx", "d.name", flags);
}

TEST_F(DatabaseScriptTest, IndexOrderAndFind) {
  const std::string name = Show("d.name") + Say(",");
  const std::string walk = Tag("dbgo", {"", "", "top"}) + name + Tag("dbskip", {"", "", "1"}) +
                           name + Tag("dbskip", {"", "", "1"}) + name +
                           Tag("dbskip", {"", "", "1"}) + name + Tag("dbskip", {"", "", "1"}) +
                           name + Show("d.eof");
  auto find = [](const char* key, const char* exact) { return Tag("dbfind", {"", "", key, exact}); };
  const std::string state = Show("d.name") + Say(" ") + Show("d.recno") + Say(" ") + Show("d.eof");
  struct Case {
    const char* what;
    std::string code;
    const char* output;
  };
  const Case cases[] = {
      {"name order", walk, "al,ann,bob,cy,cy,1"},
      {"numeric descending", MakeIndex("a.ndx", "d.age", "descending") + walk, "cy,bob,al,ann,ann,1"},
      {"bottom and back", Tag("dbgo", {"", "", "bottom"}) + name + Tag("dbskip", {"", "", "-2"}) + name,
       "cy,ann,"},
      {"a plain number, then on in index order", Tag("dbgo", {"", "", "2"}) + Tag("dbskip", {"", "", "1"}) + name,
       "cy,"},
      {"exact", find("bob", "1") + state, "bob 2 0"},
      {"prefix", find("a", "") + state, "al 4 0"},
      {"missing", Tag("dbgo", {"", "", "2"}) + find("b", "1") + state, "bob 2 1"},
      {"range positions on the next", MakeIndex("r.ndx", "d.name", "string,range") + find("b", "1") + state,
       "bob 2 1"},
      {"filtered find steps over failing records",
       Tag("dbfilter", {"", "", "d.age LT 35"}) + find("a", "") + state + find("c", "") + Show("d.eof"),
       "ann 1 01"},
      {"filtered walk", Tag("dbfilter", {"", "", "d.age GT 30"}) + walk, "al,bob,cy,cy,cy,1"},
      {"primary index moves", MakeIndex("a.ndx", "d.age", "") + Tag("dbsetindex", {"", "a.ndx, n.ndx"}) +
           name + Tag("dbprimary", {"p", "", "n.ndx"}) + name + find("c", "") + name,
       "ann,al,cy,"},
      {"add keeps every index", MakeIndex("a.ndx", "d.age", "") + Tag("dbsetindex", {"", "n.ndx,a.ndx"}) +
           Put("d.name", "aa") + Put("d.age", "99") + Tag("dbadd", {"", ""}) + walk +
           Tag("dbprimary", {"p", "", "a.ndx"}) + Tag("dbgo", {"", "", "bottom"}) + name,
       "aa,al,ann,bob,cy,0aa,"},
      {"update moves the entry", find("ann", "1") + Put("d.name", "zed") + Tag("dbupdate", {"", ""}) +
           Tag("dbskip", {"", "", "-1"}) + name + walk,
       "cy,al,bob,cy,zed,zed,1"},
      {"pack renumbers", Tag("dbgo", {"", "", "1"}) + Tag("dbdelete", {"", ""}) + Tag("dbpack", {""}) +
           walk + find("al", "1") + state + Show("d.totrec") + find("bob", "1") + Show("d.note"),
       "al,bob,cy,cy,cy,1al 3 03bob memo"},
      {"reindex", Tag("dbreindex", {""}) + walk, "al,ann,bob,cy,cy,1"},
      {"index names once", Tag("dbsetindex", {"", "n.ndx,n.ndx"}) + Tag("dbfind", {"", "", "cy", "1"}) +
           Show("d.recno"), "3"},
      {"no list, record order", Tag("dbsetindex", {"", ""}) + walk, "ann,bob,cy,al,al,1"},
      {"records another writer added are reached in index order",
       Open("other", "people.dbf") + Tag("dbsetindex", {"other", "n.ndx"}) + Put("other.d.name", "zz") +
           Tag("dbadd", {"other", ""}) + Tag("dbfind", {"p", "", "cy", "1"}) + Tag("dbskip", {"p", "", "1"}) +
           Show("p.d.name") + Show("p.d.eof") + Show("PxSKIP_Error"),
       "zz0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(Run(IndexedPeople() + c.code)) << machine_->LastError();
    EXPECT_EQ(Output(), c.output);
  }
}

TEST_F(DatabaseScriptTest, IndexMessages) {
  struct Case {
    const char* what;
    std::string code;
    const char* tag;
    const char* error;
  };
  const Case cases[] = {
      {"dangling comma", Tag("dbsetindex", {"", "n.ndx, ,x.ndx"}), "PxSETINDEX",
       "Dangling comma in index list"},
      {"no such index", " tagerror 32 1\n" + Tag("dbprimary", {"p", "", "zz.ndx"}), "PxPRIMARY",
       "Database has no index with that name"},
      {"bad expression", " tagerror 39 1\n" + MakeIndex("b.ndx", "d.age >", ""), "PxMAKEINDEX",
       "<prefix>Syntax error in index expression: "},
      {"unique make", Put("d.name", "al") + Tag("dbadd", {"", ""}) + " tagerror 39 1\n" +
                          MakeIndex("u.ndx", "d.name", "unique, descending"),
       "PxMAKEINDEX",
       "Index 'u.ndx' was created with the UNIQUE flag and the key 'al' already exists in the index file"},
      {"not an index", Tag("dbsetindex", {"", "people.dbf"}), "PxSETINDEX",
       "'people.dbf' is either corrupt or is not a valid index file"},
      {"missing index", Tag("dbsetindex", {"", "none.ndx"}), "PxSETINDEX", "<prefix>Error opening 'none.ndx': "},
      {"record not in index",
       Open("raw", "people.dbf") + Put("raw.d.name", "new") + Tag("dbadd", {"raw", ""}) +
           Tag("dbfilter", {"p", "", "1"}) + Tag("dbgo", {"p", "", "5"}),
       "PxGO", "Record is not in index"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(Run(IndexedPeople() + c.code)) << machine_->LastError();
    std::string error = Error(c.tag);
    if (std::string(c.error).rfind("<prefix>", 0) == 0)
      EXPECT_EQ(error.rfind(c.error + 8, 0), 0u) << error;
    else
      EXPECT_EQ(error, c.error);
  }
}

// A UNIQUE violation writes nothing: no record, no key in any index, and an
// update keeps the record and its entries.
TEST_F(DatabaseScriptTest, UniqueViolationChangesNothing) {
  const std::string indexes = MakeIndex("a.ndx", "d.age", "") + MakeIndex("u.ndx", "d.name", "unique,string") +
                              Tag("dbsetindex", {"", "a.ndx,u.ndx"});
  ASSERT_TRUE(Run(IndexedPeople() + indexes + Put("d.name", "bob") + Put("d.age", "1") +
                  Tag("dbadd", {"", ""}) + Show("PxADD_Error") + Say("|") + Show("d.totrec") +
                  Tag("dbfind", {"", "", "40", "1"}) + Put("d.name", "cy") + Tag("dbupdate", {"", ""}) +
                  Show("PxUPDATE_Error") + Say("|") + Tag("dbclose", {""}) + Open("q", "people.dbf") +
                  Tag("dbsetindex", {"", "u.ndx,a.ndx"}) + Tag("dbfind", {"", "", "bob", "1"}) +
                  Show("d.recno") + Tag("dbprimary", {"q", "", "a.ndx"}) + Tag("dbgo", {"", "", "top"}) +
                  Show("d.age")));
  const char* message =
      "Index 'u.ndx' was created with the UNIQUE flag and the key '%s' already exists in the index file";
  char add[200], update[200];
  std::snprintf(add, sizeof add, message, "bob");
  std::snprintf(update, sizeof update, message, "cy");
  EXPECT_EQ(Output(), std::string(add) + "|4" + update + "|230");
}

// Checks every index file against the table: the tree's invariants and one
// entry per record (deleted ones included) keyed by `field` as read.
std::string ToText(const String& s) { return std::string(s.data(), static_cast<size_t>(s.length())); }

void CheckIndexesAgainstTable(DatabaseFileManager* files, const char* table_name,
                              const std::vector<std::pair<std::string, size_t>>& indexes) {
  XBaseTable table(files);
  ASSERT_TRUE(table.OpenTable(table_name, kDbOpenExisting)) << ToText(table.ErrorText());
  for (const auto& named : indexes) {
    SCOPED_TRACE(named.first);
    XBaseIndexFile index(files);
    ASSERT_TRUE(index.OpenIndex(named.first.c_str())) << ToText(index.ErrorText());
    std::vector<VRKIndexEntry> entries;
    std::string error;
    ASSERT_TRUE(CheckIndexTree(&index, &entries, &error)) << error;
    std::vector<VRKIndexEntry> expected;
    for (uint32_t n = 1; n <= table.RecordCount(); ++n) {
      ASSERT_TRUE(table.ReadRecord(n));
      expected.push_back({n, ToText(table.Fields()[named.second]->Value())});
    }
    ASSERT_TRUE(CompareIndexEntries(index, entries, expected, &error)) << error;
  }
}

// Random adds, updates, deletes, packs and reindexes through scripts, each
// step checked against a model of the table and by the index checker: a
// numeric index, a STRING DESCENDING one with keys longer than the key
// size and many equal keys, and a UNIQUE one that refuses duplicates
// without changing anything.
TEST_F(DatabaseScriptTest, IndexesFollowARandomModel) {
  struct Row {
    std::string name;
    int qty;
    int id;
    bool deleted;
  };
  std::vector<Row> model;
  const std::string open = Open("t", "m.dbf") + Tag("dbsetindex", {"", "q.ndx,n.ndx,u.ndx"});
  ASSERT_TRUE(Run(Create("t", "m.dbf", "NAME CHAR(120), QTY NUMBER(4), ID NUMBER(6)") +
                  MakeIndex("u.ndx", "d.id", "unique") + MakeIndex("n.ndx", "d.name", "string,descending") +
                  MakeIndex("q.ndx", "d.qty", "")));
  const std::vector<std::pair<std::string, size_t>> indexes = {{"q.ndx", 1}, {"n.ndx", 0}, {"u.ndx", 2}};
  CheckIndexesAgainstTable(files_.get(), "m.dbf", indexes);
  std::mt19937 random(12345);
  int next_id = 1;
  auto pick_name = [&]() {
    std::string name = "n" + std::to_string(random() % 12);
    if (random() % 6 == 0) name = std::string(105, 'x') + name;  // cut to the key size
    return name;
  };
  for (int step = 0; step < 160; ++step) {
    int what = static_cast<int>(random() % 100);
    std::string code = open;
    const char* expect_error = nullptr;
    if (model.empty() || what < 40) {
      Row row{pick_name(), static_cast<int>(random() % 20), next_id, false};
      bool duplicate = !model.empty() && random() % 8 == 0;
      if (duplicate) row.id = model[random() % model.size()].id;
      code += Put("d.name", row.name) + Put("d.qty", std::to_string(row.qty)) +
              Put("d.id", std::to_string(row.id)) + Tag("dbadd", {"", ""}) + Show("PxADD_Error");
      if (duplicate) {
        expect_error = "PxADD";
      } else {
        model.push_back(row);
        ++next_id;
      }
    } else if (what < 75) {
      size_t n = random() % model.size();
      Row row = model[n];
      row.name = pick_name();
      row.qty = static_cast<int>(random() % 20);
      bool duplicate = model.size() > 1 && random() % 6 == 0;
      if (duplicate) {
        row.id = model[(n + 1) % model.size()].id;
      } else if (random() % 3 == 0) {
        row.id = next_id++;
      }
      code += Tag("dbgo", {"", "", std::to_string(n + 1)}) + Put("d.name", row.name) +
              Put("d.qty", std::to_string(row.qty)) + Put("d.id", std::to_string(row.id)) +
              Tag("dbupdate", {"", ""}) + Show("PxUPDATE_Error");
      if (duplicate) expect_error = "PxUPDATE";
      else model[n] = row;
    } else if (what < 90) {
      size_t n = random() % model.size();
      code += Tag("dbgo", {"", "", std::to_string(n + 1)}) + Tag("dbdelete", {"", ""});
      model[n].deleted = true;
    } else if (what < 96) {
      code += Tag("dbpack", {""}) + Show("PxPACK_Error");
      std::vector<Row> kept;
      for (const Row& row : model)
        if (!row.deleted) kept.push_back(row);
      model = kept;
    } else {
      code += Tag("dbreindex", {""}) + Show("PxREINDEX_Error");
    }
    SCOPED_TRACE("step " + std::to_string(step));
    ASSERT_TRUE(Run(code)) << machine_->LastError();
    if (expect_error)
      EXPECT_NE(Output().find("was created with the UNIQUE flag"), std::string::npos) << Output();
    else
      ASSERT_EQ(Output(), "") << code;
    XBaseTable table(files_.get());
    ASSERT_TRUE(table.OpenTable("m.dbf", kDbOpenExisting));
    ASSERT_EQ(table.RecordCount(), model.size());
    for (uint32_t n = 1; n <= table.RecordCount(); ++n) {
      ASSERT_TRUE(table.ReadRecord(n));
      const Row& row = model[n - 1];
      ASSERT_EQ(Text(table.Fields()[0]->Value()), row.name);
      ASSERT_EQ(Text(table.Fields()[1]->Value()), std::to_string(row.qty));
      ASSERT_EQ(Text(table.Fields()[2]->Value()), std::to_string(row.id));
      ASSERT_EQ(table.Deleted(), row.deleted);
    }
    table.CloseTable();
    CheckIndexesAgainstTable(files_.get(), "m.dbf", indexes);
    if (HasFatalFailure()) return;
  }
  // Deleting and packing everything leaves empty, valid indexes.
  std::string code = open;
  for (size_t n = 1; n <= model.size(); ++n)
    code += Tag("dbgo", {"", "", std::to_string(n)}) + Tag("dbdelete", {"", ""});
  ASSERT_TRUE(Run(code + Tag("dbpack", {""}) + Tag("dbgo", {"", "", "top"}) + Show("d.eof") +
                  Show("d.totrec")));
  EXPECT_EQ(Output(), "10");
  CheckIndexesAgainstTable(files_.get(), "m.dbf", indexes);
}

// Four processes add and update through the same indexes at once; no
// record is lost and every index still matches the table.
TEST_F(DatabaseScriptTest, ProcessesShareIndexes) {
  ASSERT_TRUE(Run(Create("t", "s.dbf", "NAME CHAR(12), QTY NUMBER(6)") + MakeIndex("q.ndx", "d.qty", "") +
                  MakeIndex("n.ndx", "d.name", "string")));
  constexpr int kChildren = 4;
  constexpr int kRecords = 40;
  std::vector<pid_t> children;
  for (int child = 0; child < kChildren; ++child) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      std::string tag = "c" + std::to_string(child) + "-";
      // Each record is added with quantity i, then updated to i + 1000.
      bool ok = Run(Open("t", "s.dbf") + Tag("dbsetindex", {"", "n.ndx,q.ndx"}) + " storegi i, 0\n"
                    "loop:\n cmpgi i, " + std::to_string(kRecords) + "\n jmp_ge done\n"
                    " pushc \"" + tag + "\"\n pushg i\n cat\n popnc \"d.name\"\n"
                    " pushg i\n popnc \"d.qty\"\n" + Tag("dbadd", {"", ""}) +
                    " pushg i\n pushi 1000\n add\n popnc \"d.qty\"\n" + Tag("dbupdate", {"", ""}) +
                    " incg i, 1\n jmp loop\n"
                    "done:\n" + Show("PxADD_Error") + Show("PxUPDATE_Error"),
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
  ASSERT_TRUE(table.OpenTable("s.dbf", kDbOpenExisting));
  EXPECT_EQ(table.RecordCount(), static_cast<uint32_t>(kChildren * kRecords));
  for (uint32_t n = 1; n <= table.RecordCount(); ++n) {
    ASSERT_TRUE(table.ReadRecord(n));
    std::string name = Text(table.Fields()[0]->Value());
    EXPECT_EQ(Text(table.Fields()[1]->Value()), std::to_string(1000 + std::stoi(name.substr(3))));
  }
  table.CloseTable();
  CheckIndexesAgainstTable(files_.get(), "s.dbf", {{"q.ndx", 1}, {"n.ndx", 0}});
  // The command-line checker agrees, and notices an entry gone missing.
  const std::string tool = std::string(PEXO_BINARY_DIR) + "/tools/pexo-dbcheck";
  EXPECT_EQ(Shell(tool + " s.dbf q.ndx n.ndx"),
            "s.dbf: 160 records\nq.ndx: ok, 160 entries\nn.ndx: ok, 160 entries\n");
  XBaseIndexFile index(files_.get());
  ASSERT_TRUE(index.OpenIndex("n.ndx"));
  ASSERT_TRUE(index.DeleteKey(7, Text([&] {
    XBaseTable t(files_.get());
    t.OpenTable("s.dbf", kDbOpenExisting);
    t.ReadRecord(7);
    return String(t.Fields()[0]->Value());
  }())));
  index.Close();
  std::string out = Shell(tool + " s.dbf n.ndx");
  EXPECT_NE(out.find("where the table gives"), std::string::npos) << out;
  EXPECT_NE(out.find("<exit"), std::string::npos) << out;
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
