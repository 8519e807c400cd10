// PexoVM_Stack: the operand stack of the machine. It stores entries and
// converts them on the way out; the operators that combine entries are in
// vm/value_ops.h.
//
// An entry holds a bare integer, a bare decimal, a bare text, a variable or a
// LinkBuffer, and an owned bit: an owned entry releases its value when popped.
// When several entries share one value (after dup) exactly one of them owns
// it, the deepest; swap moves ownership so that this still holds. The
// capacity is fixed at creation. Every failure is a fatal error of the
// machine; a failed push pushes nothing and a pop on an empty stack changes
// nothing.
#ifndef PEXO_VM_VM_STACK_H_
#define PEXO_VM_VM_STACK_H_

#include <mpdecimal.h>

#include <cstdint>
#include <memory>

#include "values/link_buffer.h"
#include "values/string.h"

namespace pexo {

class PexoVM;
class Variable;

constexpr int32_t kStackCapacity = 512;
// Chunk sizes of the LinkBuffers the stack and the operators make.
constexpr int32_t kStackBufferFirst = 512;
constexpr int32_t kStackBufferGrowth = 4096;

// A popped text: borrowed, or owned (freed on destruction) when must_free.
struct PoppedText {
  const char* bytes = "";
  int32_t length = 0;
  int32_t capacity = 0;
  bool must_free = false;

  PoppedText() = default;
  PoppedText(const PoppedText&) = delete;
  PoppedText& operator=(const PoppedText&) = delete;
  ~PoppedText();
  // Hands an owned copy of the bytes (zero-terminated) to the caller.
  char* take(int32_t* length_out, int32_t* capacity_out);
};

// A popped decimal: borrowed, or owned (freed on destruction) when must_free.
struct PoppedDecimal {
  mpd_t* value = nullptr;
  bool must_free = false;

  PoppedDecimal() = default;
  PoppedDecimal(const PoppedDecimal&) = delete;
  PoppedDecimal& operator=(const PoppedDecimal&) = delete;
  ~PoppedDecimal();
  // Hands the decimal over (copying a borrowed one).
  mpd_t* take();
};

// A decimal on the C++ stack with room for any decimal64 value; libmpdec
// moves it to the heap only if it must grow, and the destructor frees that.
class ScratchDecimal {
 public:
  ScratchDecimal() : value_{MPD_STATIC | MPD_STATIC_DATA, 0, 0, 0, MPD_MINALLOC_MAX, data_} {}
  ScratchDecimal(const ScratchDecimal&) = delete;
  ScratchDecimal& operator=(const ScratchDecimal&) = delete;
  ~ScratchDecimal() { mpd_del(&value_); }
  mpd_t* get() { return &value_; }

 private:
  mpd_uint_t data_[MPD_MINALLOC_MAX];
  mpd_t value_;
};

class PexoVM_Stack {
 public:
  enum Kind : int32_t { kInteger = 0, kDecimal = 1, kString = 2, kVariable = 3, kBuffer = 4 };
  struct Entry {
    static constexpr uint8_t kOwned = 1;  // bit of `flags`

    int32_t kind;
    uint8_t flags;  // kOwned or 0
    union {
      int32_t integer;
      mpd_t* decimal;
      char* text;
      Variable* variable;
      LinkBuffer* buffer;
    } value;
    int32_t size;
    int32_t capacity;

    bool owned() const { return flags & kOwned; }
    void disown() { flags &= static_cast<uint8_t>(~kOwned); }
  };

  PexoVM_Stack(PexoVM* vm, int32_t capacity = kStackCapacity);
  PexoVM_Stack(const PexoVM_Stack&) = delete;
  PexoVM_Stack& operator=(const PexoVM_Stack&) = delete;
  ~PexoVM_Stack();

  int32_t depth() const { return sp_; }
  PexoVM* machine() const { return vm_; }
  int32_t capacity() const { return capacity_; }
  // Entry at `depth` counted from the top (0 is the top); null outside.
  const Entry* peek(int32_t depth = 0) const;
  // Releases every entry (a recycled stack starts empty).
  void clear();

  bool push(int32_t value) {
    if (sp_ == capacity_) return overflow();
    Entry& e = entries_[sp_++];
    e.kind = kInteger;
    e.flags = 0;
    e.value.integer = value;
    e.size = e.capacity = 4;
    return true;
  }
  bool push_decimal(mpd_t* value, bool adopt);
  bool push_string(const char* bytes, int32_t length, int32_t capacity, bool owned);
  // An owned copy of the bytes.
  bool push_copy(const char* bytes, int32_t length);
  bool push_buffer(LinkBuffer* buffer, bool owned);
  bool push_variable(Variable* variable, bool add_reference, bool owned);
  bool push_from(PexoVM_Stack* other, int32_t count);

  void pop();
  int32_t pop_integer() {
    // A bare integer owns nothing: the common case needs no release.
    if (sp_ > 0 && entries_[sp_ - 1].kind == kInteger) return entries_[--sp_].value.integer;
    return pop_integer_general();
  }
  int pop_truth();
  int32_t pop_index();
  void pop_string(PoppedText* text);
  // A fresh copy of the text with every zero byte removed; caller frees.
  char* pop_name(int32_t* length);
  void pop_decimal(PoppedDecimal* decimal);
  bool pop_into(Variable* variable);
  bool pop_variable(Variable** variable, bool* owned);
  int pop_is_null();

  bool dup();
  bool swap(int32_t a, int32_t b);

  // For the operators, which work on their operands in place. has() reports
  // the underflow when fewer than `count` entries are on the stack; the
  // others assume the entries are there.
  bool has(int32_t count) { return sp_ >= count || underflow(); }
  Entry& operand(int32_t depth) { return entries_[sp_ - 1 - depth]; }
  // Releases the top `count` entries; an owned decimal among them may be
  // kept for TakeDecimal.
  void drop(int32_t count) {
    while (count-- > 0) discard(entries_[--sp_]);
  }
  // Releases the entry below the top; the top takes its place.
  void nip();

  // Releases an owned entry's value.
  static void release(Entry& entry);
  // An empty buffer for a new owned entry: the one a finished entry gave
  // back when there is one, so text building in a loop does not allocate.
  LinkBuffer* TakeBuffer();
  // Takes back an owned buffer whose entry is gone.
  void RecycleBuffer(LinkBuffer* buffer);
  // A decimal for a new owned entry (its value unset): one a dropped entry
  // left behind when there is one, so an operator's result in a loop does
  // not allocate. Null when memory runs out.
  mpd_t* TakeDecimal() {
    mpd_t* spare = spare_decimal_;
    if (!spare) return mpd_qnew();
    spare_decimal_ = nullptr;
    return spare;
  }
  // The text of an entry without popping it; `scratch` holds conversions.
  static const char* entry_text(Entry& entry, int32_t* length, String* scratch);

  // Moves the top entry (with its ownership) to another stack.
  bool move_top_to(PexoVM_Stack* other);

  // The text of the top entry, without popping it (for trace events).
  bool top_text(String* out);

  void dump();

 private:
  int32_t pop_integer_general();
  void discard(Entry& entry) {
    if (entry.kind == kDecimal && entry.owned() && !spare_decimal_) {
      spare_decimal_ = entry.value.decimal;
      return;
    }
    release(entry);
  }
  bool overflow();
  bool underflow();

  PexoVM* vm_;
  Entry* entries_;
  int32_t sp_ = 0;
  int32_t capacity_;
  std::unique_ptr<LinkBuffer> spare_buffer_;
  mpd_t* spare_decimal_ = nullptr;
};

}  // namespace pexo

#endif  // PEXO_VM_VM_STACK_H_
