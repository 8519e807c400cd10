#include "host/do_instructions.h"

#include <cstdlib>
#include <memory>
#include <string>

#include "host/do_context_cache.h"
#include "values/variable.h"
#include "vm/error_table.h"
#include "vm/machine_host.h"
#include "vm/pexo_vm.h"
#include "vm/vm_frame.h"
#include "vm/vm_stack.h"

namespace pexo {

namespace {

DoContextCache* CacheOf(PexoVM* vm) {
  DoContextHost* host = dynamic_cast<DoContextHost*>(vm->application());
  return host ? host->DoContexts() : nullptr;
}

// Pops a file name, without the zero bytes a name cannot hold. False when
// the machine stopped.
bool PopName(PexoVM* vm, std::string* name) {
  PoppedText text;
  vm->stack()->pop_string(&text);
  if (vm->fatal()) return false;
  name->clear();
  for (int32_t i = 0; i < text.length; ++i)
    if (text.bytes[i] != '\0') name->push_back(text.bytes[i]);
  return true;
}

// The context of the popped file name, or null (the error is raised).
DoContext* ContextFor(PexoVM* vm, DoContextCache* cache, const char* name, int32_t length) {
  if (!cache) {
    vm->runtime_error(kTagPxDO, "PxDO is not available in this host");
    return nullptr;
  }
  return cache->Get(vm, name, length);
}

// Marks the context in use (never evicted) and counts the nesting while
// its machine runs for the caller.
class Running {
 public:
  Running(PexoVM* vm, DoContextCache* cache, DoContext* context)
      : context_(context), cache_(cache) {
    entered_ = cache_->Enter();
    if (!entered_) {
      vm->fatal_error("Too many nested PxDO calls");
      return;
    }
    context_->Hold();
  }
  ~Running() {
    if (!entered_) return;
    context_->Unhold();
    cache_->Leave();
  }
  bool entered() const { return entered_; }

 private:
  DoContext* context_;
  DoContextCache* cache_;
  bool entered_ = false;
};

// After the called machine ran: the caller takes over a stop, or else
// its own output settings and tracing go on where they were. `path` is
// traced as the exit of a called file unless null.
bool Finish(PexoVM* vm, PexoVM* called, int ran, const String* path) {
  if (!ran || called->fatal()) {
    vm->adopt_stop(called->last_error());
    return false;
  }
  if (vm->frame()) vm->application()->SetWhitespaceMode(vm->frame()->whitespace_mode);
  if (path) vm->trace_tag(kTraceDoExit, path->c_str());
  vm->reset_traced_line();
  return true;
}

void OpDoFile(PexoVM* vm, const TagOperands&) {
  std::string name;
  if (!PopName(vm, &name)) return;
  DoContextCache* cache = CacheOf(vm);
  DoContext* context = ContextFor(vm, cache, name.data(), static_cast<int32_t>(name.size()));
  if (!context) return;
  vm->trace_tag(kTraceDoEnter, context->path().c_str());
  PexoVM* called = context->machine();
  Running running(vm, cache, context);
  if (!running.entered()) return;
  Finish(vm, called, called->run_program(), &context->path());
}

void OpDoFunction(PexoVM* vm, const TagOperands&) {
  PoppedText expression;
  vm->stack()->pop_string(&expression);
  std::string name;
  if (!PopName(vm, &name)) return;
  DoContextCache* cache = CacheOf(vm);
  DoContext* context = ContextFor(vm, cache, name.data(), static_cast<int32_t>(name.size()));
  Segment* segment = nullptr;
  if (context) {
    String error;
    segment = context->Expression(expression.bytes, expression.length, vm, &error);
    if (!segment) vm->runtime_error(kTagPxDO, error.c_str());
  }
  if (segment) {
    PexoVM* called = context->machine();
    Running running(vm, cache, context);
    if (!running.entered()) return;
    std::unique_ptr<PexoVM_Stack> stack = context->TakeStack();
    int ran =
        called->run_segment(segment, stack.get(), vm->frame() ? vm->frame()->scope() : nullptr);
    bool value = Finish(vm, called, ran, nullptr) && stack->depth() > 0;
    if (value) stack->move_top_to(vm->stack());
    context->GiveStack(std::move(stack));
    if (value) return;
  }
  vm->stack()->push_variable(static_cast<Variable*>(vm->null_variable()), false, false);
}

}  // namespace

void RegisterDoInstructions(TagInstructionTable* table) {
  table->Set(0x0045, OpDoFile);
  table->Set(0x0046, OpDoFunction);
}

}  // namespace pexo
