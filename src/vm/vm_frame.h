// Frames of the machine: the bottom frame of a run (kind 0), the frame of a
// compiled function call (kind 1) and the frame of an asynchronous task
// (kind 2). A frame saves its caller's segment and program counter and holds
// the local scope and operand stack it runs with, releasing those it owns.
#ifndef PEXO_VM_VM_FRAME_H_
#define PEXO_VM_VM_FRAME_H_

#include <cstdint>

namespace pexo {

class Function;
class PexoVM_Stack;
class VariableHash;

class PexoVM_Frame {
 public:
  enum Kind : int { kBottom = 0, kFunction = 1, kAsync = 2 };
  // Bits of error_output: kErrorDisplay shows runtime errors in the page.
  static constexpr int32_t kErrorDisplay = 4;
  static constexpr int32_t kErrorOutputDefault = 7;
  // Values of whitespace_mode, which the frame sets on the output.
  enum WhitespaceMode : int32_t { kWhitespaceKeep = 0, kWhitespaceTrim = 1, kWhitespaceCompress = 2 };

  PexoVM_Frame(int32_t segment, int32_t pc) : segment_(segment), pc_(pc) {}
  PexoVM_Frame(const PexoVM_Frame&) = delete;
  PexoVM_Frame& operator=(const PexoVM_Frame&) = delete;
  virtual ~PexoVM_Frame();
  virtual int kind() const { return kBottom; }
  virtual void set_scope(VariableHash* scope, bool owned);
  virtual void set_stack(PexoVM_Stack* stack, bool owned);

  // Hands the owned scope and stack back without destroying them (for
  // recycling); the frame no longer owns them.
  VariableHash* detach_scope();
  PexoVM_Stack* detach_stack();

  int32_t saved_segment() const { return segment_; }
  int32_t saved_pc() const { return pc_; }
  VariableHash* scope() const { return scope_; }
  PexoVM_Stack* stack() const { return stack_; }
  int32_t error_output = kErrorOutputDefault;
  int32_t whitespace_mode = kWhitespaceKeep;
  PexoVM_Frame* caller = nullptr;

 protected:
  // A recycled frame starts over with a new saved position.
  void restart(int32_t segment, int32_t pc) {
    segment_ = segment;
    pc_ = pc;
    error_output = kErrorOutputDefault;
    whitespace_mode = kWhitespaceKeep;
    caller = nullptr;
  }
  // Takes `scope` and `stack` as owned, on a frame that owns neither now.
  void own(VariableHash* scope, PexoVM_Stack* stack) {
    scope_ = scope;
    owns_scope_ = true;
    stack_ = stack;
    owns_stack_ = true;
  }

 private:
  int32_t segment_;
  int32_t pc_;
  VariableHash* scope_ = nullptr;
  bool owns_scope_ = false;
  PexoVM_Stack* stack_ = nullptr;
  bool owns_stack_ = false;
};

class PexoVM_FunctionFrame : public PexoVM_Frame {
 public:
  PexoVM_FunctionFrame(int32_t segment, int32_t pc, Function* function)
      : PexoVM_Frame(segment, pc), function_(function) {}
  ~PexoVM_FunctionFrame() override;
  int kind() const override { return kFunction; }
  Function* function() const { return function_; }
  // Prepares a returned frame (scope and stack detached) for another call
  // with the call's own scope and stack (owned).
  void reuse(int32_t segment, int32_t pc, Function* function, VariableHash* scope,
             PexoVM_Stack* stack) {
    restart(segment, pc);
    own(scope, stack);
    function_ = function;
  }

 private:
  Function* function_;
};

class PexoVM_AsyncFrame : public PexoVM_Frame {
 public:
  using PexoVM_Frame::PexoVM_Frame;
  ~PexoVM_AsyncFrame() override;
  int kind() const override { return kAsync; }
};

}  // namespace pexo

#endif  // PEXO_VM_VM_FRAME_H_
