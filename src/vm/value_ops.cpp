#include "vm/value_ops.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "values/conversions.h"
#include "values/decimal.h"
#include "values/link_buffer.h"
#include "values/memory_account.h"
#include "values/variable.h"
#include "vm/pexo_vm.h"
#include "vm/value_access.h"
#include "vm/vm_stack.h"

namespace pexo {
namespace {

using Entry = PexoVM_Stack::Entry;

// The integer value when the entry counts as an integer for the fast paths:
// an integer, a variable of integer type, or a decimal (bare or a
// variable's) that is an integer exactly.
bool EntryAsInteger(const Entry& e, int32_t* value) {
  switch (e.kind) {
    case PexoVM_Stack::kInteger:
      *value = e.value.integer;
      return true;
    case PexoVM_Stack::kDecimal:
      return DecimalToIntegerExact(e.value.decimal, value);
    case PexoVM_Stack::kVariable: {
      Variable* v = e.value.variable;
      int32_t type = v->Type();
      if (type == kTypeInteger) {
        *value = v->Value_Integer();
        return true;
      }
      if (type == kTypeDecimal) return DecimalToIntegerExact(v->Value_Decimal(), value);
      return false;
    }
    default:
      return false;
  }
}

// An operand's integer when reading it needs no conversion: a bare integer,
// or an ordinary variable holding a valid integer.
bool PlainInteger(const Entry& e, int32_t* value) {
  if (e.kind == PexoVM_Stack::kInteger) {
    *value = e.value.integer;
    return true;
  }
  return e.kind == PexoVM_Stack::kVariable && e.value.variable->FastInteger(value);
}

// The decimal value of an operand entry, converted into `scratch` when the
// entry holds no decimal of its own.
const mpd_t* OperandDecimal(Entry& e, ScratchDecimal* scratch) {
  switch (e.kind) {
    case PexoVM_Stack::kInteger:
      IntegerToDecimal(e.value.integer, scratch->get());
      return scratch->get();
    case PexoVM_Stack::kDecimal:
      return e.value.decimal;
    case PexoVM_Stack::kVariable:
      // An integer variable's decimal is its integer: no text to parse.
      if (e.value.variable->Type() == kTypeInteger) {
        IntegerToDecimal(e.value.variable->Value_Integer(), scratch->get());
        return scratch->get();
      }
      return e.value.variable->Value_Decimal();
    default: {
      String text_scratch;
      int32_t length = 0;
      const char* text = PexoVM_Stack::entry_text(e, &length, &text_scratch);
      TextToDecimal(text, length, scratch->get());
      return scratch->get();
    }
  }
}

// The entry as a decimal by the checked text rule; false when it is not a
// number.
bool EntryDecimalChecked(const Entry& e, mpd_t* out) {
  uint32_t status = 0;
  switch (e.kind) {
    case PexoVM_Stack::kInteger:
      IntegerToDecimal(e.value.integer, out);
      return true;
    case PexoVM_Stack::kDecimal:
      mpd_qcopy(out, e.value.decimal, &status);
      return true;
    case PexoVM_Stack::kString:
      return TextToDecimal(e.value.text ? e.value.text : "", e.size, out);
    case PexoVM_Stack::kVariable: {
      int error = 0;
      const mpd_t* d = e.value.variable->Value_Decimal_Checked(&error);
      if (error) return false;
      mpd_qcopy(out, d, &status);
      return true;
    }
    default: {
      int32_t length = 0;
      const char* text = e.value.buffer->data(&length);
      return TextToDecimal(text, length, out);
    }
  }
}

// Where a binary operator's decimal result goes: an owned decimal operand,
// taken from its entry (which then releases nothing), or one from the stack
// (null when memory runs out).
mpd_t* ResultDecimal(PexoVM_Stack* stack, Entry& le, Entry& re) {
  for (Entry* e : {&le, &re}) {
    if (e->kind == PexoVM_Stack::kDecimal && e->owned()) {
      e->disown();
      return e->value.decimal;
    }
  }
  return stack->TakeDecimal();
}

enum class DecimalOp { kAdd, kSubtract, kMultiply, kDivide, kPower };

// The decimal result of two operands, pushed owned.
bool DecimalBinary(PexoVM_Stack* stack, DecimalOp op) {
  if (!stack->has(2)) return false;
  // Both operands are read in place (right first, as if popped): a
  // variable's decimal is valid while its entry still holds it, and an
  // integer or text converts into a scratch without allocating.
  Entry& le = stack->operand(1);
  Entry& re = stack->operand(0);
  ScratchDecimal rs, ls;
  const mpd_t* right = OperandDecimal(re, &rs);
  const mpd_t* left = OperandDecimal(le, &ls);
  mpd_t* result = ResultDecimal(stack, le, re);
  if (result) {
    uint32_t status = 0;
    mpd_context_t* context = DecimalContext();
    switch (op) {
      case DecimalOp::kAdd:
        mpd_qadd(result, left, right, context, &status);
        break;
      case DecimalOp::kSubtract:
        mpd_qsub(result, left, right, context, &status);
        break;
      case DecimalOp::kMultiply:
        mpd_qmul(result, left, right, context, &status);
        break;
      case DecimalOp::kDivide:
        if (mpd_iszero(left))
          mpd_qset_i32(result, 0, context, &status);
        else
          mpd_qdiv(result, left, right, context, &status);
        break;
      case DecimalOp::kPower:
        mpd_qpow(result, left, right, context, &status);
        break;
    }
  }
  stack->drop(2);
  if (!result) {
    stack->machine()->fatal_error("Allocation failed");
    return false;
  }
  return stack->push_decimal(result, true);
}

bool AddOrSubtract(PexoVM_Stack* stack, bool subtract) {
  if (!stack->has(2)) return false;
  Entry& le = stack->operand(1);
  Entry& re = stack->operand(0);
  int32_t left = 0, right = 0;
  if (EntryAsInteger(le, &left) && EntryAsInteger(re, &right)) {
    bool overflows;
    if (subtract)
      overflows = (right < 0 && left > right + 2147483647) || (right > 0 && left < right - 2147483647);
    else
      overflows = (right > 0 && left > 2147483647 - right) || (right < 0 && left < -2147483647 - right);
    if (!overflows) {
      stack->drop(2);
      return stack->push(subtract ? left - right : left + right);
    }
  }
  return DecimalBinary(stack, subtract ? DecimalOp::kSubtract : DecimalOp::kAdd);
}

static_assert(kWholeDecimalTextSize >= kIntegerTextSize, "digits hold an integer text");

// The text entry_text would give a number (an integer, a whole decimal that
// fits 64 bits, or an ordinary variable holding only an integer), written
// into `digits` (kWholeDecimalTextSize bytes) without allocating; null for
// any other entry.
const char* NumberText(const Entry& e, int32_t* length, char* digits) {
  int32_t value = 0;
  switch (e.kind) {
    case PexoVM_Stack::kInteger:
      *length = FormatInteger(e.value.integer, digits);
      return digits;
    case PexoVM_Stack::kDecimal:
      *length = FormatWholeDecimal(e.value.decimal, digits);
      return *length >= 0 ? digits : nullptr;
    case PexoVM_Stack::kVariable:
      // The text such a variable would make is the integer's digits.
      if (e.value.variable->valid_flags() == kIntegerValid &&
          e.value.variable->FastInteger(&value)) {
        *length = FormatInteger(value, digits);
        return digits;
      }
      return nullptr;
    default:
      return nullptr;
  }
}

// Appends the text of an entry that needs a scratch text for it.
void AppendMadeText(LinkBuffer* buffer, Entry& e) {
  String scratch;
  int32_t length = 0;
  const char* text = PexoVM_Stack::entry_text(e, &length, &scratch);
  buffer->append(text, length);
}

// Appends an entry's text to a buffer.
void AppendText(LinkBuffer* buffer, Entry& e) {
  if (e.kind == PexoVM_Stack::kString) {
    buffer->append(e.value.text ? e.value.text : "", e.size);
    return;
  }
  char digits[kWholeDecimalTextSize];
  int32_t length = 0;
  const char* text = NumberText(e, &length, digits);
  if (text)
    buffer->append(text, length);
  else
    AppendMadeText(buffer, e);
}

// Turns an entry into an owned LinkBuffer holding its text; the replaced
// value is handed back in `old` for the caller to release.
LinkBuffer* MakeBuffer(PexoVM_Stack* stack, Entry& e, Entry* old) {
  old->kind = PexoVM_Stack::kInteger;
  if (e.kind == PexoVM_Stack::kBuffer && e.owned()) return e.value.buffer;
  LinkBuffer* buffer = stack->TakeBuffer();
  AppendText(buffer, e);
  *old = e;  // released by the caller once the other operand has been read
  e.kind = PexoVM_Stack::kBuffer;
  e.flags = Entry::kOwned;
  e.value.buffer = buffer;
  e.size = e.capacity = 8;
  return buffer;
}

}  // namespace

bool ValueAdd(PexoVM_Stack* stack) { return AddOrSubtract(stack, false); }
bool ValueSubtract(PexoVM_Stack* stack) { return AddOrSubtract(stack, true); }
bool ValueMultiply(PexoVM_Stack* stack) {
  if (!stack->has(2)) return false;
  int32_t left = 0, right = 0;
  if (PlainInteger(stack->operand(1), &left) && PlainInteger(stack->operand(0), &right)) {
    // The exact product rounded to the context is what the decimal path
    // computes, and a zero product takes the sign the operands' signs give.
    mpd_t* result = stack->TakeDecimal();
    if (result) {
      int64_t product = static_cast<int64_t>(left) * right;
      WholeToDecimal(product, result);
      if (product == 0 && (left < 0) != (right < 0)) mpd_set_negative(result);
      stack->drop(2);
      return stack->push_decimal(result, true);
    }
  }
  return DecimalBinary(stack, DecimalOp::kMultiply);
}
bool ValueMultiplyOnto(PexoVM_Stack* stack) {
  if (stack->depth() < 3) return false;
  Entry& below = stack->operand(2);
  int32_t left = 0, right = 0;
  if (below.kind != PexoVM_Stack::kBuffer || !below.owned() ||
      !PlainInteger(stack->operand(1), &left) || !PlainInteger(stack->operand(0), &right))
    return false;
  int64_t product = static_cast<int64_t>(left) * right;
  if (product <= -kExactWholeLimit || product >= kExactWholeLimit) return false;
  // The text of the decimal mul would make: the digits, and -0 for a zero
  // of operands of different signs.
  char digits[kWholeDecimalTextSize];
  char* end = digits;
  if (product == 0 && (left < 0) != (right < 0)) *end++ = '-';
  end = std::to_chars(end, digits + sizeof digits, product).ptr;
  below.value.buffer->append(digits, static_cast<int32_t>(end - digits));
  stack->drop(2);
  return true;
}

bool ValueDivide(PexoVM_Stack* stack) { return DecimalBinary(stack, DecimalOp::kDivide); }
bool ValuePower(PexoVM_Stack* stack) { return DecimalBinary(stack, DecimalOp::kPower); }

bool ValueRoundText(PexoVM_Stack* stack) {
  int32_t digits = stack->pop_integer();
  if (digits < 0) digits = 0;
  PoppedDecimal value;
  stack->pop_decimal(&value);
  if (stack->machine()->fatal()) return false;
  // The text is made outside the request's account, so its size is checked
  // first: a digit count in the billions must stop the request, not take
  // gigabytes. Digits before the point, the point, a sign and the ones after.
  int64_t whole = 1;
  if (mpd_isfinite(value.value))
    whole = std::max<int64_t>(1, static_cast<int64_t>(value.value->exp) + value.value->digits);
  int64_t length_bound = whole + digits + 3;
  MemoryAccount* account = CurrentMemoryAccount();
  if (length_bound >= INT32_MAX - 1 || (account && !account->Allows(length_bound))) {
    stack->machine()->fatal_error(kMemoryLimitMessage);
    return false;
  }
  char format[32];
  std::snprintf(format, sizeof(format), ".%df", digits);
  uint32_t status = 0;
  char* text = mpd_qformat(value.value, format, DecimalContext(), &status);
  if (!text) return stack->push_string("", 0, 0, false);
  int32_t length = static_cast<int32_t>(std::strlen(text));
  bool pushed = stack->push_copy(text, length);
  mpd_free(text);
  return pushed;
}

bool ValueRoundDecimal(PexoVM_Stack* stack) {
  int32_t digits = stack->pop_integer();
  if (digits < 0) digits = 0;
  PoppedDecimal value;
  stack->pop_decimal(&value);
  if (stack->machine()->fatal()) return false;
  mpd_t* result = mpd_qnew();
  uint32_t status = 0;
  mpd_qrescale(result, value.value, -static_cast<mpd_ssize_t>(digits), DecimalContext(), &status);
  return stack->push_decimal(result, true);
}

int32_t ValueCompare(PexoVM_Stack* stack) {
  if (!stack->has(2)) return 0;
  Entry& le = stack->operand(1);
  Entry& re = stack->operand(0);
  int32_t left = 0, right = 0;
  int32_t result;
  if (EntryAsInteger(le, &left) && EntryAsInteger(re, &right)) {
    result = left < right ? -1 : left > right ? 1 : 0;
  } else {
    mpd_t* ld = mpd_qnew();
    mpd_t* rd = mpd_qnew();
    bool error = !EntryDecimalChecked(le, ld) || !EntryDecimalChecked(re, rd);
    if (!error) {
      result = CompareDecimals(ld, rd);
    } else {
      String ls, rs;
      int32_t ll = 0, rl = 0;
      const char* lt = PexoVM_Stack::entry_text(le, &ll, &ls);
      const char* rt = PexoVM_Stack::entry_text(re, &rl, &rs);
      result = CompareTexts(lt, ll, rt, rl);
    }
    mpd_del(ld);
    mpd_del(rd);
  }
  stack->drop(2);
  return result;
}

bool ValueConcatenate(PexoVM_Stack* stack) {
  if (!stack->has(2)) return false;
  Entry& le = stack->operand(1);
  Entry& re = stack->operand(0);
  if (le.kind == PexoVM_Stack::kBuffer && re.kind == PexoVM_Stack::kBuffer) {
    if (!le.owned() && !re.owned()) {
      // Two borrowed buffers: one flat text.
    } else if (!le.owned()) {
      int32_t length = 0;
      const char* text = le.value.buffer->data(&length);
      re.value.buffer->prepend(text, length);
      stack->nip();
      return true;
    } else {
      le.value.buffer->append_buffer(*re.value.buffer, re.owned());
      stack->drop(1);
      return true;
    }
  } else if (!le.owned() || (re.kind == PexoVM_Stack::kBuffer && re.owned())) {
    if (re.owned() && re.kind != PexoVM_Stack::kBuffer) {
      // A borrowed left and an owned value: both texts go into a buffer in
      // order, and the left entry, which owns nothing, becomes it.
      LinkBuffer* buffer = stack->TakeBuffer();
      AppendText(buffer, le);
      AppendText(buffer, re);
      stack->drop(1);
      le.kind = PexoVM_Stack::kBuffer;
      le.flags = Entry::kOwned;
      le.value.buffer = buffer;
      le.size = le.capacity = 8;
      return true;
    }
    if (re.owned()) {
      String scratch;
      int32_t length = 0;
      const char* text = PexoVM_Stack::entry_text(le, &length, &scratch);
      Entry old{};  // stays empty when the entry already was an owned buffer
      LinkBuffer* buffer = MakeBuffer(stack, re, &old);
      buffer->prepend(text, length);
      PexoVM_Stack::release(old);
      stack->nip();
      return true;
    }
  } else {
    Entry old{};  // stays empty when the entry already was an owned buffer
    LinkBuffer* buffer = MakeBuffer(stack, le, &old);
    AppendText(buffer, re);
    stack->drop(1);
    PexoVM_Stack::release(old);
    return true;
  }
  // Flat text of both, pushed owned.
  String ls, rs;
  int32_t ll = 0, rl = 0;
  const char* lt = PexoVM_Stack::entry_text(le, &ll, &ls);
  const char* rt = PexoVM_Stack::entry_text(re, &rl, &rs);
  int64_t total = static_cast<int64_t>(ll) + rl;
  char* joined = nullptr;
  if (total >= INT32_MAX) {
    RefuseTooLong();
  } else if (MemoryAllows(total + 1)) {
    joined = static_cast<char*>(std::malloc(static_cast<size_t>(total) + 1));
  }
  if (!joined) {
    stack->machine()->fatal_error(kMemoryLimitMessage);
    return false;
  }
  if (ll) std::memcpy(joined, lt, static_cast<size_t>(ll));
  if (rl) std::memcpy(joined + ll, rt, static_cast<size_t>(rl));
  joined[ll + rl] = '\0';
  stack->drop(2);
  return stack->push_string(joined, ll + rl, ll + rl + 1, true);
}

}  // namespace pexo
