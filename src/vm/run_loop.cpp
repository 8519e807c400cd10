// The run loop: the decoded records of the loaded segment, the hot
// instructions handled in place, every other one through dispatch().
//
// Invariants: before an instruction runs, instruction_start_ and pc_ hold
// its offset and the offset after it, exactly as when reading the bytes, so
// everything that looks at pc_ (jumps, calls, fusions, tag instructions)
// works unchanged. When pc_ is not the next record's offset after an
// instruction, the loop finds the record for pc_ again, or reads the bytes
// when there is none. Each fast path below does what dispatch() does for its
// instruction; on anything but its common case it leaves the work to
// dispatch().
#include <cstring>

#include "program/decoded_code.h"
#include "program/opcodes.h"
#include "program/segment.h"
#include "values/dictionary.h"
#include "values/variable.h"
#include "values/variable_hash.h"
#include "vm/machine_host.h"
#include "vm/pexo_vm.h"
#include "vm/value_ops.h"
#include "vm/vm_frame.h"
#include "vm/vm_stack.h"

#if defined(__GNUC__) || defined(__clang__)
#define PEXO_COMPUTED_GOTO 1
#endif

namespace pexo {
namespace {

// Operand bytes announced by the top four bits of a word: bits 15-14 for the
// first operand (01 int32, 10 double), bits 13-12 for the second.
constexpr int8_t kOperandBytes[16] = {0, 4, 8, 0, 4, 8, 12, 4, 8, 12, 16, 8, 0, 4, 8, 0};

// The handlers of the loop; kGeneric goes through dispatch().
#define PEXO_HANDLERS(X)                                                                    \
  X(Generic) X(End) X(Noop) X(Pushi) X(Pushg) X(Pushl) X(Popg) X(Popl) X(Pop) X(Cmpgi)     \
  X(Incg) X(Storegi) X(Jmp) X(JmpEq) X(JmpNe) X(JmpLt) X(JmpGt) X(JmpLe) X(JmpGe) X(Add)   \
  X(Sub) X(Eq) X(Ne) X(Lt) X(Gt) X(Le) X(Ge) X(Lineno) X(Call) X(Ret) X(Pushc) X(Cat)       \
  X(Mul) X(Out)

enum Handler : uint8_t {
#define PEXO_HANDLER_ENUM(name) k##name,
  PEXO_HANDLERS(PEXO_HANDLER_ENUM)
#undef PEXO_HANDLER_ENUM
};

constexpr Handler HandlerOf(uint16_t word) {
  switch (word) {
    case OP_NOOP: return kNoop;
    case OP_PUSHI: return kPushi;
    case OP_PUSHG: return kPushg;
    case OP_PUSHL: return kPushl;
    case OP_POPG: return kPopg;
    case OP_POPL: return kPopl;
    case OP_POP: return kPop;
    case OP_CMPGI: return kCmpgi;
    case OP_INCG: return kIncg;
    case OP_STOREGI: return kStoregi;
    case OP_JMP: return kJmp;
    case OP_JMP_EQ: return kJmpEq;
    case OP_JMP_NE: return kJmpNe;
    case OP_JMP_LT: return kJmpLt;
    case OP_JMP_GT: return kJmpGt;
    case OP_JMP_LE: return kJmpLe;
    case OP_JMP_GE: return kJmpGe;
    case OP_ADD: return kAdd;
    case OP_SUB: return kSub;
    case OP_EQ: return kEq;
    case OP_NE: return kNe;
    case OP_LT: return kLt;
    case OP_GT: return kGt;
    case OP_LE: return kLe;
    case OP_GE: return kGe;
    case OP_LINENO: return kLineno;
    case OP_CALL: return kCall;
    case OP_RET: return kRet;
    case OP_PUSHC: return kPushc;
    case OP_CAT: return kCat;
    case OP_MUL: return kMul;
    case OP_OUT: return kOut;
    default: return kGeneric;
  }
}

// Handler by row of the opcode table (rows count from 1 in table order, as
// DecodedCode numbers them).
struct HandlerTable {
  Handler of[256];
  constexpr HandlerTable() : of() {
    constexpr uint16_t kWords[] = {
#define PEXO_ROW_WORD(word, ...) word,
        PEXO_OPCODE_LIST(PEXO_ROW_WORD, PEXO_ROW_WORD)
#undef PEXO_ROW_WORD
    };
    for (int i = 0; i < 256; ++i) of[i] = kGeneric;
    for (size_t i = 0; i < sizeof(kWords) / sizeof(kWords[0]); ++i)
      of[i + 1] = HandlerOf(kWords[i]);
    of[DecodedInstruction::kEndRow] = kEnd;
  }
};

constexpr HandlerTable kHandlers;

// Integer sum or difference as the general operators compute it: false when
// it overflows their range (which leaves out -2^31), so that they make it a
// decimal.
inline bool IntegerSum(int32_t left, int32_t right, bool subtract, int32_t* result) {
  int64_t value = subtract ? static_cast<int64_t>(left) - right : static_cast<int64_t>(left) + right;
  if (right != 0 && (value > 2147483647 || value < -2147483647)) return false;
  *result = static_cast<int32_t>(value);
  return true;
}

// An operand's integer as the general operators read it, for the entries
// that need no conversion: a bare integer, or an ordinary variable holding a
// valid integer.
inline bool PlainInteger(const PexoVM_Stack::Entry& entry, int32_t* value) {
  if (entry.kind == PexoVM_Stack::kInteger) {
    *value = entry.value.integer;
    return true;
  }
  return entry.kind == PexoVM_Stack::kVariable && entry.value.variable->FastInteger(value);
}

// The two top entries as plain integers (the right one on top).
inline bool IntegerOperands(PexoVM_Stack* stack, int32_t* left, int32_t* right) {
  return stack->depth() >= 2 && PlainInteger(stack->operand(1), left) &&
         PlainInteger(stack->operand(0), right);
}

// Pops both operands, releasing what they own, and pushes the result.
inline void ReplaceOperands(PexoVM_Stack* stack, int32_t value) {
  stack->drop(2);
  stack->push(value);
}

inline int32_t Order(int32_t left, int32_t right) { return left < right ? -1 : left > right ? 1 : 0; }

static_assert(kJmpGe - kJmpEq == 5, "the conditional jumps are one run of handlers");

// Whether the conditional jump `handler` jumps on `value`.
inline bool JumpTaken(Handler handler, int32_t value) {
  switch (handler) {
    case kJmpEq: return value == 0;
    case kJmpNe: return value != 0;
    case kJmpLt: return value < 0;
    case kJmpGt: return value > 0;
    case kJmpLe: return value <= 0;
    default: return value >= 0;
  }
}

}  // namespace

inline Variable* PexoVM::global_slot(int32_t index) {
  if (plain_globals_) {
    VariableHash::Entry* entry = context_.globals->EntryAt(index);
    if (entry && entry->variable) return entry->variable;
  }
  return context_.globals ? context_.globals->VariableAt(index, true) : nullptr;
}

int PexoVM::attend() {
  HostFlags* flags = context_.flags;
  if (flags->timeout.load(std::memory_order_relaxed)) {
    handle_timeout();
    return 0;
  }
  int32_t signal = flags->signal.load(std::memory_order_relaxed);
  if (signal != last_signal_) {
    last_signal_ = signal;
    notify_signal();
  }
  if (fatal_) return 0;
  if (flags->exit.load(std::memory_order_relaxed)) return 1;
  if (steps_left_ != 0 && --steps_left_ == 0) {
    fatal_error("Instruction limit reached");
    return 0;
  }
  if (requested_segment_ != loaded_segment_) {
    load_segment();
    if (fatal_) return 0;
  }
  attention_ = steps_left_ != 0 ? static_cast<uint32_t>(kAttendSteps) : 0u;
  return -1;
}

int PexoVM::step_bytes() {
  instruction_start_ = pc_;
  // A jump, call or return may have left the program counter before the
  // segment's start; nothing there is code.
  if (pc_ < 0) {
    fatal_error("Illegal Instruction");
    return 0;
  }
  if (static_cast<int64_t>(pc_) + 1 >= code_length_) return 1;
  const unsigned char* at = code_ + pc_;
  uint16_t word = static_cast<uint16_t>(at[0] | (at[1] << 8));
  // Operands: the top four flag bits say what follows; one that would run
  // past the segment makes the instruction illegal.
  int32_t need = kOperandBytes[word >> 12];
  if (need > code_length_ - pc_ - 2) {
    pc_ = code_length_;
    fatal_error("Illegal Instruction");
    return 0;
  }
  at += 2;
  uint16_t first = word & 0xC000, second = word & 0x3000;
  if (first == 0x4000) {
    std::memcpy(&op_int1_, at, 4);
    at += 4;
  } else if (first == 0x8000) {
    std::memcpy(&op_double1_, at, 8);
    at += 8;
  }
  if (second == 0x1000) {
    std::memcpy(&op_int2_, at, 4);
  } else if (second == 0x2000) {
    std::memcpy(&op_double2_, at, 8);
  }
  pc_ += 2 + need;
  dispatch(word);
  return -1;
}

int PexoVM::run() {
  HostFlags* const flags = context_.flags;
  const DecodedInstruction* ip = nullptr;
  int32_t left = 0, right = 0, value = 0;
  Variable* variable = nullptr;

#define PEXO_ATTENTION() attention_raised(flags)

#ifdef PEXO_COMPUTED_GOTO
  static const void* const kLabels[] = {
#define PEXO_HANDLER_LABEL(name) &&handle_##name,
      PEXO_HANDLERS(PEXO_HANDLER_LABEL)
#undef PEXO_HANDLER_LABEL
  };
  // The same by row, made once: one load less per instruction.
  struct RowLabels {
    const void* of[256];
    explicit RowLabels(const void* const* labels) {
      for (int i = 0; i < 256; ++i) of[i] = labels[kHandlers.of[i]];
    }
  };
  static const RowLabels kRowLabels(kLabels);
#define PEXO_JUMP_TO_HANDLER() goto* kRowLabels.of[ip->row]
#else
#define PEXO_JUMP_TO_HANDLER() goto select
#endif

  // Runs the record at ip.
#define PEXO_ENTER()               \
  do {                             \
    instruction_start_ = ip->offset; \
    pc_ = ip->next;                \
    PEXO_JUMP_TO_HANDLER();        \
  } while (0)

  // After an instruction: the following record when control fell through,
  // else the record for pc_ found again.
#define PEXO_NEXT()                         \
  do {                                      \
    if (pc_ != ip->next) goto check;        \
    ++ip;                                   \
    if (PEXO_ATTENTION()) goto attention;   \
    PEXO_ENTER();                           \
  } while (0)

  // After an instruction of this loop's own, which never moves pc_.
#define PEXO_FALL()                         \
  do {                                      \
    ++ip;                                   \
    if (PEXO_ATTENTION()) goto attention;   \
    PEXO_ENTER();                           \
  } while (0)

  // A jump taken: to its record when it has one.
#define PEXO_BRANCH()                                   \
  do {                                                  \
    if (ip->target < 0) {                               \
      jump(ip->first.integer);                          \
      goto check;                                       \
    }                                                   \
    ip = decoded_->records() + ip->target;              \
    pc_ = ip->offset;                                   \
    if (PEXO_ATTENTION()) goto attention;               \
    PEXO_ENTER();                                       \
  } while (0)

  goto attention;

check:
  if (PEXO_ATTENTION()) goto attention;
find:
  ip = decoded_ ? decoded_->at(pc_) : nullptr;
  if (!ip) goto bytes;
  PEXO_ENTER();

attention: {
  int result = attend();
  if (result >= 0) return result;
  goto find;
}

bytes: {
  int result = step_bytes();
  if (result >= 0) return result;
  goto check;
}

#ifndef PEXO_COMPUTED_GOTO
select:
  switch (kHandlers.of[ip->row]) {
#define PEXO_HANDLER_CASE(name) \
  case k##name:                 \
    goto handle_##name;
    PEXO_HANDLERS(PEXO_HANDLER_CASE)
#undef PEXO_HANDLER_CASE
  }
#endif

handle_Generic:
  switch (ip->word & 0xC000) {
    case 0x4000: op_int1_ = ip->first.integer; break;
    case 0x8000: op_double1_ = ip->first.real; break;
  }
  switch (ip->word & 0x3000) {
    case 0x1000: op_int2_ = ip->second.integer; break;
    case 0x2000: op_double2_ = ip->second.real; break;
  }
  dispatch(ip->word);
  PEXO_NEXT();

handle_End:
  // Past the decoded records: the bytes decide (end, or operands that run
  // past the end).
  goto bytes;

handle_Noop:
  PEXO_FALL();

handle_Pushi:
  stack_->push(ip->first.integer);
  PEXO_FALL();

// Only pushs stands in the null variable; a global or local slot that does
// not exist is a bad reference.
handle_Pushg:
  variable = global_slot(ip->first.integer);
  current_variable_ = variable;
  stack_->push_variable(variable, true, true);
  PEXO_FALL();

handle_Pushl: {
  VariableHash* scope = frame_ ? frame_->scope() : nullptr;
  if (!scope) scope = context_.globals;
  variable = scope ? scope->VariableAt(ip->first.integer, true) : nullptr;
  current_variable_ = variable;
  stack_->push_variable(variable, true, true);
  PEXO_FALL();
}

handle_Popg:
  variable = global_slot(ip->first.integer);
  current_variable_ = variable;
  if (!variable)
    fatal_error("Invalid variable reference");
  else
    stack_->pop_into(variable);
  PEXO_FALL();

handle_Popl: {
  VariableHash* scope = frame_ ? frame_->scope() : nullptr;
  if (!scope) scope = context_.globals;
  variable = scope ? scope->VariableAt(ip->first.integer, true) : nullptr;
  current_variable_ = variable;
  if (!variable)
    fatal_error("Invalid variable reference");
  else
    stack_->pop_into(variable);
  PEXO_FALL();
}

handle_Pop:
  stack_->pop();
  PEXO_FALL();

handle_Cmpgi:
  variable = global_slot(ip->first.integer);
  current_variable_ = variable;
  if (!variable) {
    fatal_error("Invalid variable reference");
  } else if (variable->FastInteger(&value)) {
    value = Order(value, ip->second.integer);
    // A conditional jump right after takes the order without the stack
    // (when the push could not have failed), still as an instruction of its
    // own: attention is tested between the two.
    Handler after = kHandlers.of[ip[1].row];
    if (after >= kJmpEq && after <= kJmpGe && stack_->depth() < stack_->capacity()) {
      ++ip;
      if (PEXO_ATTENTION()) {
        --ip;
        stack_->push(value);
        PEXO_FALL();
      }
      instruction_start_ = ip->offset;
      pc_ = ip->next;
      if (JumpTaken(after, value)) PEXO_BRANCH();
      PEXO_FALL();
    }
    stack_->push(value);
  } else {
    goto handle_Generic;
  }
  PEXO_FALL();

handle_Incg:
  variable = global_slot(ip->first.integer);
  // Wraps around like the general path.
  if (variable && variable->FastInteger(&value) &&
      variable->FastSetInteger(static_cast<int32_t>(static_cast<uint32_t>(value) +
                                                    static_cast<uint32_t>(ip->second.integer)))) {
    current_variable_ = variable;
    PEXO_FALL();
  }
  goto handle_Generic;

handle_Storegi:
  variable = global_slot(ip->first.integer);
  if (variable && variable->FastSetInteger(ip->second.integer)) {
    current_variable_ = variable;
    PEXO_FALL();
  }
  goto handle_Generic;

handle_Jmp:
  PEXO_BRANCH();

#define PEXO_CONDITIONAL_JUMP(name, test)   \
  handle_##name:                            \
  value = stack_->pop_integer();            \
  if (!fatal_ && value test 0) PEXO_BRANCH(); \
  PEXO_FALL();

  PEXO_CONDITIONAL_JUMP(JmpEq, ==)
  PEXO_CONDITIONAL_JUMP(JmpNe, !=)
  PEXO_CONDITIONAL_JUMP(JmpLt, <)
  PEXO_CONDITIONAL_JUMP(JmpGt, >)
  PEXO_CONDITIONAL_JUMP(JmpLe, <=)
  PEXO_CONDITIONAL_JUMP(JmpGe, >=)
#undef PEXO_CONDITIONAL_JUMP

handle_Add:
  if (IntegerOperands(stack_, &left, &right) && IntegerSum(left, right, false, &value)) {
    ReplaceOperands(stack_, value);
    PEXO_FALL();
  }
  goto handle_Generic;

handle_Sub:
  if (IntegerOperands(stack_, &left, &right) && IntegerSum(left, right, true, &value)) {
    ReplaceOperands(stack_, value);
    PEXO_FALL();
  }
  goto handle_Generic;

#define PEXO_COMPARISON(name, test)                         \
  handle_##name:                                            \
  if (IntegerOperands(stack_, &left, &right)) {             \
    ReplaceOperands(stack_, Order(left, right) test 0);     \
    PEXO_FALL();                                            \
  }                                                         \
  goto handle_Generic;

  PEXO_COMPARISON(Eq, ==)
  PEXO_COMPARISON(Ne, !=)
  PEXO_COMPARISON(Lt, <)
  PEXO_COMPARISON(Gt, >)
  PEXO_COMPARISON(Le, <=)
  PEXO_COMPARISON(Ge, >=)
#undef PEXO_COMPARISON

handle_Pushc: {
  int32_t length = 0;
  const char* text = context_.dictionary ? context_.dictionary->get(ip->first.integer, &length) : nullptr;
  if (!text) goto handle_Generic;  // reports the bad reference
  // A cat right after, onto a text being built, is the constant appended
  // to it (when the push could not have failed), still as an instruction of
  // its own: attention is tested between the two.
  if (kHandlers.of[ip[1].row] == kCat && stack_->depth() > 0 &&
      stack_->depth() < stack_->capacity()) {
    PexoVM_Stack::Entry& top = stack_->operand(0);
    if (top.kind == PexoVM_Stack::kBuffer && top.owned()) {
      ++ip;
      if (PEXO_ATTENTION()) {
        --ip;
        stack_->push_string(text, length, length, false);
        PEXO_FALL();
      }
      instruction_start_ = ip->offset;
      pc_ = ip->next;
      top.value.buffer->append(text, length);
      PEXO_FALL();
    }
  }
  stack_->push_string(text, length, length, false);
  PEXO_FALL();
}

// Only a variable on the left can be extended in place by the popg or popl
// that may follow (dispatch's fusion); everything else concatenates.
handle_Cat:
  if (stack_->depth() >= 2 && stack_->operand(1).kind != PexoVM_Stack::kVariable) {
    ValueConcatenate(stack_);
    PEXO_FALL();
  }
  goto handle_Generic;

// A cat right after, onto a text being built, may take the product's text
// straight away; the two stay instructions of their own for attention.
handle_Mul:
  if (kHandlers.of[ip[1].row] == kCat && !PEXO_ATTENTION() && ValueMultiplyOnto(stack_)) {
    ++ip;
    instruction_start_ = ip->offset;
    pc_ = ip->next;
    PEXO_FALL();
  }
  ValueMultiply(stack_);
  PEXO_FALL();

handle_Out:
  if (!write_top_buffer()) goto handle_Generic;
  PEXO_FALL();

handle_Lineno:
  line_ = ip->first.integer;
  if (tracing(kTraceLine) && line_ != traced_line_) {
    traced_line_ = line_;
    trace(kTraceLine);
  }
  PEXO_FALL();

handle_Call:
  op_call(ip->first.integer);
  goto check;

handle_Ret:
  op_return(true);
  goto check;

#undef PEXO_ATTENTION
#undef PEXO_JUMP_TO_HANDLER
#undef PEXO_ENTER
#undef PEXO_NEXT
#undef PEXO_FALL
#undef PEXO_BRANCH
}

}  // namespace pexo
