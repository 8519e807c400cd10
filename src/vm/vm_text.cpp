// Text-building instructions: the fusion of cat with the popg or popl that
// follows it (an in-place append), and hidden form fields.
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "vm/machine_host.h"
#include "values/entity.h"
#include "values/aggregate_element.h"
#include "values/aggregate_tree.h"
#include "values/scope_prefix.h"
#include "values/variable.h"
#include "values/variable_hash.h"
#include "program/opcodes.h"
#include "vm/pexo_vm.h"
#include "vm/vm_frame.h"
#include "vm/vm_stack.h"

namespace pexo {
namespace {

// The fusions of the opcode table this file carries out.
constexpr bool Fused(uint16_t first, uint16_t second) {
#define PEXO_IS_FUSION(a, b, ...) (first == OP_##a && second == OP_##b) ||
  return PEXO_FUSION_LIST(PEXO_IS_FUSION) false;
#undef PEXO_IS_FUSION
}
static_assert(Fused(OP_CAT, OP_POPG) && Fused(OP_CAT, OP_POPL), "cat fusions are listed");

// A plain, mutable, scalar variable that may be extended in place.
bool appendable(Variable* variable) {
  return variable->ClassCode() == kClassOrdinary && variable->RealIdentity() == variable &&
         variable->AggregateKind() == kKindScalar &&
         (variable->IsOrdinary() || dynamic_cast<ImmutableVariable*>(variable) == nullptr);
}

// Whether `text` may lie in the text `variable` holds.
bool overlaps(Variable* variable, const char* text, int32_t length) {
  if (!(variable->valid_flags() & kTextValid)) return false;
  const String& held = variable->Value();
  return text < held.data() + held.length() && held.data() < text + length;
}

void write_encoded(PexoApplication* app, const char* text, int32_t length) {
  int32_t encoded_length = 0, capacity = 0;
  char* encoded = EntityEncode(text, length, &encoded_length, &capacity);
  if (encoded) app->Write(encoded, encoded_length);
  std::free(encoded);
}

void write_field(PexoApplication* app, const String& name, Variable* value) {
  static const char kOpen[] = "<input type=\"hidden\" name=\"";
  static const char kMiddle[] = "\" value=\"";
  static const char kClose[] = "\">";
  app->Write(kOpen, sizeof(kOpen) - 1);
  write_encoded(app, name.data(), name.length());
  app->Write(kMiddle, sizeof(kMiddle) - 1);
  const String& text = value->Value();
  write_encoded(app, text.data(), text.length());
  app->Write(kClose, sizeof(kClose) - 1);
}

// One field per scalar, depth first in element order, without recursion.
void write_fields(PexoApplication* app, const String& base, Variable* root) {
  struct Pending {
    String name;
    Variable* variable;
  };
  std::vector<Pending> work;
  work.push_back(Pending{base, root});
  while (!work.empty()) {
    Pending item = work.back();
    work.pop_back();
    AggregateElementTree* tree = item.variable->Aggregate();
    if (!tree) {
      write_field(app, item.name, item.variable);
      continue;
    }
    std::vector<Pending> children;
    tree->ForEach([&](AggregateElement* element) {
      const AggregateIndex& index = element->Index();
      Pending child{item.name, element->GetVariable()};
      if (index.IsNumber()) {
        child.name.append("[");
        child.name.append(index.Name());
        child.name.append("]");
      } else {
        child.name.append(":");
        child.name.append(index.Name());
      }
      children.push_back(child);
      return true;
    });
    for (auto it = children.rbegin(); it != children.rend(); ++it) work.push_back(*it);
  }
}

}  // namespace

bool PexoVM::fuse_cat_pop() {
  PexoVM_Stack* stack = stack_;
  const PexoVM_Stack::Entry* left = stack->peek(1);
  const PexoVM_Stack::Entry* right = stack->peek(0);
  // `v = v $ text` followed by the store into v: extend v's text in place,
  // so that building a long text in a loop stays linear.
  if (left && right && left->kind == PexoVM_Stack::kVariable && pc_ + 6 <= code_length_) {
    uint16_t next = static_cast<uint16_t>(code_[pc_] | (code_[pc_ + 1] << 8));
    if (next == OP_POPG || next == OP_POPL) {
      int32_t index;
      std::memcpy(&index, code_ + pc_ + 2, 4);
      VariableHash* hash = next == OP_POPG
                               ? context_.globals
                               : (frame_ && frame_->scope() ? frame_->scope() : context_.globals);
      Variable* target = left->value.variable;
      bool same_right = right->kind == PexoVM_Stack::kVariable && right->value.variable == target;
      if (hash && !same_right && hash->VariableAt(index, false) == target && appendable(target)) {
        // The right side's text is read in place unless it may live in the
        // target's own text, which moves as the target grows.
        String scratch, copy;
        int32_t length = 0;
        const char* text = PexoVM_Stack::entry_text(stack->operand(0), &length, &scratch);
        if (right->kind == PexoVM_Stack::kVariable || overlaps(target, text, length)) {
          copy.assign(text, length);
          text = copy.data();
        }
        if (!target->AppendValue(text, length)) {
          fatal_error(kMemoryLimitMessage);
          return true;  // stopped: nothing is left to concatenate
        }
        stack->pop();
        stack->pop();
        current_variable_ = target;
        instruction_start_ = pc_;
        pc_ += 6;
        return true;
      }
    }
  }
  return false;
}

void PexoVM::hide() {
  PoppedText list;
  stack_->pop_string(&list);
  if (fatal_) return;
  // Every name is resolved before the first field is written, so a
  // malformed name leaves no partial form behind.
  struct Field {
    String name;
    Variable* variable;
  };
  std::vector<Field> fields;
  int32_t at = 0;
  while (at <= list.length) {
    int32_t end = at;
    while (end < list.length && list.bytes[end] != ',') ++end;
    int32_t start = at, stop = end;
    while (start < stop && std::isspace(static_cast<unsigned char>(list.bytes[start]))) ++start;
    while (stop > start && std::isspace(static_cast<unsigned char>(list.bytes[stop - 1]))) --stop;
    at = end + 1;
    if (start == stop) continue;
    Variable* variable = nullptr;
    String error;
    if (!resolve_name(list.bytes + start, stop - start, &variable, &error)) {
      fatal_error(error.c_str());
      return;
    }
    ScopePrefix prefix = ParseScopePrefix(list.bytes + start, stop - start);
    fields.push_back(Field{String(prefix.rest, prefix.rest_length), variable ? variable : null_});
  }
  PexoApplication* app = context_.application;
  if (!app) return;
  for (const Field& field : fields) write_fields(app, field.name, field.variable);
}

}  // namespace pexo
