#include "vm/pexo_vm.h"

#include <cstdio>
#include <cstring>
#include <typeinfo>

#include "program/segment.h"
#include "program/segment_manager.h"
#include "values/conversions.h"
#include "values/dictionary.h"
#include "values/variable.h"
#include "values/variable_hash.h"
#include "vm/machine_host.h"
#include "vm/vm_frame.h"
#include "vm/vm_stack.h"

namespace pexo {

PexoVM::PexoVM(const ProgramContext& context) : context_(context) {
  if (!context_.flags) context_.flags = &own_flags_;
  plain_globals_ = context_.globals && typeid(*context_.globals) == typeid(VariableHash);
  null_ = new NULLVariable();
  const char* path = context_.program_path ? context_.program_path : "";
  const char* slash = std::strrchr(path, '/');
  if (slash) base_directory_.assign(path, static_cast<int32_t>(slash - path + 1));
  if (context_.dictionary && !(context_.dictionary->flags() & Dictionary::kNoDebugLog) &&
      context_.application)
    trace_mask_ = context_.application->DebugLogLevel();
  frame_ = new PexoVM_Frame(0, 0);
  frame_->set_scope(context_.globals, false);
  stack_ = new PexoVM_Stack(this, kStackCapacity);
  frame_->set_stack(stack_, true);
  if (context_.segments) {
    Segment* start = context_.segments->start_segment();
    request_segment(start ? start->number() : 0);
  }
}

PexoVM::~PexoVM() {
  services_.StopAll();
  // Open databases close while the machine and its extensions still work.
  databases_.reset();
  // Extensions' local data is freed while the machine still works.
  extensions_.reset();
  network_.reset();
  unwind_to(nullptr);
  for (PexoVM_FunctionFrame* spare : spare_frames_) delete spare;
  for (PexoVM_Stack* spare : spare_stacks_) delete spare;
  for (auto& pool : spare_scopes_)
    for (VariableHash* scope : pool) delete scope;
  for (ExternalSite& site : external_sites_) delete site.idle_scope;
  null_->Release();
  for (FloatConstant& constant : float_constants_)
    if (constant.decimal) mpd_del(constant.decimal);
}

const mpd_t* PexoVM::float_constant(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  FloatConstant& slot = float_constants_[(bits ^ (bits >> 29) ^ (bits >> 47)) % kFloatConstants];
  if (slot.decimal && slot.bits == bits) return slot.decimal;
  if (!slot.decimal) {
    slot.decimal = mpd_qnew();
    if (!slot.decimal) return nullptr;
  }
  DoubleToDecimal(value, slot.decimal);
  slot.bits = bits;
  return slot.decimal;
}

void PexoVM::unwind_to(PexoVM_Frame* bottom) {
  while (frame_ && frame_ != bottom) {
    PexoVM_Frame* caller = frame_->caller;
    if (frame_->kind() == PexoVM_Frame::kFunction) --call_depth_;
    services_.StopFrame(frame_);
    delete frame_;
    frame_ = caller;
  }
  stack_ = frame_ ? frame_->stack() : nullptr;
}

const String& PexoVM::source_file_name() {
  if (!source_name_cached_) {
    source_name_.clear();
    int32_t length = 0;
    const char* name =
        context_.dictionary ? context_.dictionary->get(source_file_, &length) : nullptr;
    if (name) source_name_.assign(name, length);
    source_name_cached_ = true;
  }
  return source_name_;
}

void PexoVM::trace(uint32_t bit, const char* name, const char* detail, const char* value) {
  PexoApplication* app = context_.application;
  if (!app) return;
  const String& file = source_file_name();
  if (!app->LogFilterAccepts(file.c_str(), line_)) return;
  TraceEvent event;
  event.kind = bit;
  event.program = context_.program_path;
  event.source_file = file.c_str();
  event.line = line_;
  event.name = name;
  event.detail = detail;
  event.value = value;
  app->LogEvent(event);
}

Segment* PexoVM::find_segment(int32_t number) const {
  if (nested_segment_ && nested_segment_->number() == number) return nested_segment_;
  return context_.segments ? context_.segments->segment(number) : nullptr;
}

void PexoVM::use_segment(Segment* segment, int32_t number) {
  segment_ = segment;
  code_ = segment->code();
  code_length_ = segment->length();
  decoded_ = segment->decoded();
  loaded_segment_ = number;
}

void PexoVM::load_segment() {
  Segment* segment = find_segment(requested_segment_);
  if (!segment) {
    fatal_error("Invalid segment reference");
    return;
  }
  use_segment(segment, requested_segment_);
}

void PexoVM::enter_other_segment(int32_t number) {
  Segment* segment = find_segment(number);
  if (!segment) {
    request_segment(number);
    return;
  }
  requested_segment_ = number;
  use_segment(segment, number);
}

void PexoVM::handle_timeout() {
  if (fatal_) return;
  if (context_.flags->timeout.load(std::memory_order_relaxed) == kStopMemoryLimit) {
    fatal_error(kMemoryLimitMessage);
    return;
  }
  set_fatal();
  if (context_.application) context_.application->ReportTimeout("Application timed out");
  if (tracing(kTraceTimeout)) trace(kTraceTimeout);
}

void PexoVM::notify_signal() { services_.NotifySignal(last_signal_); }

int PexoVM::run_program() {
  PexoVM_Frame* outer = frame_;
  PexoVM_Frame* frame = new PexoVM_Frame(requested_segment_, pc_);
  frame->set_scope(context_.globals, false);
  frame->set_stack(new PexoVM_Stack(this, kStackCapacity), true);
  frame->caller = outer;
  frame_ = frame;
  stack_ = frame->stack();
  Segment* start = context_.segments ? context_.segments->start_segment() : nullptr;
  request_segment(start ? start->number() : 0);
  loaded_segment_ = -1;  // its code may have been written since the last run
  pc_ = 0;
  int result = run();
  unwind_to(frame);
  request_segment(frame->saved_segment());
  pc_ = frame->saved_pc();
  frame_ = outer;
  stack_ = outer ? outer->stack() : nullptr;
  services_.StopFrame(frame);
  delete frame;
  return result;
}

int PexoVM::run_nested(Segment* segment, PexoVM_Stack* stack, VariableHash* scope) {
  PexoVM_Frame* outer = frame_;
  PexoVM_Frame* frame = new PexoVM_Frame(requested_segment_, pc_);
  frame->set_scope(scope ? scope : (outer ? outer->scope() : context_.globals), false);
  frame->set_stack(stack ? stack : stack_, false);
  if (outer) {
    frame->error_output = outer->error_output;
    frame->whitespace_mode = outer->whitespace_mode;
  }
  frame->caller = outer;
  frame_ = frame;
  stack_ = frame->stack();
  request_segment(segment->number());
  // A run-time segment may not be registered; load it directly.
  Segment* outer_nested = nested_segment_;
  nested_segment_ = segment;
  segment_ = segment;
  code_ = segment->code();
  code_length_ = segment->length();
  decoded_ = segment->decoded();
  loaded_segment_ = requested_segment_;
  pc_ = 0;
  int result = run();
  unwind_to(frame);
  nested_segment_ = outer_nested;
  loaded_segment_ = -1;  // the caller's code is looked up again, never assumed
  request_segment(frame->saved_segment());
  pc_ = frame->saved_pc();
  frame_ = outer;
  stack_ = outer ? outer->stack() : nullptr;
  services_.StopFrame(frame);
  delete frame;
  return result;
}

int PexoVM::run_segment(Segment* segment, PexoVM_Stack* stack, VariableHash* scope) {
  return run_nested(segment, stack, scope);
}

int PexoVM::run_segment_truth(Segment* segment, int* truth) {
  *truth = 0;
  int result = run_nested(segment, nullptr, nullptr);
  if (result && stack_) *truth = stack_->pop_truth();
  return result && !fatal_;
}

int PexoVM::run_segment_variable(Segment* segment, Variable** out) {
  *out = nullptr;
  int result = run_nested(segment, nullptr, nullptr);
  if (!result || !stack_) return 0;
  Variable* variable = nullptr;
  bool owned = false;
  if (stack_->peek() && stack_->peek()->kind == PexoVM_Stack::kVariable) {
    stack_->pop_variable(&variable, &owned);
    if (!owned) variable->Retain();
  } else {
    variable = new Variable();
    stack_->pop_into(variable);
  }
  *out = variable;
  return !fatal_;
}

int PexoVM::run_segment_string(Segment* segment, String* out) {
  out->clear();
  int result = run_nested(segment, nullptr, nullptr);
  if (!result || !stack_) return 0;
  PoppedText text;
  stack_->pop_string(&text);
  out->assign(text.bytes, text.length);
  return !fatal_;
}

void PexoVM::compose_error(const char* kind, int32_t tag, const char* message) {
  char position[24];
  std::snprintf(position, sizeof(position), "[%08x:%08x]",
                static_cast<uint32_t>(requested_segment_), static_cast<uint32_t>(instruction_start_));
  String& text = last_error_;
  text.assign(error_prefix_);
  text.append(kind);
  text.append(context_.program_path);
  text.append(" @ ");
  text.append(position);
  text.append(": ");
  const String& file = source_file_name();
  if (source_file_ >= 0 && !file.empty()) {
    text.append(file);
    text.append(": ");
  }
  if (line_ != 0) {
    char number[16];
    std::snprintf(number, sizeof(number), "%d", line_);
    text.append("Line ");
    text.append(number);
    text.append(": ");
  }
  const TagErrorSetting* setting = tags_.tag(tag);
  if (setting) {
    text.append(setting->name);
    text.append(": ");
  }
  text.append(message);
  text.append("\n");
}

void PexoVM::fatal_error(const char* message) {
  if (reporting_) return;  // errors while reporting are not reported again
  reporting_ = true;
  PexoApplication* app = context_.application;
  if (app) app->SetHeader("Status", "500 Internal Server Error");
  compose_error("Fatal error in ", -1, message);
  set_fatal();
  if (app) app->ReportFatalError(last_error_);
  if (tracing(kTraceFatalError)) trace(kTraceFatalError, "", last_error_.c_str());
  reporting_ = false;
}

void PexoVM::runtime_error(int32_t tag, const char* message) {
  if (reporting_) return;
  reporting_ = true;
  PexoApplication* app = context_.application;
  compose_error("Runtime error in ", tag, message);
  const TagErrorSetting* setting = tags_.tag(tag);
  int32_t flags = tags_.flags(tag);
  bool is_fatal = (flags & kTagErrorFatal) != 0;
  // A tag that lets execution go on must not clear a stop raised earlier.
  if (is_fatal) set_fatal();
  if (is_fatal && app) app->SetHeader("Status", "500 Internal Server Error");
  bool display =
      (flags & kTagErrorDisplay) && frame_ && (frame_->error_output & PexoVM_Frame::kErrorDisplay);
  if (app) app->ReportRuntimeError(tag, last_error_, display);
  if (setting && context_.globals) {
    Variable* variable = nullptr;
    if (!context_.globals->Find(setting->variable, -1, true, &variable) || !variable)
      variable = context_.globals->VariableAt(context_.globals->InsertName(setting->variable, -1),
                                              true);
    if (variable) variable->SetValue(message, -1);
  }
  if (tracing(kTraceRuntimeError)) trace(kTraceRuntimeError, setting ? setting->name : "", message);
  reporting_ = false;
}

}  // namespace pexo
