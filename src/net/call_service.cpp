#include "net/call_service.h"

#include <cstdio>

#include "io/file.h"
#include "io/file_manager.h"
#include "net/network_state.h"
#include "net/pexo_vm_logging_network_connection.h"
#include "values/aggregate_index.h"
#include "values/variable.h"
#include "values/variable_hash.h"
#include "vm/machine_host.h"

namespace pexo {
namespace {

class SandboxedFileReader : public CallFileReader {
 public:
  explicit SandboxedFileReader(File* file) : file_(file) {}
  ~SandboxedFileReader() override { delete file_; }
  int64_t Size() const override { return file_->Size(); }
  int32_t Read(char* buffer, int32_t size) override { return file_->Read(buffer, size); }

 private:
  File* file_;
};

std::unique_ptr<NetworkConnection> WrapForLog(void* machine,
                                              std::unique_ptr<NetworkConnection> inner) {
  return PexoVMLoggingNetworkConnection::Wrap(std::move(inner), static_cast<PexoVM*>(machine),
                                              kTraceHttpCall);
}

}  // namespace

std::unique_ptr<CallFileReader> SandboxedCallFiles::Open(const String& name) {
  if (!files_) return nullptr;
  File* file = files_->Open(FILE_DATA, name.c_str(), FILE_READ);
  if (!file) return nullptr;
  return std::unique_ptr<CallFileReader>(new SandboxedFileReader(file));
}

Call::Call(PexoVM* vm, NetworkState* state, VariableHash* scope)
    : Feature(vm, kFeatureCall),
      files_(state->files()),
      call_(state->manager(), &files_),
      scope_(scope) {
  call_.set_wrapper(&WrapForLog, vm);
}

Variable* Call::Find(const char* name) {
  Variable* variable = nullptr;
  if (!scope_ || !scope_->Find(name, -1, true, &variable)) return nullptr;
  return variable;
}

void Call::Set(const char* name, const String& value) {
  Variable* variable = Find(name);
  if (variable) variable->SetValue(value.data(), value.length());
}

void Call::SetArray(const char* name, const std::vector<String>& values) {
  Variable* variable = Find(name);
  if (!variable) return;
  variable->Clear();
  int32_t index = 1;
  for (const String& value : values) {
    Variable* element = variable->Element(AggregateIndex(index++), 1);
    if (element) element->SetValue(value.data(), value.length());
  }
}

int Call::Open(const CallRequest& request, const TlsOptions& tls, int32_t timeout) {
  if (!call_.Start(request, tls, timeout)) {
    error_ = call_.ErrorText();
    return 0;
  }
  std::vector<String> lines;
  for (const HTTPResponseStream_Header& header : call_.response()->headers())
    lines.push_back(header.line);
  SetArray("callreturnheader", lines);
  Variable* count = Find("callnumberofheaders");
  if (count) count->SetValue_Integer(static_cast<int32_t>(lines.size()));
  if (!call_.server_certificate().empty())
    Set("callservercertificate", call_.server_certificate());
  return 1;
}

int Call::Next() {
  int result = call_.NextObject(&object_);
  if (result < 0) error_ = call_.ErrorText();
  if (result <= 0) return result;
  // The object's text moves into the variable: a whole body is not copied.
  Variable* value = Find("callvalue");
  if (value) {
    int32_t length = 0, capacity = 0;
    char* text = object_.value.release(&length, &capacity);
    if (text)
      value->SetValue_Nocopy(text, length, capacity);
    else
      value->SetValue("", 0);
  }
  Set("callobjecttype", String(object_.is_tag ? "tag" : "text"));
  Set("callobjectelement", object_.element);
  Variable* count = Find("callobjectnumattributes");
  if (count) count->SetValue_Integer(static_cast<int32_t>(object_.names.size()));
  SetArray("callobjectattribute", object_.names);
  SetArray("callobjectvalue", object_.values);
  return 1;
}

}  // namespace pexo
