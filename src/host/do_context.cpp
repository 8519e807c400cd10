#include "host/do_context.h"

#include "expr/expression_compiler.h"
#include "ext/external_call_resolver.h"
#include "host/file_byte_stream.h"
#include "host/posix_file_manager.h"
#include "host/program_cache.h"
#include "l10n/localizer.h"
#include "program/segment.h"
#include "values/reference_variable_hash.h"
#include "vm/pexo_vm.h"
#include "vm/vm_stack.h"

namespace pexo {

DoContext::DoContext(const String& path) : path_(path) {}

DoContext::~DoContext() {
  spare_stacks_.clear();
  // The machine refers to the image and the tables.
  machine_.reset();
  localizer_.reset();
  globals_.reset();
  system_.reset();
  image_.reset();
}

bool DoContext::Load(PosixFileManager* files, PexoVM* caller, ProgramCache* programs,
                     int64_t cache_limit) {
  String error;
  std::unique_ptr<FileByteStream> stream =
      FileByteStream::Open(files, FILE_SCRIPT, path_.c_str(), &error);
  if (!stream) {
    error_ = error;
    return false;
  }
  PosixFile* file = stream->file();
  FileIdentity identity;
  bool cacheable = false;
  std::shared_ptr<ProgramImage> shared =
      programs ? programs->FindFile(file, cache_limit, &identity, &cacheable) : nullptr;
  if (shared) {
    stream.reset();  // nothing of the file is read
    file = nullptr;
  } else {
    if (!reader_.open(path_.c_str(), std::move(stream))) {
      error_.assign("Unable to open '");
      error_.append(path_);
      error_.append("': ");
      error_.append(reader_.last_error());
      return false;
    }
    if (cacheable) shared = programs->LoadAndInsert(&reader_, file, identity, cache_limit);
  }
  const ProgramContext& parent = caller->context();
  bool loaded = true;
  if (shared) {
    image_.reset(new ProgramImage(std::move(shared)));
  } else {
    image_.reset(new ProgramImage());
    loaded = image_->load(reader_);
  }
  if (loaded) {
    system_.reset(NewReferenceVariableHashFromTable(image_->system_names(), &image_->dictionary(),
                                                    parent.system, &error));
    globals_.reset(NewReferenceVariableHashFromTable(image_->global_names(), &image_->dictionary(),
                                                     parent.globals, &error));
    loaded = system_ && globals_;
  }
  if (!loaded) {
    error_.assign("Unable to execute '");
    error_.append(path_);
    error_.append("': File is either corrupt or not a valid compiled Pexo Script file");
    reader_.close();
    return false;
  }
  ProgramContext context = parent;
  context.dictionary = &image_->dictionary();
  context.system = system_.get();
  context.globals = globals_.get();
  context.segments = &image_->segments();
  context.functions = &image_->functions();
  context.program_path = path_.c_str();
  // Its own texts, in the request's languages.
  localizer_.reset(new Localizer(&image_->localized(), &image_->dictionary(),
                                 image_->loads_lazily() ? &reader_ : nullptr,
                                 parent.localizer ? parent.localizer->settings() : nullptr));
  context.localizer = localizer_.get();
  machine_.reset(new PexoVM(context));
  machine_->tags() = caller->tags();
  machine_->set_trace_mask(caller->trace_mask());
  // Everything is read; localized indexes reopen the file when needed.
  if (file) files->Deactivate(file);
  return true;
}

Segment* DoContext::Expression(const char* text, int32_t length, PexoVM* caller, String* error) {
  std::string key(text, static_cast<size_t>(length));
  auto found = expressions_.find(key);
  if (found != expressions_.end()) return found->second;
  ExternalCallResolver resolver(caller->context().calls);
  ExpressionProgram program;
  program.externals = &resolver;
  program.segments = &image_->segments();
  program.dictionary = &image_->dictionary();
  program.functions = &image_->functions();
  ExpressionOptions options;
  const String& source = caller->source_file_name();
  if (source.length() > 0) {
    options.source_name = source.data();
    options.source_length = source.length();
  }
  options.line = caller->line();
  ExpressionCompiler compiler(program, text, length, options);
  if (!compiler.compile()) {
    error->assign(compiler.error());
    return nullptr;
  }
  Segment* segment = compiler.segment();
  segment->set_flags(segment->flags() | kSegmentRuntimeCode);
  expressions_.emplace(std::move(key), segment);
  return segment;
}

}  // namespace pexo

namespace pexo {

std::unique_ptr<PexoVM_Stack> DoContext::TakeStack() {
  if (spare_stacks_.empty()) return std::make_unique<PexoVM_Stack>(machine_.get());
  std::unique_ptr<PexoVM_Stack> stack = std::move(spare_stacks_.back());
  spare_stacks_.pop_back();
  return stack;
}

void DoContext::GiveStack(std::unique_ptr<PexoVM_Stack> stack) {
  stack->clear();
  spare_stacks_.push_back(std::move(stack));
}

}  // namespace pexo
