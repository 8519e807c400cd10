#include "io/io_instructions.h"

#include <cstdlib>
#include <memory>

#include "io/capture_service.h"
#include "io/lockfile_service.h"
#include "values/variable.h"
#include "vm/error_table.h"
#include "vm/pexo_vm.h"
#include "vm/vm_stack.h"

namespace pexo {

namespace {

void StartService(PexoVM* vm, std::unique_ptr<Feature> service, int32_t tag) {
  if (!service->Start()) {
    vm->runtime_error(tag, service->ErrorText().c_str());
    return;
  }
  vm->services().Push(std::move(service));
}

// Ends and stops the innermost service of `kind`.
void EndService(PexoVM* vm, int32_t kind, int32_t tag) {
  Feature* service = vm->services().Find(kind);
  if (!service) {
    vm->fatal_error("Invalid instruction");
    return;
  }
  int ended = service->End();
  String error;
  if (!ended) error = service->ErrorText();
  vm->services().Stop(service);
  if (!ended) vm->runtime_error(tag, error.c_str());
}

void OpCapture(PexoVM* vm, const TagOperands&) {
  Variable* target = nullptr;
  bool owned = false;
  if (!vm->stack()->pop_variable(&target, &owned) || vm->stopping()) {
    if (target && owned) target->Release();
    return;
  }
  auto capture = std::make_unique<Capture>(vm, target);
  if (owned) target->Release();  // the service holds its own reference
  StartService(vm, std::move(capture), kTagPxCAPTURE);
}

void OpCaptureEnd(PexoVM* vm, const TagOperands&) {
  EndService(vm, kFeatureCapture, kTagPxCAPTURE);
}

void OpLockfile(PexoVM* vm, const TagOperands&) {
  int32_t length = 0;
  char* name = vm->stack()->pop_name(&length);
  if (!name || vm->stopping()) {
    std::free(name);
    return;
  }
  auto lock = std::make_unique<Lockfile>(vm, vm->context().files, name, length);
  std::free(name);
  StartService(vm, std::move(lock), kTagPxLOCKFILE);
}

void OpLockfileEnd(PexoVM* vm, const TagOperands&) {
  EndService(vm, kFeatureLockfile, kTagPxLOCKFILE);
}

}  // namespace

void RegisterIoInstructions(TagInstructionTable* table) {
  table->Set(0x0058, OpCapture);
  table->Set(0x0059, OpCaptureEnd);
  table->Set(0x0048, OpLockfile);
  table->Set(0x0049, OpLockfileEnd);
}

}  // namespace pexo
