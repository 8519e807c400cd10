#include "host/script_function.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "expr/expression_compiler.h"
#include "program/function_manager.h"
#include "program/program_image.h"
#include "values/variable.h"
#include "values/variable_hash.h"
#include "vm/pexo_vm.h"
#include "vm/vm_stack.h"

namespace pexo {
namespace {

// Compiles `call` into the program and runs it on the machine.
UploadCallResult CompileAndRun(PexoVM* vm, ProgramImage* image, const std::string& call,
                               Variable* result) {
  ExpressionProgram program;
  program.segments = &image->segments();
  program.dictionary = &image->dictionary();
  program.functions = &image->functions();
  ExpressionCompiler compiler(program, call.data(), static_cast<int32_t>(call.size()));
  if (!compiler.compile()) return kUploadCallFailed;
  // A fresh stack, so nothing the machine left on its own is consumed; a
  // function that returns no value leaves it empty.
  PexoVM_Stack stack(vm);
  int ran = vm->run_segment(compiler.segment(), &stack, nullptr);
  if (ran != 1 || vm->fatal() || vm->flags()->exit.load()) return kUploadCallFailed;
  if (result && stack.depth() > 0) stack.pop_into(result);
  return kUploadCallDone;
}

}  // namespace

UploadCallResult CallScriptFunction(PexoVM* vm, ProgramImage* image, const char* name,
                                    const std::vector<String>& arguments, Variable* result) {
  if (!vm || !image || !vm->globals()) return kUploadCallFailed;
  Function* function = image->functions().find(name, static_cast<int32_t>(std::strlen(name)));
  if (!function || function->is_external()) return kUploadCallUndefined;
  if (function->parameters().size() != arguments.size()) return kUploadCallFailed;
  if (vm->fatal() || vm->flags()->exit.load()) return kUploadCallFailed;

  // The arguments travel as global variables of reserved names, never as
  // text spliced into code, so that a visitor's file name cannot change what
  // is compiled. They are removed again after the call.
  VariableHash* globals = vm->globals();
  std::vector<std::string> names;
  bool ok = true;
  std::string call = std::string(name) + "(";
  for (size_t i = 0; i < arguments.size(); ++i) {
    char variable[48];
    std::snprintf(variable, sizeof variable, "pexo_callarg_%zu", i + 1);
    names.push_back(variable);
    if (!globals->SetVariable(variable, static_cast<int32_t>(std::strlen(variable)),
                              arguments[i].data(), arguments[i].length())) {
      ok = false;
      break;
    }
    if (i > 0) call += ", ";
    call += variable;
  }
  call += ")";
  UploadCallResult outcome = ok ? CompileAndRun(vm, image, call, result) : kUploadCallFailed;
  for (const std::string& variable : names)
    globals->ClearVariable(variable.c_str(), static_cast<int32_t>(variable.size()));
  return outcome;
}

}  // namespace pexo
