#include "net/pexo_vm_logging_network_connection.h"

#include "vm/machine_host.h"
#include "vm/pexo_vm.h"

namespace pexo {

PexoVMLoggingNetworkConnection::PexoVMLoggingNetworkConnection(
    std::unique_ptr<NetworkConnection> inner, PexoVM* machine, uint32_t kind)
    : LoggingNetworkConnection(std::move(inner), nullptr, nullptr),
      machine_(machine),
      kind_(kind) {}

std::unique_ptr<NetworkConnection> PexoVMLoggingNetworkConnection::Wrap(
    std::unique_ptr<NetworkConnection> inner, PexoVM* machine, uint32_t kind) {
  if (!inner || !machine || !(machine->trace_mask() & kind)) return inner;
  return std::unique_ptr<NetworkConnection>(
      new PexoVMLoggingNetworkConnection(std::move(inner), machine, kind));
}

void PexoVMLoggingNetworkConnection::Log(Direction direction, const char* bytes, int32_t length) {
  PexoApplication* app = machine_->application();
  if (!app) return;
  const String& source = machine_->source_file_name();
  if (!app->LogFilterAccepts(source.c_str(), machine_->line())) return;
  String block(bytes, length);  // terminated for the event
  TraceEvent event;
  event.kind = kind_;
  event.program = machine_->context().program_path;
  event.source_file = source.c_str();
  event.line = machine_->line();
  event.name = direction == kSent ? "sent" : "received";
  event.value = block.c_str();
  app->LogEvent(event);
}

}  // namespace pexo
