#include "ext/external_function.h"

#include "ext/external_call.h"
#include "ext/external_call_manager.h"
#include "program/function.h"

namespace pexo {

const char kExternalParameterCountMismatch[] =
    "Number of parameters mismatch in call to external function";
const char kExternalParameterMismatch[] = "Parameter type mismatch in call to external function";

ExternalCall* BindExternalFunction(ExternalCallManager* manager, Function* function,
                                   String* error) {
  ExternalCall* call = static_cast<ExternalCall*>(function->binding());
  if (!call) {
    if (manager) call = manager->Find(function->name().data(), function->name().length());
    if (!call) {
      error->assign("Unresolved call to external function '");
      error->append(function->name());
      error->append("'");
      return nullptr;
    }
    function->set_binding(call);
  }
  if (call->parameter_count() != static_cast<int32_t>(function->parameters().size())) {
    error->assign(kExternalParameterCountMismatch);
    return nullptr;
  }
  return call;
}

bool ExternalParameterMatches(const ExternalCall& call, const Function& function, int32_t index) {
  if (index < 0 || index >= static_cast<int32_t>(function.parameters().size())) return false;
  const int32_t declared =
      function.parameters()[static_cast<size_t>(index)].by_reference ? PEXO_PARAMETER_BY_REFERENCE
                                                                     : 0;
  return call.parameter_flags(index) == declared;
}

}  // namespace pexo
