#include "db/database_instructions.h"

#include <cstdlib>

#include "db/database_manager.h"
#include "program/opcodes.h"
#include "values/conversions.h"
#include "values/variable.h"
#include "values/variable_hash.h"
#include "vm/error_table.h"
#include "vm/pexo_vm.h"
#include "vm/tag_instructions.h"
#include "vm/vm_stack.h"

namespace pexo {

namespace {

constexpr int kMaxOperands = 7;

// Pops `count` texts; texts[0] is the deepest.
bool PopTexts(PexoVM* vm, int count, String* texts) {
  for (int i = count - 1; i >= 0; --i) {
    int32_t length = 0;
    char* text = vm->stack()->pop_name(&length);
    if (vm->fatal()) {
      std::free(text);
      return false;
    }
    texts[i].assign(text ? text : "", text ? length : 0);
    std::free(text);
  }
  return true;
}

void Succeed(PexoVM* vm, int32_t tag) {
  const TagErrorSetting* setting = vm->tags().tag(tag);
  Variable* variable = nullptr;
  if (setting && vm->globals() && vm->globals()->Find(setting->variable, -1, false, &variable) &&
      variable)
    variable->SetValue("", 0);
}

void Report(PexoVM* vm, int32_t tag, bool ok, const String& error) {
  if (ok)
    Succeed(vm, tag);
  else
    vm->runtime_error(tag, error.c_str());
}

DatabaseManager* Manager(PexoVM* vm, int32_t tag) {
  auto* manager = dynamic_cast<DatabaseManager*>(vm->databases());
  if (!manager) vm->runtime_error(tag, "Databases are not available");
  return manager;
}

// Pops `count` texts and resolves the database of texts[0]; null when the
// tag has already been answered.
Database* Target(PexoVM* vm, int32_t tag, int count, String* texts, DatabaseManager** out) {
  if (!PopTexts(vm, count, texts)) return nullptr;
  DatabaseManager* manager = Manager(vm, tag);
  if (!manager) return nullptr;
  Database* database = manager->Resolve(texts[0]);
  if (!database) vm->runtime_error(tag, manager->error().c_str());
  if (out) *out = manager;
  return database;
}

// As Target, then the view of texts[1].
DatabaseView* TargetView(PexoVM* vm, int32_t tag, int count, String* texts) {
  DatabaseManager* manager = nullptr;
  Database* database = Target(vm, tag, count, texts, &manager);
  if (!database) return nullptr;
  DatabaseView* view = manager->ResolveView(database, texts[1]);
  if (!view) vm->runtime_error(tag, manager->error().c_str());
  return view;
}

void Open(PexoVM* vm, int count) {
  String texts[kMaxOperands];
  if (!PopTexts(vm, count, texts)) return;
  DatabaseManager* manager = Manager(vm, kTagPxOPEN);
  if (!manager) return;
  DatabaseOpenTexts open;
  open.file = texts[1];
  open.text1 = texts[4];
  open.text2 = texts[5];
  open.has_text3 = count > 6;
  if (open.has_text3) open.text3 = texts[6];
  bool ok = manager->Open(texts[0], texts[2], texts[3], open);
  Report(vm, kTagPxOPEN, ok, manager->error());
}

void OpDbOpen(PexoVM* vm, const TagOperands&) { Open(vm, 6); }
void OpDbOpenX(PexoVM* vm, const TagOperands&) { Open(vm, 7); }

void OpDbCreate(PexoVM* vm, const TagOperands&) {
  String texts[5];
  if (!PopTexts(vm, 5, texts)) return;
  DatabaseManager* manager = Manager(vm, kTagPxCREATE);
  if (!manager) return;
  bool ok = manager->Create(texts[0], texts[1], texts[2], texts[3], texts[4]);
  Report(vm, kTagPxCREATE, ok, manager->error());
}

void OpDbClose(PexoVM* vm, const TagOperands&) {
  String name;
  if (!PopTexts(vm, 1, &name)) return;
  DatabaseManager* manager = Manager(vm, kTagPxCLOSE);
  if (!manager) return;
  bool ok = manager->Close(name);
  Report(vm, kTagPxCLOSE, ok, manager->error());
}

void OpDbPrimary(PexoVM* vm, const TagOperands&) {
  String texts[3];
  if (!PopTexts(vm, 3, texts)) return;
  DatabaseManager* manager = Manager(vm, kTagPxPRIMARY);
  if (!manager) return;
  bool ok = manager->Primary(texts[0], texts[1], texts[2]);
  Report(vm, kTagPxPRIMARY, ok, manager->error());
}

// A database operation on the database of the first text.
template <int32_t kTag, int kCount, bool (*kRun)(Database*, const String*)>
void DatabaseOp(PexoVM* vm, const TagOperands&) {
  String texts[kCount];
  Database* database = Target(vm, kTag, kCount, texts, nullptr);
  if (!database) return;
  bool ok = kRun(database, texts);
  Report(vm, kTag, ok, database->ErrorText());
}

bool RunPack(Database* d, const String*) { return d->Pack(); }
bool RunReindex(Database* d, const String*) { return d->Reindex(); }
bool RunCommit(Database* d, const String*) { return d->Commit(); }
bool RunRollback(Database* d, const String*) { return d->Rollback(); }
bool RunTransact(Database* d, const String*) { return d->Transact(); }
bool RunSetIndex(Database* d, const String* t) { return d->SetIndexes(t[1]); }
bool RunMakeIndex(Database* d, const String* t) { return d->MakeIndex(t[1], t[2], t[3]); }
bool RunCloseView(Database* d, const String* t) { return d->CloseView(t[1]); }
bool RunCommand(Database* d, const String* t) { return d->DBCommand(t[1], t[2]); }

// A view operation on the view of the first two texts.
template <int32_t kTag, int kCount, bool (*kRun)(DatabaseView*, const String*)>
void ViewOp(PexoVM* vm, const TagOperands&) {
  String texts[kCount];
  DatabaseView* view = TargetView(vm, kTag, kCount, texts);
  if (!view) return;
  bool ok = kRun(view, texts);
  Report(vm, kTag, ok, view->ErrorText());
}

bool RunSkip(DatabaseView* v, const String* t) {
  int error = 0;
  int32_t count = TextToInteger(t[2].data(), t[2].length(), &error);
  return v->HasFilter() ? v->SkipFiltered(count) : v->Skip(count);
}

bool RunGo(DatabaseView* v, const String* t) {
  int32_t record;
  if (t[2].length() == 3 && t[2].equals_nocase("top", 3)) {
    record = kGoTop;
  } else if (t[2].length() == 6 && t[2].equals_nocase("bottom", 6)) {
    record = kGoBottom;
  } else {
    int error = 0;
    record = TextToInteger(t[2].data(), t[2].length(), &error);
    // Negative numbers are no record; they must not read as top or bottom.
    if (record < 0) record = 0;
  }
  return v->HasFilter() ? v->GoFiltered(record) : v->Go(record);
}

bool RunFind(DatabaseView* v, const String* t) {
  bool exact = t[3].length() == 1 && t[3].data()[0] == '1';
  return v->HasFilter() ? v->FindFiltered(t[2], exact) : v->Find(t[2], exact);
}

bool RunAdd(DatabaseView* v, const String*) { return v->Add(); }
bool RunUpdate(DatabaseView* v, const String*) { return v->Update(); }
bool RunDelete(DatabaseView* v, const String*) { return v->Delete(); }
bool RunUndelete(DatabaseView* v, const String*) { return v->Undelete(); }
bool RunFilter(DatabaseView* v, const String* t) { return v->SetFilter(t[2]); }
bool RunRevealFile(DatabaseView* v, const String* t) { return v->RevealStructureToFile(t[2]); }

void OpDbRevealAggregate(PexoVM* vm, const TagOperands&) {
  Variable* target = nullptr;
  bool owned = false;
  if (!vm->stack()->pop_variable(&target, &owned) || !target) {
    if (!vm->fatal()) vm->fatal_error("Invalid variable reference");
    return;
  }
  String texts[2];
  DatabaseView* view = TargetView(vm, kTagPxREVEALSTRUCTURE, 2, texts);
  if (view) {
    bool ok = view->RevealStructureToVariable(target);
    Report(vm, kTagPxREVEALSTRUCTURE, ok, view->ErrorText());
  }
  if (owned) target->Release();
}

void OpDbOpenView(PexoVM* vm, const TagOperands&) {
  String texts[4];
  if (!PopTexts(vm, 4, texts)) return;
  DatabaseManager* manager = Manager(vm, kTagPxOPENVIEW);
  if (!manager) return;
  bool ok = manager->OpenView(texts[0], texts[1], texts[2], texts[3]);
  Report(vm, kTagPxOPENVIEW, ok, manager->error());
}

void OpDbQuery(PexoVM* vm, const TagOperands&) {
  String texts[3];
  if (!PopTexts(vm, 3, texts)) return;
  DatabaseManager* manager = Manager(vm, kTagPxQUERY);
  if (!manager) return;
  bool ok = manager->Query(texts[0], texts[1], texts[2]);
  Report(vm, kTagPxQUERY, ok, manager->error());
}

}  // namespace

void RegisterDatabaseInstructions(TagInstructionTable* table) {
  table->Set(OP_DBOPEN, OpDbOpen);
  table->Set(OP_DBOPENX, OpDbOpenX);
  table->Set(OP_DBCREATE, OpDbCreate);
  table->Set(OP_DBCLOSE, OpDbClose);
  table->Set(OP_DBPRIMARY, OpDbPrimary);
  table->Set(OP_DBPACK, DatabaseOp<kTagPxPACK, 1, RunPack>);
  table->Set(OP_DBREINDEX, DatabaseOp<kTagPxREINDEX, 1, RunReindex>);
  table->Set(OP_DBCOMMIT, DatabaseOp<kTagPxCOMMIT, 1, RunCommit>);
  table->Set(OP_DBROLLBACK, DatabaseOp<kTagPxROLLBACK, 1, RunRollback>);
  table->Set(OP_DBTRANSACT, DatabaseOp<kTagPxTRANSACT, 1, RunTransact>);
  table->Set(OP_DBSETINDEX, DatabaseOp<kTagPxSETINDEX, 2, RunSetIndex>);
  table->Set(OP_DBMAKEINDEX, DatabaseOp<kTagPxMAKEINDEX, 4, RunMakeIndex>);
  table->Set(OP_DBCLOSEVIEW, DatabaseOp<kTagPxCLOSEVIEW, 2, RunCloseView>);
  table->Set(OP_DBCOMMAND, DatabaseOp<kTagPxDBCOMMAND, 3, RunCommand>);
  table->Set(OP_DBSKIP, ViewOp<kTagPxSKIP, 3, RunSkip>);
  table->Set(OP_DBGO, ViewOp<kTagPxGO, 3, RunGo>);
  table->Set(OP_DBFIND, ViewOp<kTagPxFIND, 4, RunFind>);
  table->Set(OP_DBADD, ViewOp<kTagPxADD, 2, RunAdd>);
  table->Set(OP_DBUPDATE, ViewOp<kTagPxUPDATE, 2, RunUpdate>);
  table->Set(OP_DBDELETE, ViewOp<kTagPxDELETE, 2, RunDelete>);
  table->Set(OP_DBUNDELETE, ViewOp<kTagPxUNDELETE, 2, RunUndelete>);
  table->Set(OP_DBFILTER, ViewOp<kTagPxFILTER, 3, RunFilter>);
  table->Set(OP_DBREVEALSTRUCTUREDB, ViewOp<kTagPxREVEALSTRUCTURE, 3, RunRevealFile>);
  table->Set(OP_DBREVEALSTRUCTUREAGG, OpDbRevealAggregate);
  table->Set(OP_DBOPENVIEW, OpDbOpenView);
  table->Set(OP_DBQUERY, OpDbQuery);
}

}  // namespace pexo
