#include "values/variable.h"

#include <climits>
#include <cstdlib>
#include <new>
#include <utility>

#include "values/aggregate_element.h"
#include "values/aggregate_index.h"
#include "values/aggregate_tree.h"
#include "values/aggregate_walk.h"
#include "values/conversions.h"
#include "values/decimal.h"
#include "values/release_queue.h"

namespace pexo {

// Rebuilding in place needs the new class to fit the storage exactly.
static_assert(sizeof(ReferenceVariable) == sizeof(Variable), "ReferenceVariable must add no fields");
static_assert(sizeof(CallbackVariable) == sizeof(Variable), "CallbackVariable must add no fields");
static_assert(sizeof(CallbackStructVariable) == sizeof(Variable),
              "CallbackStructVariable must add no fields");

namespace {

// Internal valid bit: the decimal is known to be the exact reading of the
// text (so a checked read need not parse again). Never set without both
// kTextValid and kDecimalValid.
constexpr uint32_t kNumericText = 8;
constexpr uint32_t kValueBits = kTextValid | kIntegerValid | kDecimalValid;

mpd_uint_t zero_word[1] = {0};
// The decimal 0 handed out where a variable has no decimal of its own.
const mpd_t kZeroDecimal = {MPD_STATIC | MPD_CONST_DATA, 0, 1, 1, 1, zero_word};

Variable* MakePlainVariable() { return new (std::nothrow) Variable(); }

int32_t KindOf(const AggregateIndex& index) {
  return index.IsNumber() ? kKindArray : kKindStructure;
}

// Helpers over an array's tree: the first element at or above / at or below
// a number.
AggregateElement* AtOrAbove(AggregateElementTree* tree, int32_t number) {
  AggregateIndex key(number);
  AggregateElement* e = tree->Find(key);
  return e ? e : tree->Successor(key);
}

AggregateElement* AtOrBelow(AggregateElementTree* tree, int32_t number) {
  AggregateIndex key(number);
  AggregateElement* e = tree->Find(key);
  return e ? e : tree->Predecessor(key);
}

}  // namespace

// ---------------------------------------------------------------- Variable

Variable::Variable() = default;

Variable::Variable(const char* name, int32_t name_length) : name_(name, name_length) {}

Variable::Variable(Overriding, const char* name, int32_t name_length)
    : name_(name, name_length), ordinary_(false) {}

Variable::~Variable() {
  delete elements_;
  if (decimal_) mpd_del(decimal_);
}

Variable* Variable::Copy() {
  Variable* copy = new (std::nothrow) Variable(name_.data(), name_.length());
  if (copy) copy->SetValue_Variable(this);
  return copy;
}

Variable* Variable::MakeCopyShell() {
  return new (std::nothrow) Variable(name_.data(), name_.length());
}

const String& Variable::Name() { return name_; }
Variable* Variable::NextIdentity() { return this; }
Variable* Variable::RealIdentity() { return this; }

const String& Variable::Value() {
  if (kind_ != kKindScalar) {
    MakeString();
  } else if (!(valid_ & kTextValid)) {
    MakeString();
  }
  return text_;
}

int32_t Variable::Value_Integer() {
  if (valid_ & kIntegerValid) return integer_;
  if (kind_ != kKindScalar) return 0;
  if (valid_ & (kTextValid | kDecimalValid)) {
    MakeInteger();
    return integer_;
  }
  return 0;
}

const mpd_t* Variable::Value_Decimal() {
  if (valid_ & kDecimalValid) return decimal_;
  if (kind_ != kKindScalar || !(valid_ & (kTextValid | kIntegerValid))) return &kZeroDecimal;
  MakeDecimal();
  return decimal_ ? decimal_ : &kZeroDecimal;
}

const mpd_t* Variable::Value_Decimal_Checked(int* error) {
  int dummy = 0;
  if (!error) error = &dummy;
  *error = 0;
  if (kind_ != kKindScalar) {
    *error = 1;
    return &kZeroDecimal;
  }
  if (valid_ & kTextValid) {
    if ((valid_ & (kDecimalValid | kNumericText)) == (kDecimalValid | kNumericText)) return decimal_;
    mpd_t* d = OwnDecimal();
    if (!d) return &kZeroDecimal;
    if (TextToDecimal(text_.data(), text_.length(), d)) {
      valid_ |= kDecimalValid | kNumericText;
    } else {
      *error = 1;
    }
    return d;
  }
  return Value_Decimal();
}

int32_t Variable::ClassCode() { return kClassOrdinary; }
int32_t Variable::Type() { return type_; }
int32_t Variable::PreferredType() { return kPreferText; }

int Variable::IsTrue() {
  if (kind_ != kKindScalar) {
    const String& text = Value();
    return TextIsTrue(text.data(), text.length());
  }
  if (valid_ & kTextValid) return TextIsTrue(text_.data(), text_.length());
  if (valid_ & kDecimalValid) return !mpd_iszero(decimal_);
  if (valid_ & kIntegerValid) return integer_ != 0;
  MakeString();
  return TextIsTrue(text_.data(), text_.length());
}

int Variable::IsNULL() {
  if (kind_ != kKindScalar) return 0;
  if (valid_ & kTextValid) return text_.empty();
  return !(valid_ & (kIntegerValid | kDecimalValid));
}

void Variable::Clear() {
  if (valid_ & kTextValid) text_.clear();
  if (elements_) DropAggregate();
  kind_ = kKindScalar;
  valid_ = 0;
  type_ = kTypeNone;
}

AggregateElementTree* Variable::Aggregate() { return elements_; }
int32_t Variable::AggregateKind() { return kind_; }
int32_t Variable::RefCount() { return refcount_; }

void Variable::SetName(const char* name, int32_t length) { name_.assign(name, length); }

int Variable::SetValue_Variable(Variable* source) {
  if (!source) return 0;
  // Held across the copy: the source may be one of our own elements.
  Variable* from = source->RealIdentity();
  from->Retain();
  CopyValueFrom(from);
  from->Release();
  return 1;
}

void Variable::CopyValueFrom(Variable* source) {
  Variable* from = source->RealIdentity();
  if (from == this) return;
  int32_t kind = from->AggregateKind();
  if (kind != kKindScalar) {
    AggregateElementTree* tree = from->Aggregate();
    AggregateElementTree* copy = tree ? tree->CopyTree() : new (std::nothrow) AggregateElementTree(true);
    if (!copy) return;
    // The source may live inside our own tree: copy first, then drop ours.
    DropAggregate();
    elements_ = copy;
    kind_ = kind;
    valid_ = 0;
    type_ = kTypeNone;
    return;
  }
  switch (from->ClassCode()) {
    case kClassNull:
      text_.clear();
      DropAggregate();
      valid_ = kTextValid;
      type_ = kTypeNone;
      return;
    case kClassComputedInteger:
      StoreInteger(from->Value_Integer());
      return;
    case kClassComputedText: {
      const String& text = from->Value();
      StoreText(text.data(), text.length());
      return;
    }
    case kClassComputedSelf:
      from->CopyRepresentationsTo(this);
      if (type_ == kTypeNone || !(valid_ & kValueBits)) {
        switch (from->PreferredType()) {
          case kPreferInteger:
            StoreInteger(from->Value_Integer());
            break;
          case kPreferDecimal:
            StoreDecimal(from->Value_Decimal());
            break;
          default: {
            const String& text = from->Value();
            StoreText(text.data(), text.length());
          }
        }
      }
      return;
    default:
      from->CopyRepresentationsTo(this);
  }
}

bool Variable::CopyScalarFrom(Variable* source) {
  // What SetValue_Variable comes to for two ordinary variables: the
  // source's representations copied (CopyValueFrom's ordinary case).
  if (!(source->valid_ & kValueBits)) return false;
  if (source->valid_ == kTextValid) {
    // A bare text, the common case, without the general copy; FastCopyFrom
    // saw no elements here.
    text_.assign(source->text_.data(), source->text_.length());
    kind_ = kKindScalar;
    valid_ = kTextValid;
    type_ = source->type_;
    return true;
  }
  source->Variable::CopyRepresentationsTo(this);
  return true;
}

void Variable::CopyRepresentationsTo(Variable* destination) {
  if (destination == this) return;
  if (kind_ != kKindScalar) {
    destination->CopyValueFrom(this);
    return;
  }
  if (!(valid_ & kValueBits)) MakeString();
  uint32_t valid = valid_;
  if (valid & kTextValid) destination->text_.assign(text_.data(), text_.length());
  if (valid & kIntegerValid) destination->integer_ = integer_;
  if (valid & kDecimalValid) {
    mpd_t* d = destination->OwnDecimal();
    uint32_t status = 0;
    if (!d || !mpd_qcopy(d, decimal_, &status)) valid &= ~(kDecimalValid | kNumericText);
  }
  int32_t type = type_;
  destination->DropAggregate();
  destination->valid_ = valid;
  destination->type_ = type;
}

int Variable::SetValue(const char* text, int32_t length) { return StoreText(text, length); }

int Variable::SetValue_Nocopy(char* text, int32_t length, int32_t size) {
  text_.adopt(text, text ? length : 0, size);
  DropAggregate();
  valid_ = kTextValid;
  type_ = kTypeText;
  return 1;
}

int Variable::SetValue_Integer(int32_t value) { return StoreInteger(value); }
int Variable::SetValue_Decimal(const mpd_t* value) { return StoreDecimal(value); }

int Variable::SetValue_Decimal_Nocopy(mpd_t* value) {
  if (!value) return StoreDecimal(&kZeroDecimal);
  if (value != decimal_) {
    if (decimal_) mpd_del(decimal_);
    decimal_ = value;
  }
  DropAggregate();
  valid_ = kDecimalValid;
  type_ = kTypeDecimal;
  return 1;
}

int Variable::StoreText(const char* text, int32_t length) {
  // Copy before dropping the tree: the text may belong to one of our elements.
  text_.assign(text, length);
  DropAggregate();
  valid_ = kTextValid;
  type_ = kTypeText;
  return 1;
}

int Variable::StoreInteger(int32_t value) {
  integer_ = value;
  if (elements_) DropAggregate();
  valid_ = kIntegerValid;
  type_ = kTypeInteger;
  return 1;
}

int Variable::StoreDecimal(const mpd_t* value) {
  mpd_t* d = OwnDecimal();
  uint32_t status = 0;
  if (!d || !value || !mpd_qcopy(d, value, &status)) return StoreText("", 0);
  DropAggregate();
  valid_ = kDecimalValid;
  type_ = kTypeDecimal;
  return 1;
}

mpd_t* Variable::OwnDecimal() {
  if (!decimal_) decimal_ = mpd_qnew();
  return decimal_;
}

void Variable::DropAggregate() {
  if (elements_) {
    AggregateElementTree* tree = elements_;
    elements_ = nullptr;  // unhooked first: releasing elements may reach us
    delete tree;
  }
  kind_ = kKindScalar;
}

void Variable::TakeFields(Variable* from) {
  name_ = std::move(from->name_);
  text_ = std::move(from->text_);
  integer_ = from->integer_;
  decimal_ = from->decimal_;
  valid_ = from->valid_;
  type_ = from->type_;
  kind_ = from->kind_;
  elements_ = from->elements_;
  refcount_ = from->refcount_;
  target_ = from->target_;
  callback_ = from->callback_;
  from->decimal_ = nullptr;
  from->elements_ = nullptr;
  from->kind_ = kKindScalar;
  from->valid_ = 0;
  from->type_ = kTypeNone;
  from->target_ = nullptr;
  from->callback_ = nullptr;
}

// ------------------------------------------------------ elements and arrays

Variable* Variable::ElementWith(const AggregateIndex& given, int create, Variable* (*make)()) {
  int32_t kind = KindOf(given);
  if (elements_ && kind_ == kind) {
    AggregateElement* found = elements_->Find(given);
    if (found) return found->GetVariable();
  }
  if (!create) return nullptr;
  // A borrowed name is copied before a tree of the other kind is dropped:
  // its bytes may belong to one of the elements. Nothing else here can free
  // them (the element copies the name it keeps).
  bool drop = elements_ && kind_ != kind;
  AggregateIndex copy(0);
  if (drop && given.borrowed()) copy = given;
  const AggregateIndex& index = drop && given.borrowed() ? copy : given;
  if (drop) DropAggregate();
  if (!elements_) {
    elements_ = new (std::nothrow) AggregateElementTree(true);
    if (!elements_) return nullptr;
    kind_ = kind;
    valid_ = 0;
    type_ = kTypeNone;
  }
  Variable* made = make();
  if (!made) return nullptr;
  AggregateElement* element = elements_->MakeElement(index, made);
  made->Release();  // the element holds it now
  if (!element) return nullptr;
  if (!elements_->Insert(element)) {
    elements_->DropElement(element);
    return nullptr;
  }
  return made;
}

Variable* Variable::Element(const AggregateIndex& index, int create) {
  return ElementWith(index, create, MakePlainVariable);
}

int Variable::Set_Element(const AggregateIndex& index, Variable* value) {
  if (!value) return 0;
  if (VariableReaches(value, this)) {
    // Storing a variable inside itself, or inside something it holds, would
    // close a cycle that could never be freed or printed: store a copy of
    // its current value instead.
    Variable* copy = value->Copy();
    if (!copy) return 0;
    int done = Set_Element(index, copy);
    copy->Release();
    return done;
  }
  // Held across the call: it may be one of the elements a kind change drops.
  value->Retain();
  int done = StoreElement(index, value);
  value->Release();
  return done;
}

int Variable::StoreElement(const AggregateIndex& index, Variable* value) {
  int32_t kind = KindOf(index);
  if (!elements_ || kind_ != kind) MakeAggregate(kind);
  if (!elements_) return 0;
  AggregateElement* found = elements_->Find(index);
  if (found) {
    found->ReplaceVariable(value);
    return 1;
  }
  AggregateElement* element = elements_->MakeElement(index, value);
  if (!element) return 0;
  if (!elements_->Insert(element)) {
    elements_->DropElement(element);
    return 0;
  }
  return 1;
}

int Variable::Insert_Array_Element(int32_t position, Variable* value) {
  if (!value) return 0;
  value->Retain();  // may be one of our elements
  int done = InsertElement(position, value);
  value->Release();
  return done;
}

int Variable::InsertElement(int32_t position, Variable* value) {
  int32_t at;
  if (kind_ != kKindArray || !elements_) {
    MakeAggregate(kKindArray);
    at = position > 1 ? position : 1;
  } else if (position > 0) {
    if (Array_Max() == INT32_MAX) return 0;  // no room to shift up
    elements_->Renumber(position, 1);
    at = position;
  } else {
    int32_t max = Array_Max();
    if (max == INT32_MAX) return 0;
    at = max + 1;
  }
  return Set_Element(AggregateIndex(at), value);
}

int Variable::Delete_Element(const AggregateIndex& index, int shift) {
  if (!elements_ || kind_ != KindOf(index)) return 1;
  // Closed before the element goes: dropping it may run code that reaches
  // this array.
  AggregateElementTree* tree = elements_;
  tree->DropElement(shift && kind_ == kKindArray ? tree->RemoveClosing(index.Number())
                                                 : tree->Remove(index));
  return 1;
}

int Variable::Delete_Array_Elements(int32_t first, int32_t count, int shift) {
  if (first < 1) return 1;
  MakeAggregate(kKindArray);
  if (!elements_) return 0;
  if (count == -1) {
    for (;;) {
      AggregateElement* top = elements_->Maximum();
      if (!top || top->Index().Number() < first) break;
      elements_->DropElement(elements_->Remove(top->Index()));
      if (!elements_) return 1;
    }
    return 1;
  }
  if (count <= 0) return 1;
  int64_t end = static_cast<int64_t>(first) + count;  // one past the range
  if (shift && elements_->DeleteClosing(first, end)) return 1;
  for (;;) {
    AggregateElement* e = AtOrAbove(elements_, first);
    if (!e || e->Index().Number() >= end) break;
    elements_->DropElement(elements_->Remove(e->Index()));
    if (!elements_) return 1;
  }
  if (shift && end <= INT32_MAX) elements_->Renumber(static_cast<int32_t>(end), -count);
  return 1;
}

namespace {

// Stores the source element's variable (or a deep copy) at `at` of `into`.
bool StoreAt(Variable* into, int64_t at, Variable* value, int copy) {
  if (at < 0 || at > INT32_MAX) return false;
  if (!copy) return into->Set_Element(AggregateIndex(static_cast<int32_t>(at)), value) != 0;
  Variable* duplicate = value->Copy();
  if (!duplicate) return false;
  into->Set_Element(AggregateIndex(static_cast<int32_t>(at)), duplicate);
  duplicate->Release();
  return true;
}

// Copies source elements first..last (ascending) to destination + (i - base).
void CopyUp(Variable* into, AggregateElementTree* from, int64_t first, int64_t last,
            int64_t destination, int64_t base, int copy) {
  if (first > last || first > INT32_MAX) return;
  AggregateElement* e = AtOrAbove(from, static_cast<int32_t>(first < 0 ? 0 : first));
  while (e && e->Index().Number() <= last) {
    int32_t number = e->Index().Number();
    StoreAt(into, destination + (number - base), e->GetVariable(), copy);
    if (number == INT32_MAX) break;
    e = from->Successor(AggregateIndex(number));
  }
}

void CopyDown(Variable* into, AggregateElementTree* from, int64_t first, int64_t last,
              int64_t destination, int64_t base, int copy) {
  if (first > last) return;
  AggregateElement* e = AtOrBelow(from, static_cast<int32_t>(last > INT32_MAX ? INT32_MAX : last));
  while (e && e->Index().Number() >= first) {
    int32_t number = e->Index().Number();
    StoreAt(into, destination + (number - base), e->GetVariable(), copy);
    e = from->Predecessor(AggregateIndex(number));
  }
}

}  // namespace

int Variable::Array_Copy(Variable* source, int32_t first, int32_t count, int32_t destination,
                         int copy) {
  if (!source) {
    MakeAggregate(kKindArray);
    return 0;
  }
  // The source may be one of our elements, dropped when we become an array.
  Variable* from = source->RealIdentity();
  from->Retain();
  int done = CopyRange(from, first, count, destination, copy);
  from->Release();
  return done;
}

int Variable::CopyRange(Variable* from, int32_t first, int32_t count, int32_t destination,
                        int copy) {
  MakeAggregate(kKindArray);
  if (from->AggregateKind() != kKindArray || !from->Aggregate()) return 1;
  AggregateElementTree* tree = from->Aggregate();
  if (first < 1) {
    first = from->Array_Min();
    if (first < 1) return 1;
  }
  int64_t n = count;
  if (count < 0) {
    if (tree->Count() == 0) return 1;
    n = static_cast<int64_t>(from->Array_Max()) - first + 1;
  }
  if (n <= 0) return 1;
  int64_t at = destination;
  if (destination < 1) at = static_cast<int64_t>(Array_Max()) + 1;
  if (from == this && at == first && !copy) return 1;
  int64_t last = first + n - 1;
  // Walk away from the destination so an overlapping copy within one array
  // never reads an element it has already overwritten.
  if (at < first)
    CopyUp(this, tree, first, last, at, first, copy);
  else
    CopyDown(this, tree, first, last, at, first, copy);
  return 1;
}

int Variable::Array_Merge(Variable* source, int32_t first, int32_t count, int32_t destination,
                          int copy) {
  if (!source) {
    MakeAggregate(kKindArray);
    return 0;
  }
  Variable* from = source->RealIdentity();
  from->Retain();
  int done = MergeRange(from, first, count, destination, copy);
  from->Release();
  return done;
}

int Variable::MergeRange(Variable* from, int32_t first, int32_t count, int32_t destination,
                         int copy) {
  MakeAggregate(kKindArray);
  if (!elements_) return 0;
  bool is_array = from->AggregateKind() == kKindArray && from->Aggregate();
  if (first < 1) {
    first = is_array ? from->Array_Min() : 0;
    if (first < 1) first = 1;
  }
  int64_t n = count;
  if (count < 0) n = is_array && from->ElementsUsed() > 0 ? static_cast<int64_t>(from->Array_Max()) - first + 1 : 0;
  if (n < 0) n = 0;
  int64_t at = destination;
  if (destination < 1) at = static_cast<int64_t>(Array_Max()) + 1;
  if (at > INT32_MAX) return 0;
  if (n > 0) {
    if (static_cast<int64_t>(Array_Max()) + n > INT32_MAX) return 0;  // shift would overflow
    elements_->Renumber(static_cast<int32_t>(at), static_cast<int32_t>(n));
  }
  if (!is_array || n == 0) return 1;
  AggregateElementTree* tree = from->Aggregate();
  int64_t last = first + n - 1;
  if (from != this) {
    CopyUp(this, tree, first, last, at, first, copy);
    return 1;
  }
  // Same array: the part of the range below the room is still in place; the
  // rest was moved up by n. The room [at, at+n) lies between both, so the
  // reads never see a written element.
  int64_t below_end = last < at - 1 ? last : at - 1;
  CopyUp(this, tree, first, below_end, at, first, copy);
  int64_t moved_first = (first > at ? first : at);
  CopyUp(this, tree, moved_first + n, last + n, at, first + n, copy);
  return 1;
}

int32_t Variable::Array_Collapse() {
  if (kind_ != kKindArray || !elements_) return 0;
  elements_->Collapse();
  return elements_->Count();
}

int32_t Variable::Array_Max() {
  if (kind_ != kKindArray || !elements_) return 0;
  AggregateElement* e = elements_->Maximum();
  return e ? e->Index().Number() : 0;
}

int32_t Variable::Array_Min() {
  if (kind_ != kKindArray || !elements_) return 0;
  AggregateElement* e = elements_->Minimum();
  return e ? e->Index().Number() : 0;
}

int32_t Variable::Array_Next(int32_t index) {
  if (kind_ == kKindStructure) return -1;
  if (!elements_ || elements_->Count() == 0) return 0;
  AggregateElement* e = elements_->Successor(AggregateIndex(index));
  return e ? e->Index().Number() : 0;
}

int32_t Variable::Array_Previous(int32_t index) {
  if (kind_ == kKindStructure) return -1;
  if (!elements_ || elements_->Count() == 0) return 0;
  AggregateElement* e = elements_->Predecessor(AggregateIndex(index));
  return e ? e->Index().Number() : 0;
}

int32_t Variable::ElementsUsed() { return elements_ ? elements_->Count() : 0; }

void Variable::Retain() { ++refcount_; }

void Variable::Release() {
  if (--refcount_ <= 0) DestroyVariable(this);
}

void Variable::MakeString() {
  if (kind_ != kKindScalar) {
    // Rebuilt on every call: element changes do not reach the parent.
    text_.clear();
    AppendText(&text_);
    return;
  }
  if (valid_ & kDecimalValid) {
    DecimalToString(decimal_, &text_);
    valid_ |= kTextValid | kNumericText;
    return;
  }
  if (valid_ & kIntegerValid) {
    char buffer[kIntegerTextSize];
    int32_t n = FormatInteger(integer_, buffer);
    text_.assign(buffer, n);
  } else {
    text_.clear();
  }
  valid_ |= kTextValid;
}

void Variable::MakeInteger() {
  if (kind_ != kKindScalar) {
    integer_ = 0;
    return;
  }
  if (valid_ & kDecimalValid) {
    integer_ = DecimalToInteger(decimal_);
  } else if (valid_ & kTextValid) {
    int error = 0;
    integer_ = TextToInteger(text_.data(), text_.length(), &error);
    if (error) {
      MakeDecimal();
      integer_ = decimal_ ? DecimalToInteger(decimal_) : 0;
    }
  } else {
    integer_ = 0;
  }
  valid_ |= kIntegerValid;
}

void Variable::MakeDecimal() {
  if (kind_ != kKindScalar) return;
  mpd_t* d = OwnDecimal();
  if (!d) return;
  uint32_t flags = kDecimalValid;
  if (valid_ & kTextValid) {
    if (TextToDecimal(text_.data(), text_.length(), d)) flags |= kNumericText;
  } else if (valid_ & kIntegerValid) {
    IntegerToDecimal(integer_, d);
  } else {
    IntegerToDecimal(0, d);
  }
  valid_ |= flags;
}

void Variable::MakeAggregate(int32_t kind) {
  if (kind == kKindScalar) {
    DropAggregate();
    return;
  }
  if (kind != kKindArray && kind != kKindStructure) return;
  if (kind_ == kind && elements_) return;
  DropAggregate();
  elements_ = new (std::nothrow) AggregateElementTree(true);
  if (!elements_) return;
  kind_ = kind;
  valid_ = 0;
  type_ = kTypeNone;
}

void Variable::AppendText(String* out) {
  if (kind_ == kKindScalar) {
    const String& text = Value();
    if (!out->empty()) out->append(',');
    out->append(text.data(), text.length());
    return;
  }
  // `out` may be our own text (Value of an aggregate); elements never are,
  // and a repeated aggregate (a cycle) is not entered, so it adds nothing.
  AggregateWalk walk(elements_);
  while (walk.Next()) {
    if (!walk.aggregate()) walk.real()->AppendText(out);
  }
}

int Variable::Make_Reference(Variable* target) {
  if (!target) return 0;
  if (target == this || target == RealIdentity()) return 1;
  // Refused when this variable is reachable from the target (held inside
  // it, directly or through references): the alias would contain itself.
  if (VariableReaches(target, this)) return 0;
  target = AliasTarget(target);
  int32_t count = refcount_;
  // Take the target's counts first: it may be one of our own elements.
  for (int32_t i = 0; i < count; ++i) target->Retain();
  String name = std::move(name_);
  this->~Variable();
  ReferenceVariable* alias = new (this) ReferenceVariable();
  alias->name_ = std::move(name);
  alias->refcount_ = count;
  alias->target_ = target;
  return 1;
}

int Variable::Make_CallbackStruct(CallbackVariableCallback* callback, void* creator_data) {
  if (!callback) return 0;
  if (callback_ && callback_ != callback) callback_->Detached(this);
  callback_ = nullptr;
  Variable saved;
  saved.TakeFields(this);
  this->~Variable();
  CallbackStructVariable* rebuilt = new (this) CallbackStructVariable();
  rebuilt->TakeFields(&saved);
  rebuilt->Bind(callback, creator_data);
  return 1;
}

}  // namespace pexo
