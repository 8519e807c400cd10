#include "ext/external_function.h"

#include "ext/external_call.h"
#include "ext/external_call_manager.h"
#include "program/function.h"
#include "values/variable.h"
#include "values/variable_hash.h"
#include "vm/machine_extensions.h"

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
      UnresolvedExternalMessage(function->name(), error);
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

namespace {

bool BindArgument(const FunctionParameter& parameter, VariableHash* scope,
                  ExternalArguments* arguments, String* error) {
  if (parameter.by_reference) {
    Variable* caller_variable = arguments->PopVariable(error);
    if (!caller_variable) return false;
    scope->ReferenceEntry(parameter.local_index, caller_variable);
    caller_variable->Release();  // the scope holds its own reference
    if (scope->VariableAt(parameter.local_index, false)) return true;
  } else {
    Variable* target = scope->VariableAt(parameter.local_index, true);
    if (target) return arguments->PopInto(target, error);
  }
  error->assign("Invalid parameter reference");
  return false;
}

}  // namespace

int CallExternalFunction(ExternalCallManager* manager, Function* function, void* program,
                         VariableHash* scope, ExternalArguments* arguments, Variable** result,
                         String* error) {
  *result = nullptr;
  error->clear();
  ExternalCall* call = BindExternalFunction(manager, function, error);
  if (!call) return 0;
  const auto& parameters = function->parameters();
  for (int32_t i = static_cast<int32_t>(parameters.size()) - 1; i >= 0; --i) {
    if (!ExternalParameterMatches(*call, *function, i)) {
      error->assign(kExternalParameterMismatch);
      scope->ReleaseVariables();
      return 0;
    }
    if (!BindArgument(parameters[static_cast<size_t>(i)], scope, arguments, error)) {
      scope->ReleaseVariables();
      return 0;
    }
  }
  *result = call->Invoke(program, scope);
  scope->ReleaseVariables();
  return 1;
}

}  // namespace pexo
