#include "io/network_output.h"

namespace pexo {

OutputConnection::~OutputConnection() = default;

NetworkOutput::NetworkOutput(Output* owner, OutputConnection* connection, int32_t capacity,
                             int32_t timeout)
    : BufferedOutput(capacity), owner_(owner), connection_(connection), timeout_(timeout) {}

// Flush here, not in the base: Transmit is ours and is gone once the base
// destructor runs.
NetworkOutput::~NetworkOutput() { Flush(); }

int32_t NetworkOutput::WriteAndFlush(const char* data, int32_t length) {
  if (!owner_) return 0;
  return owner_->WriteAndFlush(data, length);
}

int NetworkOutput::SetHeader(const char* name, int32_t name_length, bool name_owned,
                             const char* value, int32_t value_length, bool value_owned) {
  if (!owner_) return Output::SetHeader(name, name_length, name_owned, value, value_length, value_owned);
  return owner_->SetHeader(name, name_length, name_owned, value, value_length, value_owned);
}

int32_t NetworkOutput::Transmit(const char* data, int32_t length) {
  if (!connection_) return -1;
  return connection_->SendBytes(data, length, timeout_);
}

}  // namespace pexo
