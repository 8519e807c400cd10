#include "vm/vm_stack.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "values/decimal.h"
#include "values/variable.h"
#include "vm/pexo_vm.h"
#include "vm/value_access.h"

namespace pexo {
namespace {

constexpr uint8_t kOwned = PexoVM_Stack::Entry::kOwned;
constexpr int32_t kBufferFirst = kStackBufferFirst;
constexpr int32_t kBufferGrowth = kStackBufferGrowth;

mpd_t* new_decimal() { return mpd_qnew(); }

mpd_t* copy_decimal(const mpd_t* from) {
  mpd_t* d = mpd_qnew();
  uint32_t status = 0;
  if (d) mpd_qcopy(d, from, &status);
  return d;
}

}  // namespace

PoppedText::~PoppedText() {
  if (must_free) std::free(const_cast<char*>(bytes));
}

char* PoppedText::take(int32_t* length_out, int32_t* capacity_out) {
  char* result;
  if (must_free) {
    result = const_cast<char*>(bytes);
    must_free = false;
    *capacity_out = capacity;
  } else {
    result = copy_text(bytes, length);
    *capacity_out = length + 1;
  }
  *length_out = length;
  bytes = "";
  length = capacity = 0;
  return result;
}

PoppedDecimal::~PoppedDecimal() {
  if (must_free && value) mpd_del(value);
}

mpd_t* PoppedDecimal::take() {
  mpd_t* result = must_free ? value : copy_decimal(value);
  value = nullptr;
  must_free = false;
  return result;
}

PexoVM_Stack::PexoVM_Stack(PexoVM* vm, int32_t capacity)
    : vm_(vm), entries_(new Entry[static_cast<size_t>(capacity)]), capacity_(capacity) {}

PexoVM_Stack::~PexoVM_Stack() {
  clear();
  delete[] entries_;
  if (spare_decimal_) mpd_del(spare_decimal_);
}

void PexoVM_Stack::clear() {
  while (sp_ > 0) release(entries_[--sp_]);
}

const PexoVM_Stack::Entry* PexoVM_Stack::peek(int32_t depth) const {
  return depth >= 0 && depth < sp_ ? &entries_[sp_ - 1 - depth] : nullptr;
}

bool PexoVM_Stack::overflow() {
  vm_->fatal_error("Stack overflow");
  return false;
}

bool PexoVM_Stack::underflow() {
  // The second operand of an instruction whose first pop already stopped
  // the machine is not reported again.
  if (!vm_->fatal()) vm_->fatal_error("Stack underflow");
  return false;
}

void PexoVM_Stack::release(Entry& entry) {
  if (!entry.owned()) return;
  switch (entry.kind) {
    case kDecimal: mpd_del(entry.value.decimal); break;
    case kString: std::free(entry.value.text); break;
    case kVariable: entry.value.variable->Release(); break;
    case kBuffer: delete entry.value.buffer; break;
    default: break;
  }
}

LinkBuffer* PexoVM_Stack::TakeBuffer() {
  if (spare_buffer_) return spare_buffer_.release();
  return new LinkBuffer(kBufferFirst, kBufferGrowth);
}

void PexoVM_Stack::RecycleBuffer(LinkBuffer* buffer) {
  if (spare_buffer_) {
    delete buffer;
    return;
  }
  buffer->reset(kBufferFirst);
  spare_buffer_.reset(buffer);
}

bool PexoVM_Stack::push_decimal(mpd_t* value, bool adopt) {
  if (sp_ == capacity_) {
    if (adopt) mpd_del(value);
    return overflow();
  }
  mpd_t* held = adopt ? value : copy_decimal(value);
  if (!held) {
    vm_->fatal_error("Allocation failed");
    return false;
  }
  Entry& e = entries_[sp_++];
  e.kind = kDecimal;
  e.flags = kOwned;
  e.value.decimal = held;
  e.size = e.capacity = 8;
  return true;
}

bool PexoVM_Stack::push_string(const char* bytes, int32_t length, int32_t capacity, bool owned) {
  if (sp_ == capacity_) {
    if (owned) std::free(const_cast<char*>(bytes));
    return overflow();
  }
  Entry& e = entries_[sp_++];
  e.kind = kString;
  e.flags = owned ? kOwned : 0;
  e.value.text = const_cast<char*>(bytes);
  e.size = length;
  e.capacity = capacity;
  return true;
}

bool PexoVM_Stack::push_copy(const char* bytes, int32_t length) {
  length = text_length(bytes, length);
  return push_string(copy_text(bytes, length), length, length + 1, true);
}

bool PexoVM_Stack::push_buffer(LinkBuffer* buffer, bool owned) {
  if (sp_ == capacity_) {
    if (owned) delete buffer;
    return overflow();
  }
  Entry& e = entries_[sp_++];
  e.kind = kBuffer;
  e.flags = owned ? kOwned : 0;
  e.value.buffer = buffer;
  e.size = e.capacity = 8;
  return true;
}

bool PexoVM_Stack::push_variable(Variable* variable, bool add_reference, bool owned) {
  if (!variable) {
    vm_->fatal_error("Invalid variable reference");
    return false;
  }
  if (sp_ == capacity_) {
    if (owned && !add_reference) variable->Release();
    return overflow();
  }
  if (add_reference) variable->Retain();
  Entry& e = entries_[sp_++];
  e.kind = kVariable;
  e.flags = owned ? kOwned : 0;
  e.value.variable = variable;
  e.size = e.capacity = static_cast<int32_t>(sizeof(Variable));
  return true;
}

bool PexoVM_Stack::push_from(PexoVM_Stack* other, int32_t count) {
  // Room on this stack is checked before the entries on the other.
  if (count > capacity_ - sp_) return overflow();
  if (count < 0 || other->sp_ < count) return underflow();
  // A return value mostly is an owned entry or a bare integer: it moves as is.
  if (count == 1) {
    const Entry& top = other->entries_[other->sp_ - 1];
    if (top.owned() || top.kind == kInteger) {
      entries_[sp_++] = top;
      --other->sp_;
      return true;
    }
  }
  Entry* from = &other->entries_[other->sp_ - count];
  for (int32_t i = 0; i < count; ++i) {
    Entry e = from[i];
    if (!e.owned()) {
      // A borrowed value's owner may be left behind on the other stack and
      // released with it: take a reference or a copy of our own.
      switch (e.kind) {
        case kVariable:
          e.value.variable->Retain();
          e.flags |= kOwned;
          break;
        case kString:
          e.value.text = copy_text(e.value.text ? e.value.text : "", e.size);
          e.capacity = e.size + 1;
          e.flags |= kOwned;
          break;
        case kDecimal:
          e.value.decimal = copy_decimal(e.value.decimal);
          e.flags |= kOwned;
          break;
        case kBuffer: {
          LinkBuffer* copy = new LinkBuffer(kBufferFirst, kBufferGrowth);
          int32_t length = 0;
          const char* text = e.value.buffer->data(&length);
          copy->append(text, length);
          e.value.buffer = copy;
          e.flags |= kOwned;
          break;
        }
        default:
          break;
      }
    }
    entries_[sp_++] = e;
  }
  other->sp_ -= count;
  return true;
}

bool PexoVM_Stack::move_top_to(PexoVM_Stack* other) { return other->push_from(this, 1); }

void PexoVM_Stack::nip() {
  discard(entries_[sp_ - 2]);
  entries_[sp_ - 2] = entries_[sp_ - 1];
  --sp_;
}

void PexoVM_Stack::pop() {
  if (sp_ == 0) {
    underflow();
    return;
  }
  discard(entries_[--sp_]);
}

const char* PexoVM_Stack::entry_text(Entry& e, int32_t* length, String* scratch) {
  switch (e.kind) {
    case kInteger:
      AssignIntegerText(e.value.integer, scratch);
      break;
    case kDecimal:
      AssignDecimalText(e.value.decimal, scratch);
      break;
    case kString:
      *length = e.size;
      return e.value.text ? e.value.text : "";
    case kVariable: {
      const String& text = e.value.variable->Value();
      *length = text.length();
      return text.data();
    }
    case kBuffer:
      return e.value.buffer->data(length);
  }
  *length = scratch->length();
  return scratch->data();
}

int32_t PexoVM_Stack::pop_integer_general() {
  if (sp_ == 0) return underflow(), 0;
  Entry& e = entries_[sp_ - 1];
  int32_t result = 0;
  switch (e.kind) {
    case kInteger: result = e.value.integer; break;
    case kDecimal: result = DecimalToInteger(e.value.decimal); break;
    case kVariable: result = e.value.variable->Value_Integer(); break;
    default: {
      String scratch;
      int32_t length = 0;
      const char* text = entry_text(e, &length, &scratch);
      result = TextToIntegerValue(text, length);
    }
  }
  release(entries_[--sp_]);
  return result;
}

int PexoVM_Stack::pop_truth() {
  if (sp_ == 0) return underflow(), 0;
  Entry& e = entries_[sp_ - 1];
  int result = 0;
  switch (e.kind) {
    case kInteger: result = e.value.integer != 0; break;
    case kDecimal: result = !mpd_iszero(e.value.decimal); break;
    case kVariable: result = e.value.variable->IsTrue() != 0; break;
    default: {
      String scratch;
      int32_t length = 0;
      const char* text = entry_text(e, &length, &scratch);
      result = TextIsTrue(text, length);
    }
  }
  release(entries_[--sp_]);
  return result;
}

int32_t PexoVM_Stack::pop_index() {
  if (sp_ == 0) return underflow(), 0;
  Entry& e = entries_[sp_ - 1];
  if (e.kind == kString || e.kind == kVariable || e.kind == kBuffer) {
    String scratch;
    int32_t length = 0;
    const char* text = entry_text(e, &length, &scratch);
    if (equals_nocase(text, length, "top", 3)) {
      pop();
      return -1;
    }
    if (equals_nocase(text, length, "bottom", 6)) {
      pop();
      return -2;
    }
  }
  return pop_integer();
}

void PexoVM_Stack::pop_string(PoppedText* out) {
  if (sp_ == 0) {
    underflow();
    return;
  }
  Entry& e = entries_[sp_ - 1];
  switch (e.kind) {
    case kInteger:
    case kDecimal: {
      String scratch;
      int32_t length = 0;
      entry_text(e, &length, &scratch);
      int32_t capacity = 0;
      out->bytes = scratch.release(&out->length, &capacity);
      if (!out->bytes) out->bytes = copy_text("", 0), capacity = 1;
      out->capacity = capacity;
      out->must_free = true;
      break;
    }
    case kString:
      out->bytes = e.value.text ? e.value.text : "";
      out->length = e.size;
      out->capacity = e.capacity;
      out->must_free = e.owned() && e.value.text;
      e.flags &= static_cast<uint8_t>(~kOwned);
      break;
    case kVariable: {
      const String& text = e.value.variable->Value();
      if (e.owned() && e.value.variable->RefCount() < 2) {
        out->bytes = copy_text(text.data(), text.length());
        out->capacity = text.length() + 1;
        out->must_free = true;
      } else {
        out->bytes = text.data();
        out->capacity = text.capacity();
      }
      out->length = text.length();
      break;
    }
    case kBuffer: {
      int32_t size = 0;
      char* joined = e.value.buffer->release(&out->length, &size, 1);
      joined[out->length] = '\0';
      out->bytes = joined;
      out->capacity = size;
      out->must_free = true;
      break;
    }
  }
  release(entries_[--sp_]);
}

char* PexoVM_Stack::pop_name(int32_t* length) {
  PoppedText text;
  pop_string(&text);
  char* name = static_cast<char*>(std::malloc(static_cast<size_t>(text.length) + 1));
  int32_t kept = 0;
  for (int32_t i = 0; i < text.length; ++i)
    if (text.bytes[i] != '\0') name[kept++] = text.bytes[i];
  name[kept] = '\0';
  *length = kept;
  return name;
}

void PexoVM_Stack::pop_decimal(PoppedDecimal* out) {
  if (sp_ == 0) {
    underflow();
    out->value = new_decimal();
    uint32_t status = 0;
    mpd_qset_i32(out->value, 0, DecimalContext(), &status);
    out->must_free = true;
    return;
  }
  Entry& e = entries_[sp_ - 1];
  switch (e.kind) {
    case kInteger:
      out->value = new_decimal();
      IntegerToDecimal(e.value.integer, out->value);
      out->must_free = true;
      break;
    case kDecimal:
      out->value = e.value.decimal;
      out->must_free = e.owned();
      e.flags &= static_cast<uint8_t>(~kOwned);
      break;
    case kVariable:
      // The variable's own decimal stays valid only while the variable lives
      // unchanged, and an owned entry may be the last holder: copy it.
      out->value = copy_decimal(e.value.variable->Value_Decimal());
      out->must_free = true;
      break;
    default: {
      String scratch;
      int32_t length = 0;
      const char* text = entry_text(e, &length, &scratch);
      out->value = new_decimal();
      TextToDecimal(text, length, out->value);
      out->must_free = true;
    }
  }
  release(entries_[--sp_]);
}

bool PexoVM_Stack::pop_into(Variable* target) {
  if (!target) {
    vm_->fatal_error("Invalid variable reference");
    return false;
  }
  if (sp_ == 0) return underflow();
  Entry e = entries_[--sp_];
  switch (e.kind) {
    case kInteger:
      if (!target->FastSetInteger(e.value.integer)) target->SetValue_Integer(e.value.integer);
      break;
    case kDecimal:
      if (e.owned())
        target->SetValue_Decimal_Nocopy(e.value.decimal);
      else
        target->SetValue_Decimal(e.value.decimal);
      break;
    case kString:
      if (e.owned() && e.value.text)
        target->SetValue_Nocopy(e.value.text, e.size, e.capacity);
      else
        target->SetValue(e.value.text ? e.value.text : "", e.size);
      break;
    case kVariable:
      if (!target->FastCopyFrom(e.value.variable)) target->SetValue_Variable(e.value.variable);
      if (e.owned()) e.value.variable->Release();
      break;
    case kBuffer:
      if (e.owned()) {
        int32_t length = 0, size = 0;
        char* joined = e.value.buffer->release(&length, &size, 1);
        joined[length] = '\0';
        target->SetValue_Nocopy(joined, length, size);
        delete e.value.buffer;
      } else {
        int32_t length = 0;
        const char* text = e.value.buffer->data(&length);
        target->SetValue(text, length);
      }
      break;
  }
  return true;
}

bool PexoVM_Stack::pop_variable(Variable** variable, bool* owned) {
  *variable = nullptr;
  *owned = false;
  if (sp_ == 0) return underflow();
  Entry& e = entries_[sp_ - 1];
  if (e.kind != kVariable) {
    release(entries_[--sp_]);
    vm_->fatal_error("Expected variable, found constant");
    return false;
  }
  *variable = e.value.variable;
  *owned = e.owned();
  --sp_;
  return true;
}

int PexoVM_Stack::pop_is_null() {
  if (sp_ == 0) return underflow(), 0;
  Entry& e = entries_[sp_ - 1];
  int result = 0;
  switch (e.kind) {
    case kString: result = e.size == 0; break;
    case kBuffer: result = e.value.buffer->empty(); break;
    case kVariable: result = e.value.variable->IsNULL() != 0; break;
    default: result = 0;
  }
  release(entries_[--sp_]);
  return result;
}

bool PexoVM_Stack::dup() {
  if (sp_ == 0) return underflow();
  if (sp_ == capacity_) return overflow();
  entries_[sp_] = entries_[sp_ - 1];
  entries_[sp_].flags &= static_cast<uint8_t>(~kOwned);
  ++sp_;
  return true;
}

static bool same_value(const PexoVM_Stack::Entry& a, const PexoVM_Stack::Entry& b) {
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case PexoVM_Stack::kInteger: return false;  // integers own nothing
    case PexoVM_Stack::kDecimal: return a.value.decimal == b.value.decimal;
    case PexoVM_Stack::kString: return a.value.text == b.value.text;
    case PexoVM_Stack::kVariable: return a.value.variable == b.value.variable;
    default: return a.value.buffer == b.value.buffer;
  }
}

bool PexoVM_Stack::swap(int32_t a, int32_t b) {
  if (a < 0 || b < 0 || a >= sp_ || b >= sp_) {
    vm_->fatal_error("Invalid stack reference");
    return false;
  }
  if (a == b) return true;
  int32_t ia = sp_ - 1 - a, ib = sp_ - 1 - b;
  Entry t = entries_[ia];
  entries_[ia] = entries_[ib];
  entries_[ib] = t;
  // Restore the sharing rule for the values that moved: the entries holding
  // a value keep as many ownerships as before (two pushes of one variable
  // own a reference each), and the deepest of them are the owners.
  for (int32_t moved : {ia, ib}) {
    const Entry m = entries_[moved];
    if (m.kind == kInteger) continue;
    int32_t owners = 0;
    for (int32_t i = 0; i < sp_; ++i)
      if (same_value(entries_[i], m) && entries_[i].owned()) ++owners;
    for (int32_t i = 0; i < sp_; ++i) {
      Entry& e = entries_[i];
      if (!same_value(e, m)) continue;
      if (owners > 0) {
        e.flags |= kOwned;
        --owners;
      } else {
        e.flags &= static_cast<uint8_t>(~kOwned);
      }
    }
  }
  return true;
}

bool PexoVM_Stack::top_text(String* out) {
  out->clear();
  if (sp_ == 0) return false;
  String scratch;
  int32_t length = 0;
  const char* text = entry_text(entries_[sp_ - 1], &length, &scratch);
  out->assign(text, length);
  return true;
}

void PexoVM_Stack::dump() {
  std::printf("SP = %d, SS = %d\n", sp_, capacity_);
  std::printf("#   Type       D Data                                               Size\n");
  for (int32_t i = 0; i < sp_; ++i) {
    Entry& e = entries_[i];
    char owned = e.owned() ? 'Y' : 'n';
    String scratch;
    int32_t length = 0;
    const char* text = entry_text(e, &length, &scratch);
    int pad = length < 50 ? 50 - length : 0;
    switch (e.kind) {
      case kInteger:
        std::printf("%-3d %-10s %c %-50d %d %d\n", i, "Integer", owned, e.value.integer, e.size,
                    e.capacity);
        break;
      case kDecimal:
      case kString:
      case kBuffer: {
        const char* type = e.kind == kDecimal ? "mpd" : e.kind == kString ? "String" : "LinkBuffer";
        std::printf("%-3d %-10s %c %.*s%*s %d %d\n", i, type, owned, length, text, pad, "", e.size,
                    e.capacity);
        break;
      }
      case kVariable: {
        const String& name = e.value.variable->Name();
        int used = name.length() + 1 + length;
        int vpad = used < 40 ? 40 - used : 0;
        std::printf("%-3d %-10s %c %lx %.*s=%.*s%*s %d %d\n", i, "Variable", owned,
                    static_cast<unsigned long>(reinterpret_cast<uintptr_t>(e.value.variable)),
                    name.length(), name.data(), length, text, vpad, "", e.size, e.capacity);
        break;
      }
    }
  }
  std::printf("\n");
}

}  // namespace pexo
