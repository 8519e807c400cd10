#include "db/import_export_instructions.h"

#include <cstdlib>
#include <memory>
#include <utility>

#include "db/flat_file_format.h"
#include "db/import.h"
#include "vm/machine_scopes.h"
#include "io/file.h"
#include "io/file_manager.h"
#include "program/opcodes.h"
#include "values/variable.h"
#include "values/variable_list.h"
#include "vm/error_table.h"
#include "vm/pexo_vm.h"
#include "vm/tag_instructions.h"
#include "vm/vm_stack.h"

namespace pexo {

namespace {

// Write access, opened or created, every write at the end of the file.
constexpr int32_t kExportOpen = FILE_WRITE | FILE_CREATE | FILE_CREATE_MISSING | FILE_APPEND;

// Popped texts are copied: the variable a borrowed text lives in may be
// assigned before the text is used.
void PopText(PexoVM* vm, String* out) {
  PoppedText text;
  vm->stack()->pop_string(&text);
  out->assign(text.bytes, text.length);
}

void PopFileName(PexoVM* vm, String* out) {
  int32_t length = 0;
  char* name = vm->stack()->pop_name(&length);
  out->assign(name ? name : "", name ? length : 0);
  std::free(name);
}

void FileError(const char* before, const String& file, const char* after, const String& reason,
               String* message) {
  message->assign(before);
  message->append(file);
  message->append(after);
  message->append(reason);
}

void Export(PexoVM* vm, const TagOperands&) {
  String delimiter, fields, file;
  PopText(vm, &delimiter);
  PopText(vm, &fields);
  PopFileName(vm, &file);
  if (vm->stopping()) return;
  String message;
  FileManager* files = vm->context().files;
  std::unique_ptr<File> out(files ? files->Open(FILE_DATA, file.c_str(), kExportOpen) : nullptr);
  if (!out) {
    FileError("Unable to create file '", file, "': ",
              files ? files->ErrorText() : String("No file access in this request"), &message);
    vm->runtime_error(kTagPxEXPORT, message.c_str());
    return;
  }
  VariableList values;
  if (BuildMachineFieldList(vm, fields, &values, &message) < 0) {
    vm->runtime_error(kTagPxEXPORT, message.c_str());
    return;
  }
  String line;
  bool built = true;
  bool first = true;
  for (Variable* value = values.First(); value && built; value = values.Next()) {
    if (!first) built = line.append(delimiter);
    first = false;
    const String& text = value->Value();
    built = built && AppendEscapedValue(&line, text.data(), text.length());
  }
  built = built && line.append('\n');
  // One write per line: concurrent exports to one file never interleave.
  if (!built || !out->Write(line.data(), line.length())) {
    FileError("Unable to write to file '", file, "': ",
              built ? out->ErrorText() : String(kMemoryLimitMessage), &message);
    vm->runtime_error(kTagPxEXPORT, message.c_str());
  }
}

// Moves the loop on to its next line: 1 when the body runs again, else the
// import is over (stopped, with any message reported).
int Advance(PexoVM* vm, Import* import) {
  const int read = import->Next();
  if (read == 1) return 1;
  // -2: code run by the filter already stopped the import.
  if (read == -2) return 0;
  if (read < 0 && !import->ErrorText().empty())
    vm->runtime_error(kTagPxIMPORT, import->ErrorText().c_str());
  vm->services().Stop(import);
  return 0;
}

void StartImport(PexoVM* vm, const TagOperands& operands, bool with_filter) {
  ImportRequest request;
  if (with_filter) PopText(vm, &request.filter);
  PopText(vm, &request.delimiter);
  PopText(vm, &request.fields);
  PopFileName(vm, &request.file);
  if (vm->stopping()) return;
  std::unique_ptr<Import> import(new Import(vm, std::move(request)));
  if (!import->Start()) {
    vm->runtime_error(kTagPxIMPORT, import->ErrorText().c_str());
    vm->branch(operands.first);
    return;
  }
  Import* started = import.get();
  vm->services().Push(std::move(import));
  if (!Advance(vm, started)) vm->branch(operands.first);
}

Import* InnermostImport(PexoVM* vm) {
  Feature* service = vm->services().Find(kFeatureImport);
  if (!service) vm->fatal_error("Invalid instruction");
  return static_cast<Import*>(service);
}

void ImportLoop(PexoVM* vm, const TagOperands& operands) {
  Import* import = InnermostImport(vm);
  if (import && Advance(vm, import)) vm->branch(operands.first);
}

void ImportStop(PexoVM* vm, const TagOperands& operands) {
  Import* import = InnermostImport(vm);
  if (!import) return;
  vm->services().Stop(import);
  vm->branch(operands.first);
}

}  // namespace

void RegisterImportExportInstructions(TagInstructionTable* table) {
  table->Set(OP_EXPORT, Export);
  table->Set(OP_IMPORT, [](PexoVM* vm, const TagOperands& o) { StartImport(vm, o, false); });
  table->Set(OP_IMPORTF, [](PexoVM* vm, const TagOperands& o) { StartImport(vm, o, true); });
  table->Set(OP_IMPORT_LOOP, ImportLoop);
  table->Set(OP_IMPORT_STOP, ImportStop);
}

}  // namespace pexo
