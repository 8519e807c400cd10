// Test harness: assembles a program, loads it, runs it on a machine whose
// host records everything it is given.
#ifndef PEXO_TESTS_VM_VM_HARNESS_H_
#define PEXO_TESTS_VM_VM_HARNESS_H_

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <string>
#include <utility>
#include <vector>

#include "vm/machine_host.h"
#include "host/script_image.h"
#include "program/assembler.h"
#include "program/program_writer.h"
#include "values/system_variable_hash.h"
#include "values/variable.h"
#include "values/variable_hash.h"
#include "vm/pexo_vm.h"
#include "vm/vm_frame.h"
#include "vm/vm_stack.h"
#include "api/machine_api_context.h"

namespace pexo {

class ExternalCallManager;

namespace testing_vm {

struct RuntimeReport {
  int32_t tag;
  std::string text;
  bool display;
};

class RecordingApplication : public PexoApplication {
 public:
  void Write(const char* bytes, int32_t length) override { output.append(bytes, static_cast<size_t>(length)); }
  void Emit(const char* bytes, int32_t length) override {
    emitted.push_back(std::to_string(whitespace_mode) + ":" + std::string(bytes, static_cast<size_t>(length)));
    output.append(bytes, static_cast<size_t>(length));
  }
  void SetWhitespaceMode(int32_t mode) override { whitespace_mode = mode; }
  void SetHeader(const char* name, const char* value) override {
    headers.emplace_back(name, value);
  }
  void WriteMessage(const char* text, int32_t length) override {
    output.append(text, static_cast<size_t>(length));
  }
  void ReportFatalError(const String& message) override { fatal.emplace_back(message.c_str()); }
  void ReportRuntimeError(int32_t tag, const String& message, bool display) override {
    runtime.push_back(RuntimeReport{tag, message.c_str(), display});
  }
  void ReportTimeout(const char* message) override { timeouts.emplace_back(message); }
  uint32_t DebugLogLevel() override { return debug_level; }
  bool LogFilterAccepts(const char*, int32_t line) override { return line >= min_line; }
  void LogEvent(const TraceEvent& event) override {
    std::string text = TraceEventName(event.kind);
    text += "|" + std::string(event.source_file) + ":" + std::to_string(event.line);
    if (*event.name) text += "|" + std::string(event.name);
    if (*event.detail) text += "|" + std::string(event.detail);
    if (*event.value) text += "=" + std::string(event.value);
    events.push_back(text);
  }
  bool PasswordHash(const char* text, int32_t length, const char salt[2], String* result) override {
    salts.emplace_back(salt, 2);
    return SystemPasswordHash(text, length, salt, result);
  }

  std::string output;
  std::vector<std::string> emitted;
  int32_t whitespace_mode = 0;
  std::vector<std::pair<std::string, std::string>> headers;
  std::vector<std::string> fatal;
  std::vector<RuntimeReport> runtime;
  std::vector<std::string> timeouts;
  std::vector<std::string> events;
  std::vector<std::string> salts;
  uint32_t debug_level = 0;
  int32_t min_line = 0;
};

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

  RecordingApplication app;
  HostFlags flags;
  // Library functions, when the test registers any (set before Load).
  ExternalCallManager* calls = nullptr;
  // The machine's link to libraries and its program handle (null: none).
  MachineExtensionsFactory extensions = MachineApiContext::Make;
  ScriptImage script;
  std::unique_ptr<PexoVM> vm;
};

}  // namespace testing_vm
}  // namespace pexo

#endif  // PEXO_TESTS_VM_VM_HARNESS_H_
