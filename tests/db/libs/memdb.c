/* A database library for the tests: three fixed records in memory, one view
 * "main" with the fields "name" and "pos". memdb_configure sets the table's
 * version and which entries are null; memdb_log returns what the engine
 * called, in order. */
#include <stdio.h>
#include <string.h>

#include "pexo/pexo.h"

static const char *const kNames[] = {"ann", "bob", "cy"};
static char log_text[4096];
static int position;
static char error[128];

static void Log(const char *text) {
  strncat(log_text, text, sizeof log_text - strlen(log_text) - 1);
  strncat(log_text, ";", sizeof log_text - strlen(log_text) - 1);
}

static PexoDatabaseVariable *Field(PexoDatabaseView *view, const char *name) {
  PexoDatabaseVariable **fields = (PexoDatabaseVariable **)pxDatabaseView_data(view);
  return strcmp(name, "name") == 0 ? fields[0] : fields[1];
}

static PexoDatabaseVariable *fields[2];

static void Show(PexoDatabaseView *view) {
  char pos[16];
  snprintf(pos, sizeof pos, "%d", position);
  pxVariable_SetValue((PexoVariable *)Field(view, "name"), kNames[position - 1], -1);
  pxVariable_SetValue((PexoVariable *)Field(view, "pos"), pos, -1);
  pxDatabaseView_SetDirty(view, 0);
}


static int OpenView(PexoDatabase *db, const char *file) {
  PexoDatabaseView *view;
  if (strcmp(file, "fail") == 0) {
    snprintf(error, sizeof error, "memdb cannot open '%s'", file);
    return 0;
  }
  if (strcmp(file, "noview") == 0) return 1;
  view = pxDatabase_AddView(db, "main", -1);
  fields[0] = pxDatabaseView_AddVariable(view, "name", -1);
  fields[1] = pxDatabaseView_AddVariable(view, "pos", -1);
  pxDatabaseView_SetData(view, fields);
  pxDatabase_SetData(db, view);
  position = 1;
  Show(view);
  return 1;
}

/* The open entry as each version receives it. */
static int Open1(PexoDatabase *db, const char *file, const char *text1, const char *text2) {
  char line[512];
  snprintf(line, sizeof line, "open1 %s %s %s", file, text1, text2);
  Log(line);
  return OpenView(db, file);
}
static int Open2(PexoDatabase *db, const char *file, const char *text1, const char *text2,
                 const char *text3) {
  char line[512];
  snprintf(line, sizeof line, "open2 %s %s %s %s", file, text1, text2, text3 ? text3 : "(null)");
  Log(line);
  return OpenView(db, file);
}
static int Open3(PexoDatabase *db, const char *file, const char *text1, const char *text2,
                 const char *text3, const char *name) {
  char line[512];
  snprintf(line, sizeof line, "open3 %s %s %s %s %s", file, text1, text2,
           text3 ? text3 : "(null)", name);
  Log(line);
  return OpenView(db, file);
}

static const char *ErrorText(PexoDatabase *db) {
  (void)db;
  return error;
}

static int Skip(PexoDatabaseView *view, int32_t count) {
  position += count;
  if (position < 1) position = 1;
  if (position > 3) position = 3;
  Show(view);
  return 1;
}

static int Go(PexoDatabaseView *view, int32_t record) {
  position = record == PX_DATABASE_GO_TOP ? 1 : record == PX_DATABASE_GO_BOTTOM ? 3 : record;
  if (position < 1 || position > 3) {
    snprintf(error, sizeof error, "memdb has no record %d", (int)record);
    return 0;
  }
  Show(view);
  return 1;
}

static int Update(PexoDatabaseView *view) {
  char line[128];
  /* The same field reached through the program's name resolution. */
  PexoVariable *pos = pxProgram_Lookup_Variable(pxDatabaseView_Program(view), "m.d.pos", -1);
  snprintf(line, sizeof line, "update %s at %s",
           pxVariable_Value((PexoVariable *)Field(view, "name"), NULL),
           pos ? pxVariable_Value(pos, NULL) : "(none)");
  Log(line);
  return 1;
}

static int Close(PexoDatabase *db) {
  (void)db;
  Log("close");
  return 1;
}
static int Commit(PexoDatabase *db) {
  (void)db;
  Log("commit");
  return 1;
}
static int Transact(PexoDatabase *db) {
  (void)db;
  Log("transact");
  return 1;
}
static void Release(PexoDatabase *db) {
  (void)db;
  Log("release");
}

static PxDatabaseLibrary table;

typedef int (*OpenEntry)(PexoDatabase *, const char *, const char *, const char *, const char *,
                         const char *);

/* The table's version; flags: 2 no close, 4 no skip. */
void memdb_configure(int version, int flags) {
  memset(&table, 0, sizeof table);
  table.version = version;
  table.open = version <= 1   ? (OpenEntry)(void (*)(void))Open1
               : version == 2 ? (OpenEntry)(void (*)(void))Open2
                              : Open3;
  table.close = (flags & 2) ? NULL : Close;
  table.skip = (flags & 4) ? NULL : Skip;
  table.error_text = ErrorText;
  table.go = Go;
  table.update = Update;
  table.commit = Commit;
  table.transact = Transact;
  table.release = Release;
  log_text[0] = 0;
  error[0] = 0;
}

const char *memdb_log(void) { return log_text; }

const PxDatabaseLibrary *pexo_database_library(void) { return &table; }
