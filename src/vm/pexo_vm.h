// PexoVM: the stack machine that runs one request's program image.
//
// Instructions are a 16-bit word followed by operands the word's flag bits
// announce; dispatch is on the whole word. The loop runs a segment's decoded
// form (program/decoded_code.h) and reads the bytes only where that form has
// no record. Before every instruction it tests one attention word, raised by
// a fatal error, a step limit or a switch of segment, together with the
// host's time-out, exit and signal flags; when any is up the slow path checks
// the time-out flag, the signal counter, the fatal flag, the exit flag and
// the step limit in that order, then reloads the segment if a call or return
// switched it. A run returns 1 when it ended normally (end of segment or exit) and 0
// when it was stopped (fatal error or time-out); once the fatal flag is set
// nothing more of this machine's code runs.
#ifndef PEXO_VM_PEXO_VM_H_
#define PEXO_VM_PEXO_VM_H_

#include <mpdecimal.h>

#include <atomic>
#include <climits>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "values/string.h"
#include "vm/error_table.h"
#include "vm/machine_databases.h"
#include "vm/machine_extensions.h"
#include "vm/machine_network.h"
#include "vm/service_stack.h"
#include "vm/tag_instructions.h"

namespace pexo {

class ApiContext;
class CommerceLibraryManager;
class Config;
class DecodedCode;
class Dictionary;
class ExternalCallManager;
class ExternalFunctionResolver;
class FileManager;
class Function;
class FunctionManager;
class Localizer;
class NULLVariable;
class PexoApplication;
class PersistentTable;
class PexoVM_Frame;
class PexoVM_FunctionFrame;
class PexoVM_Stack;
class Segment;
class SegmentManager;
class SystemLibraryManager;
class Variable;
class VariableHash;
class VariableList;

// Nested function calls allowed by default; deeper recursion stops the run
// before it exhausts memory.
constexpr int32_t kDefaultCallDepthLimit = 10000;

// Values of HostFlags::timeout, the reason a run must stop.
enum : int32_t { kStopTimedOut = 1, kStopMemoryLimit = 2 };
// The fatal error of a request past its memory limit (or a text past the
// largest length).
constexpr char kMemoryLimitMessage[] = "Memory limit exceeded";

// The flags the host owns for a request: written by the watchdog, other
// machines and the request's memory account, read by the run loop before
// every instruction.
struct HostFlags {
  std::atomic<int32_t> exit{0};
  std::atomic<int32_t> timeout{0};
  std::atomic<int32_t> signal{0};
};

// What a machine runs on; the host keeps all of it alive for the machine's
// life.
struct ProgramContext {
  PexoApplication* application = nullptr;
  HostFlags* flags = nullptr;
  Dictionary* dictionary = nullptr;
  VariableHash* system = nullptr;  // a SystemVariableHash
  VariableHash* globals = nullptr;
  SegmentManager* segments = nullptr;
  FunctionManager* functions = nullptr;
  const char* program_path = "";  // the script's path, used in messages
  // What library functions and extensions reach through the program handle;
  // each may be null (the calls that need a missing one fail with a message).
  ExternalCallManager* calls = nullptr;
  // Makes the link to library functions and the program handle (see
  // MachineExtensions); null: neither.
  MachineExtensionsFactory extensions = nullptr;
  // Library functions for expressions that tags compile at run time (import
  // filters); null: only the program's own function entries resolve.
  ExternalFunctionResolver* externals = nullptr;
  SystemLibraryManager* system_libraries = nullptr;
  FileManager* files = nullptr;
  Config* config = nullptr;
  // Application-wide persistent data of extensions and the lock guarding it.
  PersistentTable* shared_persistent = nullptr;
  std::mutex* shared_persistent_lock = nullptr;
  // The program's localized texts and the tokens they fill in; null: none.
  Localizer* localizer = nullptr;
  // Handlers of the instructions that belong to layers above the machine;
  // null: every such instruction reports "Not implemented".
  const TagInstructionTable* tag_instructions = nullptr;
  // The commerce methods of the request (null: none configured).
  CommerceLibraryManager* commerce = nullptr;
  // Makes the machine's open databases (see MachineDatabases); null: the
  // machine opens none and no name resolves to a field.
  MachineDatabasesFactory databases = nullptr;
  // Makes the machine's network state (see MachineNetwork); null: none.
  MachineNetworkFactory network = nullptr;
};

class PexoVM {
 public:
  explicit PexoVM(const ProgramContext& context);
  PexoVM(const PexoVM&) = delete;
  PexoVM& operator=(const PexoVM&) = delete;
  virtual ~PexoVM();
  virtual int call_external(Function* function);
  virtual int call_function(Function* function);

  int run();
  int run_program();
  // Nested run of code made at run time; null stack or scope: the caller's.
  int run_segment(Segment* segment, PexoVM_Stack* stack = nullptr, VariableHash* scope = nullptr);
  int run_segment_truth(Segment* segment, int* truth);
  // The value left on the stack as a new reference (null when none).
  int run_segment_variable(Segment* segment, Variable** result);
  int run_segment_string(Segment* segment, String* result);

  void fatal_error(const char* message);
  void runtime_error(int32_t tag, const char* message);

  // Registers and state, for the host and the tests.
  bool fatal() const { return fatal_; }
  HostFlags* flags() const { return context_.flags; }
  const String& last_error() const { return last_error_; }
  const String& error_prefix() const { return error_prefix_; }
  TagErrorTable& tags() { return tags_; }
  PexoVM_Stack* stack() const { return stack_; }
  PexoVM_Frame* frame() const { return frame_; }
  int32_t line() const { return line_; }
  int32_t segment_number() const { return requested_segment_; }
  int32_t pc() const { return pc_; }
  uint32_t trace_mask() const { return trace_mask_; }
  void set_trace_mask(uint32_t mask) { trace_mask_ = mask; }
  NULLVariable* null_variable() const { return null_; }
  Variable* current_variable() const { return current_variable_; }
  VariableHash* globals() const { return context_.globals; }
  const String& base_directory() const { return base_directory_; }
  PexoApplication* application() const { return context_.application; }
  // Name of the current source file ("" when none).
  const String& source_file_name();

  // The program handle library functions and extensions receive (made on
  // first use, owned by the machine); null without an extensions factory.
  ApiContext* api_context();
  // The machine's databases, made on first use (null without a factory).
  MachineDatabases* databases();
  // The databases if they were made, without making them.
  MachineDatabases* open_databases() const { return databases_.get(); }
  // The network state (made on first use, owned by the machine); null
  // without a network factory.
  MachineNetwork* network();
  // The current call's local scope; null outside a function call.
  VariableHash* local_scope() const;
  // Whether the run has been stopped or asked to end (fatal, time-out, exit).
  bool stopping() const;
  // Runs `stub` (code that calls one function) on a fresh stack holding the
  // list's variables as arguments, in order; the value the call leaves goes
  // into `result` (may be null). 0 with a reason when the run stopped.
  int run_call(Segment* stub, VariableList* arguments, Variable* result, String* error);

  // Limits for untrusted code: the number of instructions a machine may
  // execute in all (0: unlimited, the default) and the depth of nested
  // function calls. Exceeding either is a fatal error.
  void set_step_limit(uint64_t steps) {
    steps_left_ = steps;
    if (steps) attention_ |= kAttendSteps;
  }
  void set_call_depth_limit(int32_t depth) { call_depth_limit_ = depth; }
  int32_t call_depth() const { return call_depth_; }

  // The active tag services of this machine.
  ServiceStack& services() { return services_; }
  // Stops every service, innermost first: the request is ending.
  void stop_services() { services_.StopAll(); }
  // For tag instructions: a jump relative to the next instruction.
  void branch(int32_t offset) { jump(offset); }
  // For tag instructions that run another machine on this one's behalf:
  // takes over that machine's stop (already reported) without reporting it
  // again, and forgets the traced line so the next one is traced anew.
  void adopt_stop(const String& error) {
    last_error_ = error;
    set_fatal();
  }
  void reset_traced_line() { traced_line_ = 0; }
  // A trace event of a tag, when the mask has `bit` and the filter accepts.
  void trace_tag(uint32_t bit, const char* name) {
    if (tracing(bit)) trace(bit, name);
  }
  const ProgramContext& context() const { return context_; }

 private:
  friend class Instructions;
  friend class ClonedPexoVM;  // copies the registers of its parent

  void load_segment();
  // The segment `number` as load_segment finds it, or null.
  Segment* find_segment(int32_t number) const;
  void use_segment(Segment* segment, int32_t number);
  // A call or return into segment `number`: one that exists is loaded at
  // once (the slow path would load the same and has nothing else to do for
  // it); a missing one is left to the slow path, which reports it in turn.
  void enter_segment(int32_t number) {
    if (number == loaded_segment_)
      requested_segment_ = number;
    else
      enter_other_segment(number);
  }
  void enter_other_segment(int32_t number);
  // A call, return or run switches to another segment: the loop loads it
  // before the next instruction.
  // The segment already loaded needs no attention: the slow path would find
  // nothing to load.
  void request_segment(int32_t number) {
    requested_segment_ = number;
    if (number != loaded_segment_) attention_ |= kAttendSegment;
  }
  // Global slot `index`, made when missing; null outside the table.
  Variable* global_slot(int32_t index);
  void set_fatal() {
    fatal_ = true;
    attention_ |= kAttendFatal;
  }
  // Whether the machine's word or the request's flags ask for attend().
  // A function rather than code spelled out at every test, so that builds
  // without optimization keep the run loop's frame small; optimized builds
  // must inline it, which the loop's size would otherwise prevent.
#if defined(__GNUC__) && defined(__OPTIMIZE__)
  __attribute__((always_inline))
#endif
  bool attention_raised(const HostFlags* flags) const {
    return (attention_ | static_cast<uint32_t>(flags->timeout.load(std::memory_order_relaxed)) |
            static_cast<uint32_t>(flags->exit.load(std::memory_order_relaxed)) |
            static_cast<uint32_t>(flags->signal.load(std::memory_order_relaxed) ^
                                  last_signal_)) != 0;
  }
  // The checks made before an instruction when attention is raised: -1 to
  // run the instruction at pc_, else the run's result.
  int attend();
  // Runs the instruction at pc_ from the bytes: -1 to go on, else the run's
  // result.
  int step_bytes();
  // Relative jump. A target before the segment's start leaves the program
  // counter negative, which the loop refuses; one past any segment's end
  // ends the run like any target past the end.
  void jump(int32_t offset) {
    int64_t target = static_cast<int64_t>(pc_) + offset;
    pc_ = target < 0 ? -1 : target > INT32_MAX ? INT32_MAX : static_cast<int32_t>(target);
  }
  void handle_timeout();
  void notify_signal();
  // Trace event with the program path, source file and line.
  void trace(uint32_t bit, const char* name = "", const char* detail = "",
             const char* value = "");
  bool tracing(uint32_t bit) const { return (trace_mask_ & bit) != 0; }
  void compose_error(const char* kind, int32_t tag, const char* message);
  // Drops frames above `bottom` (after a stopped run).
  void unwind_to(PexoVM_Frame* bottom);
  int run_nested(Segment* segment, PexoVM_Stack* stack, VariableHash* scope);
  int dispatch(uint16_t word);
  // cat followed by popg/popl into the variable cat's left operand is:
  // appends in place and steps over the pop. False: nothing was done.
  bool fuse_cat_pop();
  // out of a LinkBuffer on top: its chunks are written as they are and an
  // owned buffer is kept for the next concatenation. False (nothing done)
  // for any other top entry, an empty stack or no application.
  bool write_top_buffer();
  void hide();
  // Resolves a variable name given as text through the scopes; false with
  // the scope's message when the path is malformed.
  bool resolve_name(const char* name, int32_t length, Variable** variable, String* error);

  // Calls and returns.
  int op_call(int32_t number);
  int op_return(bool with_value);
  // A frame for a call of `function` owning `scope` and `stack`, saving
  // the caller's position.
  PexoVM_FunctionFrame* take_frame(Function* function, VariableHash* scope, PexoVM_Stack* stack);
  void recycle_frame(PexoVM_FunctionFrame* frame);
  PexoVM_Stack* take_stack();
  void recycle_stack(PexoVM_Stack* stack);
  // A returned call's scope of `function`, emptied; null when none is kept
  // (the caller makes one from the declarations).
  VariableHash* take_scope(Function* function);
  // Empties a returned call's scope (releasing its variables) and keeps it
  // for the next call of the same function.
  void recycle_scope(Function* function, VariableHash* scope);
  bool bind_parameter(Function* function, int32_t index, VariableHash* scope,
                      uint32_t trace_bit);
  // What an external function's earlier calls settled, by function number:
  // once bound with the right parameter count and every parameter passed as
  // the library expects, a function stays so (bindings and declarations
  // never change), so later calls skip those checks. `idle_scope` is the
  // parameter scope of the last call, emptied.
  struct ExternalSite {
    const Function* checked = nullptr;
    ExternalCall* call = nullptr;
    VariableHash* idle_scope = nullptr;
  };
  // The site of `function`, made on first use; null for a function without
  // a number. Invalid once a nested run may have called another function.
  inline ExternalSite* external_site(const Function* function);
  // Keeps a returned external call's parameter scope for the next call.
  void recycle_external_scope(Function* function, VariableHash* scope);

  ProgramContext context_;
  // Registers.
  Segment* segment_ = nullptr;
  // The segment of the innermost nested run: it may not be in the program's
  // list, yet a function it calls returns into it.
  Segment* nested_segment_ = nullptr;
  const unsigned char* code_ = nullptr;
  int32_t code_length_ = 0;
  // The loaded segment's decoded form; null: read the bytes.
  const DecodedCode* decoded_ = nullptr;
  enum : uint32_t { kAttendFatal = 1, kAttendSteps = 2, kAttendSegment = 4 };
  uint32_t attention_ = kAttendSegment;
  // The global table is a plain VariableHash: its slots can be read directly.
  bool plain_globals_ = false;
  int32_t requested_segment_ = 0;
  int32_t loaded_segment_ = -1;
  int32_t pc_ = 0;
  int32_t instruction_start_ = 0;
  int32_t op_int1_ = 0;
  int32_t op_int2_ = 0;
  double op_double1_ = 0;
  double op_double2_ = 0;
  Variable* current_variable_ = nullptr;
  int32_t line_ = 0;
  int32_t traced_line_ = 0;
  int32_t source_file_ = -1;
  String source_name_;
  bool source_name_cached_ = false;
  bool fatal_ = false;
  int32_t last_signal_ = 0;
  uint32_t trace_mask_ = 0;

  PexoVM_Stack* stack_ = nullptr;
  PexoVM_Frame* frame_ = nullptr;
  NULLVariable* null_ = nullptr;
  TagErrorTable tags_;
  String error_prefix_;
  String last_error_;
  String base_directory_;
  bool reporting_ = false;
  // Used when the host hands no flags (tests, nested tools).
  HostFlags own_flags_;
  // Stacks of returned calls, reused so that a call does not allocate.
  std::vector<PexoVM_Stack*> spare_stacks_;
  // Scopes of returned calls by function number.
  std::vector<std::vector<VariableHash*>> spare_scopes_;
  std::vector<ExternalSite> external_sites_;
  // Frames of returned calls, reused likewise.
  std::vector<PexoVM_FunctionFrame*> spare_frames_;
  uint64_t steps_left_ = 0;
  int32_t call_depth_ = 0;
  int32_t call_depth_limit_ = kDefaultCallDepthLimit;
  // Emptied first by ~PexoVM: a service's destructor may still use the
  // machine (its output, its variables).
  ServiceStack services_;
  // Made on first use by extensions().
  std::unique_ptr<MachineExtensions> extensions_;
  // Made on first use by databases(); closed before the frames go.
  std::unique_ptr<MachineDatabases> databases_;
  MachineExtensions* extensions();
  // Made on first use by network(); destroyed after the extensions.
  std::unique_ptr<MachineNetwork> network_;
  // Decimal forms of pushf constants, direct-mapped by the double's bits.
  // An entry is only ever copied from, so replacing it is always safe, and
  // the key is the value itself: a stale entry cannot give a wrong result.
  struct FloatConstant {
    uint64_t bits = 0;
    mpd_t* decimal = nullptr;
  };
  static constexpr int32_t kFloatConstants = 16;
  FloatConstant float_constants_[kFloatConstants];
  const mpd_t* float_constant(double value);
};

}  // namespace pexo

#endif  // PEXO_VM_PEXO_VM_H_
