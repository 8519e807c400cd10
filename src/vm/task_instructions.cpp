#include "vm/task_instructions.h"

#include "program/opcodes.h"
#include "vm/cloned_pexo_vm.h"
#include "vm/error_table.h"
#include "vm/machine_host.h"
#include "vm/pexo_vm.h"
#include "vm/tag_instructions.h"
#include "vm/vm_stack.h"

namespace pexo {

namespace {

const char* StartFailure(int result) {
  switch (result) {
    case kTaskStartFailed:
      return "Unable to start asynchronous task";
    case kTaskUnsupported:
      return "Asynchronoust tasks are not supported";
    case kTaskLimitReached:
      return "Maximum number of asynchronous tasks exceeded";
    case kTaskInTask:
      return "Asynchronous tasks may not start additional asynchronous tasks";
    default:
      return nullptr;
  }
}

void StartTask(PexoVM* vm, int32_t block_length, int32_t isolation) {
  if (vm->stopping()) {
    vm->branch(block_length);
    return;
  }
  PexoApplication* host = vm->application();
  int result = host ? host->StartTask(vm, isolation) : static_cast<int>(kTaskUnsupported);
  if (result == kTaskRunHere) return;
  const char* failure = StartFailure(result);
  if (failure) vm->runtime_error(kTagPxASYNCHRONOUS, failure);
  vm->branch(block_length);
}

void Async(PexoVM* vm, const TagOperands& operands) { StartTask(vm, operands.first, 0); }

void AsyncN(PexoVM* vm, const TagOperands& operands) {
  if (operands.second != 0 && operands.second != 1) {
    vm->fatal_error("Invalid number of parameters to ASYNCN");
    return;
  }
  int32_t isolation = 0;
  if (operands.second == 1) {
    PoppedText text;
    vm->stack()->pop_string(&text);
    String unsupported;
    if (!ParseTaskIsolation(text.bytes, text.length, &isolation, &unsupported)) {
      String message("Unsupported isolation flag \"");
      message.append(unsupported);
      message.append('"');
      vm->runtime_error(kTagPxASYNCHRONOUS, message.c_str());
      vm->branch(operands.first);
      return;
    }
  }
  StartTask(vm, operands.first, isolation);
}

}  // namespace

void RegisterTaskInstructions(TagInstructionTable* table) {
  table->Set(OP_ASYNC, Async);
  table->Set(OP_ASYNCN, AsyncN);
}

}  // namespace pexo
