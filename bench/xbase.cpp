// The xBase table layer against SQLite 3 on the same machine in the same
// run: append N records of five fields, read them all back in record order,
// update every record once. SQLite runs twice: one transaction per
// operation, and everything in a single transaction. Neither side syncs to
// disk (SQLite with synchronous=OFF), so the ratios compare the work, not
// the disk. Prints times and the ratios xBase / SQLite (below 1: faster).
// Usage: bench_xbase [records]
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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
  std::printf("max RSS after xBase appends %ld kB, after xBase updates %ld kB\n", rss_append,
              rss_end);
  return 0;
}
