#include "ext/commerce.h"

#include <memory>
#include <utility>

#include "ext/commerce_library_manager.h"
#include "program/opcodes.h"
#include "values/variable.h"
#include "values/variable_hash.h"
#include "vm/error_table.h"
#include "vm/machine_scopes.h"
#include "vm/pexo_vm.h"
#include "vm/tag_instructions.h"
#include "vm/vm_stack.h"

namespace pexo {

namespace {

void* Handle(PexoVM* vm) { return static_cast<void*>(vm->api_context()); }

// PxCOMMERCE_Error: empty after a successful start, the library's text
// after a failing loop call.
void SetCommerceError(PexoVM* vm, const char* text, int32_t length) {
  VariableHash* globals = vm->globals();
  if (!globals) return;
  Variable* variable = nullptr;
  if (!globals->Find("PxCOMMERCE_Error", -1, true, &variable) || !variable)
    variable = globals->VariableAt(globals->InsertName("PxCOMMERCE_Error", -1), true);
  if (variable) variable->SetValue(text, length);
}

String PopText(PexoVM* vm) {
  PoppedText text;
  vm->stack()->pop_string(&text);
  return String(text.bytes, text.length);
}

void BeginCommerce(PexoVM* vm, const TagOperands& operands) {
  String fields = PopText(vm);
  String second = PopText(vm);
  String method = PopText(vm);
  if (vm->fatal()) return;
  std::unique_ptr<Commerce> commerce(new Commerce(vm, method, second));
  commerce->set_fields_text(fields.data(), fields.length());
  commerce->set_manager(vm->context().commerce);
  if (!commerce->Start()) {
    vm->runtime_error(kTagPxCOMMERCE, commerce->ErrorText().c_str());
    vm->branch(operands.first);
    return;
  }
  SetCommerceError(vm, "", 0);
  bool failed = false;
  if (commerce->NextPass(&failed)) {
    vm->services().Push(std::move(commerce));
    return;
  }
  if (failed) SetCommerceError(vm, commerce->ErrorText().data(), commerce->ErrorText().length());
  vm->branch(operands.first);
}

Commerce* Innermost(PexoVM* vm) {
  Feature* service = vm->services().Find(kFeatureCommerce);
  if (!service) vm->fatal_error("Invalid instruction");
  return static_cast<Commerce*>(service);
}

void CommerceLoop(PexoVM* vm, const TagOperands& operands) {
  Commerce* commerce = Innermost(vm);
  if (!commerce) return;
  bool failed = false;
  if (commerce->NextPass(&failed)) {
    vm->branch(operands.first);
    return;
  }
  if (failed) SetCommerceError(vm, commerce->ErrorText().data(), commerce->ErrorText().length());
  vm->services().Stop(commerce);
}

void CommerceStop(PexoVM* vm, const TagOperands& operands) {
  Commerce* commerce = Innermost(vm);
  if (!commerce) return;
  vm->services().Stop(commerce);
  vm->branch(operands.first);
}

}  // namespace

Commerce::Commerce(PexoVM* vm, const String& method, const String& second)
    : Feature(vm, kFeatureCommerce), method_(method), second_(second) {}

Commerce::~Commerce() {
  if (library_)
    library_->cleanup(Handle(vm()), &state_, method_.c_str(), second_.c_str(), &fields_);
}

int Commerce::Start() {
  if (BuildMachineFieldList(vm(), fields_text_, &fields_, &error_) < 0)
    return 0;
  if (!manager_) {
    error_.assign("Commerce method '");
    error_.append(method_);
    error_.append("' is unsupported or not configured");
    return 0;
  }
  library_ = manager_->Get(method_.c_str(), method_.length());
  if (!library_) {
    error_ = manager_->ErrorText();
    return 0;
  }
  if (library_->init(Handle(vm()), &state_, method_.c_str(), second_.c_str(), &fields_,
                     vm()->globals()) != 0) {
    error_.assign(LibraryError());
    return 0;
  }
  return 1;
}

bool Commerce::NextPass(bool* failed) {
  *failed = false;
  int32_t pass = passes_++;
  int answer = library_->loop(Handle(vm()), &state_, method_.c_str(), second_.c_str(), &fields_,
                              vm()->globals(), pass);
  if (answer == 0) return true;
  if (answer == 1) {
    *failed = true;
    error_.assign(LibraryError());
  }
  return false;
}

const char* Commerce::LibraryError() {
  const char* text =
      library_->error_text(Handle(vm()), &state_, method_.c_str(), second_.c_str(), &fields_);
  return text ? text : "";
}

void RegisterCommerceInstructions(TagInstructionTable* table) {
  table->Set(OP_COMMERCE, BeginCommerce);
  table->Set(OP_COMMERCE_LOOP, CommerceLoop);
  table->Set(OP_COMMERCE_STOP, CommerceStop);
}

}  // namespace pexo
