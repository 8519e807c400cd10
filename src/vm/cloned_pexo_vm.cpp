#include "vm/cloned_pexo_vm.h"

#include <cctype>
#include <new>

#include "values/cloned_variable_hash.h"
#include "values/variable_hash.h"
#include "vm/machine_host.h"
#include "vm/vm_frame.h"
#include "vm/vm_stack.h"

namespace pexo {

namespace {

bool SameWord(const char* text, int32_t length, const char* word) {
  int32_t i = 0;
  for (; i < length && word[i]; ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != word[i]) return false;
  return i == length && word[i] == 0;
}

}  // namespace

bool ParseTaskIsolation(const char* text, int32_t length, int32_t* bits, String* unsupported) {
  *bits = 0;
  int32_t at = 0;
  while (at <= length) {
    int32_t end = at;
    while (end < length && text[end] != ',') ++end;
    int32_t first = at;
    int32_t last = end;
    while (first < last && std::isspace(static_cast<unsigned char>(text[first]))) ++first;
    while (last > first && std::isspace(static_cast<unsigned char>(text[last - 1]))) --last;
    const char* part = text + first;
    int32_t size = last - first;
    if (size > 0) {
      if (SameWord(part, size, "system")) {
        *bits |= kIsolateSystem;
      } else if (SameWord(part, size, "global")) {
        *bits |= kIsolateGlobal;
      } else {
        unsupported->assign(part, size);
        return false;
      }
    }
    at = end + 1;
  }
  return true;
}

ClonedProgramTables::ClonedProgramTables(PexoVM* parent, int32_t isolation,
                                         const CloneLocalization& localization)
    : dictionary(parent->context().dictionary ? *parent->context().dictionary : Dictionary()),
      functions(&dictionary) {
  const ProgramContext& from = parent->context();
  if (from.segments && !segments.CopyFrom(*from.segments)) return;
  if (from.functions) functions.CopyFrom(*from.functions);
  if (from.system) {
    system = CloneVariableHash(from.system, &dictionary, (isolation & kIsolateSystem) == 0);
    if (!system) return;
  }
  if (from.globals) {
    globals = CloneVariableHash(from.globals, &dictionary, (isolation & kIsolateGlobal) == 0);
    if (!globals) return;
  }
  if (from.localizer && from.localizer->tables()) {
    localized = from.localizer->tables()->Clone();
    localizer.reset(new (std::nothrow) Localizer(localized.get(), &dictionary, localization.file,
                                                 localization.settings));
    if (!localizer) return;
  }
  copied = true;
}

ClonedProgramTables::~ClonedProgramTables() {
  localizer.reset();
  localized.reset();
  delete globals;
  delete system;
}

ProgramContext ClonedPexoVM::Compose(const ProgramContext& host, ClonedProgramTables* tables) {
  ProgramContext context = host;
  context.dictionary = &tables->dictionary;
  context.system = tables->system;
  context.globals = tables->globals;
  context.segments = &tables->segments;
  context.functions = &tables->functions;
  context.localizer = tables->localizer.get();
  return context;
}

ClonedPexoVM::ClonedPexoVM(PexoVM* parent, int32_t isolation, const ProgramContext& host_context,
                           const CloneLocalization& localization)
    : ClonedProgramTables(parent, isolation, localization),
      PexoVM(Compose(host_context, this)) {}

ClonedPexoVM::~ClonedPexoVM() = default;

std::unique_ptr<ClonedPexoVM> ClonedPexoVM::Create(PexoVM* parent, int32_t isolation,
                                                   const ProgramContext& host_context,
                                                   const CloneLocalization& localization,
                                                   String* error) {
  std::unique_ptr<ClonedPexoVM> clone(
      new (std::nothrow) ClonedPexoVM(parent, isolation, host_context, localization));
  if (!clone || !clone->copied || !clone->CopyState(parent)) {
    error->assign("Allocation failed");
    return nullptr;
  }
  return clone;
}

bool ClonedPexoVM::CopyState(PexoVM* parent) {
  requested_segment_ = parent->requested_segment_;
  loaded_segment_ = -1;
  pc_ = parent->pc_;
  instruction_start_ = parent->instruction_start_;
  op_int1_ = parent->op_int1_;
  op_int2_ = parent->op_int2_;
  op_double1_ = parent->op_double1_;
  op_double2_ = parent->op_double2_;
  line_ = parent->line_;
  source_file_ = parent->source_file_;
  if (parent->fatal_) set_fatal();
  trace_mask_ = parent->trace_mask_;
  tags_ = parent->tags_;
  error_prefix_ = parent->error_prefix_;
  PexoVM_Frame* current = parent->frame_;
  if (current) {
    VariableHash* local = parent->local_scope();
    if (local) {
      VariableHash* copy = CloneVariableHash(local, &dictionary, true);
      if (!copy) return false;
      frame_->set_scope(copy, true);
    }
    frame_->error_output = current->error_output;
    frame_->whitespace_mode = current->whitespace_mode;
  }
  return true;
}

int ClonedPexoVM::run_task() {
  PexoVM_Frame* outer = frame_;
  auto* frame = new PexoVM_AsyncFrame(requested_segment_, pc_);
  frame->set_scope(outer->scope(), false);
  frame->set_stack(new PexoVM_Stack(this, kStackCapacity), true);
  frame->error_output = outer->error_output;
  frame->whitespace_mode = outer->whitespace_mode;
  frame->caller = outer;
  frame_ = frame;
  stack_ = frame->stack();
  if (context_.application) context_.application->SetWhitespaceMode(frame->whitespace_mode);
  request_segment(requested_segment_);
  int result = run();
  unwind_to(frame);
  requested_segment_ = frame->saved_segment();
  pc_ = frame->saved_pc();
  frame_ = outer;
  stack_ = outer->stack();
  services_.StopFrame(frame);
  delete frame;
  return result;
}

}  // namespace pexo
