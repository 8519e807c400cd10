#include "values/configuration_variables.h"

#include <new>

#include "values/config.h"
#include "values/aggregate_index.h"

namespace pexo {

namespace {

struct LibraryMember {
  const char* list;
  const char* lookup;
  int32_t kind;
};
const LibraryMember kLibraryMembers[] = {
    {"commerce_list", "commerce_lookup", LIBRARIES_COMMERCE},
    {"database_list", "database_lookup", LIBRARIES_DATABASE},
    {"systemlib_list", "systemlib_lookup", LIBRARIES_SYSTEM},
};

// A fixed immutable text.
Variable* NewText(const String& text) {
  ImmutableVariable* v = new (std::nothrow) ImmutableVariable();
  if (!v) return nullptr;
  v->SetValue(text.data(), text.length());
  v->MakeImmutable();
  return v;
}

}  // namespace

ConfigurationVariable::ConfigurationVariable(Config* config, int32_t key, const char* name)
    : DynamicImmutableVariable(name), config_(config), key_(key) {
  MakeImmutable();
}

int32_t ConfigurationVariable::ClassCode() {
  return (key_ & CONFIG_STRING) ? kClassComputedText : kClassComputedInteger;
}

void ConfigurationVariable::Refresh() {
  if (key_ & CONFIG_STRING) {
    int32_t length = 0;
    const char* text = config_ ? config_->GetString(key_, &length) : nullptr;
    StoreText(text ? text : "", text ? length : 0);
    return;
  }
  int32_t value = config_ ? config_->GetInteger(key_) : 0;
  // A key without a value (nothing set, no default) reads as 0, not as the
  // store's -1 marker.
  if (config_ && !config_->IsStored(key_)) value = 0;
  StoreInteger(value);
}

ConfigurationLibraryListVariable::ConfigurationLibraryListVariable(SystemVariableHost* host,
                                                                   int32_t kind,
                                                                   const char* name)
    : DynamicImmutableVariable(name), host_(host), kind_(kind) {
  MakeImmutable();
}

void ConfigurationLibraryListVariable::Refresh() {
  built_ = 1;
  immutable_ = 0;  // filled once, then closed for good
  Build();
  MakeImmutable();
}

void ConfigurationLibraryListVariable::Build() {
  Variable::MakeAggregate(kKindArray);
  String name, value;
  for (int32_t i = 0; host_ && host_->Library(kind_, i, &name, &value); ++i) {
    Variable* element = NewText(name);
    if (!element) return;
    Variable::Set_Element(AggregateIndex(i + 1), element);
    element->Release();
  }
}

void ConfigurationLibraryLookupVariable::Build() {
  Variable::MakeAggregate(kKindStructure);
  String name, value;
  for (int32_t i = 0; host_ && host_->Library(kind_, i, &name, &value); ++i) {
    Variable* element = NewText(value);
    if (!element) return;
    Variable::Set_Element(AggregateIndex(name.data(), name.length()), element);
    element->Release();
  }
}

ConfigurationAggregateVariable::ConfigurationAggregateVariable(Config* config,
                                                               SystemVariableHost* host)
    : DynamicImmutableVariable("pexo_config"), config_(config), host_(host) {
  MakeImmutable();
}

void ConfigurationAggregateVariable::Add(Variable* member) {
  if (!member) return;
  const String& name = member->Name();
  Variable::Set_Element(AggregateIndex(name.data(), name.length()), member);
  member->Release();
}

void ConfigurationAggregateVariable::Refresh() {
  built_ = 1;
  immutable_ = 0;  // filled once, then closed for good
  Variable::MakeAggregate(kKindStructure);
  for (const ConfigKeyName* k = ConfigKeys(); k->name; ++k)
    Add(new (std::nothrow) ConfigurationVariable(config_, k->key, k->name));
  for (const LibraryMember& m : kLibraryMembers)
    Add(new (std::nothrow) ConfigurationLibraryListVariable(host_, m.kind, m.list));
  for (const LibraryMember& m : kLibraryMembers)
    Add(new (std::nothrow) ConfigurationLibraryLookupVariable(host_, m.kind, m.lookup));
  MakeImmutable();
}

}  // namespace pexo
