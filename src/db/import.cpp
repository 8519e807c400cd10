#include "db/import.h"

#include <utility>

#include "vm/machine_scopes.h"
#include "expr/expression_compiler.h"
#include "io/file.h"
#include "io/file_manager.h"
#include "values/config.h"
#include "values/variable.h"
#include "vm/pexo_vm.h"
#include "vm/vm_stack.h"

namespace pexo {

namespace {

constexpr int32_t kDefaultBlock = 8192;
// A configured block size outside these bounds is taken as the bound.
constexpr int32_t kSmallestBlock = 512;
constexpr int32_t kLargestBlock = 1 << 24;

int32_t ReadBlockSize(PexoVM* vm) {
  Config* config = vm->context().config;
  int32_t size = config ? config->GetInteger(CFG_BUFSZ_IMPORT) : kDefaultBlock;
  if (size < kSmallestBlock) return size <= 0 ? kDefaultBlock : kSmallestBlock;
  return size > kLargestBlock ? kLargestBlock : size;
}

}  // namespace

Import::Import(PexoVM* vm, ImportRequest request)
    : Feature(vm, kFeatureImport), request_(std::move(request)) {}

Import::~Import() {
  reader_.reset();
  file_.reset();
  if (recno_) recno_->Release();
}

int Import::Start() {
  PexoVM* machine = vm();
  FileManager* files = machine->context().files;
  file_.reset(files ? files->Open(FILE_DATA, request_.file.c_str(), FILE_READ) : nullptr);
  if (!file_) {
    error_.assign("Error opening '");
    error_.append(request_.file);
    error_.append("': ");
    error_.append(files ? files->ErrorText().c_str() : "No file access in this request");
    return 0;
  }
  reader_.reset(new FlatLineReader(file_.get(), ReadBlockSize(machine)));
  if (BuildMachineFieldList(machine, request_.fields, &targets_, &error_) < 0) return 0;
  MachineScopes scopes(machine);
  String resolve_error;
  if (!ResolveVariableName(&scopes, "recno", -1, &recno_, &resolve_error)) recno_ = nullptr;
  if (recno_) recno_->Retain();
  if (request_.filter.empty()) return 1;

  const ProgramContext& context = machine->context();
  ExpressionProgram program;
  program.externals = context.externals;
  program.segments = context.segments;
  program.dictionary = context.dictionary;
  program.functions = context.functions;
  ExpressionOptions options;
  const String& source = machine->source_file_name();
  if (!source.empty()) {
    options.source_name = source.data();
    options.source_length = source.length();
  }
  options.line = machine->line();
  String message("Dynamic expressions are not available in this program");
  if (program.segments && program.dictionary && program.functions) {
    ExpressionCompiler compiler(program, request_.filter.data(), request_.filter.length(),
                                options);
    if (compiler.compile()) {
      filter_ = compiler.segment();
      return 1;
    }
    message.assign(compiler.error());
  }
  error_.assign("Syntax error in filter: ");
  error_.append(message);
  return 0;
}

int Import::Passes() {
  if (!filter_) return 1;
  PexoVM* machine = vm();
  // A fresh stack: the filter must not consume what the loop's code left.
  PexoVM_Stack stack(machine);
  const int ran = machine->run_segment(filter_, &stack, nullptr);
  // Code the filter called may have stopped this import (a stray
  // import_stop): then nothing of it may be touched any more.
  if (machine->services().Find(kFeatureImport) != this) return -2;
  if (ran != 1 || machine->stopping()) return -1;
  return stack.depth() > 0 && stack.pop_truth() ? 1 : 0;
}

int Import::Next() {
  for (;;) {
    const int read = reader_->ReadLine(&line_);
    if (read == 0) return 0;
    if (read < 0) {
      error_.assign("Error reading from '");
      error_.append(request_.file);
      error_.append("': ");
      error_.append(reader_->error());
      return -1;
    }
    SplitFlatLine(line_, request_.delimiter, &targets_);
    const int passes = Passes();
    if (passes == -2) return -2;
    if (passes < 0) {
      error_.clear();
      return -1;
    }
    if (!passes) continue;
    ++count_;
    if (recno_) recno_->SetValue_Integer(count_);
    return 1;
  }
}

}  // namespace pexo
