#include "values/scope_resolver.h"

#include <cctype>
#include <new>

#include "values/scope_prefix.h"
#include "values/variable.h"
#include "values/variable_hash.h"
#include "values/variable_list.h"

namespace pexo {

Variable* ScopeContext::DatabaseField(const char*, int32_t, const char*, int32_t) {
  return nullptr;
}

namespace {

// Lookup in one table; a missing table resolves to nothing.
bool LookupIn(VariableHash* hash, const ScopePrefix& p, bool create, Variable** variable,
              String* error) {
  *variable = nullptr;
  if (!hash) return true;
  if (hash->Lookup(p.rest, p.rest_length, create, variable)) return true;
  error->assign(hash->Error());
  return false;
}

bool ResolveUnqualified(ScopeContext* context, const ScopePrefix& p, Variable** variable,
                        String* error) {
  if (!LookupIn(context->SystemScope(), p, false, variable, error)) return false;
  if (*variable) return true;
  VariableHash* local = context->LocalScope();
  if (local && local->Entries() > 0) {
    if (!LookupIn(local, p, false, variable, error)) return false;
    if (*variable) return true;
  }
  *variable = context->DatabaseField(nullptr, 0, p.rest, p.rest_length);
  if (*variable) return true;
  return LookupIn(context->GlobalScope(), p, true, variable, error);
}

}  // namespace

bool ResolveVariableName(ScopeContext* context, const char* text, int32_t length,
                         Variable** variable, String* error) {
  ScopePrefix p = ParseScopePrefix(text, length);
  *variable = nullptr;
  switch (p.kind) {
    case ScopeKind::kLocal:
      return LookupIn(context->LocalScope(), p, true, variable, error);
    case ScopeKind::kGlobal:
      return LookupIn(context->GlobalScope(), p, true, variable, error);
    case ScopeKind::kSystem:
      return LookupIn(context->SystemScope(), p, false, variable, error);
    case ScopeKind::kDatabase:
      *variable = context->DatabaseField(nullptr, 0, p.rest, p.rest_length);
      return true;
    case ScopeKind::kDatabaseAlias:
      *variable = context->DatabaseField(p.alias, p.alias_length, p.rest, p.rest_length);
      return true;
    case ScopeKind::kNone:
      break;
  }
  return ResolveUnqualified(context, p, variable, error);
}

namespace {

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// A new alias (count 1) of `target`; the alias takes its own unit on the
// target.
Variable* NewReference(Variable* target, const char* name, int32_t length) {
  return new (std::nothrow) ReferenceVariable(target, name, length);
}

}  // namespace

int32_t BuildFieldList(ScopeContext* context, const char* text, int32_t length,
                       Variable* null_variable, VariableList* list, String* error) {
  list->Clear();
  length = text_length(text, length);
  int32_t at = 0;
  while (at <= length) {
    int32_t end = at;
    while (end < length && text[end] != ',') ++end;
    int32_t first = at, last = end;
    while (first < last && IsSpace(text[first])) ++first;
    while (last > first && IsSpace(text[last - 1])) --last;
    at = end + 1;
    if (first == last) continue;

    Variable* found = nullptr;
    if (!ResolveVariableName(context, text + first, last - first, &found, error)) return -1;
    Variable* bound = found ? found : null_variable;
    if (!bound) continue;
    ScopePrefix p = ParseScopePrefix(text + first, last - first);
    Variable* ref = NewReference(bound, p.rest, p.rest_length);
    if (!ref) {
      error->assign("Allocation failed");
      return -1;
    }
    list->Insert(ref);
    ref->Release();  // the list holds it now
  }
  return list->Count();
}

}  // namespace pexo
