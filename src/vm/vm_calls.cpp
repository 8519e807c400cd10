// Calls of compiled and external functions, returns, and name resolution.
#include <cstring>
#include <vector>

#include "program/function.h"
#include "program/function_manager.h"
#include "program/segment.h"
#include "values/dictionary.h"
#include "values/scope_resolver.h"
#include "values/variable.h"
#include "values/variable_hash.h"
#include "values/variable_list.h"
#include "vm/machine_extensions.h"
#include "vm/machine_host.h"
#include "vm/machine_scopes.h"
#include "vm/pexo_vm.h"
#include "vm/vm_frame.h"
#include "vm/vm_stack.h"

namespace pexo {
namespace {

constexpr int32_t kSpareStacks = 64;
constexpr size_t kSpareScopesPerFunction = 32;

}  // namespace

VariableHash* PexoVM::local_scope() const {
  // A nested run keeps the scope it was given (or its caller's); only the
  // global hash is not a local scope.
  VariableHash* scope = frame_ ? frame_->scope() : nullptr;
  return scope == context_.globals ? nullptr : scope;
}

bool PexoVM::resolve_name(const char* name, int32_t length, Variable** variable, String* error) {
  MachineScopes scopes(this);
  return ResolveVariableName(&scopes, name, length, variable, error);
}

PexoVM_Stack* PexoVM::take_stack() {
  if (spare_stacks_.empty()) return new PexoVM_Stack(this, kStackCapacity);
  PexoVM_Stack* stack = spare_stacks_.back();
  spare_stacks_.pop_back();
  return stack;
}

void PexoVM::recycle_stack(PexoVM_Stack* stack) {
  if (!stack) return;
  stack->clear();
  if (static_cast<int32_t>(spare_stacks_.size()) < kSpareStacks)
    spare_stacks_.push_back(stack);
  else
    delete stack;
}

VariableHash* PexoVM::take_scope(Function* function) {
  size_t number = static_cast<size_t>(function->number());
  if (function->number() < 0 || number >= spare_scopes_.size() || spare_scopes_[number].empty())
    return nullptr;
  VariableHash* scope = spare_scopes_[number].back();
  spare_scopes_[number].pop_back();
  return scope;
}

void PexoVM::recycle_scope(Function* function, VariableHash* scope) {
  if (!scope) return;
  if (function->number() < 0) {
    delete scope;
    return;
  }
  size_t number = static_cast<size_t>(function->number());
  if (number >= spare_scopes_.size()) spare_scopes_.resize(number + 1);
  std::vector<VariableHash*>& pool = spare_scopes_[number];
  if (pool.size() >= kSpareScopesPerFunction) {
    delete scope;
    return;
  }
  // Names are only ever added to a scope, so one that still holds exactly
  // the declared names needs only its variables emptied; one that grew is
  // rebuilt from the declarations. Every pooled scope is a plain
  // VariableHash (take_scope made it).
  if (scope->VariableHash::Entries() == function->locals().count()) {
    scope->EmptyVariables();
  } else {
    String error;
    if (!scope->InitFromTable(function->locals(), 0, &error)) {
      delete scope;
      return;
    }
  }
  pool.push_back(scope);
}

int PexoVM::op_call(int32_t number) {
  Function* function = context_.functions ? context_.functions->function(number) : nullptr;
  if (!function) {
    fatal_error("Invalid function call");
    return 0;
  }
  if (function->is_external()) return call_external(function);
  if (segment_ && (segment_->flags() & kSegmentRuntimeCode) && function->is_private()) {
    fatal_error("Function is private");
    return 0;
  }
  return call_function(function);
}

bool PexoVM::bind_parameter(Function* function, int32_t index, VariableHash* scope,
                            uint32_t trace_bit) {
  const FunctionParameter& parameter = function->parameters()[static_cast<size_t>(index)];
  Variable* bound = nullptr;
  if (parameter.by_reference) {
    Variable* caller_variable = nullptr;
    bool owned = false;
    if (!stack_->pop_variable(&caller_variable, &owned)) return false;
    scope->ReferenceEntry(parameter.local_index, caller_variable);
    if (owned) caller_variable->Release();
    bound = scope->VariableAt(parameter.local_index, false);
    if (!bound) {
      fatal_error("Invalid parameter reference");
      return false;
    }
  } else {
    // A recycled scope's slot mostly holds an emptied variable already.
    VariableHash::Entry* entry = scope->EntryAt(parameter.local_index);
    bound = entry && entry->variable ? entry->variable : scope->VariableAt(parameter.local_index, true);
    if (!bound) {
      fatal_error("Invalid parameter reference");
      return false;
    }
    // A bare integer or a plain variable into a plain variable, the common
    // arguments, without the general pop.
    PexoVM_Stack::Entry* top = stack_->depth() > 0 ? &stack_->operand(0) : nullptr;
    if (top && top->kind == PexoVM_Stack::kInteger && bound->FastSetInteger(top->value.integer))
      stack_->pop_integer();
    else if (top && top->kind == PexoVM_Stack::kVariable &&
             bound->FastCopyFrom(top->value.variable))
      stack_->drop(1);
    else if (!stack_->pop_into(bound))
      return false;
  }
  if (tracing(trace_bit))
    trace(trace_bit, function->name().c_str(), parameter.name.c_str(), bound->Value().c_str());
  return true;
}

int PexoVM::call_function(Function* function) {
  VariableHash* scope = take_scope(function);
  if (!scope) {
    String error;
    scope = NewVariableHashFromTable(function->locals(), context_.dictionary, &error);
    if (!scope) {
      fatal_error(error.empty() ? "Allocation failed" : error.c_str());
      return 0;
    }
  }
  if (call_depth_ >= call_depth_limit_) {
    recycle_scope(function, scope);
    fatal_error("Function calls nested too deeply");
    return 0;
  }
  PexoVM_FunctionFrame* frame = take_frame(function, scope, take_stack());
  int32_t flags = static_cast<int32_t>(function->flags());
  int32_t caller_output = frame_ ? frame_->error_output : PexoVM_Frame::kErrorOutputDefault;
  int32_t caller_mode = frame_ ? frame_->whitespace_mode : PexoVM_Frame::kWhitespaceKeep;
  frame->error_output = caller_output;
  if (flags & Function::kShowErrors) frame->error_output |= PexoVM_Frame::kErrorDisplay;
  if (flags & Function::kHideErrors) frame->error_output &= ~PexoVM_Frame::kErrorDisplay;
  if (flags & Function::kCompressWhitespace)
    frame->whitespace_mode = (caller_mode == PexoVM_Frame::kWhitespaceTrim ||
                              caller_mode == PexoVM_Frame::kWhitespaceCompress)
                                 ? PexoVM_Frame::kWhitespaceCompress
                                 : PexoVM_Frame::kWhitespaceKeep;
  else if (flags & Function::kTrimWhitespace)
    frame->whitespace_mode = PexoVM_Frame::kWhitespaceTrim;
  else
    frame->whitespace_mode = PexoVM_Frame::kWhitespaceKeep;
  if (context_.application) context_.application->ApplyWhitespaceMode(frame->whitespace_mode);
  frame->caller = frame_;
  if (tracing(kTraceFunctionCall)) trace(kTraceFunctionCall, function->name().c_str());
  const int32_t count = static_cast<int32_t>(function->parameters().size());
  for (int32_t i = count - 1; i >= 0; --i) {
    if (!bind_parameter(function, i, scope, kTraceFunctionParameter)) {
      recycle_stack(frame->detach_stack());
      recycle_scope(function, frame->detach_scope());
      recycle_frame(frame);
      if (context_.application && frame_)
        context_.application->ApplyWhitespaceMode(frame_->whitespace_mode);
      return 0;
    }
  }
  frame_ = frame;
  stack_ = frame->stack();
  ++call_depth_;
  enter_segment(function->segment());
  pc_ = function->offset();
  return 1;
}

inline PexoVM::ExternalSite* PexoVM::external_site(const Function* function) {
  const size_t number = static_cast<size_t>(function->number());
  if (number < external_sites_.size()) return &external_sites_[number];
  if (function->number() < 0) return nullptr;
  external_sites_.resize(number + 1);
  return &external_sites_[number];
}

void PexoVM::recycle_external_scope(Function* function, VariableHash* scope) {
  // A nested call of the same function may have filled the site meanwhile;
  // the pool takes the second scope.
  ExternalSite* site = external_site(function);
  if (!site || site->idle_scope || scope->VariableHash::Entries() != function->locals().count()) {
    recycle_scope(function, scope);
    return;
  }
  scope->EmptyVariables();
  site->idle_scope = scope;
}

int PexoVM::call_external(Function* function) {
  ExternalSite* site = external_site(function);
  const bool checked = site && site->checked == function;
  MachineExtensions* links = checked ? extensions_.get() : extensions();
  ExternalCall* call = checked ? site->call : nullptr;
  if (!checked) {
    String error;
    if (links)
      call = links->BindExternal(function, &error);
    else
      UnresolvedExternalMessage(function->name(), &error);
    if (!call) {
      fatal_error(error.c_str());
      return 0;
    }
  }
  if (tracing(kTraceExternalCall)) trace(kTraceExternalCall, function->name().c_str());
  // External functions have no frame: the parameters live in a scope of the
  // function's own, fresh for every call (a library may call back into the
  // same function, which then gets another scope).
  VariableHash* scope = site ? site->idle_scope : nullptr;
  if (scope)
    site->idle_scope = nullptr;
  else
    scope = take_scope(function);
  if (!scope) {
    String error;
    scope = NewVariableHashFromTable(function->locals(), context_.dictionary, &error);
    if (!scope) {
      fatal_error(error.empty() ? "Invalid parameter reference" : error.c_str());
      return 0;
    }
  }
  const int32_t count = static_cast<int32_t>(function->parameters().size());
  for (int32_t i = count - 1; i >= 0; --i) {
    bool bound = true;
    if (!checked) {
      String error;
      bound = links->CheckExternalParameter(*call, *function, i, &error);
      if (!bound) fatal_error(error.c_str());
    }
    if (!bound || !bind_parameter(function, i, scope, kTraceExternalParameter)) {
      scope->ReleaseVariables();
      recycle_scope(function, scope);
      return 0;
    }
  }
  if (!checked && (site = external_site(function)) != nullptr) {
    site->checked = function;
    site->call = call;
  }
  Variable* result = links->InvokeExternal(call, scope);
  // Parameter variables the library did not keep are emptied and serve the
  // next call as new ones; the others are released.
  recycle_external_scope(function, scope);
  if (!result) {
    fatal_error("Invalid variable reference");
    return 0;
  }
  if (tracing(kTraceExternalReturnValue))
    trace(kTraceExternalReturnValue, function->name().c_str(), "", result->Value().c_str());
  if (tracing(kTraceExternalReturn)) trace(kTraceExternalReturn, function->name().c_str());
  return stack_->push_variable(result, false, true) ? 1 : 0;
}

MachineExtensions* PexoVM::extensions() {
  if (!extensions_ && context_.extensions) extensions_ = context_.extensions(this, context_);
  return extensions_.get();
}

MachineDatabases* PexoVM::databases() {
  if (!databases_ && context_.databases) databases_ = context_.databases(this, context_);
  return databases_.get();
}

MachineNetwork* PexoVM::network() {
  if (!network_ && context_.network) network_ = context_.network(this, context_);
  return network_.get();
}

ApiContext* PexoVM::api_context() {
  MachineExtensions* links = extensions();
  return links ? links->Handle() : nullptr;
}

void UnresolvedExternalMessage(const String& name, String* error) {
  error->assign("Unresolved call to external function '");
  error->append(name);
  error->append("'");
}

bool PexoVM::stopping() const {
  return fatal_ || context_.flags->timeout.load(std::memory_order_relaxed) ||
         context_.flags->exit.load(std::memory_order_relaxed);
}

int PexoVM::run_call(Segment* stub, VariableList* arguments, Variable* result, String* error) {
  // The list's cursor is not touched while the function runs: a library
  // may walk the same list meanwhile.
  std::vector<Variable*> values;
  for (Variable* v = arguments ? arguments->First() : nullptr; v; v = arguments->Next())
    values.push_back(v);
  PexoVM_Stack* stack = take_stack();
  bool pushed = true;
  for (size_t i = 0; i < values.size() && pushed; ++i)
    pushed = stack->push_variable(values[i], true, true);
  int ran = pushed ? run_segment(stub, stack, nullptr) : 0;
  int done = ran == 1 && !stopping() && stack->depth() > 0;
  if (done && result)
    done = stack->pop_into(result) ? 1 : 0;
  recycle_stack(stack);
  if (!done) error->assign(fatal_ ? last_error_.c_str() : "The function did not return");
  return done;
}

PexoVM_FunctionFrame* PexoVM::take_frame(Function* function, VariableHash* scope,
                                         PexoVM_Stack* stack) {
  if (spare_frames_.empty()) {
    auto* frame = new PexoVM_FunctionFrame(requested_segment_, pc_, function);
    frame->set_scope(scope, true);
    frame->set_stack(stack, true);
    return frame;
  }
  PexoVM_FunctionFrame* frame = spare_frames_.back();
  spare_frames_.pop_back();
  frame->reuse(requested_segment_, pc_, function, scope, stack);
  return frame;
}

void PexoVM::recycle_frame(PexoVM_FunctionFrame* frame) {
  if (spare_frames_.size() < static_cast<size_t>(kSpareStacks))
    spare_frames_.push_back(frame);
  else
    delete frame;
}

int PexoVM::op_return(bool with_value) {
  PexoVM_Frame* frame = frame_;
  if (frame && frame->kind() == PexoVM_Frame::kAsync) {
    context_.flags->exit.store(1, std::memory_order_relaxed);
    return 1;
  }
  if (!frame || frame->kind() != PexoVM_Frame::kFunction) {
    fatal_error("Return outside of function");
    return 0;
  }
  PexoVM_Frame* caller = frame->caller;
  if (!caller) {
    fatal_error("Frame underflow");
    return 0;
  }
  Function* function = static_cast<PexoVM_FunctionFrame*>(frame)->function();
  enter_segment(frame->saved_segment());
  pc_ = frame->saved_pc();
  PexoVM_Stack* inner = frame->stack();
  PexoVM_Stack* outer = caller->stack();
  if (with_value) {
    if (!outer->push_from(inner, 1)) return 0;
    if (tracing(kTraceFunctionReturnValue)) {
      String value;
      outer->top_text(&value);
      trace(kTraceFunctionReturnValue, function->name().c_str(), "", value.c_str());
    }
    if (tracing(kTraceFunctionReturn)) trace(kTraceFunctionReturn);
  }
  frame_ = caller;
  stack_ = outer;
  --call_depth_;
  services_.StopFrame(frame);
  recycle_stack(frame->detach_stack());
  recycle_scope(function, frame->detach_scope());
  recycle_frame(static_cast<PexoVM_FunctionFrame*>(frame));
  if (!with_value) {
    stack_->push_string("", 0, 0, false);
    if (tracing(kTraceFunctionReturn)) trace(kTraceFunctionReturn, function->name().c_str());
  }
  if (context_.application) context_.application->ApplyWhitespaceMode(caller->whitespace_mode);
  return 1;
}

}  // namespace pexo
