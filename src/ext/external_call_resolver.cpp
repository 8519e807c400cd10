#include "ext/external_call_resolver.h"

#include "ext/external_call.h"
#include "ext/external_call_manager.h"

namespace pexo {

bool ExternalCallResolver::FindExternalFunction(const char* name, int32_t length,
                                                ExternalFunctionInfo* info) {
  ExternalCall* call = calls_ ? calls_->Find(name, length) : nullptr;
  if (!call) return false;
  const PexoFunctionDescriptor& descriptor = call->descriptor();
  info->binding = call;
  info->parameters.clear();
  for (int32_t i = 0; i < descriptor.parameter_count && descriptor.parameters; ++i) {
    const PexoParameterDescriptor& p = descriptor.parameters[i];
    info->parameters.push_back({p.name ? p.name : "", p.name ? p.name_length : 0, p.flags});
  }
  return true;
}

}  // namespace pexo
