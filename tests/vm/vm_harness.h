// Test harness: assembles a program, loads it, runs it on a machine whose
// host (the shared fake) records everything it is given.
#ifndef PEXO_TESTS_VM_VM_HARNESS_H_
#define PEXO_TESTS_VM_VM_HARNESS_H_

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <string>
#include <utility>
#include <vector>

#include "host/script_image.h"
#include "program/assembler.h"
#include "program/program_writer.h"
#include "support/fake_host.h"
#include "values/system_variable_hash.h"
#include "values/variable.h"
#include "values/variable_hash.h"
#include "vm/pexo_vm.h"
#include "vm/vm_frame.h"
#include "vm/vm_stack.h"
#include "api/machine_api_context.h"

namespace pexo {

class ExternalCallManager;
class ExternalFunctionResolver;
class FileManager;

namespace testing_vm {

class Machine {
 public:
  // Assembles and loads; a failure fails the current test.
  bool Load(const std::string& source) {
    ProgramWriter writer;
    String errors;
    if (!Assemble(source.data(), static_cast<int32_t>(source.size()), "test.pxa", &writer, &errors)) {
      ADD_FAILURE() << errors.c_str();
      return false;
    }
    std::string bytes;
    if (!writer.build(&bytes, &errors)) {
      ADD_FAILURE() << errors.c_str();
      return false;
    }
    if (!script.LoadBytes(bytes.data(), bytes.size(), "test.pxc", &errors)) {
      ADD_FAILURE() << errors.c_str();
      return false;
    }
    ProgramContext context;
    context.application = &app;
    context.flags = &flags;
    context.dictionary = &script.image().dictionary();
    context.system = script.system();
    context.globals = script.globals();
    context.segments = &script.image().segments();
    context.functions = &script.image().functions();
    context.program_path = "dir/test.pxc";
    context.calls = calls;
    context.extensions = extensions;
    context.tag_instructions = tag_instructions;
    context.files = files;
    context.externals = externals;
    context.databases = databases;
    vm = std::make_unique<PexoVM>(context);
    return true;
  }

  int Run(const std::string& source) {
    if (!Load(source)) return -1;
    return vm->run_program();
  }

  // A global's text ("<none>" when it does not exist).
  std::string Global(const char* name) {
    Variable* variable = nullptr;
    if (!script.globals()->Find(name, -1, false, &variable) || !variable) return "<none>";
    return variable->Value().c_str();
  }
  Variable* GlobalVariable(const char* name) {
    Variable* variable = nullptr;
    script.globals()->Find(name, -1, false, &variable);
    return variable;
  }
  std::string LastError() { return vm->last_error().c_str(); }

  FakeHost app;
  HostFlags flags;
  // Library functions, when the test registers any (set before Load).
  ExternalCallManager* calls = nullptr;
  // The machine's link to libraries and its program handle (null: none).
  MachineExtensionsFactory extensions = MachineApiContext::Make;
  // Handlers of tag instructions (null: none; set before Load).
  const TagInstructionTable* tag_instructions = nullptr;
  // The sandboxed files the program reaches (null: none; set before Load).
  FileManager* files = nullptr;
  // Library functions for expressions tags compile (null: none).
  ExternalFunctionResolver* externals = nullptr;
  // The machine's databases (null: none).
  MachineDatabasesFactory databases = nullptr;
  ScriptImage script;
  std::unique_ptr<PexoVM> vm;
};

}  // namespace testing_vm
}  // namespace pexo

#endif  // PEXO_TESTS_VM_VM_HARNESS_H_
