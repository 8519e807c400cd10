// Variable: every script value. A named, reference-counted holder of one
// scalar value cached in up to three representations at once (text, 32-bit
// integer, decimal), or of an aggregate (array or structure) of further
// variables kept in an AggregateElementTree.
//
// Invariants:
//  - kind is kKindScalar exactly when elements_ is null;
//  - the valid flags that are set all describe the same value; every
//    assignment keeps only the bit of the representation it stores;
//  - the decimal object, once allocated, is kept and overwritten;
//  - a new variable has no valid flag, type kTypeNone, kind kKindScalar and
//    reference count 1. The last Release destroys it.
//
// Subclasses are rebuilt in place (Make_Reference, Make_CallbackStruct) so
// holders keep their pointers; therefore ReferenceVariable and
// CallbackStructVariable add no fields and every variable is allocated with
// plain new and freed through Release.
// Assignments return 1; nothing here fails on value grounds.
#ifndef PEXO_VALUES_VARIABLE_H_
#define PEXO_VALUES_VARIABLE_H_

#include <mpdecimal.h>

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <typeinfo>

#include "values/memory_account.h"
#include "values/string.h"

namespace pexo {

class AggregateIndex;
class AggregateElementTree;
class CallbackVariableCallback;
class NULLVariable;

// Valid-flag bits.
enum : uint32_t { kTextValid = 1, kIntegerValid = 2, kDecimalValid = 4 };
// Type: the representation assigned last.
enum : int32_t { kTypeNone = 0, kTypeText = 1, kTypeInteger = 2, kTypeDecimal = 3 };
// Kind.
enum : int32_t { kKindStructure = 0, kKindArray = 1, kKindScalar = 2 };
// Class codes, consulted when a value is copied.
enum : int32_t {
  kClassOrdinary = 0,
  kClassReference = 1,
  kClassNull = 2,
  kClassComputedInteger = 3,  // copy takes Value_Integer
  kClassComputedText = 4,     // copy takes Value
  kClassComputedSelf = 5,     // source fills the copy (CopyRepresentationsTo)
};
// Longest chain of aliases kept: an alias of a longer chain refers to the
// chain's end instead, so forwarding and counting stay cheap.
constexpr int32_t kMaxAliasChain = 256;
// PreferredType results.
enum : int32_t { kPreferText = 1, kPreferInteger = 2, kPreferDecimal = 3 };

// Heap variables are counted in the running request's memory account.
class Variable : public CountedObject {
 public:
  Variable();
  explicit Variable(const char* name, int32_t name_length = -1);
  Variable(const Variable&) = delete;
  Variable& operator=(const Variable&) = delete;
  // Frees the element tree, the decimal, the text and the name. Prefer Release.
  virtual ~Variable();

  // New variable (count 1) with the same name and a deep copy of the value.
  virtual Variable* Copy();
  // A new empty variable of the class a Copy of this one would have, with
  // the same name (count 1), or null when out of memory.
  virtual Variable* MakeCopyShell();
  virtual const String& Name();
  virtual Variable* NextIdentity();
  virtual Variable* RealIdentity();
  // The text (made if needed); an aggregate yields its element texts joined.
  virtual const String& Value();
  virtual int32_t Value_Integer();
  // The decimal (owned by the variable, valid until the next change).
  virtual const mpd_t* Value_Decimal();
  // As Value_Decimal, but a text that is not a number, or an aggregate, sets
  // *error to 1 (else 0) and yields 0.
  virtual const mpd_t* Value_Decimal_Checked(int* error);
  virtual int32_t ClassCode();
  virtual int32_t Type();
  virtual int32_t PreferredType();
  virtual int IsTrue();
  virtual int IsNULL();
  virtual void Clear();
  virtual AggregateElementTree* Aggregate();
  virtual int32_t AggregateKind();
  virtual int32_t RefCount();
  virtual void SetName(const char* name, int32_t length = -1);
  virtual int SetValue_Variable(Variable* source);
  virtual int SetValue(const char* text, int32_t length = -1);
  // Takes a malloc'd text of `length` bytes in an allocation of `size`.
  virtual int SetValue_Nocopy(char* text, int32_t length, int32_t size);
  virtual int SetValue_Integer(int32_t value);
  virtual int SetValue_Decimal(const mpd_t* value);
  // Takes ownership of a decimal made with mpd_qnew (the old one is freed).
  virtual int SetValue_Decimal_Nocopy(mpd_t* value);

  // Element and array operations (see aggregate_tree.h for the key order).
  // Element: borrowed result (count not raised) or null.
  virtual Variable* Element(const AggregateIndex& index, int create);
  // Stores `value` (retained) under the index.
  virtual int Set_Element(const AggregateIndex& index, Variable* value);
  virtual int Insert_Array_Element(int32_t position, Variable* value);
  virtual int Delete_Element(const AggregateIndex& index, int shift);
  virtual int Delete_Array_Elements(int32_t first, int32_t count, int shift);
  virtual int Array_Merge(Variable* source, int32_t first, int32_t count,
                          int32_t destination, int copy);
  virtual int Array_Copy(Variable* source, int32_t first, int32_t count,
                         int32_t destination, int copy);
  virtual int32_t Array_Collapse();
  virtual int32_t Array_Max();
  virtual int32_t Array_Min();
  virtual int32_t Array_Next(int32_t index);
  virtual int32_t Array_Previous(int32_t index);
  virtual int32_t ElementsUsed();

  virtual void Retain();
  virtual void Release();
  virtual void MakeString();
  virtual void MakeInteger();
  virtual void MakeDecimal();
  virtual void MakeAggregate(int32_t kind);
  // Appends the value's text to `out`: a scalar puts a "," first when `out`
  // is not empty; an aggregate appends its elements in key order.
  virtual void AppendText(String* out);
  // Turns this variable, in place, into an alias of `target`. 1 when done.
  virtual int Make_Reference(Variable* target);
  // Turns this variable, in place, into a CallbackStructVariable bound to
  // `callback` (not owned), which is handed `creator_data`. 1 when done.
  virtual int Make_CallbackStruct(CallbackVariableCallback* callback, void* creator_data);

  // Copy hook of SetValue_Variable: writes this variable's representations
  // into `destination` (the class-code 5 protocol; plain variables copy their
  // valid representations, making the text first when none is valid).
  virtual void CopyRepresentationsTo(Variable* destination);

  // Extends a scalar's text in place: the value becomes its text followed by
  // `text` (type text, only the text valid), exactly as assigning the joined
  // text would leave it, but without copying what is already there. Callers
  // use it only on plain mutable variables. 0 when the text could not grow
  // (the variable keeps its old text).
  int AppendValue(const char* text, int32_t length);

  // Shortcuts for hot loops. They act only on an ordinary variable (not a
  // subclass, whose reads and assignments may be overridden) and give the
  // same result as Type()/Value_Integer() and SetValue_Integer(); otherwise
  // they return false and touch nothing, and the caller takes the general
  // path.
  bool FastInteger(int32_t* value) const {
    if (type_ != kTypeInteger || !(valid_ & kIntegerValid) || !IsOrdinary()) return false;
    *value = integer_;
    return true;
  }
  bool FastSetInteger(int32_t value) {
    if (elements_ || !IsOrdinary()) return false;
    integer_ = value;
    valid_ = kIntegerValid;
    type_ = kTypeInteger;
    return true;
  }
  bool IsOrdinary() const {
    assert(ordinary_ == (typeid(*this) == typeid(Variable)));
    return ordinary_;
  }
  // Empties an ordinary variable that nobody else holds, leaving it as good
  // as a new one (Clear without the virtual calls); false, with nothing
  // done, for any other variable.
  bool ClearIfSoleOrdinary() {
    if (refcount_ != 1 || !IsOrdinary()) return false;
    if (valid_ & kTextValid) text_.clear();
    if (elements_) DropAggregate();
    kind_ = kKindScalar;
    valid_ = 0;
    type_ = kTypeNone;
    return true;
  }
  // SetValue_Variable without the virtual path, for an ordinary variable
  // without elements copying an ordinary scalar that holds a value: false
  // (nothing done) in every other case.
  bool FastCopyFrom(Variable* source) {
    if (source == this || elements_ || source->kind_ != kKindScalar || !IsOrdinary() ||
        !source->IsOrdinary())
      return false;
    if (source->valid_ != kIntegerValid) return CopyScalarFrom(source);
    integer_ = source->integer_;
    kind_ = kKindScalar;
    valid_ = kIntegerValid;
    type_ = source->type_;
    return true;
  }

  // Cheap reads of the raw state (no conversion, no forwarding).
  uint32_t valid_flags() const { return valid_; }
  CallbackVariableCallback* callback() const { return callback_; }

 protected:
  // Every subclass constructs through these: it may override reads and
  // assignments, so the shortcuts above must leave it to the virtual path.
  enum Overriding { kOverriding };
  explicit Variable(Overriding) : ordinary_(false) {}
  Variable(Overriding, const char* name, int32_t name_length);

  // Moves every field of `from` into this variable, leaving `from` empty.
  void TakeFields(Variable* from);
  // The variable an alias of `target` should point at: `target` itself, or
  // its real identity when its chain is already kMaxAliasChain links long.
  static Variable* AliasTarget(Variable* target);
  // Allocates the decimal on first use.
  mpd_t* OwnDecimal();
  // Drops the element tree (elements released) and makes the kind scalar.
  void DropAggregate();
  // The element lookup with the class's own way of making new members.
  Variable* ElementWith(const AggregateIndex& index, int create, Variable* (*make)());
  // Assignment bodies, shared with subclasses that filter assignments.
  int StoreText(const char* text, int32_t length);
  int StoreInteger(int32_t value);
  int StoreDecimal(const mpd_t* value);
  void CopyValueFrom(Variable* source);
  // FastCopyFrom past its checks, for a source that is not a bare integer.
  bool CopyScalarFrom(Variable* source);
  // Bodies of the element operations, run while the caller holds the
  // argument variables.
  int StoreElement(const AggregateIndex& index, Variable* value);
  int InsertElement(int32_t position, Variable* value);
  int CopyRange(Variable* from, int32_t first, int32_t count, int32_t destination, int copy);
  int MergeRange(Variable* from, int32_t first, int32_t count, int32_t destination, int copy);

  String name_;
  String text_;
  int32_t integer_ = 0;
  bool ordinary_ = true;  // the dynamic type is Variable itself
  mpd_t* decimal_ = nullptr;
  uint32_t valid_ = 0;
  int32_t type_ = kTypeNone;
  int32_t kind_ = kKindScalar;
  AggregateElementTree* elements_ = nullptr;
  int32_t refcount_ = 1;
  Variable* target_ = nullptr;
  CallbackVariableCallback* callback_ = nullptr;

  friend class ReferenceVariable;
  friend class CallbackVariableCallback;
};

// A variable whose assignments can be switched off. While immutable every
// assignment is ignored and reports success (nocopy arguments are freed), and
// a missing member looked up with create yields the owned null variable.
class ImmutableVariable : public Variable {
 public:
  ImmutableVariable();
  explicit ImmutableVariable(const char* name, int32_t name_length = -1);
  ~ImmutableVariable() override;

  Variable* Copy() override;
  void Clear() override;
  int SetValue_Variable(Variable* source) override;
  int SetValue(const char* text, int32_t length = -1) override;
  int SetValue_Nocopy(char* text, int32_t length, int32_t size) override;
  int SetValue_Integer(int32_t value) override;
  int SetValue_Decimal(const mpd_t* value) override;
  int SetValue_Decimal_Nocopy(mpd_t* value) override;
  Variable* Element(const AggregateIndex& index, int create) override;
  int Set_Element(const AggregateIndex& index, Variable* value) override;
  int Insert_Array_Element(int32_t position, Variable* value) override;
  int Delete_Element(const AggregateIndex& index, int shift) override;
  int Delete_Array_Elements(int32_t first, int32_t count, int shift) override;
  int Array_Merge(Variable* source, int32_t first, int32_t count, int32_t destination,
                  int copy) override;
  int Array_Copy(Variable* source, int32_t first, int32_t count, int32_t destination,
                 int copy) override;
  int32_t Array_Collapse() override;
  void MakeAggregate(int32_t kind) override;
  int Make_Reference(Variable* target) override;
  int Make_CallbackStruct(CallbackVariableCallback* callback, void* creator_data) override;

  // Set or clear the flag on this variable and every ImmutableVariable
  // element below it.
  virtual void MakeImmutable();
  virtual void MakeMutable();
  // Whether the cached value is still right (always, for a stored value).
  virtual int IsCurrent();
  // Recomputes the value (nothing, for a stored value).
  virtual void Refresh();

  bool immutable() const { return immutable_ != 0; }
  Variable* MakeCopyShell() override;
  // The owned null variable (made on first use).
  NULLVariable* Null();

 protected:
  void SetImmutableTree(bool flag);

  unsigned char immutable_ = 0;
  NULLVariable* null_ = nullptr;
};

// A value computed on demand: every read first asks IsCurrent and calls
// Refresh when the cached value is stale. Refresh stores through the
// Store* helpers, which bypass the immutable flag.
class DynamicImmutableVariable : public ImmutableVariable {
 public:
  DynamicImmutableVariable();
  explicit DynamicImmutableVariable(const char* name, int32_t name_length = -1);

  const String& Value() override;
  int32_t Value_Integer() override;
  const mpd_t* Value_Decimal() override;
  const mpd_t* Value_Decimal_Checked(int* error) override;
  int32_t Type() override;
  int IsTrue() override;
  int IsNULL() override;
  Variable* Element(const AggregateIndex& index, int create) override;
  AggregateElementTree* Aggregate() override;
  int32_t AggregateKind() override;
  void AppendText(String* out) override;
  void CopyRepresentationsTo(Variable* destination) override;

 protected:
  void Update() {
    if (!IsCurrent()) Refresh();
  }
};

// The null value: empty text, integer 0, decimal 0, false and null; every
// element of null is null itself. Always immutable.
class NULLVariable : public ImmutableVariable {
 public:
  NULLVariable();
  explicit NULLVariable(const char* name, int32_t name_length = -1);

  const String& Value() override;
  int32_t Value_Integer() override;
  const mpd_t* Value_Decimal() override;
  const mpd_t* Value_Decimal_Checked(int* error) override;
  int32_t ClassCode() override;
  int32_t Type() override;
  int IsTrue() override;
  int IsNULL() override;
  Variable* Element(const AggregateIndex& index, int create) override;
  int32_t Array_Collapse() override;
  void AppendText(String* out) override;
  void MakeMutable() override;
};

// An alias: own name, reference count and identity; everything else goes to
// the target. Each unit of the alias's count is also a unit on the target.
class ReferenceVariable : public Variable {
 public:
  // Retains the target once (a null target becomes a null variable).
  ReferenceVariable(Variable* target, const char* name, int32_t name_length = -1);
  ~ReferenceVariable() override;

  Variable* NextIdentity() override;
  Variable* RealIdentity() override;
  const String& Value() override;
  int32_t Value_Integer() override;
  const mpd_t* Value_Decimal() override;
  const mpd_t* Value_Decimal_Checked(int* error) override;
  int32_t ClassCode() override;
  int32_t Type() override;
  int32_t PreferredType() override;
  int IsTrue() override;
  int IsNULL() override;
  void Clear() override;
  AggregateElementTree* Aggregate() override;
  int32_t AggregateKind() override;
  int SetValue_Variable(Variable* source) override;
  int SetValue(const char* text, int32_t length = -1) override;
  int SetValue_Nocopy(char* text, int32_t length, int32_t size) override;
  int SetValue_Integer(int32_t value) override;
  int SetValue_Decimal(const mpd_t* value) override;
  int SetValue_Decimal_Nocopy(mpd_t* value) override;
  Variable* Element(const AggregateIndex& index, int create) override;
  int Set_Element(const AggregateIndex& index, Variable* value) override;
  int Insert_Array_Element(int32_t position, Variable* value) override;
  int Delete_Element(const AggregateIndex& index, int shift) override;
  int Delete_Array_Elements(int32_t first, int32_t count, int shift) override;
  int Array_Merge(Variable* source, int32_t first, int32_t count, int32_t destination,
                  int copy) override;
  int Array_Copy(Variable* source, int32_t first, int32_t count, int32_t destination,
                 int copy) override;
  int32_t Array_Collapse() override;
  int32_t Array_Max() override;
  int32_t Array_Min() override;
  int32_t Array_Next(int32_t index) override;
  int32_t Array_Previous(int32_t index) override;
  int32_t ElementsUsed() override;
  void Retain() override;
  void Release() override;
  void MakeString() override;
  void MakeInteger() override;
  void MakeDecimal() override;
  void MakeAggregate(int32_t kind) override;
  void AppendText(String* out) override;
  int Make_Reference(Variable* target) override;
  int Make_CallbackStruct(CallbackVariableCallback* callback, void* creator_data) override;
  void CopyRepresentationsTo(Variable* destination) override;

 private:
  friend class Variable;
  ReferenceVariable() : Variable(kOverriding) {}
};

// The object behind callback variables: told when a bound variable is made
// and destroyed, and asked for unknown members of a callback structure.
class CallbackVariableCallback {
 public:
  CallbackVariableCallback() = default;
  CallbackVariableCallback(const CallbackVariableCallback&) = delete;
  CallbackVariableCallback& operator=(const CallbackVariableCallback&) = delete;
  virtual ~CallbackVariableCallback();

  // A variable was bound to this callback; `creator_data` is what the
  // installing party passed.
  virtual void Attached(Variable* variable, void* creator_data);
  // A bound variable is being destroyed; the default forgets the link.
  virtual void Detached(Variable* variable);
  // A member the structure does not hold: returns a new variable (count 1)
  // to store under `index`, or null when the callback does not supply it.
  virtual Variable* SupplyMember(Variable* structure, const AggregateIndex& index);

  Variable* variable() { return &variable_; }
  void* installer() const { return installer_; }
  void set_installer(void* installer) { installer_ = installer; }
  Variable* bound() const { return bound_; }

 protected:
  Variable variable_;
  void* installer_ = nullptr;
  Variable* bound_ = nullptr;
};

// A variable bound to a callback object (callback_, not owned).
class CallbackVariable : public Variable {
 public:
  CallbackVariable(CallbackVariableCallback* callback, void* creator_data);
  ~CallbackVariable() override;

 protected:
  CallbackVariable() : Variable(kOverriding) {}
  void Bind(CallbackVariableCallback* callback, void* creator_data);
  friend class Variable;
};

// A structure whose unknown members come from its callback.
class CallbackStructVariable : public CallbackVariable {
 public:
  CallbackStructVariable(CallbackVariableCallback* callback, void* creator_data);

  Variable* Element(const AggregateIndex& index, int create) override;

 private:
  friend class Variable;
  CallbackStructVariable() = default;
};

}  // namespace pexo

#endif  // PEXO_VALUES_VARIABLE_H_
