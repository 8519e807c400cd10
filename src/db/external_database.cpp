#include "db/external_database.h"

namespace pexo {

namespace {

// The open entry as versions 1 and 2 declare it.
using OpenV1 = int (*)(PexoDatabase*, const char*, const char*, const char*);
using OpenV2 = int (*)(PexoDatabase*, const char*, const char*, const char*, const char*);
using AnyFunction = void (*)();

template <typename To, typename From>
To AsEntry(From entry) {
  return reinterpret_cast<To>(reinterpret_cast<AnyFunction>(entry));
}

String UnsupportedText(const char* tag) {
  String message(tag);
  message.append(" is an Unsupported Operation");
  return message;
}

}  // namespace

ExternalDatabaseVariable::ExternalDatabaseVariable(DatabaseView* view, const char* name,
                                                   int32_t length)
    : Variable(kOverriding, name, length), view_(view) {}

int ExternalDatabaseVariable::SetValue(const char* text, int32_t length) {
  dirty_ = true;
  return Variable::SetValue(text, length);
}
int ExternalDatabaseVariable::SetValue_Integer(int32_t value) {
  dirty_ = true;
  return Variable::SetValue_Integer(value);
}
int ExternalDatabaseVariable::SetValue_Decimal(const mpd_t* value) {
  dirty_ = true;
  return Variable::SetValue_Decimal(value);
}
int ExternalDatabaseVariable::SetValue_Variable(Variable* source) {
  dirty_ = true;
  return Variable::SetValue_Variable(source);
}

ExternalDatabaseView::ExternalDatabaseView(Database* database, const String& name,
                                           const PxDatabaseLibrary* library)
    : DatabaseView(database, name), library_(library) {}

bool ExternalDatabaseView::Result(int result) {
  if (result) return true;
  String text;
  static_cast<ExternalDatabase*>(database_)->TakeLibraryError(&text);
  error_ = text;
  return false;
}

bool ExternalDatabaseView::Unsupported(const char* tag) {
  error_ = UnsupportedText(tag);
  return false;
}

bool ExternalDatabaseView::Close() {
  if (!library_->close_view) return Unsupported("PxCLOSEVIEW");
  return Result(library_->close_view(handle()));
}
bool ExternalDatabaseView::Skip(int32_t count) {
  if (!library_->skip) return Unsupported("PxSKIP");
  return Result(library_->skip(handle(), count));
}
bool ExternalDatabaseView::SkipFiltered(int32_t) {
  error_.assign("Database type 'external' does not support Filters");
  return false;
}
bool ExternalDatabaseView::Go(int32_t record) {
  if (!library_->go) return Unsupported("PxGO");
  return Result(library_->go(handle(), record));
}
bool ExternalDatabaseView::GoFiltered(int32_t record) { return SkipFiltered(record); }
bool ExternalDatabaseView::Find(const String& key, bool exact) {
  if (!library_->find) return Unsupported("PxFIND");
  return Result(library_->find(handle(), key.c_str(), exact ? 1 : 0));
}
bool ExternalDatabaseView::FindFiltered(const String&, bool) {
  error_.assign("Database type 'external' does not support Indexes & Filters");
  return false;
}
bool ExternalDatabaseView::Add() {
  if (!library_->add) return Unsupported("PxADD");
  return Result(library_->add(handle()));
}
bool ExternalDatabaseView::Delete() {
  if (!library_->delete_record) return Unsupported("PxDELETE");
  return Result(library_->delete_record(handle()));
}
bool ExternalDatabaseView::Undelete() {
  if (!library_->undelete) return Unsupported("PxUNDELETE");
  return Result(library_->undelete(handle()));
}
bool ExternalDatabaseView::Update() {
  if (!library_->update) return Unsupported("PxUPDATE");
  return Result(library_->update(handle()));
}
bool ExternalDatabaseView::SetFilter(const String& expression) {
  if (!library_->filter) return Unsupported("PxFILTER");
  return Result(library_->filter(handle(), expression.c_str()));
}
bool ExternalDatabaseView::RevealStructureToFile(const String& file) {
  if (!library_->reveal_structure_file) return Unsupported("PxREVEALSTRUCTURE");
  return Result(library_->reveal_structure_file(handle(), file.c_str()));
}
bool ExternalDatabaseView::RevealStructureToVariable(Variable* target) {
  if (!library_->reveal_structure_variable) return Unsupported("PxREVEALSTRUCTURE");
  return Result(library_->reveal_structure_variable(handle(),
                                                    reinterpret_cast<PexoVariable*>(target)));
}

ExternalDatabase::ExternalDatabase(PexoVM* vm, DatabaseFileManager* files, const String& name,
                                   const PxDatabaseLibrary* library)
    : Database(vm, files, name), library_(library) {}

ExternalDatabase::~ExternalDatabase() {
  if (library_->version >= 6 && library_->release) library_->release(handle());
  views_.clear();
}

void ExternalDatabase::TakeLibraryError(String* out) {
  const char* text = library_->error_text ? library_->error_text(handle()) : nullptr;
  out->assign(text ? text : "");
}

bool ExternalDatabase::Result(int result) {
  if (result) return true;
  TakeLibraryError(&error_);
  return false;
}

bool ExternalDatabase::Unsupported(const char* message) {
  error_.assign(message);
  return false;
}

bool ExternalDatabase::Open(const DatabaseOpenTexts& texts) {
  if (!library_->open) return Unsupported("PxOPEN is an Unsupported Operation");
  const char* file = texts.file.c_str();
  const char* text1 = texts.text1.c_str();
  const char* text2 = texts.text2.c_str();
  const char* text3 = texts.has_text3 ? texts.text3.c_str() : nullptr;
  if (library_->version <= 1)
    return Result(AsEntry<OpenV1>(library_->open)(handle(), file, text1, text2));
  if (library_->version == 2)
    return Result(AsEntry<OpenV2>(library_->open)(handle(), file, text1, text2, text3));
  return Result(library_->open(handle(), file, text1, text2, text3, name_.c_str()));
}

bool ExternalDatabase::Close() {
  if (!library_->close) return Unsupported("PxCLOSE is an Unsupported Operation");
  return Result(library_->close(handle()));
}

bool ExternalDatabase::Create(const String& fields, const String& file, const String& text) {
  if (!library_->create) return Unsupported("PxCREATE is an Unsupported Operation");
  return Result(library_->create(handle(), fields.c_str(), file.c_str(), text.c_str()));
}

bool ExternalDatabase::SetOpenIndexes(const String& indexes) {
  if (!library_->set_indexes)
    return Unsupported("PxOPEN with INDEXES attribute is an Unsupported Operation");
  return Result(library_->set_indexes(handle(), indexes.c_str()));
}

bool ExternalDatabase::SetIndexes(const String& indexes) {
  if (!library_->set_indexes) return Unsupported("PxSETINDEX is an Unsupported Operation");
  return Result(library_->set_indexes(handle(), indexes.c_str()));
}

bool ExternalDatabase::SetPrimaryIndex(const String& index) {
  if (!library_->set_primary_index)
    return Unsupported("PxPRIMARY with INDEXES attribute is an Unsupported Operation");
  return Result(library_->set_primary_index(handle(), index.c_str()));
}

bool ExternalDatabase::MakeIndex(const String& file, const String& expression,
                                 const String& flags) {
  if (!library_->make_index) return Unsupported("PxMAKEINDEX is an Unsupported Operation");
  return Result(library_->make_index(handle(), file.c_str(), expression.c_str(), flags.c_str()));
}

bool ExternalDatabase::Pack() {
  if (!library_->pack) return Unsupported("PxPACK is an Unsupported Operation");
  return Result(library_->pack(handle()));
}

bool ExternalDatabase::Reindex() {
  if (!library_->reindex) return Unsupported("PxREINDEX is an Unsupported Operation");
  return Result(library_->reindex(handle()));
}

bool ExternalDatabase::OpenView(const String& name, const String& query, const String& text,
                                VariableList* fields) {
  if (!library_->open_view) return Unsupported("PxOPENVIEW is an Unsupported Operation");
  return Result(library_->open_view(handle(), name.c_str(), query.c_str(), text.c_str(),
                                    reinterpret_cast<PexoVariableList*>(fields)));
}

bool ExternalDatabase::CloseView(const String& name) {
  DatabaseView* view = FindView(name.data(), name.length());
  if (!view) {
    String message("Database '");
    message.append(name_);
    message.append("' has no view named '");
    message.append(name);
    message.append("'");
    return Unsupported(message.c_str());
  }
  if (!view->Close()) {
    error_ = view->ErrorText();
    return false;
  }
  RemoveView(view);
  return true;
}

bool ExternalDatabase::Query(const String& text, VariableList* fields) {
  if (!library_->run_query) return Unsupported("PxRUNQUERY is an Unsupported Operation");
  return Result(
      library_->run_query(handle(), text.c_str(), reinterpret_cast<PexoVariableList*>(fields)));
}

bool ExternalDatabase::Commit() {
  if (library_->version < 2) return true;
  if (!library_->commit) return Unsupported("PxCOMMIT is an Unsupported Operation");
  return Result(library_->commit(handle()));
}

bool ExternalDatabase::Rollback() {
  if (library_->version < 2) return true;
  if (!library_->rollback) return Unsupported("PxROLLBACK is an Unsupported Operation");
  return Result(library_->rollback(handle()));
}

bool ExternalDatabase::Transact() {
  if (library_->version < 5) return true;
  if (!library_->transact) return Unsupported("PxTRANSACT is an Unsupported Operation");
  return Result(library_->transact(handle()));
}

bool ExternalDatabase::DBCommand(const String& command, const String& text) {
  if (library_->version < 5) return true;
  if (!library_->db_command) return Unsupported("PxDBCOMMAND is an unsupported operation");
  return Result(library_->db_command(handle(), command.c_str(), text.c_str()));
}

ExternalDatabaseView* ExternalDatabase::NewView(const char* name, int32_t length) {
  auto view = std::make_unique<ExternalDatabaseView>(this, String(name, length), library_);
  return static_cast<ExternalDatabaseView*>(AddView(std::move(view)));
}

}  // namespace pexo
