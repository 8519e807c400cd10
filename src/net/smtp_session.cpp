#include "net/smtp_session.h"

#include <unistd.h>

#include "net/network_state.h"
#include "net/pexo_vm_logging_network_connection.h"
#include "vm/machine_host.h"
#include "vm/pexo_vm.h"

namespace pexo {
namespace {

std::unique_ptr<NetworkConnection> WrapForLog(void* machine,
                                              std::unique_ptr<NetworkConnection> inner) {
  return PexoVMLoggingNetworkConnection::Wrap(std::move(inner), static_cast<PexoVM*>(machine),
                                              kTraceSmtp);
}

String LocalHostName() {
  char name[256] = "";
  if (gethostname(name, sizeof name - 1) != 0 || !name[0]) return String("localhost");
  name[sizeof name - 1] = 0;
  return String(name);
}

}  // namespace

int32_t SMTPOutput::WriteAndFlush(const char* data, int32_t length) {
  return owner_ ? owner_->WriteAndFlush(data, length) : 0;
}

int SMTPOutput::SetHeader(const char* name, int32_t name_length, bool name_owned,
                          const char* value, int32_t value_length, bool value_owned) {
  if (!owner_)
    return Output::SetHeader(name, name_length, name_owned, value, value_length, value_owned);
  return owner_->SetHeader(name, name_length, name_owned, value, value_length, value_owned);
}

SMTP::SMTP(PexoVM* vm, NetworkState* state, int32_t timeout, int32_t buffer)
    : Feature(vm, kFeatureSMTP),
      state_(state),
      service_(state->manager(), timeout),
      timeout_(timeout),
      buffer_(buffer > 0 ? buffer : SMTPService::kDefaultBufferSize) {
  service_.set_wrapper(&WrapForLog, vm);
  service_.SetLocalHostName(LocalHostName());
  service_.SetBufferSize(buffer_);
}

SMTP::~SMTP() {
  if (RestoreOutput()) {
    failed_ = true;  // nothing more reaches the session
    output_.reset();
  }
  service_.Abort();
}

bool SMTP::RestoreOutput() {
  if (!output_ || !host()) return false;
  host()->SetOutput(previous_);
  return true;
}

int SMTP::Open(const SmtpMessage& message) {
  if (!host()) {
    error_.assign("Mail bodies need a host output");
    return 0;
  }
  if (!service_.Start(message)) {
    error_ = service_.ErrorText();
    return 0;
  }
  output_.reset(new SMTPOutput(this, buffer_, timeout_));
  previous_ = host()->SetOutput(output_.get());
  if (!previous_) {
    output_.reset();
    service_.Abort();
    error_.assign("Mail bodies need a host output");
    return 0;
  }
  output_->set_owner(previous_);
  output_->SetWhitespaceMode(previous_->GetWhitespaceMode());
  return 1;
}

int32_t SMTP::SendBytes(const char* data, int32_t length, int32_t) {
  if (failed_) return -1;
  state_->manager();  // the deadline may have moved on
  if (!service_.WriteBody(data, length)) {
    failed_ = true;
    return -1;
  }
  return length;
}

int SMTP::End() {
  if (!output_) {
    error_.assign("No SMTP session");
    return 0;
  }
  state_->manager();
  output_->Flush();
  RestoreOutput();
  output_.reset();
  if (failed_ || !service_.Finish()) {
    error_ = service_.ErrorText();
    service_.Abort();
    return 0;
  }
  return 1;
}

}  // namespace pexo
