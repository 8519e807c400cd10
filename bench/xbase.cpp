// The xBase table layer against SQLite 3 on the same machine in the same
// run: append N records of five fields, read them all back in record order,
// update every record once. SQLite runs twice: one transaction per
// operation, and everything in a single transaction. Neither side syncs to
// disk (SQLite with synchronous=OFF), so the ratios compare the work, not
// the disk. Prints times and the ratios xBase / SQLite (below 1: faster).
// Then the same with one index on a numeric key (given in a scrambled
// order): insert, finds by key one at a time, the whole walk in key order,
// pack after deleting every other record, and reindex; SQLite with an index
// on the same column, one statement (and transaction) at a time.
// Usage: bench_xbase [records]
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "db/xbase/xbase_index_file.h"
#include "db/xbase/xbase_rebuild.h"
#include "db/xbase/xbase_table.h"
#include "host/posix_file_manager.h"
#include "host/xbase_file_manager_adapter.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

long MaxRssKb() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

struct Times {
  double append = 0, read = 0, update = 0;
};

void Die(const char* what, const pexo::String& error) {
  std::fprintf(stderr, "%s: %s\n", what, error.c_str());
  std::exit(1);
}

Times RunXBase(const std::string& dir, int records, long* rss_after_append, long* rss_after) {
  pexo::PosixFileManager posix(nullptr);
  if (!posix.SetDataDirectory(dir.c_str(), -1)) Die("data directory", posix.ErrorText());
  pexo::PosixDatabaseFileManager files(&posix);
  pexo::XBaseTable table(&files);
  std::vector<pexo::XBaseFieldDefinition> fields(5);
  const char* names[] = {"ID", "NAME", "PRICE", "DAY", "OK"};
  int types[] = {pexo::kXBaseNumeric, pexo::kXBaseCharacter, pexo::kXBaseNumeric,
                 pexo::kXBaseDate, pexo::kXBaseLogical};
  int lengths[] = {8, 20, 10, 8, 1};
  int decimals[] = {0, 0, 2, 0, 0};
  for (int i = 0; i < 5; ++i) {
    fields[i].name.assign(names[i]);
    fields[i].type = types[i];
    fields[i].length = lengths[i];
    fields[i].decimals = decimals[i];
  }
  if (!table.CreateTable("bench.dbf", "bench.dbt", fields)) Die("create", table.ErrorText());
  const auto& f = table.Fields();
  Times t;
  char text[32];
  auto start = Clock::now();
  for (int i = 1; i <= records; ++i) {
    int n = std::snprintf(text, sizeof text, "%d", i);
    f[0]->SetValue(text, n);
    n = std::snprintf(text, sizeof text, "name %d", i);
    f[1]->SetValue(text, n);
    n = std::snprintf(text, sizeof text, "%d.%02d", i % 1000, i % 100);
    f[2]->SetValue(text, n);
    f[3]->SetValue("20260101", 8);
    f[4]->SetValue(i % 2 ? "T" : "F", 1);
    if (!table.AppendRecord()) Die("append", table.ErrorText());
  }
  t.append = Seconds(start);
  *rss_after_append = MaxRssKb();
  start = Clock::now();
  long sum = 0;
  for (uint32_t n = 1; n <= table.RecordCount(); ++n) {
    if (!table.ReadRecord(n)) Die("read", table.ErrorText());
    sum += f[0]->Value().length();
  }
  t.read = Seconds(start);
  if (sum == 0) Die("read", pexo::String("nothing read"));
  start = Clock::now();
  for (uint32_t n = 1; n <= table.RecordCount(); ++n) {
    if (!table.ReadRecord(n)) Die("read", table.ErrorText());
    f[4]->SetValue("T", 1);
    if (!table.RewriteRecord()) Die("update", table.ErrorText());
  }
  t.update = Seconds(start);
  *rss_after = MaxRssKb();
  return t;
}

void Exec(sqlite3* db, const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
    std::fprintf(stderr, "sqlite: %s: %s\n", sql, error ? error : "?");
    std::exit(1);
  }
}

void Step(sqlite3_stmt* statement, int expected) {
  int rc = sqlite3_step(statement);
  if (rc != expected) {
    std::fprintf(stderr, "sqlite step: %d\n", rc);
    std::exit(1);
  }
}

Times RunSqlite(const std::string& path, int records, bool single) {
  ::unlink(path.c_str());
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) std::exit(1);
  Exec(db, "PRAGMA synchronous=OFF");
  Exec(db,
       "CREATE TABLE t(id INTEGER, name TEXT, price NUMERIC, day TEXT, ok INTEGER)");
  sqlite3_stmt *insert, *select, *update;
  sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?,?,?,?,?)", -1, &insert, nullptr);
  sqlite3_prepare_v2(db, "SELECT id, name, price, day, ok FROM t WHERE rowid=?", -1, &select,
                     nullptr);
  sqlite3_prepare_v2(db, "UPDATE t SET ok=1 WHERE rowid=?", -1, &update, nullptr);
  Times t;
  char text[32];
  auto start = Clock::now();
  if (single) Exec(db, "BEGIN");
  for (int i = 1; i <= records; ++i) {
    sqlite3_bind_int(insert, 1, i);
    int n = std::snprintf(text, sizeof text, "name %d", i);
    sqlite3_bind_text(insert, 2, text, n, SQLITE_TRANSIENT);
    n = std::snprintf(text, sizeof text, "%d.%02d", i % 1000, i % 100);
    sqlite3_bind_text(insert, 3, text, n, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 4, "20260101", 8, SQLITE_STATIC);
    sqlite3_bind_int(insert, 5, i % 2);
    Step(insert, SQLITE_DONE);
    sqlite3_reset(insert);
  }
  if (single) Exec(db, "COMMIT");
  t.append = Seconds(start);
  start = Clock::now();
  long sum = 0;
  if (single) Exec(db, "BEGIN");
  for (int i = 1; i <= records; ++i) {
    sqlite3_bind_int(select, 1, i);
    Step(select, SQLITE_ROW);
    sum += sqlite3_column_bytes(select, 1);
    sqlite3_reset(select);
  }
  if (single) Exec(db, "COMMIT");
  t.read = Seconds(start);
  if (sum == 0) std::exit(1);
  start = Clock::now();
  if (single) Exec(db, "BEGIN");
  for (int i = 1; i <= records; ++i) {
    sqlite3_bind_int(update, 1, i);
    Step(update, SQLITE_DONE);
    sqlite3_reset(update);
  }
  if (single) Exec(db, "COMMIT");
  t.update = Seconds(start);
  sqlite3_finalize(insert);
  sqlite3_finalize(select);
  sqlite3_finalize(update);
  sqlite3_close(db);
  return t;
}


struct IndexTimes {
  double insert = 0, find = 0, walk = 0, pack = 0, reindex = 0;
  double reads_per_find = 0;
};

// Counts the reads of every file it opens.
class CountingFiles : public pexo::DatabaseFileManager {
 public:
  explicit CountingFiles(pexo::DatabaseFileManager* inner) : inner_(inner) {}
  class File : public pexo::DatabaseFile {
   public:
    File(pexo::DatabaseFile* inner, long* reads) : inner_(inner), reads_(reads) {}
    int32_t ReadAt(int64_t offset, void* buffer, int32_t count) override {
      ++*reads_;
      return inner_->ReadAt(offset, buffer, count);
    }
    bool WriteAt(int64_t offset, const void* buffer, int32_t count) override {
      return inner_->WriteAt(offset, buffer, count);
    }
    int64_t Size() override { return inner_->Size(); }
    bool Flush() override { return inner_->Flush(); }
    bool Lock(int64_t o, int64_t l, bool e) override { return inner_->Lock(o, l, e); }
    bool Unlock(int64_t o, int64_t l) override { return inner_->Unlock(o, l); }
    const pexo::String& ErrorText() const override { return inner_->ErrorText(); }

   private:
    std::unique_ptr<pexo::DatabaseFile> inner_;
    long* reads_;
  };
  pexo::DatabaseFile* Open(const char* name, int32_t mode) override {
    pexo::DatabaseFile* file = inner_->Open(name, mode);
    return file ? new File(file, &reads) : nullptr;
  }
  pexo::DatabaseFile* CreateTemporary(const char* beside, pexo::String* name) override {
    return inner_->CreateTemporary(beside, name);
  }
  bool Replace(const char* from, const char* to) override { return inner_->Replace(from, to); }
  bool Remove(const char* name) override { return inner_->Remove(name); }
  const pexo::String& ErrorText() const override { return inner_->ErrorText(); }
  long reads = 0;

 private:
  pexo::DatabaseFileManager* inner_;
};

int Scrambled(int i, int records) { return static_cast<int>((static_cast<long>(i) * 7919) % records) + 1; }

std::vector<pexo::XBaseFieldDefinition> IndexedFields() {
  std::vector<pexo::XBaseFieldDefinition> fields(2);
  fields[0].name.assign("K");
  fields[0].type = pexo::kXBaseNumeric;
  fields[0].length = 8;
  fields[1].name.assign("NAME");
  fields[1].type = pexo::kXBaseCharacter;
  fields[1].length = 20;
  return fields;
}

// Fills `index` with the key of every record of `table` (deleted ones
// included, as a rebuild does).
void FillIndex(pexo::XBaseTable* table, pexo::XBaseIndexFile* index) {
  for (uint32_t n = 1; n <= table->RecordCount(); ++n) {
    if (!table->ReadRecord(n)) Die("read", table->ErrorText());
    const pexo::String& key = table->Fields()[0]->Value();
    if (!index->InsertKey(n, std::string(key.data(), static_cast<size_t>(key.length()))))
      Die("insert key", index->ErrorText());
  }
}

IndexTimes RunXBaseIndexed(const std::string& dir, int records) {
  pexo::PosixFileManager posix(nullptr);
  if (!posix.SetDataDirectory(dir.c_str(), -1)) Die("data directory", posix.ErrorText());
  pexo::PosixDatabaseFileManager plain(&posix);
  CountingFiles files(&plain);
  pexo::XBaseTable table(&files);
  if (!table.CreateTable("ix.dbf", nullptr, IndexedFields())) Die("create", table.ErrorText());
  pexo::XBaseIndexFile index(&files);
  if (!index.CreateIndex("ix.ndx", "k", 0)) Die("create index", index.ErrorText());
  const auto& f = table.Fields();
  IndexTimes t;
  char text[32];
  auto start = Clock::now();
  for (int i = 1; i <= records; ++i) {
    char key[16];
    int k = std::snprintf(key, sizeof key, "%d", Scrambled(i, records));
    f[0]->SetValue(key, k);
    int n = std::snprintf(text, sizeof text, "name %d", i);
    f[1]->SetValue(text, n);
    if (!table.AppendRecord()) Die("append", table.ErrorText());
    if (!index.InsertKey(table.CurrentRecord(), std::string(key, static_cast<size_t>(k))))
      Die("insert", index.ErrorText());
  }
  t.insert = Seconds(start);
  long reads_before = files.reads;
  start = Clock::now();
  long sum = 0;
  for (int i = 1; i <= records; ++i) {
    int n = std::snprintf(text, sizeof text, "%d", Scrambled(i * 3, records));
    bool found = false;
    uint32_t record = 0;
    if (!index.FindKey(std::string(text, static_cast<size_t>(n)), true, &found, &record) || !found)
      Die("find", index.ErrorText());
    if (!table.ReadRecord(record)) Die("read", table.ErrorText());
    sum += f[1]->Value().length();
  }
  t.find = Seconds(start);
  // Each find reads the index (header and pages) and one record.
  t.reads_per_find = static_cast<double>(files.reads - reads_before) / records - 1;
  start = Clock::now();
  uint32_t record = 0;
  long walked = 0;
  if (!index.First(&record)) Die("first", index.ErrorText());
  while (record != 0) {
    if (!table.ReadRecord(record)) Die("read", table.ErrorText());
    sum += f[1]->Value().length();
    ++walked;
    if (!index.Next(&record)) Die("next", index.ErrorText());
  }
  t.walk = Seconds(start);
  if (walked != records || sum == 0) Die("walk", pexo::String("wrong count"));
  for (uint32_t n = 2; n <= table.RecordCount(); n += 2) {
    if (!table.ReadRecord(n) || !table.SetDeleted(true)) Die("delete", table.ErrorText());
  }
  // Pack as the database does it: a new table and index beside the old
  // ones, flushed, swapped in by the rename list.
  start = Clock::now();
  {
    std::vector<pexo::XBaseTemporaryFile> swaps(2);
    pexo::String error;
    if (!pexo::MakeTemporaryBeside(&files, pexo::String("ix.dbf"), &swaps[0], &error) ||
        !pexo::MakeTemporaryBeside(&files, pexo::String("ix.ndx"), &swaps[1], &error))
      Die("temporary", error);
    pexo::XBaseTable copy(&files);
    if (!copy.CreateTable(swaps[0].temporary.c_str(), nullptr, IndexedFields())) Die("create", copy.ErrorText());
    pexo::XBaseIndexFile packed(&files);
    if (!packed.CreateIndex(swaps[1].temporary.c_str(), "k", 0)) Die("create index", packed.ErrorText());
    packed.BeginBuild();
    for (uint32_t n = 1; n <= table.RecordCount(); ++n) {
      if (!table.ReadRecord(n)) Die("read", table.ErrorText());
      if (table.Deleted()) continue;
      for (size_t i = 0; i < f.size(); ++i) copy.Fields()[i]->SetValue(f[i]->Value().data(), f[i]->Value().length());
      if (!copy.AppendRecord()) Die("append", copy.ErrorText());
      const pexo::String& key = f[0]->Value();
      if (!packed.InsertKey(copy.CurrentRecord(), std::string(key.data(), static_cast<size_t>(key.length()))))
        Die("insert", packed.ErrorText());
    }
    if (!packed.EndBuild() || !copy.FlushFiles() || !packed.Flush()) Die("flush", copy.ErrorText());
    copy.CloseTable();
    packed.Close();
    index.Close();
    table.CloseTable();
    if (!pexo::CommitRebuild(&files, pexo::String("ix.dbf"), swaps, &error)) Die("swap", error);
  }
  t.pack = Seconds(start);
  if (!table.OpenTable("ix.dbf", pexo::kDbOpenExisting)) Die("open", table.ErrorText());
  if (table.RecordCount() != static_cast<uint32_t>((records + 1) / 2)) Die("pack", pexo::String("wrong count"));
  start = Clock::now();
  {
    pexo::XBaseTemporaryFile swap;
    pexo::String error;
    if (!pexo::MakeTemporaryBeside(&files, pexo::String("ix.ndx"), &swap, &error)) Die("temporary", error);
    pexo::XBaseIndexFile rebuilt(&files);
    if (!rebuilt.CreateIndex(swap.temporary.c_str(), "k", 0)) Die("create index", rebuilt.ErrorText());
    rebuilt.BeginBuild();
    FillIndex(&table, &rebuilt);
    if (!rebuilt.EndBuild() || !rebuilt.Flush()) Die("flush", rebuilt.ErrorText());
    rebuilt.Close();
    if (!pexo::CommitRebuild(&files, pexo::String("ix.dbf"), {swap}, &error)) Die("swap", error);
  }
  t.reindex = Seconds(start);
  return t;
}

IndexTimes RunSqliteIndexed(const std::string& path, int records) {
  ::unlink(path.c_str());
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) std::exit(1);
  Exec(db, "PRAGMA synchronous=OFF");
  Exec(db, "CREATE TABLE t(k INTEGER, name TEXT)");
  Exec(db, "CREATE INDEX tk ON t(k)");
  sqlite3_stmt *insert, *select, *walk;
  sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?,?)", -1, &insert, nullptr);
  sqlite3_prepare_v2(db, "SELECT rowid, name FROM t WHERE k=?", -1, &select, nullptr);
  sqlite3_prepare_v2(db, "SELECT k, name FROM t ORDER BY k", -1, &walk, nullptr);
  IndexTimes t;
  char text[32];
  auto start = Clock::now();
  for (int i = 1; i <= records; ++i) {
    sqlite3_bind_int(insert, 1, Scrambled(i, records));
    int n = std::snprintf(text, sizeof text, "name %d", i);
    sqlite3_bind_text(insert, 2, text, n, SQLITE_TRANSIENT);
    Step(insert, SQLITE_DONE);
    sqlite3_reset(insert);
  }
  t.insert = Seconds(start);
  start = Clock::now();
  long sum = 0;
  for (int i = 1; i <= records; ++i) {
    sqlite3_bind_int(select, 1, Scrambled(i * 3, records));
    Step(select, SQLITE_ROW);
    sum += sqlite3_column_bytes(select, 1);
    sqlite3_reset(select);
  }
  t.find = Seconds(start);
  start = Clock::now();
  long walked = 0;
  while (sqlite3_step(walk) == SQLITE_ROW) {
    sum += sqlite3_column_bytes(walk, 1);
    ++walked;
  }
  sqlite3_reset(walk);
  t.walk = Seconds(start);
  if (walked != records || sum == 0) std::exit(1);
  sqlite3_finalize(insert);
  sqlite3_finalize(select);
  sqlite3_finalize(walk);
  Exec(db, "UPDATE t SET name=name WHERE rowid % 2 = 0");
  start = Clock::now();
  Exec(db, "DELETE FROM t WHERE rowid % 2 = 0");
  Exec(db, "VACUUM");
  t.pack = Seconds(start);
  start = Clock::now();
  Exec(db, "REINDEX tk");
  t.reindex = Seconds(start);
  sqlite3_close(db);
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  int records = argc > 1 ? std::atoi(argv[1]) : 100000;
  if (records < 1) records = 100000;
  char pattern[] = "/tmp/pexo_bench_xbXXXXXX";
  if (!mkdtemp(pattern)) return 1;
  std::string dir = pattern;
  long rss_append = 0, rss_end = 0;
  Times x = RunXBase(dir, records, &rss_append, &rss_end);
  Times per_op = RunSqlite(dir + "/per_op.db", records, false);
  Times single = RunSqlite(dir + "/single.db", records, true);
  IndexTimes xi = RunXBaseIndexed(dir, records);
  IndexTimes si = RunSqliteIndexed(dir + "/indexed.db", records);
  std::string command = "rm -rf '" + dir + "'";
  if (std::system(command.c_str()) != 0) return 1;

  std::printf("%d records of five fields (seconds)\n", records);
  std::printf("%-8s %10s %16s %16s %12s %12s\n", "phase", "xbase", "sqlite/op-txn",
              "sqlite/one-txn", "ratio/op", "ratio/one");
  struct Row {
    const char* name;
    double a, b, c;
  } rows[] = {{"append", x.append, per_op.append, single.append},
              {"read", x.read, per_op.read, single.read},
              {"update", x.update, per_op.update, single.update}};
  for (const Row& r : rows)
    std::printf("%-8s %10.3f %16.3f %16.3f %12.2f %12.2f\n", r.name, r.a, r.b, r.c, r.a / r.b,
                r.a / r.c);
  std::printf("\nwith one index (seconds; SQLite one statement and transaction at a time)\n");
  std::printf("%-8s %10s %10s %8s\n", "phase", "xbase", "sqlite", "ratio");
  Row indexed[] = {{"insert", xi.insert, si.insert, 0},
                   {"find", xi.find, si.find, 0},
                   {"walk", xi.walk, si.walk, 0},
                   {"pack", xi.pack, si.pack, 0},
                   {"reindex", xi.reindex, si.reindex, 0}};
  for (const Row& r : indexed)
    std::printf("%-8s %10.3f %10.3f %8.2f\n", r.name, r.a, r.b, r.a / r.b);
  std::printf("index reads per find (header and pages): %.2f\n", xi.reads_per_find);
  std::printf("max RSS after xBase appends %ld kB, after xBase updates %ld kB\n", rss_append,
              rss_end);
  return 0;
}
