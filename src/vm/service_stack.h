// ServiceStack: a machine's active tag services, innermost on top. Stopping
// a service first stops (pops and destroys) every service above it, so a
// construct never outlives one nested inside it.
#ifndef PEXO_VM_SERVICE_STACK_H_
#define PEXO_VM_SERVICE_STACK_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "vm/feature.h"

namespace pexo {

class PexoVM_Frame;

class ServiceStack {
 public:
  ServiceStack() = default;
  ServiceStack(const ServiceStack&) = delete;
  ServiceStack& operator=(const ServiceStack&) = delete;
  ~ServiceStack() { StopAll(); }

  // Takes ownership.
  void Push(std::unique_ptr<Feature> service);
  // The innermost service of `kind`, or null.
  Feature* Find(int32_t kind) const;
  // Stops every service above `service`, then `service` itself; nothing
  // when it is not on the stack.
  void Stop(Feature* service);
  // Stops every service above `service`, which stays; nothing when it is
  // not on the stack (an end instruction finishing its construct first).
  void StopAbove(Feature* service);
  // Stops the services `frame` started (and any above them): its function
  // returned or was unwound.
  void StopFrame(const PexoVM_Frame* frame);
  // Stops everything, innermost first (the end of the request).
  void StopAll();
  void NotifySignal(int32_t signal);

  bool empty() const { return services_.empty(); }
  int32_t size() const { return static_cast<int32_t>(services_.size()); }

 private:
  // Pops and destroys services until `count` remain.
  void StopDownTo(size_t count);

  std::vector<std::unique_ptr<Feature>> services_;
};

}  // namespace pexo

#endif  // PEXO_VM_SERVICE_STACK_H_
