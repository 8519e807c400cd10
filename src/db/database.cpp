#include "db/database.h"

#include <algorithm>

#include "values/variable.h"

namespace pexo {

namespace {

std::unique_ptr<HashTable<Variable>> NewNameTable() {
  return std::make_unique<HashTable<Variable>>(false, true, 12, 512);
}

}  // namespace

DatabaseView::DatabaseView(Database* database, const String& name)
    : database_(database), name_(name), by_name_(NewNameTable()) {}

DatabaseView::~DatabaseView() { ClearVariables(); }

Variable* DatabaseView::FindVariable(const char* name, int32_t length) const {
  return by_name_->find(name, length);
}

void DatabaseView::AddVariable(Variable* variable) {
  variables_.push_back(variable);
  const String& name = variable->Name();
  // The first of two equal names wins, as a scan in field order would.
  if (!by_name_->find(name.data(), name.length()))
    by_name_->insert(name.data(), name.length(), variable);
}

void DatabaseView::ClearVariables() {
  for (Variable* variable : variables_) variable->Release();
  variables_.clear();
  by_name_ = NewNameTable();
}

void DatabaseView::SetErrorText(const String& text) {
  if (!text.empty()) error_ = text;
}

void DatabaseView::SetErrorText(const char* text) { SetErrorText(String(text)); }

Database::Database(PexoVM* vm, DatabaseFileManager* files, const String& name)
    : vm_(vm), files_(files), name_(name) {}

Database::~Database() = default;

DatabaseView* Database::AddView(std::unique_ptr<DatabaseView> view) {
  views_.push_back(std::move(view));
  return views_.back().get();
}

void Database::RemoveView(DatabaseView* view) {
  auto it = std::find_if(views_.begin(), views_.end(),
                         [view](const std::unique_ptr<DatabaseView>& v) { return v.get() == view; });
  if (it != views_.end()) views_.erase(it);
}

void Database::SetPrimaryView(DatabaseView* view) {
  auto it = std::find_if(views_.begin(), views_.end(),
                         [view](const std::unique_ptr<DatabaseView>& v) { return v.get() == view; });
  if (it != views_.end()) std::rotate(views_.begin(), it, it + 1);
}

DatabaseView* Database::FindView(const char* name, int32_t length) const {
  for (const auto& view : views_)
    if (equals_nocase(view->Name().data(), view->Name().length(), name, length)) return view.get();
  return nullptr;
}

Variable* Database::FindVariable(const char* name, int32_t length) const {
  for (const auto& view : views_)
    if (Variable* variable = view->FindVariable(name, length)) return variable;
  return nullptr;
}

void Database::SetErrorText(const String& text) {
  if (!text.empty()) error_ = text;
}

void Database::SetErrorText(const char* text) { SetErrorText(String(text)); }

}  // namespace pexo
