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
#include "program/opcodes.h"
#include "vm/pexo_vm.h"
#include "vm/text_search.h"
#include "vm/value_ops.h"
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

// Every row of the opcode table, numbered densely from 1 in table order, so
// that dispatch switches on a small row number and compiles to one jump
// table; a word without a row has number 0.
constexpr uint16_t kRowWords[] = {
#define PEXO_ROW_WORD(word, ...) word,
    PEXO_OPCODE_LIST(PEXO_ROW_WORD, PEXO_ROW_WORD)
#undef PEXO_ROW_WORD
};
constexpr int kRowCount = sizeof(kRowWords) / sizeof(kRowWords[0]);
static_assert(kRowCount < 255, "row numbers must fit a byte");

struct RowTable {
  uint8_t of[65536];
  RowTable() : of() {
    for (int i = 0; i < kRowCount; ++i) of[kRowWords[i]] = static_cast<uint8_t>(i + 1);
  }
};

const RowTable kRows;

// Instructions whose work belongs to subsystems not built yet, by row: the
// tag under which each reports and the number of attributes it pops.
struct PendingOp {
  bool pending;
  int32_t tag;
  int32_t pops;  // -1: the second operand gives the count
};

const PendingOp kPending[kRowCount + 1] = {
    {false, 0, 0},  // no row
#define PEXO_RUNS(...) {false, 0, 0},
#define PEXO_PENDS(word, name, mnemonic, listing, first, second, tag, pops, ...) \
  {true, kTag##tag, pops},
    PEXO_OPCODE_LIST(PEXO_RUNS, PEXO_PENDS)
#undef PEXO_RUNS
#undef PEXO_PENDS
};

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

  // A field of an open database; an empty alias means the primary one.
  static Variable* database_field(PexoVM* vm, const char* alias, int32_t alias_length,
                                  const char* field, int32_t field_length) {
    MachineDatabases* databases = vm->open_databases();
    if (!databases || !field) return nullptr;
    return databases->Field(alias ? alias : "", alias ? alias_length : 0, field, field_length);
  }

  // pushd/popd: field name on top, alias below it.
  static void field_by_names(PexoVM* vm, bool push) {
    int32_t field_length = 0;
    int32_t alias_length = 0;
    char* field = vm->stack_->pop_name(&field_length);
    char* alias = vm->stack_->pop_name(&alias_length);
    if (!vm->fatal_) {
      Variable* variable = database_field(vm, alias, alias_length, field, field_length);
      if (push)
        push_found(vm, variable);
      else
        pop_to(vm, variable);
    }
    std::free(field);
    std::free(alias);
  }

  // pushdc/popdc: alias and field from the dictionary.
  static void field_by_dictionary(PexoVM* vm, bool push) {
    int32_t alias_length = 0;
    int32_t field_length = 0;
    const char* alias = dictionary_text(vm, vm->op_int1_, &alias_length);
    if (!alias) return;
    const char* field = dictionary_text(vm, vm->op_int2_, &field_length);
    if (!field) return;
    Variable* variable = database_field(vm, alias, alias_length, field, field_length);
    if (push)
      push_found(vm, variable);
    else
      pop_to(vm, variable);
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
      vm->runtime_error(kTagExpression, "Array index must be positive integer");
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
    // Borrowed: a lookup that finds the member copies no text.
    Variable* found =
        structure->Element(AggregateIndex::Borrow(name.bytes, name.length), create ? 1 : 0);
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

  // refern/refernc: the target comes off the stack before the name is
  // resolved, so a constant target stops the run without creating the named
  // variable. A null name has already stopped the machine.
  static void refer_named(PexoVM* vm, const char* name, int32_t length) {
    Variable* target = nullptr;
    bool owned = false;
    if (name && !vm->fatal_ && vm->stack_->pop_variable(&target, &owned)) {
      Variable* alias = resolve(vm, name, length);
      if (alias && !vm->fatal_) alias->Make_Reference(target);
    }
    if (owned) target->Release();
  }

  static void bind(PexoVM* vm, VariableHash* hash, int32_t index) {
    Variable* target = nullptr;
    bool owned = false;
    if (!vm->stack_->pop_variable(&target, &owned)) return;
    if (hash) hash->ReferenceEntry(index, target);
    if (owned) target->Release();
  }

  // The two integer operands of a bit operator, right on top; false when
  // popping stopped the machine.
  static bool pop_integers(PexoVM* vm, int32_t* left, int32_t* right) {
    *right = vm->stack_->pop_integer();
    *left = vm->stack_->pop_integer();
    return !vm->fatal_;
  }

  // The comparison of the two top entries; false when it stopped the
  // machine.
  static bool compare(PexoVM* vm, int32_t* order) {
    *order = ValueCompare(vm->stack_);
    return !vm->fatal_;
  }

  // A conditional jump's popped integer; false when popping stopped the
  // machine.
  static bool pop_condition(PexoVM* vm, int32_t* value) {
    *value = vm->stack_->pop_integer();
    return !vm->fatal_;
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
    if (!emit && vm->write_top_buffer()) return;
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

bool PexoVM::write_top_buffer() {
  PexoApplication* app = context_.application;
  if (!app || stack_->depth() == 0) return false;
  PexoVM_Stack::Entry& top = stack_->operand(0);
  if (top.kind != PexoVM_Stack::kBuffer) return false;
  LinkBuffer* buffer = top.value.buffer;
  for (int32_t i = 0; i < buffer->chunk_count(); ++i) {
    int32_t length = 0;
    const char* chunk = buffer->chunk_data(i, &length);
    app->Write(chunk, length);
  }
  bool owned = top.owned();
  top.disown();
  stack_->drop(1);
  if (owned) stack_->RecycleBuffer(buffer);
  return true;
}

int PexoVM::dispatch(uint16_t word) {
  // Inside this function an OP_ name stands for its row of the opcode table
  // (see kRows), so a case can only name an instruction the table lists.
  enum Row : uint8_t {
    kNoRow = 0,
#define PEXO_ROW(word, name, ...) OP_##name,
    PEXO_OPCODE_LIST(PEXO_ROW, PEXO_ROW)
#undef PEXO_ROW
  };
  PexoVM_Stack* stack = stack_;
  int32_t left = 0, right = 0, order = 0, value = 0;  // operands of the simple cases
  Row row = static_cast<Row>(kRows.of[word]);
  switch (row) {
    case OP_NOOP: return 1;
    case OP_PUSHC: {
      int32_t length = 0;
      const char* text = Instructions::dictionary_text(this, op_int1_, &length);
      if (text) stack->push_string(text, length, length, false);
      return 1;
    }
    case OP_PUSHI: stack->push(op_int1_); return 1;
    case OP_PUSHF: {
      const mpd_t* value = float_constant(op_double1_);
      if (!value) {
        fatal_error("Allocation failed");
        return 1;
      }
      stack->push_decimal(const_cast<mpd_t*>(value), false);
      return 1;
    }
    case OP_PUSHS: {  // never creates
      Variable* variable = Instructions::slot(this, context_.system, op_int1_, false);
      Instructions::push_found(this, variable);
      return 1;
    }
    // Only pushs stands in the null variable; a global or local slot that
    // does not exist is a bad reference.
    case OP_PUSHG:
      stack->push_variable(Instructions::slot(this, context_.globals, op_int1_, true), true, true);
      return 1;
    case OP_PUSHL:
      stack->push_variable(Instructions::slot(this, Instructions::locals(this), op_int1_, true),
                           true, true);
      return 1;
    case OP_PUSHN: {
      int32_t length = 0;
      char* name = stack->pop_name(&length);
      if (!fatal_) Instructions::push_named(this, name, length);
      std::free(name);
      return 1;
    }
    case OP_PUSHNC: {
      int32_t length = 0;
      const char* name = Instructions::dictionary_text(this, op_int1_, &length);
      if (name) Instructions::push_named(this, name, length);
      return 1;
    }
    case OP_POP: stack->pop(); return 1;
    case OP_POPS:
      Instructions::pop_to(this, Instructions::slot(this, context_.system, op_int1_, false));
      return 1;
    case OP_POPG:
      Instructions::pop_into_slot(this, context_.globals, op_int1_);
      return 1;
    case OP_POPL:
      Instructions::pop_into_slot(this, Instructions::locals(this), op_int1_);
      return 1;
    case OP_POPN: {
      int32_t length = 0;
      char* name = stack->pop_name(&length);
      if (!fatal_) Instructions::pop_named(this, name, length);
      std::free(name);
      return 1;
    }
    case OP_POPNC: {
      int32_t length = 0;
      const char* name = Instructions::dictionary_text(this, op_int1_, &length);
      if (name) Instructions::pop_named(this, name, length);
      return 1;
    }
    case OP_SPUSH:
      if (context_.system) context_.system->PushLevel();
      return 1;
    case OP_SPOP:
      if (!context_.system || !context_.system->PopLevel())
        fatal_error("System variable stack underflow");
      return 1;
    case OP_DUP: stack->dup(); return 1;
    case OP_SWAP: stack->swap(0, 1); return 1;
    case OP_SWAPN: stack->swap(op_int1_, op_int2_); return 1;
    case OP_STORE: Instructions::store(this); return 1;
    case OP_ELEM: Instructions::element(this, true); return 1;
    case OP_ELEMQ: Instructions::element(this, false); return 1;
    case OP_MEMB: Instructions::member(this, true); return 1;
    case OP_MEMBQ: Instructions::member(this, false); return 1;
    case OP_REFER: {
      Variable* alias = nullptr;
      bool owned = false;
      if (stack->pop_variable(&alias, &owned)) Instructions::refer(this, alias, owned);
      return 1;
    }
    case OP_REFERN: {
      int32_t length = 0;
      char* name = stack->pop_name(&length);
      Instructions::refer_named(this, name, length);
      std::free(name);
      return 1;
    }
    case OP_REFERNC: {
      int32_t length = 0;
      const char* name = Instructions::dictionary_text(this, op_int1_, &length);
      Instructions::refer_named(this, name, length);
      return 1;
    }
    case OP_BINDG: Instructions::bind(this, context_.globals, op_int1_); return 1;
    case OP_BINDL: Instructions::bind(this, Instructions::locals(this), op_int1_); return 1;
    case OP_ISNULL: {
      int empty = stack->pop_is_null();
      if (!fatal_) stack->push(empty);
      return 1;
    }

    case OP_ADD: ValueAdd(stack); return 1;
    case OP_SUB: ValueSubtract(stack); return 1;
    case OP_CAT:
      // Fused with a popg or popl that follows (the table's fusions).
      if (!fuse_cat_pop()) ValueConcatenate(stack);
      return 1;
    case OP_DIV: ValueDivide(stack); return 1;
    case OP_MUL: ValueMultiply(stack); return 1;
    case OP_POW: ValuePower(stack); return 1;
    case OP_ROUNDS: ValueRoundText(stack); return 1;
    case OP_ROUNDF: ValueRoundDecimal(stack); return 1;
    case OP_BITAND:
      if (Instructions::pop_integers(this, &left, &right)) stack->push(left & right);
      return 1;
    case OP_BITOR:
      if (Instructions::pop_integers(this, &left, &right)) stack->push(left | right);
      return 1;
    case OP_BITXOR:
      if (Instructions::pop_integers(this, &left, &right)) stack->push(left ^ right);
      return 1;
    case OP_BITSL:
      if (Instructions::pop_integers(this, &left, &right)) stack->push(ShiftLeft(left, right));
      return 1;
    case OP_BITSR:
      if (Instructions::pop_integers(this, &left, &right)) stack->push(ShiftRight(left, right));
      return 1;
    case OP_MOD:
      if (Instructions::pop_integers(this, &left, &right)) stack->push(IntegerRemainder(left, right));
      return 1;
    case OP_BITOC: {
      int32_t value = stack->pop_integer();
      if (!fatal_) stack->push(~value);
      return 1;
    }
    case OP_CRYPT: Instructions::crypt(this); return 1;

    case OP_CMP:
      if (Instructions::compare(this, &order)) stack->push(order);
      return 1;
    case OP_EQ:
      if (Instructions::compare(this, &order)) stack->push(order == 0);
      return 1;
    case OP_NE:
      if (Instructions::compare(this, &order)) stack->push(order != 0);
      return 1;
    case OP_GE:
      if (Instructions::compare(this, &order)) stack->push(order >= 0);
      return 1;
    case OP_LE:
      if (Instructions::compare(this, &order)) stack->push(order <= 0);
      return 1;
    case OP_LT:
      if (Instructions::compare(this, &order)) stack->push(order < 0);
      return 1;
    case OP_GT:
      if (Instructions::compare(this, &order)) stack->push(order > 0);
      return 1;
    case OP_AND: {
      int right_truth = stack->pop_truth();
      int left_truth = stack->pop_truth();
      if (!fatal_) stack->push(left_truth && right_truth);
      return 1;
    }
    case OP_OR: {
      int right_truth = stack->pop_truth();
      int left_truth = stack->pop_truth();
      if (!fatal_) stack->push(left_truth || right_truth);
      return 1;
    }
    case OP_NOT: {
      int value = stack->pop_truth();
      if (!fatal_) stack->push(!value);
      return 1;
    }
    case OP_IN: Instructions::search(this, false, false); return 1;
    case OP_CIN: Instructions::search(this, true, false); return 1;
    case OP_EIN: Instructions::search(this, false, true); return 1;
    case OP_ECIN: Instructions::search(this, true, true); return 1;

    case OP_CMPGG: Instructions::compare_globals(this, false); return 1;
    case OP_CMPGI: Instructions::compare_globals(this, true); return 1;
    case OP_INCG: {
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
    case OP_MODGG: {
      Variable* dividend = Instructions::slot(this, context_.globals, op_int1_, true);
      Variable* divisor = Instructions::slot(this, context_.globals, op_int2_, true);
      if (!dividend || !divisor) return fatal_error("Invalid variable reference"), 1;
      stack->push(IntegerRemainder(dividend->Value_Integer(), divisor->Value_Integer()));
      return 1;
    }
    case OP_STOREGI: {
      Variable* variable = Instructions::slot(this, context_.globals, op_int1_, true);
      if (!variable) return fatal_error("Invalid variable reference"), 1;
      if (!variable->FastSetInteger(op_int2_)) variable->SetValue_Integer(op_int2_);
      return 1;
    }

    case OP_JMP: jump(op_int1_); return 1;
    case OP_JMP_EQ:
      if (Instructions::pop_condition(this, &value) && value == 0) jump(op_int1_);
      return 1;
    case OP_JMP_LT:
      if (Instructions::pop_condition(this, &value) && value < 0) jump(op_int1_);
      return 1;
    case OP_JMP_GT:
      if (Instructions::pop_condition(this, &value) && value > 0) jump(op_int1_);
      return 1;
    case OP_JMP_LE:
      if (Instructions::pop_condition(this, &value) && value <= 0) jump(op_int1_);
      return 1;
    case OP_JMP_GE:
      if (Instructions::pop_condition(this, &value) && value >= 0) jump(op_int1_);
      return 1;
    case OP_JMP_NE:
      if (Instructions::pop_condition(this, &value) && value != 0) jump(op_int1_);
      return 1;
    case OP_CALL: op_call(op_int1_); return 1;
    case OP_RET: op_return(true); return 1;
    case OP_RETN: op_return(false); return 1;
    case OP_EXIT:
    case OP_EXIT_ALT:
      pc_ = code_length_;
      context_.flags->exit.store(1, std::memory_order_relaxed);
      return 1;
    case OP_LINENO:
      line_ = op_int1_;
      if (tracing(kTraceLine) && line_ != traced_line_) {
        traced_line_ = line_;
        trace(kTraceLine);
      }
      return 1;
    case OP_SOURCEFILE:
      if (op_int1_ != source_file_) {
        traced_line_ = 0;
        source_name_cached_ = false;
      }
      source_file_ = op_int1_;
      return 1;
    case OP_TAGERROR: tags_.set_flags(op_int1_, op_int2_); return 1;
    case OP_ERROUTPUT:
      if (frame_) frame_->error_output = op_int1_;
      return 1;
    case OP_STDOUTPUT:
      if (frame_) frame_->whitespace_mode = op_int1_;
      if (context_.application) context_.application->SetWhitespaceMode(op_int1_);
      return 1;
    case OP_ERRPREFIX: {
      PoppedText text;
      stack->pop_string(&text);
      if (!fatal_) error_prefix_.assign(text.bytes, text.length);
      return 1;
    }
    case OP_OUT: Instructions::write_out(this, false); return 1;
    case OP_OUT_COMP: Instructions::write_out(this, true); return 1;
    case OP_HIDE: hide(); return 1;
    case OP_PUSHD: Instructions::field_by_names(this, true); return 1;
    case OP_POPD: Instructions::field_by_names(this, false); return 1;
    case OP_PUSHDC: Instructions::field_by_dictionary(this, true); return 1;
    case OP_POPDC: Instructions::field_by_dictionary(this, false); return 1;
    default: {
      const PendingOp& pending = kPending[row];
      if (pending.pending) {
        TagInstruction handler =
            context_.tag_instructions ? context_.tag_instructions->Get(word) : nullptr;
        if (handler) {
          handler(this, TagOperands{op_int1_, op_int2_});
          return 1;
        }
        Instructions::not_implemented(this, pending);
        return 1;
      }
      fatal_error("Illegal Instruction");
      return 0;
    }
  }
}

}  // namespace pexo
