#include "vm/service_stack.h"

namespace pexo {

void ServiceStack::Push(std::unique_ptr<Feature> service) {
  if (service) services_.push_back(std::move(service));
}

Feature* ServiceStack::Find(int32_t kind) const {
  for (size_t i = services_.size(); i-- > 0;)
    if (services_[i]->kind() == kind) return services_[i].get();
  return nullptr;
}

void ServiceStack::Stop(Feature* service) {
  for (size_t i = services_.size(); i-- > 0;) {
    if (services_[i].get() == service) {
      StopDownTo(i);
      return;
    }
  }
}

void ServiceStack::StopAbove(Feature* service) {
  for (size_t i = services_.size(); i-- > 0;) {
    if (services_[i].get() == service) {
      StopDownTo(i + 1);
      return;
    }
  }
}

void ServiceStack::StopFrame(const PexoVM_Frame* frame) {
  // Services of a frame sit above those of its callers, so the lowest one
  // started by `frame` bounds what goes.
  for (size_t i = 0; i < services_.size(); ++i) {
    if (services_[i]->frame() == frame) {
      StopDownTo(i);
      return;
    }
  }
}

void ServiceStack::StopAll() { StopDownTo(0); }

void ServiceStack::NotifySignal(int32_t signal) {
  for (size_t i = services_.size(); i-- > 0;) services_[i]->SignalNotification(signal);
}

void ServiceStack::StopDownTo(size_t count) {
  // A destructor may look at the stack (an output handed back, say), so each
  // service is popped before it is destroyed.
  while (services_.size() > count) {
    std::unique_ptr<Feature> top = std::move(services_.back());
    services_.pop_back();
    top.reset();
  }
}

}  // namespace pexo
