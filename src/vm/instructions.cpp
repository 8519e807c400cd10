// The instruction set: dispatch on the whole opcode word.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "vm/machine_host.h"
#include "values/dictionary.h"
#include "program/segment.h"
#include "values/aggregate_index.h"
#include "values/conversions.h"
#include "values/decimal.h"
#include "values/variable.h"
#include "values/variable_hash.h"
#include "vm/pexo_vm.h"
#include "vm/text_search.h"
#include "vm/vm_frame.h"
#include "vm/vm_stack.h"

namespace pexo {
namespace {

const char kSaltAlphabet[] =
    "./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// A generator per thread, seeded once from the system's entropy, so that
// requests on different threads neither share a seed nor a lock.
uint32_t SaltRandom() {
  thread_local std::mt19937 generator{std::random_device{}()};
  return static_cast<uint32_t>(generator());
}

// Instructions whose work belongs to subsystems not built yet, with the tag
// under which each reports and the number of attributes it pops.
struct PendingOp {
  uint16_t word;
  int32_t tag;
  int32_t pops;  // -1: the second operand gives the count
};

const PendingOp kPending[] = {
    {0x0200, 28, 5}, {0x0216, 28, 6}, {0x0201, 29, 1}, {0x0202, 30, 2}, {0x0203, 31, 2},
    {0x0204, 38, 1}, {0x0205, 35, 1}, {0x0206, 36, 1}, {0x0207, 37, 1}, {0x0208, 32, 1},
    {0x0209, 33, 3}, {0x020A, 34, 2}, {0x020B, 39, 3}, {0x020C, 40, 1}, {0x020D, 41, 1},
    {0x020E, 42, 3}, {0x0210, 44, 3}, {0x0211, 45, 1}, {0x0212, 46, 2}, {0x0213, 47, 2},
    {0x0214, 43, 2}, {0x0215, 43, 2}, {0x0217, 52, 1}, {0x0218, 53, 1}, {0x0219, 55, 1},
    {0x021A, 58, 2}, {0x4101, 2, 0}, {0x4102, 2, 0}, {0x4103, 2, 0}, {0x4104, 3, 0},
    {0x0105, 4, 0}, {0x4106, 8, 0}, {0x4107, 8, 0}, {0x4109, 9, 0}, {0x0108, 10, 0},
    {0x410A, 11, 5}, {0x5114, 11, -1}, {0x010B, 11, 0}, {0x410C, 14, 5}, {0x4112, 14, 8},
    {0x5113, 14, -1}, {0x410D, 14, 0}, {0x410E, 15, 0}, {0x410F, 19, 0}, {0x4110, 19, 0},
    {0x4111, 20, 0}, {0x0045, 22, 1}, {0x0046, 22, 1}, {0x0048, 23, 1}, {0x0049, 23, 0},
    {0x0058, 59, 1}, {0x0059, 59, 0}, {0x4115, 75, 0}, {0x5117, 75, -1}, {0x404D, 25, 1},
    {0x404E, 24, 0}, {0x404F, 24, 0},
};

const PendingOp* find_pending(uint16_t word) {
  for (const PendingOp& op : kPending)
    if (op.word == word) return &op;
  return nullptr;
}

// Every word the switch below handles. Dispatch goes through a 64K table of
// dense slot numbers so that the switch compiles to one jump table instead
// of a search over sparse words; slot 0 means "not handled here".
constexpr uint16_t kDispatched[] = {
    0x0000, 0x4001, 0x4002, 0x8003, 0x4004, 0x4005, 0x4006, 0x0009, 0x400A, 0x000B,
    0x400C, 0x400D, 0x400E, 0x0011, 0x4012, 0x0013, 0x0014, 0x003A, 0x005B, 0x505C,
    0x0042, 0x003E, 0x003F, 0x0040, 0x0041, 0x0057, 0x0055, 0x4056, 0x4053, 0x4054,
    0x005A, 0x0016, 0x0017, 0x0018, 0x001F, 0x0020, 0x0024, 0x0022, 0x0025, 0x0019,
    0x001A, 0x001B, 0x001D, 0x001E, 0x0021, 0x001C, 0x0023, 0x002C, 0x0033, 0x0034,
    0x0035, 0x0036, 0x0037, 0x0038, 0x002D, 0x002E, 0x0039, 0x002F, 0x0030, 0x0031,
    0x0032, 0x5301, 0x5302, 0x5303, 0x5304, 0x5305, 0x4025, 0x4026, 0x4027, 0x4028,
    0x4029, 0x402A, 0x402B, 0x403D, 0x003B, 0x003C, 0x0043, 0x0116, 0x4044, 0x404A,
    0x504B, 0x404C, 0x4050, 0x0052, 0x0015, 0x0051, 0x0047, 0x0007, 0x000F, 0x5008,
    0x5010,
};
constexpr int kDispatchedCount = sizeof(kDispatched) / sizeof(kDispatched[0]);
static_assert(kDispatchedCount < 255, "slots must fit a byte");

constexpr uint8_t Slot(uint16_t word) {
  for (int i = 0; i < kDispatchedCount; ++i)
    if (kDispatched[i] == word) return static_cast<uint8_t>(i + 1);
  return 0;
}

struct SlotTable {
  uint8_t of[65536];
  SlotTable() : of() {
    for (int i = 0; i < kDispatchedCount; ++i) of[kDispatched[i]] = static_cast<uint8_t>(i + 1);
  }
};

const SlotTable kSlots;

}  // namespace

// Instruction bodies that need more than a line, kept out of the switch.
class Instructions {
 public:
  static const char* dictionary_text(PexoVM* vm, int32_t index, int32_t* length) {
    const char* text = vm->context_.dictionary ? vm->context_.dictionary->get(index, length) : nullptr;
    if (!text) vm->fatal_error("Invalid dictionary reference");
    return text;
  }

  static VariableHash* locals(PexoVM* vm) {
    VariableHash* scope = vm->frame_ ? vm->frame_->scope() : nullptr;
    return scope ? scope : vm->context_.globals;
  }

  static void push_found(PexoVM* vm, Variable* variable) {
    vm->current_variable_ = variable ? variable : vm->null_;
    vm->stack_->push_variable(vm->current_variable_, true, true);
  }

  static Variable* slot(PexoVM* vm, VariableHash* hash, int32_t index, bool create) {
    Variable* variable = hash ? hash->VariableAt(index, create) : nullptr;
    vm->current_variable_ = variable;
    return variable;
  }

  static void pop_to(PexoVM* vm, Variable* variable) {
    if (variable)
      vm->stack_->pop_into(variable);
    else
      vm->stack_->pop();
  }

  // popg/popl: the slot is made when missing; a number outside the table is
  // a bad reference.
  static void pop_into_slot(PexoVM* vm, VariableHash* hash, int32_t index) {
    Variable* variable = slot(vm, hash, index, true);
    if (!variable) {
      vm->fatal_error("Invalid variable reference");
      return;
    }
    vm->stack_->pop_into(variable);
  }

  static Variable* resolve(PexoVM* vm, const char* name, int32_t length) {
    Variable* variable = nullptr;
    String error;
    if (!vm->resolve_name(name, length, &variable, &error)) {
      vm->fatal_error(error.c_str());
      return nullptr;
    }
    return variable;
  }

  static void push_named(PexoVM* vm, const char* name, int32_t length) {
    Variable* variable = resolve(vm, name, length);
    if (!vm->fatal_) push_found(vm, variable);
  }

  static void pop_named(PexoVM* vm, const char* name, int32_t length) {
    Variable* variable = resolve(vm, name, length);
    if (vm->fatal_) return;
    vm->current_variable_ = variable;
    pop_to(vm, variable);
  }

  static void store(PexoVM* vm) {
    Variable* target = nullptr;
    bool owned = false;
    if (!vm->stack_->pop_variable(&target, &owned)) return;
    vm->stack_->pop_into(target);
    if (owned) target->Release();
  }

  static void element(PexoVM* vm, bool create) {
    PexoVM_Stack* stack = vm->stack_;
    int32_t index = stack->pop_integer();
    if (vm->fatal_) return;
    if (index < 1) {
      vm->runtime_error(62, "Array index must be positive integer");
      return;
    }
    Variable* array = nullptr;
    bool owned = false;
    if (!stack->pop_variable(&array, &owned)) return;
    Variable* found = array->Element(AggregateIndex(index), create ? 1 : 0);
    push_found(vm, found);
    if (owned) array->Release();
  }

  static void member(PexoVM* vm, bool create) {
    PexoVM_Stack* stack = vm->stack_;
    PoppedText name;
    stack->pop_string(&name);
    Variable* structure = nullptr;
    bool owned = false;
    if (vm->fatal_ || !stack->pop_variable(&structure, &owned)) return;
    Variable* found = structure->Element(AggregateIndex(name.bytes, name.length), create ? 1 : 0);
    push_found(vm, found);
    if (owned) structure->Release();
  }

  static void refer(PexoVM* vm, Variable* alias, bool alias_owned) {
    Variable* target = nullptr;
    bool owned = false;
    if (vm->stack_->pop_variable(&target, &owned) && alias) alias->Make_Reference(target);
    if (owned) target->Release();
    if (alias_owned && alias) alias->Release();
  }

  static void bind(PexoVM* vm, VariableHash* hash, int32_t index) {
    Variable* target = nullptr;
    bool owned = false;
    if (!vm->stack_->pop_variable(&target, &owned)) return;
    if (hash) hash->ReferenceEntry(index, target);
    if (owned) target->Release();
  }

  static void decimal_binary(PexoVM* vm, uint16_t word) {
    PexoVM_Stack* stack = vm->stack_;
    PoppedDecimal right, left;
    stack->pop_decimal(&right);
    stack->pop_decimal(&left);
    if (vm->fatal_) return;
    mpd_t* result = mpd_qnew();
    uint32_t status = 0;
    mpd_context_t* context = DecimalContext();
    if (word == 0x001F) {
      if (mpd_iszero(left.value))
        mpd_qset_i32(result, 0, context, &status);
      else
        mpd_qdiv(result, left.value, right.value, context, &status);
    } else if (word == 0x0020) {
      mpd_qmul(result, left.value, right.value, context, &status);
    } else {
      mpd_qpow(result, left.value, right.value, context, &status);
    }
    stack->push_decimal(result, true);
  }

  static void round_text(PexoVM* vm) {
    PexoVM_Stack* stack = vm->stack_;
    int32_t digits = stack->pop_integer();
    if (digits < 0) digits = 0;
    PoppedDecimal value;
    stack->pop_decimal(&value);
    if (vm->fatal_) return;
    char format[32];
    std::snprintf(format, sizeof(format), ".%df", digits);
    uint32_t status = 0;
    char* text = mpd_qformat(value.value, format, DecimalContext(), &status);
    if (!text) {
      stack->push_string("", 0, 0, false);
      return;
    }
    int32_t length = static_cast<int32_t>(std::strlen(text));
    stack->push_copy(text, length);
    mpd_free(text);
  }

  static void round_decimal(PexoVM* vm) {
    PexoVM_Stack* stack = vm->stack_;
    int32_t digits = stack->pop_integer();
    if (digits < 0) digits = 0;
    PoppedDecimal value;
    stack->pop_decimal(&value);
    if (vm->fatal_) return;
    mpd_t* result = mpd_qnew();
    uint32_t status = 0;
    mpd_qrescale(result, value.value, -static_cast<mpd_ssize_t>(digits), DecimalContext(), &status);
    stack->push_decimal(result, true);
  }

  static void bit_binary(PexoVM* vm, uint16_t word) {
    PexoVM_Stack* stack = vm->stack_;
    int32_t right = stack->pop_integer();
    int32_t left = stack->pop_integer();
    if (vm->fatal_) return;
    vm->scratch_left_ = left;
    vm->scratch_right_ = right;
    uint32_t l = static_cast<uint32_t>(left);
    int32_t result = 0;
    switch (word) {
      case 0x0019: result = left & right; break;
      case 0x001A: result = left | right; break;
      case 0x001B: result = left ^ right; break;
      case 0x001D: result = static_cast<int32_t>(l << (static_cast<uint32_t>(right) & 31)); break;
      case 0x001E: result = left >> (static_cast<uint32_t>(right) & 31); break;
      case 0x0021:
        result = right == 0 ? 0 : (right == -1 ? 0 : left % right);
        break;
    }
    stack->push(result);
  }

  static void crypt(PexoVM* vm) {
    PexoVM_Stack* stack = vm->stack_;
    PoppedText salt_text, text;
    stack->pop_string(&salt_text);
    stack->pop_string(&text);
    if (vm->fatal_) return;
    char salt[2];
    if (salt_text.length == 0) {
      salt[0] = kSaltAlphabet[SaltRandom() % 64];
      salt[1] = kSaltAlphabet[SaltRandom() % 64];
    } else if (salt_text.length == 1) {
      salt[0] = salt[1] = salt_text.bytes[0];
    } else {
      salt[0] = salt_text.bytes[0];
      salt[1] = salt_text.bytes[1];
    }
    String hashed;
    PexoApplication* app = vm->context_.application;
    bool ok = app ? app->PasswordHash(text.bytes, text.length, salt, &hashed)
                  : SystemPasswordHash(text.bytes, text.length, salt, &hashed);
    // A salt the hash cannot use gives an empty text rather than a failure
    // marker dressed up as a hash.
    if (!ok) hashed.clear();
    stack->push_copy(hashed.data(), hashed.length());
  }

  static void search(PexoVM* vm, bool fold_case, bool end) {
    PexoVM_Stack* stack = vm->stack_;
    PoppedText right, left;
    stack->pop_string(&right);
    stack->pop_string(&left);
    if (vm->fatal_) return;
    stack->push(end ? TextPositionEnd(left.bytes, left.length, right.bytes, right.length, fold_case)
                    : TextPositionStart(left.bytes, left.length, right.bytes, right.length,
                                        fold_case));
  }

  static void compare_globals(PexoVM* vm, bool with_integer) {
    VariableHash* globals = vm->context_.globals;
    Variable* left = slot(vm, globals, vm->op_int1_, true);
    if (!left) {
      vm->fatal_error("Invalid variable reference");
      return;
    }
    int32_t l = 0, r = 0;
    if (with_integer) {
      if (left->FastInteger(&l)) {
        vm->stack_->push(l < vm->op_int2_ ? -1 : l > vm->op_int2_ ? 1 : 0);
      } else if (left->Type() == kTypeInteger) {
        l = left->Value_Integer();
        vm->stack_->push(l < vm->op_int2_ ? -1 : l > vm->op_int2_ ? 1 : 0);
      } else {
        vm->stack_->push(CompareVariableInteger(left, vm->op_int2_));
      }
      return;
    }
    Variable* right = slot(vm, globals, vm->op_int2_, true);
    if (!right) {
      vm->fatal_error("Invalid variable reference");
      return;
    }
    if (!(left->FastInteger(&l) && right->FastInteger(&r))) {
      if (left->Type() != kTypeInteger || right->Type() != kTypeInteger) {
        vm->stack_->push(CompareVariables(left, right));
        return;
      }
      l = left->Value_Integer();
      r = right->Value_Integer();
    }
    vm->stack_->push(l < r ? -1 : l > r ? 1 : 0);
  }

  static void write_out(PexoVM* vm, bool emit) {
    PexoVM_Stack* stack = vm->stack_;
    PexoApplication* app = vm->context_.application;
    const PexoVM_Stack::Entry* top = stack->peek();
    if (!top) {
      stack->pop();  // reports the underflow
      return;
    }
    if (!emit && top->kind == PexoVM_Stack::kBuffer && app) {
      LinkBuffer* buffer = top->value.buffer;
      for (int32_t i = 0; i < buffer->chunk_count(); ++i) {
        int32_t length = 0;
        const char* chunk = buffer->chunk_data(i, &length);
        app->Write(chunk, length);
      }
      stack->pop();
      return;
    }
    PoppedText text;
    stack->pop_string(&text);
    if (!app) return;
    if (emit)
      app->Emit(text.bytes, text.length);
    else
      app->Write(text.bytes, text.length);
  }

  static void not_implemented(PexoVM* vm, const PendingOp& op) {
    int32_t pops = op.pops < 0 ? vm->op_int2_ : op.pops;
    for (int32_t i = 0; i < pops && !vm->fatal_; ++i) vm->stack_->pop();
    if (!vm->fatal_) vm->runtime_error(op.tag, "Not implemented");
  }
};

int PexoVM::dispatch(uint16_t word) {
  PexoVM_Stack* stack = stack_;
  switch (kSlots.of[word]) {
    case Slot(0x0000): return 1;  // noop
    case Slot(0x4001): {          // pushc
      int32_t length = 0;
      const char* text = Instructions::dictionary_text(this, op_int1_, &length);
      if (text) stack->push_string(text, length, length, false);
      return 1;
    }
    case Slot(0x4002): stack->push(op_int1_); return 1;
    case Slot(0x8003): {
      const mpd_t* value = float_constant(op_double1_);
      if (!value) {
        fatal_error("Allocation failed");
        return 1;
      }
      stack->push_decimal(const_cast<mpd_t*>(value), false);
      return 1;
    }
    case Slot(0x4004): {  // pushs: never creates
      Variable* variable = Instructions::slot(this, context_.system, op_int1_, false);
      Instructions::push_found(this, variable);
      return 1;
    }
    // Only pushs stands in the null variable; a global or local slot that
    // does not exist is a bad reference.
    case Slot(0x4005):
      stack->push_variable(Instructions::slot(this, context_.globals, op_int1_, true), true, true);
      return 1;
    case Slot(0x4006):
      stack->push_variable(Instructions::slot(this, Instructions::locals(this), op_int1_, true),
                           true, true);
      return 1;
    case Slot(0x0009): {
      int32_t length = 0;
      char* name = stack->pop_name(&length);
      if (!fatal_) Instructions::push_named(this, name, length);
      std::free(name);
      return 1;
    }
    case Slot(0x400A): {
      int32_t length = 0;
      const char* name = Instructions::dictionary_text(this, op_int1_, &length);
      if (name) Instructions::push_named(this, name, length);
      return 1;
    }
    case Slot(0x000B): stack->pop(); return 1;
    case Slot(0x400C):
      Instructions::pop_to(this, Instructions::slot(this, context_.system, op_int1_, false));
      return 1;
    case Slot(0x400D):
      Instructions::pop_into_slot(this, context_.globals, op_int1_);
      return 1;
    case Slot(0x400E):
      Instructions::pop_into_slot(this, Instructions::locals(this), op_int1_);
      return 1;
    case Slot(0x0011): {
      int32_t length = 0;
      char* name = stack->pop_name(&length);
      if (!fatal_) Instructions::pop_named(this, name, length);
      std::free(name);
      return 1;
    }
    case Slot(0x4012): {
      int32_t length = 0;
      const char* name = Instructions::dictionary_text(this, op_int1_, &length);
      if (name) Instructions::pop_named(this, name, length);
      return 1;
    }
    case Slot(0x0013):
      if (context_.system) context_.system->PushLevel();
      return 1;
    case Slot(0x0014):
      if (!context_.system || !context_.system->PopLevel())
        fatal_error("System variable stack underflow");
      return 1;
    case Slot(0x003A): stack->dup(); return 1;
    case Slot(0x005B): stack->swap(0, 1); return 1;
    case Slot(0x505C): stack->swap(op_int1_, op_int2_); return 1;
    case Slot(0x0042): Instructions::store(this); return 1;
    case Slot(0x003E): Instructions::element(this, true); return 1;
    case Slot(0x003F): Instructions::element(this, false); return 1;
    case Slot(0x0040): Instructions::member(this, true); return 1;
    case Slot(0x0041): Instructions::member(this, false); return 1;
    case Slot(0x0057): {
      Variable* alias = nullptr;
      bool owned = false;
      if (stack->pop_variable(&alias, &owned)) Instructions::refer(this, alias, owned);
      return 1;
    }
    case Slot(0x0055):
    case Slot(0x4056): {
      int32_t length = 0;
      char* popped = nullptr;
      const char* name;
      if (word == 0x0055) {
        popped = stack->pop_name(&length);
        name = popped;
      } else {
        name = Instructions::dictionary_text(this, op_int1_, &length);
      }
      // The target comes off the stack before the name is resolved, so a
      // constant target stops the run without creating the named variable.
      Variable* target = nullptr;
      bool owned = false;
      if (name && !fatal_ && stack->pop_variable(&target, &owned)) {
        Variable* alias = Instructions::resolve(this, name, length);
        if (alias && !fatal_) alias->Make_Reference(target);
      }
      if (owned) target->Release();
      std::free(popped);
      return 1;
    }
    case Slot(0x4053): Instructions::bind(this, context_.globals, op_int1_); return 1;
    case Slot(0x4054): Instructions::bind(this, Instructions::locals(this), op_int1_); return 1;
    case Slot(0x005A): {
      int empty = stack->pop_is_null();
      if (!fatal_) stack->push(empty);
      return 1;
    }

    case Slot(0x0016): stack->add(); return 1;
    case Slot(0x0017): stack->subtract(); return 1;
    case Slot(0x0018): concatenate(); return 1;
    case Slot(0x001F):
    case Slot(0x0020):
    case Slot(0x0024): Instructions::decimal_binary(this, word); return 1;
    case Slot(0x0022): Instructions::round_text(this); return 1;
    case Slot(0x0025): Instructions::round_decimal(this); return 1;
    case Slot(0x0019):
    case Slot(0x001A):
    case Slot(0x001B):
    case Slot(0x001D):
    case Slot(0x001E):
    case Slot(0x0021): Instructions::bit_binary(this, word); return 1;
    case Slot(0x001C): {
      int32_t value = stack->pop_integer();
      if (!fatal_) stack->push(~value);
      return 1;
    }
    case Slot(0x0023): Instructions::crypt(this); return 1;

    case Slot(0x002C):
    case Slot(0x0033):
    case Slot(0x0034):
    case Slot(0x0035):
    case Slot(0x0036):
    case Slot(0x0037):
    case Slot(0x0038): {
      int32_t order = stack->compare();
      if (fatal_) return 1;
      int32_t result = order;
      switch (word) {
        case 0x0033: result = order == 0; break;
        case 0x0034: result = order != 0; break;
        case 0x0035: result = order >= 0; break;
        case 0x0036: result = order <= 0; break;
        case 0x0037: result = order < 0; break;
        case 0x0038: result = order > 0; break;
      }
      stack->push(result);
      return 1;
    }
    case Slot(0x002D):
    case Slot(0x002E): {
      int right = stack->pop_truth();
      int left = stack->pop_truth();
      if (!fatal_) stack->push(word == 0x002D ? (left && right) : (left || right));
      return 1;
    }
    case Slot(0x0039): {
      int value = stack->pop_truth();
      if (!fatal_) stack->push(!value);
      return 1;
    }
    case Slot(0x002F): Instructions::search(this, false, false); return 1;
    case Slot(0x0030): Instructions::search(this, true, false); return 1;
    case Slot(0x0031): Instructions::search(this, false, true); return 1;
    case Slot(0x0032): Instructions::search(this, true, true); return 1;

    case Slot(0x5301): Instructions::compare_globals(this, false); return 1;
    case Slot(0x5302): Instructions::compare_globals(this, true); return 1;
    case Slot(0x5303): {
      Variable* variable = Instructions::slot(this, context_.globals, op_int1_, true);
      if (!variable) return fatal_error("Invalid variable reference"), 1;
      // Wraps around like the general path.
      int32_t value = 0;
      bool fast = variable->FastInteger(&value);
      if (!fast) value = variable->Value_Integer();
      int32_t sum = static_cast<int32_t>(static_cast<uint32_t>(value) + static_cast<uint32_t>(op_int2_));
      if (!fast || !variable->FastSetInteger(sum)) variable->SetValue_Integer(sum);
      return 1;
    }
    case Slot(0x5304): {
      Variable* left = Instructions::slot(this, context_.globals, op_int1_, true);
      Variable* right = Instructions::slot(this, context_.globals, op_int2_, true);
      if (!left || !right) return fatal_error("Invalid variable reference"), 1;
      int32_t l = left->Value_Integer(), r = right->Value_Integer();
      scratch_left_ = l;
      scratch_right_ = r;
      stack->push(r == 0 || r == -1 ? 0 : l % r);
      return 1;
    }
    case Slot(0x5305): {
      Variable* variable = Instructions::slot(this, context_.globals, op_int1_, true);
      if (!variable) return fatal_error("Invalid variable reference"), 1;
      if (!variable->FastSetInteger(op_int2_)) variable->SetValue_Integer(op_int2_);
      return 1;
    }

    case Slot(0x4025): jump(op_int1_); return 1;
    case Slot(0x4026):
    case Slot(0x4027):
    case Slot(0x4028):
    case Slot(0x4029):
    case Slot(0x402A):
    case Slot(0x402B): {
      int32_t value = stack->pop_integer();
      if (fatal_) return 1;
      bool taken = false;
      switch (word) {
        case 0x4026: taken = value == 0; break;
        case 0x4027: taken = value < 0; break;
        case 0x4028: taken = value > 0; break;
        case 0x4029: taken = value <= 0; break;
        case 0x402A: taken = value >= 0; break;
        case 0x402B: taken = value != 0; break;
      }
      if (taken) jump(op_int1_);
      return 1;
    }
    case Slot(0x403D): op_call(op_int1_); return 1;
    case Slot(0x003B): op_return(true); return 1;
    case Slot(0x003C): op_return(false); return 1;
    case Slot(0x0043):
    case Slot(0x0116):
      pc_ = code_length_;
      context_.flags->exit.store(1, std::memory_order_relaxed);
      return 1;
    case Slot(0x4044):
      line_ = op_int1_;
      if (tracing(kTraceLine) && line_ != traced_line_) {
        traced_line_ = line_;
        trace(kTraceLine);
      }
      return 1;
    case Slot(0x404A):
      if (op_int1_ != source_file_) {
        traced_line_ = 0;
        source_name_cached_ = false;
      }
      source_file_ = op_int1_;
      return 1;
    case Slot(0x504B): tags_.set_flags(op_int1_, op_int2_); return 1;
    case Slot(0x404C):
      if (frame_) frame_->error_output = op_int1_;
      return 1;
    case Slot(0x4050):
      if (frame_) frame_->whitespace_mode = op_int1_;
      if (context_.application) context_.application->SetWhitespaceMode(op_int1_);
      return 1;
    case Slot(0x0052): {
      PoppedText text;
      stack->pop_string(&text);
      if (!fatal_) error_prefix_.assign(text.bytes, text.length);
      return 1;
    }
    case Slot(0x0015): Instructions::write_out(this, false); return 1;
    case Slot(0x0051): Instructions::write_out(this, true); return 1;
    case Slot(0x0047): hide(); return 1;
    case Slot(0x0007):
    case Slot(0x000F): {
      // No database is open before the database subsystem exists: a field
      // never resolves.
      stack->pop();
      stack->pop();
      if (fatal_) return 1;
      if (word == 0x0007)
        Instructions::push_found(this, nullptr);
      else
        stack->pop();
      return 1;
    }
    case Slot(0x5008): {
      int32_t length = 0;
      if (!Instructions::dictionary_text(this, op_int1_, &length) ||
          !Instructions::dictionary_text(this, op_int2_, &length))
        return 1;
      Instructions::push_found(this, nullptr);
      return 1;
    }
    case Slot(0x5010): {
      int32_t length = 0;
      if (!Instructions::dictionary_text(this, op_int1_, &length) ||
          !Instructions::dictionary_text(this, op_int2_, &length))
        return 1;
      stack->pop();
      return 1;
    }
    default: {
      const PendingOp* pending = find_pending(word);
      if (pending) {
        Instructions::not_implemented(this, *pending);
        return 1;
      }
      fatal_error("Illegal Instruction");
      return 0;
    }
  }
}

}  // namespace pexo
