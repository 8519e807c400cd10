#include "db/xbase/xbase_database.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "db/xbase/xbase_expression.h"
#include "db/xbase/xbase_field_declarations.h"
#include "db/xbase/xbase_rebuild.h"
#include "db/xbase/xbase_variables.h"
#include "expr/expression_compiler.h"
#include "values/aggregate_index.h"
#include "values/variable.h"
#include "vm/pexo_vm.h"
#include "vm/vm_stack.h"

namespace pexo {

XBaseDatabaseView::XBaseDatabaseView(Database* database, XBaseTable* table,
                                     XBaseIndexList* indexes)
    : DatabaseView(database, database->Name()), table_(table), indexes_(indexes) {
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

void XBaseDatabaseView::Rebind() {
  // The field variables come first, in field order.
  const auto& fields = table_->Fields();
  for (size_t i = 0; i < fields.size() && i < variables_.size(); ++i)
    static_cast<XBaseFieldVariable*>(variables_[i])->Rebind(fields[i].get());
  Refresh();
}

bool XBaseDatabaseView::IndexError(XBaseIndex* index) {
  SetErrorText(index->ErrorText());
  return false;
}

bool XBaseDatabaseView::First(uint32_t* record) {
  if (XBaseIndex* index = primary())
    return index->file().First(record) || (index->FileError(), IndexError(index));
  *record = table_->RecordCount() > 0 ? 1 : 0;
  return true;
}

bool XBaseDatabaseView::Last(uint32_t* record) {
  if (XBaseIndex* index = primary())
    return index->file().Last(record) || (index->FileError(), IndexError(index));
  table_->ReadHeader();
  *record = table_->RecordCount();
  return true;
}

bool XBaseDatabaseView::PlaceCursor(uint32_t from) {
  XBaseIndex* index = primary();
  uint32_t current = table_->CurrentRecord();
  if (index->file().CurrentRecord() == from && from != 0) return true;
  std::string key;
  if (!index->EvaluateKey(&key)) return IndexError(index);
  if (!index->file().FindEntry(key, current)) return index->FileError() || IndexError(index);
  return true;
}

bool XBaseDatabaseView::Next(uint32_t current, uint32_t* record) {
  if (XBaseIndex* index = primary()) {
    if (!PlaceCursor(current)) return false;
    return index->file().Next(record) || (index->FileError(), IndexError(index));
  }
  if (current >= table_->RecordCount()) table_->ReadHeader();
  *record = current < table_->RecordCount() ? current + 1 : 0;
  return true;
}

bool XBaseDatabaseView::Previous(uint32_t current, uint32_t* record) {
  if (XBaseIndex* index = primary()) {
    if (!PlaceCursor(current)) return false;
    return index->file().Previous(record) || (index->FileError(), IndexError(index));
  }
  *record = current > 1 && current - 1 <= table_->RecordCount() ? current - 1 : 0;
  return true;
}

bool XBaseDatabaseView::Beyond(uint32_t record) {
  // An index may already hold records another process appended since the
  // table's header was last read.
  if (record > table_->RecordCount()) table_->ReadHeader();
  return record == 0 || record > table_->RecordCount();
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
  uint32_t target = 0;
  if (record == kGoTop) {
    if (!First(&target)) return false;
  } else if (record == kGoBottom) {
    if (!Last(&target)) return false;
  } else if (record > 0) {
    target = static_cast<uint32_t>(record);
  }
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
    uint32_t next = 0;
    if (reached == 0) {
      if (forward && !First(&next)) return false;
    } else if (!(forward ? Next(reached, &next) : Previous(reached, &next))) {
      return false;
    }
    if (Beyond(next)) {
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
  String error;
  if (!TestDatabaseExpression(database_->vm(), filter_, passes, &error)) {
    SetErrorText(error);
    return false;
  }
  return true;
}

bool XBaseDatabaseView::SeekPassing(uint32_t record, bool forward) {
  while (!Beyond(record)) {
    if (!Read(record)) return false;
    bool passes = false;
    if (!Passes(&passes)) return false;
    if (passes) {
      SetEOF(false);
      return true;
    }
    if (!(forward ? Next(record, &record) : Previous(record, &record))) return false;
  }
  SetEOF(true);
  return true;
}

bool XBaseDatabaseView::GoFiltered(int32_t record) {
  uint32_t start = 0;
  if (record == kGoTop) return First(&start) && SeekPassing(start, true);
  if (record == kGoBottom) return Last(&start) && SeekPassing(start, false);
  // A record another process appended since the last header read.
  if (record > 0 && static_cast<uint32_t>(record) > table_->RecordCount()) table_->ReadHeader();
  if (record <= 0 || static_cast<uint32_t>(record) > table_->RecordCount()) {
    SetEOF(true);
    return true;
  }
  if (!Read(static_cast<uint32_t>(record))) return false;
  bool passes = false;
  if (!Passes(&passes)) return false;
  if (passes && primary() && !PlaceCursor(0)) return false;
  SetEOF(!passes);
  return true;
}

bool XBaseDatabaseView::SkipFiltered(int32_t count) {
  if (count == 0) return Skip(0);
  bool forward = count > 0;
  int64_t wanted = forward ? count : -static_cast<int64_t>(count);
  while (wanted > 0) {
    uint32_t record = 0;
    if (table_->CurrentRecord() == 0) {
      if (forward && !First(&record)) return false;
    } else if (!(forward ? Next(table_->CurrentRecord(), &record)
                         : Previous(table_->CurrentRecord(), &record))) {
      return false;
    }
    if (Beyond(record)) {
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

bool XBaseDatabaseView::Find(const String& key, bool exact) {
  XBaseIndex* index = primary();
  if (!index) {
    SetErrorText("Database has no open indexes");
    return false;
  }
  std::string search(key.data(), static_cast<size_t>(key.length()));
  bool found = false;
  uint32_t record = 0;
  if (!index->file().FindKey(search, exact, &found, &record)) return index->FileError() || IndexError(index);
  bool range = (index->file().flags() & kVRKRange) != 0;
  if (!(found || range) || Beyond(record)) {
    SetEOF(true);
    return true;
  }
  if (!Read(record)) return false;
  SetEOF(!found);
  return true;
}

bool XBaseDatabaseView::FindFiltered(const String& key, bool exact) {
  if (!Find(key, exact)) return false;
  if (eof()) return true;
  XBaseIndex* index = primary();
  std::string search(key.data(), static_cast<size_t>(key.length()));
  for (;;) {
    bool passes = false;
    if (!Passes(&passes)) return false;
    if (passes) return true;
    uint32_t record = 0;
    if (!index->file().Next(&record)) return index->FileError() || IndexError(index);
    if (Beyond(record) || !index->file().CurrentMatches(search, exact)) {
      SetEOF(true);
      return true;
    }
    if (!Read(record)) return false;
  }
}

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

bool XBaseDatabaseView::EvaluateKeys(std::vector<std::string>* keys) {
  keys->assign(indexes_->size(), std::string());
  for (size_t i = 0; i < indexes_->size(); ++i)
    if (!(*indexes_)[i]->EvaluateKey(&(*keys)[i])) return IndexError((*indexes_)[i].get());
  return true;
}

bool XBaseDatabaseView::CheckUnique(const std::vector<std::string>& keys,
                                    const std::vector<bool>& check, uint32_t record) {
  for (size_t i = 0; i < indexes_->size(); ++i) {
    XBaseIndex* index = (*indexes_)[i].get();
    if (!check[i] || !(index->file().flags() & kVRKUnique)) continue;
    bool found = false;
    uint32_t at = 0;
    if (!index->file().FindKey(keys[i], true, &found, &at)) return index->FileError() || IndexError(index);
    if (found && at != record) {
      std::string message = "Index '" + std::string(index->Name().c_str()) +
                            "' was created with the UNIQUE flag and the key '" +
                            index->file().CutKey(keys[i]) + "' already exists in the index file";
      SetErrorText(String(message.c_str()));
      return false;
    }
  }
  return true;
}

bool XBaseDatabaseView::Add() {
  StoreVariables();
  // The keys come from the values as the fields store them.
  Refresh();
  std::vector<std::string> keys;
  if (!EvaluateKeys(&keys) || !CheckUnique(keys, std::vector<bool>(keys.size(), true), 0)) {
    RestoreVariables();
    return false;
  }
  if (!table_->AppendRecord()) {
    RestoreVariables();
    return TableError();
  }
  Refresh();
  SetEOF(false);
  uint32_t record = table_->CurrentRecord();
  for (size_t i = 0; i < indexes_->size(); ++i) {
    XBaseIndex* index = (*indexes_)[i].get();
    if (!index->file().InsertKey(record, keys[i])) return index->FileError() || IndexError(index);
  }
  return true;
}

bool XBaseDatabaseView::Update() {
  StoreVariables();
  Refresh();
  std::vector<std::string> keys;
  std::vector<std::string> old_keys;
  if (!indexes_->empty()) {
    if (!EvaluateKeys(&keys)) {
      RestoreVariables();
      return false;
    }
    // The old keys: the fields swap to the values as read and back.
    for (const auto& field : table_->Fields()) field->RestoreReadValue();
    Refresh();
    bool ok = EvaluateKeys(&old_keys);
    for (const auto& field : table_->Fields()) field->RestoreReadValue();
    Refresh();
    std::vector<bool> changed(keys.size());
    for (size_t i = 0; ok && i < keys.size(); ++i)
      changed[i] = (*indexes_)[i]->file().CutKey(keys[i]) != (*indexes_)[i]->file().CutKey(old_keys[i]);
    if (!ok || !CheckUnique(keys, changed, table_->CurrentRecord())) {
      RestoreVariables();
      return false;
    }
    uint32_t record = table_->CurrentRecord();
    for (size_t i = 0; i < keys.size(); ++i) {
      if (!changed[i]) continue;
      XBaseIndexFile& file = (*indexes_)[i]->file();
      if (!file.DeleteKey(record, old_keys[i]) || !file.InsertKey(record, keys[i]) ||
          !file.FindEntry(keys[i], record)) {
        RestoreVariables();
        return (*indexes_)[i]->FileError() || IndexError((*indexes_)[i].get());
      }
    }
  }
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
  Segment* segment = nullptr;
  String error;
  if (!CompileDatabaseExpression(database_->vm(), externals_, database_->Name(), expression,
                                 "Syntax error in filter: ", &segment, &error)) {
    SetErrorText(error);
    return false;
  }
  filter_ = segment;
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
  auto view = std::make_unique<XBaseDatabaseView>(this, &table_, &indexes_);
  view->SetExternals(externals_);
  AddView(std::move(view));
}

std::unique_ptr<XBaseIndex> XBaseDatabase::NewIndex() {
  return std::make_unique<XBaseIndex>(vm_, files_, name_, externals_);
}

bool XBaseDatabase::IndexFailure(XBaseIndex* index) {
  SetErrorText(index->ErrorText());
  return false;
}

bool XBaseDatabase::Open(const DatabaseOpenTexts& texts) {
  file_ = texts.file;
  String error;
  // A rebuild killed while swapping its files in is finished first.
  if (!RecoverRebuild(files_, file_, &error)) {
    SetErrorText(error);
    return false;
  }
  if (!table_.OpenTable(file_.c_str(), kDbOpenExisting)) {
    SetErrorText(table_.ErrorText());
    return false;
  }
  MakeView();
  return true;
}

bool XBaseDatabase::Close() {
  views_.clear();
  indexes_.clear();
  table_.CloseTable();
  return true;
}

bool XBaseDatabase::Create(const String& fields, const String& file, const String&) {
  std::vector<XBaseFieldDefinition> definitions;
  String error;
  if (!ParseFieldDeclarations(fields.data(), fields.length(), &definitions, &error)) {
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

namespace {

// Splits a comma-separated list into items trimmed of white space; false
// when an item is empty. An all-blank text is the empty list.
bool SplitList(const String& text, std::vector<std::string>* items) {
  items->clear();
  std::string all(text.data(), static_cast<size_t>(text.length()));
  if (all.find_first_not_of(" \t\r\n\f\v") == std::string::npos) return true;
  size_t start = 0;
  for (;;) {
    size_t comma = all.find(',', start);
    std::string item = all.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    size_t first = item.find_first_not_of(" \t\r\n\f\v");
    if (first == std::string::npos) return false;
    size_t last = item.find_last_not_of(" \t\r\n\f\v");
    items->push_back(item.substr(first, last - first + 1));
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

String ToString(const std::string& text) {
  String out;
  out.assign(text.data(), static_cast<int32_t>(text.size()));
  return out;
}

}  // namespace

bool XBaseDatabase::SetIndexes(const String& list) {
  indexes_.clear();
  std::vector<std::string> names;
  if (!SplitList(list, &names)) {
    SetErrorText("Dangling comma in index list");
    return false;
  }
  for (const std::string& name : names) {
    bool listed = false;
    for (const auto& index : indexes_) listed = listed || index->Name().c_str() == name;
    if (listed) continue;
    std::unique_ptr<XBaseIndex> index = NewIndex();
    if (!index->OpenIndex(ToString(name))) return IndexFailure(index.get());
    indexes_.push_back(std::move(index));
  }
  return GoTop();
}

bool XBaseDatabase::SetPrimaryIndex(const String& name) {
  for (auto it = indexes_.begin(); it != indexes_.end(); ++it) {
    if ((*it)->Name().length() != name.length() ||
        std::memcmp((*it)->Name().data(), name.data(), static_cast<size_t>(name.length())) != 0)
      continue;
    std::rotate(indexes_.begin(), it, it + 1);
    return GoTop();
  }
  SetErrorText("Database has no index with that name");
  return false;
}

bool XBaseDatabase::FillIndexes(const XBaseIndexList& targets, XBaseTable* copy) {
  auto* view = static_cast<XBaseDatabaseView*>(PrimaryView());
  uint32_t count = table_.RecordCount();
  for (uint32_t record = 1; record <= count; ++record) {
    if (!table_.ReadRecord(record)) {
      SetErrorText(table_.ErrorText());
      return false;
    }
    if (view) view->Invalidate();
    uint32_t number = record;
    if (copy) {
      if (table_.Deleted()) continue;
      const auto& from = table_.Fields();
      const auto& to = copy->Fields();
      for (size_t i = 0; i < from.size(); ++i) {
        const String& value = from[i]->Value();
        to[i]->SetValue(value.data(), value.length());
      }
      if (!copy->AppendRecord()) {
        SetErrorText(copy->ErrorText());
        return false;
      }
      number = copy->CurrentRecord();
    }
    for (const auto& index : targets) {
      std::string key;
      if (!index->EvaluateKey(&key)) return IndexFailure(index.get());
      if (!index->file().InsertKey(number, key)) {
        index->FileError();
        return IndexFailure(index.get());
      }
    }
  }
  return true;
}

bool XBaseDatabase::MakeIndex(const String& file, const String& expression, const String& flags) {
  std::vector<std::string> words;
  if (!SplitList(flags, &words)) {
    SetErrorText("Dangling comma in field\tspecification");
    return false;
  }
  uint32_t bits = 0;
  for (const std::string& word : words) {
    const struct {
      const char* word;
      uint32_t set;
      uint32_t clear;
    } kWords[] = {{"UNIQUE", kVRKUnique, 0},         {"NOUNIQUE", 0, kVRKUnique},
                  {"DESCENDING", kVRKDescending, 0}, {"ASCENDING", 0, kVRKDescending},
                  {"STRING", kVRKString, 0},         {"RANGE", kVRKRange, 0}};
    for (const auto& known : kWords)
      if (strcasecmp(word.c_str(), known.word) == 0) bits = (bits | known.set) & ~known.clear;
  }
  // An index of that name already open is dropped before its file is
  // written anew.
  for (auto it = indexes_.begin(); it != indexes_.end(); ++it)
    if ((*it)->Name().length() == file.length() &&
        std::memcmp((*it)->Name().data(), file.data(), static_cast<size_t>(file.length())) == 0) {
      indexes_.erase(it);
      break;
    }
  XBaseIndexList made;
  made.push_back(NewIndex());
  XBaseIndex* index = made.front().get();
  std::string text(expression.data(), static_cast<size_t>(expression.length()));
  Segment* segment = nullptr;
  if (!index->CreateIndex(file, text, bits) || !index->KeyExpression(&segment))
    return IndexFailure(index);
  if (!FillIndexes(made, nullptr)) {
    GoTop();
    return false;
  }
  indexes_.insert(indexes_.begin(), std::move(made.front()));
  return GoTop();
}

bool XBaseDatabase::ReopenIndexes(const std::vector<String>& names) {
  indexes_.clear();
  for (const String& name : names) {
    std::unique_ptr<XBaseIndex> index = NewIndex();
    if (!index->OpenIndex(name)) return IndexFailure(index.get());
    indexes_.push_back(std::move(index));
  }
  return true;
}

bool XBaseDatabase::Reindex() {
  std::vector<XBaseTemporaryFile> swaps;
  XBaseIndexList made;
  std::vector<String> names;
  String error;
  for (const auto& index : indexes_) {
    names.push_back(index->Name());
    XBaseTemporaryFile swap;
    if (!MakeTemporaryBeside(files_, index->Name(), &swap, &error)) {
      DiscardRebuild(files_, swaps);
      SetErrorText(error);
      return false;
    }
    swaps.push_back(swap);
    made.push_back(NewIndex());
    const VRKIndexHeader& header = index->file().header();
    if (!made.back()->CreateIndex(swap.temporary, header.expression, header.flags)) {
      IndexFailure(made.back().get());
      made.clear();
      DiscardRebuild(files_, swaps);
      return false;
    }
  }
  for (const auto& index : made) index->file().BeginBuild();
  bool ok = FillIndexes(made, nullptr);
  for (size_t i = 0; ok && i < made.size(); ++i)
    if (!made[i]->file().EndBuild() || !made[i]->file().Flush())
      ok = (made[i]->FileError(), IndexFailure(made[i].get()));
  made.clear();
  if (!ok) {
    DiscardRebuild(files_, swaps);
    GoTop();
    return false;
  }
  indexes_.clear();
  if (!CommitRebuild(files_, file_, swaps, &error)) {
    SetErrorText(error);
    ReopenIndexes(names);
    return false;
  }
  if (!ReopenIndexes(names)) return false;
  return GoTop();
}

bool XBaseDatabase::Pack() {
  std::vector<XBaseTemporaryFile> swaps;
  String error;
  auto fail = [&](const String& message) {
    DiscardRebuild(files_, swaps);
    SetErrorText(message);
    GoTop();
    return false;
  };
  XBaseTemporaryFile table_swap;
  if (!MakeTemporaryBeside(files_, file_, &table_swap, &error)) return fail(error);
  swaps.push_back(table_swap);
  bool has_memo = !table_.MemoFileName().empty();
  XBaseTemporaryFile memo_swap;
  if (has_memo) {
    if (!MakeTemporaryBeside(files_, table_.MemoFileName(), &memo_swap, &error)) return fail(error);
    swaps.push_back(memo_swap);
  }
  std::vector<XBaseFieldDefinition> definitions;
  for (const auto& field : table_.Fields()) {
    XBaseFieldDefinition definition;
    definition.name = field->Name();
    definition.type = field->Type();
    definition.length = field->Length();
    definition.decimals = field->Decimals();
    definitions.push_back(definition);
  }
  XBaseTable copy(files_);
  if (!copy.CreateTable(table_swap.temporary.c_str(), has_memo ? memo_swap.temporary.c_str() : nullptr,
                        definitions))
    return fail(copy.ErrorText());
  XBaseIndexList made;
  std::vector<String> names;
  for (const auto& index : indexes_) {
    names.push_back(index->Name());
    XBaseTemporaryFile swap;
    if (!MakeTemporaryBeside(files_, index->Name(), &swap, &error)) {
      made.clear();
      return fail(error);
    }
    swaps.push_back(swap);
    made.push_back(NewIndex());
    const VRKIndexHeader& header = index->file().header();
    if (!made.back()->CreateIndex(swap.temporary, header.expression, header.flags)) {
      String message = made.back()->ErrorText();
      made.clear();
      return fail(message);
    }
  }
  for (const auto& index : made) index->file().BeginBuild();
  if (!FillIndexes(made, &copy)) {
    String message = ErrorText();
    made.clear();
    copy.CloseTable();
    return fail(message);
  }
  bool flushed = copy.FlushFiles();
  String message = copy.ErrorText();
  for (size_t i = 0; flushed && i < made.size(); ++i) {
    flushed = made[i]->file().EndBuild() && made[i]->file().Flush();
    if (!flushed) message = made[i]->file().ErrorText();
  }
  made.clear();
  copy.CloseTable();
  if (!flushed) return fail(message);
  // Nothing may hold the old files while they are replaced.
  table_.FlushFiles();
  indexes_.clear();
  auto* view = static_cast<XBaseDatabaseView*>(PrimaryView());
  if (view) view->Invalidate();
  table_.CloseTable();
  bool committed = CommitRebuild(files_, file_, swaps, &error);
  if (!table_.OpenTable(file_.c_str(), kDbOpenExisting)) {
    SetErrorText(table_.ErrorText());
    // The variables would point at the closed table's fields.
    views_.clear();
    return false;
  }
  if (view) view->Rebind();
  if (!committed) {
    SetErrorText(error);
    ReopenIndexes(names);
    return false;
  }
  if (!ReopenIndexes(names)) return false;
  return GoTop();
}

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
