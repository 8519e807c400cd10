#include "db/xbase/xbase_database.h"

#include <cctype>
#include <cstdio>
#include <vector>

#include "db/xbase/xbase_field_specification.h"
#include "db/xbase/xbase_variables.h"
#include "expr/expression_compiler.h"
#include "values/aggregate_index.h"
#include "values/variable.h"
#include "vm/pexo_vm.h"
#include "vm/vm_stack.h"

namespace pexo {

namespace {

// What a table without index support answers to index operations.
const char kNoIndexSupport[] = "Not implemented";

}  // namespace

XBaseDatabaseView::XBaseDatabaseView(Database* database, XBaseTable* table)
    : DatabaseView(database, database->Name()), table_(table) {
  for (const auto& field : table->Fields()) {
    XBaseFieldVariable* variable = MakeXBaseFieldVariable(field.get());
    if (variable) AddVariable(variable);
  }
  AddVariable(new XBaseTotalRecordsVariable(table));
  AddVariable(new XBaseRecordNumberVariable(table));
  AddVariable(new XBaseDeletedVariable(table));
  eof_ = new XBaseEOFVariable();
  AddVariable(eof_);
}

XBaseDatabaseView::~XBaseDatabaseView() {
  for (Variable* variable : variables_) static_cast<XBaseVariable*>(variable)->Detach();
}

bool XBaseDatabaseView::eof() const { return eof_->eof(); }

uint32_t XBaseDatabaseView::First() const { return table_->RecordCount() > 0 ? 1 : 0; }
uint32_t XBaseDatabaseView::Last() {
  table_->ReadHeader();
  return table_->RecordCount();
}
uint32_t XBaseDatabaseView::Next(uint32_t record) {
  if (record >= table_->RecordCount()) table_->ReadHeader();
  return record < table_->RecordCount() ? record + 1 : 0;
}
uint32_t XBaseDatabaseView::Previous(uint32_t record) const {
  return record > 1 && record - 1 <= table_->RecordCount() ? record - 1 : 0;
}

bool XBaseDatabaseView::TableError() {
  SetErrorText(table_->ErrorText());
  return false;
}

void XBaseDatabaseView::SetEOF(bool eof) { eof_->SetEOF(eof); }

void XBaseDatabaseView::Refresh() {
  for (Variable* variable : variables_) static_cast<XBaseVariable*>(variable)->Invalidate();
}

bool XBaseDatabaseView::Read(uint32_t record) {
  if (!table_->ReadRecord(record)) return TableError();
  Refresh();
  return true;
}

bool XBaseDatabaseView::Go(int32_t record) {
  uint32_t target = record == kGoTop      ? First()
                    : record == kGoBottom ? Last()
                    : record < 0          ? 0
                                          : static_cast<uint32_t>(record);
  if (target == 0 || target > table_->RecordCount()) {
    // A record another process appended since the last header read.
    if (target == 0 || !table_->ReadHeader() || target > table_->RecordCount()) {
      SetEOF(true);
      return true;
    }
  }
  if (!Read(target)) return false;
  SetEOF(false);
  return true;
}

bool XBaseDatabaseView::Skip(int32_t count) {
  uint32_t current = table_->CurrentRecord();
  if (count == 0) {
    if (current != 0 && !Read(current)) return false;
    Refresh();
    SetEOF(false);
    return true;
  }
  bool forward = count > 0;
  int64_t steps = forward ? count : -static_cast<int64_t>(count);
  uint32_t reached = current;
  bool end = false;
  for (int64_t i = 0; i < steps; ++i) {
    uint32_t next = reached == 0 ? (forward ? First() : 0)
                                 : (forward ? Next(reached) : Previous(reached));
    if (next == 0) {
      end = true;
      break;
    }
    reached = next;
  }
  if (reached != 0 && reached != current && !Read(reached)) return false;
  SetEOF(end);
  return true;
}

bool XBaseDatabaseView::Passes(bool* passes) {
  PexoVM* vm = database_->vm();
  // A stack of its own: the tag's operands are gone, but the caller's
  // entries below them must stay untouched.
  PexoVM_Stack stack(vm);
  if (vm->run_segment(filter_, &stack, nullptr) != 1 || vm->fatal() || stack.depth() == 0) {
    SetErrorText(vm->last_error().empty() ? String("Error evaluating the filter")
                                          : vm->last_error());
    return false;
  }
  *passes = stack.pop_truth() != 0;
  return true;
}

bool XBaseDatabaseView::SeekPassing(uint32_t record, bool forward) {
  while (record != 0) {
    if (!Read(record)) return false;
    bool passes = false;
    if (!Passes(&passes)) return false;
    if (passes) {
      SetEOF(false);
      return true;
    }
    record = forward ? Next(record) : Previous(record);
  }
  SetEOF(true);
  return true;
}

bool XBaseDatabaseView::GoFiltered(int32_t record) {
  if (record == kGoTop) return SeekPassing(First(), true);
  if (record == kGoBottom) return SeekPassing(Last(), false);
  if (record <= 0 || static_cast<uint32_t>(record) > table_->RecordCount()) {
    SetEOF(true);
    return true;
  }
  if (!Read(static_cast<uint32_t>(record))) return false;
  bool passes = false;
  if (!Passes(&passes)) return false;
  SetEOF(!passes);
  return true;
}

bool XBaseDatabaseView::SkipFiltered(int32_t count) {
  if (count == 0) return Skip(0);
  bool forward = count > 0;
  int64_t wanted = forward ? count : -static_cast<int64_t>(count);
  uint32_t record = table_->CurrentRecord();
  while (wanted > 0) {
    record = record == 0 ? (forward ? First() : 0) : (forward ? Next(record) : Previous(record));
    if (record == 0) {
      SetEOF(true);
      return true;
    }
    if (!Read(record)) return false;
    bool passes = false;
    if (!Passes(&passes)) return false;
    if (passes) --wanted;
  }
  SetEOF(false);
  return true;
}

bool XBaseDatabaseView::Find(const String&, bool) {
  SetErrorText("Database has no open indexes");
  return false;
}

bool XBaseDatabaseView::FindFiltered(const String& key, bool exact) { return Find(key, exact); }

void XBaseDatabaseView::StoreVariables() {
  for (Variable* variable : variables_) {
    XBaseVariable* field = static_cast<XBaseVariable*>(variable);
    field->SaveValue();
    field->StoreIntoField();
  }
}

void XBaseDatabaseView::RestoreVariables() {
  for (Variable* variable : variables_) static_cast<XBaseVariable*>(variable)->RestoreValue();
}

bool XBaseDatabaseView::Add() {
  StoreVariables();
  if (!table_->AppendRecord()) {
    RestoreVariables();
    return TableError();
  }
  Refresh();
  SetEOF(false);
  return true;
}

bool XBaseDatabaseView::Update() {
  StoreVariables();
  if (!table_->RewriteRecord()) {
    RestoreVariables();
    return TableError();
  }
  Refresh();
  return true;
}

bool XBaseDatabaseView::Delete() {
  if (!table_->SetDeleted(true)) return TableError();
  Refresh();
  return true;
}

bool XBaseDatabaseView::Undelete() {
  if (!table_->SetDeleted(false)) return TableError();
  Refresh();
  return true;
}

bool XBaseDatabaseView::SetFilter(const String& expression) {
  if (expression.empty()) {
    filter_ = nullptr;
    return Go(kGoTop);
  }
  const ProgramContext& context = database_->vm()->context();
  ExpressionProgram program;
  program.externals = externals_;
  program.segments = context.segments;
  program.dictionary = context.dictionary;
  program.functions = context.functions;
  if (!program.segments || !program.dictionary || !program.functions) {
    SetErrorText("Syntax error in filter: no program to compile it in");
    return false;
  }
  ExpressionOptions options;
  options.alias = database_->Name().data();
  options.alias_length = database_->Name().length();
  ExpressionCompiler compiler(program, expression.data(), expression.length(), options);
  if (!compiler.compile()) {
    String message("Syntax error in filter: ");
    message.append(compiler.error());
    SetErrorText(message);
    return false;
  }
  filter_ = compiler.segment();
  return GoFiltered(kGoTop);
}

bool XBaseDatabaseView::RevealStructureToVariable(Variable* target) {
  target->MakeAggregate(kKindArray);
  int32_t number = 0;
  for (const auto& field : table_->Fields()) {
    Variable* element = target->Element(AggregateIndex(++number), 1);
    if (!element) {
      SetErrorText("Unable to build the structure array");
      return false;
    }
    element->MakeAggregate(kKindStructure);
    char type[2] = {XBaseTypeLetter(field->Type()), 0};
    char length[16];
    char decimals[16];
    std::snprintf(length, sizeof length, "%d", field->Length());
    std::snprintf(decimals, sizeof decimals, "%d", field->Decimals());
    const struct {
      const char* member;
      const char* value;
      int32_t value_length;
    } members[] = {{"FIELD_NAME", field->Name().data(), field->Name().length()},
                   {"FIELD_TYPE", type, 1},
                   {"FIELD_LEN", length, -1},
                   {"FIELD_DEC", decimals, -1}};
    for (const auto& member : members) {
      Variable* slot = element->Element(AggregateIndex(member.member, -1), 1);
      if (slot) slot->SetValue(member.value, member.value_length);
    }
  }
  return true;
}

bool XBaseDatabaseView::RevealStructureToFile(const String& file) {
  XBaseTable structure(database_->files());
  std::vector<XBaseFieldDefinition> columns(4);
  const struct {
    const char* name;
    int32_t type;
    int32_t length;
  } kColumns[] = {{"FIELD_NAME", kXBaseCharacter, 10},
                  {"FIELD_TYPE", kXBaseCharacter, 1},
                  {"FIELD_LEN", kXBaseNumeric, 4},
                  {"FIELD_DEC", kXBaseNumeric, 4}};
  for (size_t i = 0; i < columns.size(); ++i) {
    columns[i].name.assign(kColumns[i].name);
    columns[i].type = kColumns[i].type;
    columns[i].length = kColumns[i].length;
  }
  if (!structure.CreateTable(file.c_str(), nullptr, columns)) {
    SetErrorText(structure.ErrorText());
    return false;
  }
  for (const auto& field : table_->Fields()) {
    char type[2] = {XBaseTypeLetter(field->Type()), 0};
    char length[16];
    char decimals[16];
    std::snprintf(length, sizeof length, "%d", field->Length());
    std::snprintf(decimals, sizeof decimals, "%d", field->Decimals());
    const std::vector<std::unique_ptr<XBaseField>>& out = structure.Fields();
    out[0]->SetValue(field->Name().data(), field->Name().length());
    out[1]->SetValue(type, 1);
    out[2]->SetValue(length, -1);
    out[3]->SetValue(decimals, -1);
    if (!structure.AppendRecord()) {
      SetErrorText(structure.ErrorText());
      return false;
    }
  }
  structure.CloseTable();
  return true;
}

XBaseDatabase::XBaseDatabase(PexoVM* vm, DatabaseFileManager* files, const String& name,
                             ExternalFunctionResolver* externals)
    : Database(vm, files, name), table_(files), externals_(externals) {}

XBaseDatabase::~XBaseDatabase() {
  // The views' variables point into the table's fields.
  views_.clear();
}

void XBaseDatabase::MakeView() {
  auto view = std::make_unique<XBaseDatabaseView>(this, &table_);
  view->SetExternals(externals_);
  AddView(std::move(view));
}

bool XBaseDatabase::Open(const DatabaseOpenTexts& texts) {
  file_ = texts.file;
  if (!table_.OpenTable(file_.c_str(), kDbOpenExisting)) {
    SetErrorText(table_.ErrorText());
    return false;
  }
  MakeView();
  return true;
}

bool XBaseDatabase::Close() {
  views_.clear();
  table_.CloseTable();
  return true;
}

bool XBaseDatabase::Create(const String& fields, const String& file, const String&) {
  std::vector<XBaseFieldDefinition> definitions;
  String error;
  if (!ParseFieldSpecification(fields.data(), fields.length(), &definitions, &error)) {
    SetErrorText(error);
    return false;
  }
  bool has_memo = false;
  for (const XBaseFieldDefinition& definition : definitions)
    has_memo = has_memo || definition.type == kXBaseMemo;
  file_ = file;
  String memo = has_memo ? XBaseTable::MemoName(file.c_str()) : String();
  if (!table_.CreateTable(file.c_str(), has_memo ? memo.c_str() : nullptr, definitions)) {
    SetErrorText(table_.ErrorText());
    return false;
  }
  MakeView();
  return true;
}

bool XBaseDatabase::GoTop() {
  DatabaseView* view = PrimaryView();
  if (!view) return true;
  bool ok = view->HasFilter() ? view->GoFiltered(kGoTop) : view->Go(kGoTop);
  if (!ok) SetErrorText(view->ErrorText());
  return ok;
}

bool XBaseDatabase::SetIndexes(const String& indexes) {
  for (int32_t i = 0; i < indexes.length(); ++i)
    if (!std::isspace(static_cast<unsigned char>(indexes.data()[i]))) {
      SetErrorText(kNoIndexSupport);
      return false;
    }
  // No index list: record order.
  return GoTop();
}

bool XBaseDatabase::SetPrimaryIndex(const String&) {
  SetErrorText(kNoIndexSupport);
  return false;
}

bool XBaseDatabase::MakeIndex(const String&, const String&, const String& flags) {
  // An empty flags text means no flags; an empty item in a list is an error.
  const char* text = flags.data();
  int32_t length = flags.length();
  if (length > 0) {
    int32_t start = 0;
    for (int32_t i = 0; i <= length; ++i) {
      if (i < length && text[i] != ',') continue;
      bool empty = true;
      for (int32_t j = start; j < i; ++j)
        if (!std::isspace(static_cast<unsigned char>(text[j]))) empty = false;
      if (empty) {
        SetErrorText("Dangling comma in field\tspecification");
        return false;
      }
      start = i + 1;
    }
  }
  SetErrorText(kNoIndexSupport);
  return false;
}

bool XBaseDatabase::Pack() {
  SetErrorText(kNoIndexSupport);
  return false;
}

// Rebuilds every open index; with none open there is nothing to rebuild.
bool XBaseDatabase::Reindex() { return GoTop(); }

bool XBaseDatabase::Unsupported(const char* tag) {
  String message(tag);
  message.append(" is not currently supported for databases of type 'xbase3'");
  SetErrorText(message);
  return false;
}

bool XBaseDatabase::OpenView(const String&, const String&, const String&, VariableList*) {
  return Unsupported("PxOPENVIEW");
}
bool XBaseDatabase::CloseView(const String&) { return Unsupported("PxCLOSEVIEW"); }
bool XBaseDatabase::Query(const String&, VariableList*) { return Unsupported("PxQUERY"); }
bool XBaseDatabase::DBCommand(const String&, const String&) { return Unsupported("PxDBCOMMAND"); }

}  // namespace pexo
