#include "vm/feature.h"

#include "vm/pexo_vm.h"

namespace pexo {

Feature::Feature(PexoVM* vm, int32_t kind)
    : host_(vm->application()), vm_(vm), frame_(vm->frame()), kind_(kind) {}

Feature::~Feature() = default;

void Feature::SignalNotification(int32_t) {}

int Feature::Start() { return 1; }

int Feature::End() { return 1; }

}  // namespace pexo
