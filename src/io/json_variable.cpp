#include "io/json_variable.h"

#include "values/aggregate_index.h"
#include "values/variable.h"

namespace pexo {

Variable* VariableJsonSink::Slot() {
  Variable* slot = target_;
  if (!open_.empty()) {
    Open& top = open_.back();
    if (!top.container) return nullptr;
    if (top.container->AggregateKind() == kKindStructure) {
      slot = top.container->Element(AggregateIndex(key_.data(), key_.length()), 1);
    } else {
      slot = top.container->Element(AggregateIndex(++top.count), 1);
    }
  }
  // Element with create fails only when memory runs out; the value is then
  // dropped.
  if (slot) slot->Clear();
  return slot;
}

void VariableJsonSink::Begin(int32_t kind) {
  Variable* slot = Slot();
  if (slot) slot->MakeAggregate(kind);
  // A lost slot still needs a level so that EndContainer pairs up; what
  // would go inside it is dropped.
  open_.push_back(Open{slot, 0});
}

void VariableJsonSink::BeginObject() { Begin(kKindStructure); }
void VariableJsonSink::BeginArray() { Begin(kKindArray); }

void VariableJsonSink::EndContainer() {
  if (!open_.empty()) open_.pop_back();
}

void VariableJsonSink::Key(const char* name, int32_t length) { key_.assign(name, length); }

void VariableJsonSink::StringValue(const char* text, int32_t length) {
  if (Variable* slot = Slot()) slot->SetValue(text, length);
}

void VariableJsonSink::NumberValue(const char* text, int32_t length) {
  if (Variable* slot = Slot()) slot->SetValue(text, length);
}

void VariableJsonSink::BooleanValue(bool value) {
  if (Variable* slot = Slot()) slot->SetValue(value ? "true" : "false", value ? 4 : 5);
}

void VariableJsonSink::NullValue() { Slot(); }

void VariableJsonSink::Reset() {
  open_.clear();
  target_->Clear();
}

bool JsonDecodeVariable(const char* text, int32_t length, Variable* target, String* error) {
  VariableJsonSink sink(target);
  return JsonDecode(text, text_length(text, length), &sink, error);
}

}  // namespace pexo
