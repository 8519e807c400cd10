#include "io/capture_service.h"

#include "values/variable.h"
#include "vm/machine_host.h"

namespace pexo {

Capture::Capture(PexoVM* vm, Variable* target) : Feature(vm, kFeatureCapture), target_(target) {
  if (target_) target_->Retain();
}

Capture::~Capture() {
  Restore();
  delete capture_;
  if (target_) target_->Release();
}

int Capture::Start() {
  Output* current = host() ? host()->CurrentOutput() : nullptr;
  if (!current) {
    error_.assign("Output cannot be captured by this host");
    return 0;
  }
  capture_ = new CaptureOutput(current);
  capture_->SetWhitespaceMode(current->GetWhitespaceMode());
  previous_ = host()->SetOutput(capture_);
  installed_ = true;
  return 1;
}

int Capture::End() {
  if (!installed_) return 1;
  int32_t length = 0;
  int32_t capacity = 0;
  char* text = capture_->TakeText(&length, &capacity);
  Restore();
  if (!text) {
    error_.assign("Allocation failed");
    return 0;
  }
  if (target_) target_->SetValue_Nocopy(text, length, capacity);
  return 1;
}

void Capture::Restore() {
  if (!installed_) return;
  installed_ = false;
  // The mode the captured text ended in travels back with the swap.
  if (previous_) previous_->SetWhitespaceMode(capture_->GetWhitespaceMode());
  host()->SetOutput(previous_);
}

}  // namespace pexo
